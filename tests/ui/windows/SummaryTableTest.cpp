// The summary table window: its controls and lines, and the figures over a known data set.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>

#include "StandInMain.h"
#include "SummaryTableData.h"
#include "ui/printing/PrintPreview.h"
#include "ui/printing/TGridPrinter.h"
#include "store/Date.h"
#include "ui/components/TComboGrid.h"
#include "ui/dialogs/Prompts.h"
#include "ui/windows/TCalForm.h"

using namespace quil::store;
using namespace quil::testing;

namespace quil::ui {
namespace {

// The data set of SummaryTableData.h.
class SummaryTableTest : public ::testing::Test {
protected:
    TempDir tmp;
    StandInMain context;  // the folders as the summary sees them; no main window
    QWidget mainWindow;
    ScriptedPrompts prompts;
    std::unique_ptr<TCalForm> form;

    void SetUp() override {
        context.folder = tmp.dir();
        context.stamp = 40000.5;
        context.hasWindow = false;
        mainWindow.move(100, 60);
        writeSummaryDataSet(tmp);
        form = std::make_unique<TCalForm>(context, &mainWindow);
    }
    void TearDown() override { setClockForTesting({}); }

    QStringList run(int summary, int period, const QString& year = QStringLiteral("2003")) {
        form->ComboBox2->setCurrentIndex(summary);
        form->ComboBox1->setCurrentIndex(period);
        form->Edit1->setText(year);
        form->Button1->click();
        return form->Memo1->toPlainText().split(QLatin1Char('\n'));
    }
    // The line of a group with its blanks squeezed to one.
    static QString squeezed(const QString& line) { return line.simplified(); }
};

TEST_F(SummaryTableTest, ControlsAndEntries) {
    EXPECT_EQ(form->windowTitle(), QStringLiteral("集計表"));
    EXPECT_EQ(form->pos(), mainWindow.pos() + QPoint(50, 50));
    EXPECT_EQ(form->Edit1->text(), QString::number(decodeDate(today()).year));
    ASSERT_EQ(form->ComboBox1->count(), 21);
    EXPECT_EQ(form->ComboBox1->currentText(), QStringLiteral("年"));
    EXPECT_EQ(form->ComboBox1->itemText(3), QStringLiteral("年度　上期"));
    EXPECT_EQ(form->ComboBox1->itemText(5), QStringLiteral("年1/4期"));
    EXPECT_EQ(form->ComboBox1->itemText(20), QStringLiteral("年12月"));
    ASSERT_EQ(form->ComboBox2->count(), 9);
    EXPECT_EQ(form->ComboBox2->currentText(), QStringLiteral("走行距離－車両別"));
    EXPECT_EQ(form->BitBtn2->text(), QStringLiteral("印刷(&P)"));
    EXPECT_TRUE(form->Memo1->isReadOnly());
    EXPECT_EQ(form->minimumSize(), QSize(420, 200));
    EXPECT_FALSE(form->NoteLabel->text().isEmpty());

    form->show();
    form->ComboBox1->setCurrentIndex(0);
    EXPECT_FALSE(form->Edit1->isVisible());
    EXPECT_FALSE(form->UpDown1->isVisible());
    form->ComboBox1->setCurrentIndex(9);
    EXPECT_TRUE(form->Edit1->isVisible());
    form->resize(600, 400);
    EXPECT_EQ(form->Memo1->size(),
              QSize(form->frameGeometry().width() - 30, form->frameGeometry().height() - 120));
}

TEST_F(SummaryTableTest, HeadingPeriodAndGroupsOfEachKind) {
    const QStringList lines = run(0, 3);
    ASSERT_GE(lines.size(), 3);
    EXPECT_EQ(lines[0], QStringLiteral("走行距離－車両別"));
    EXPECT_EQ(lines[1], QStringLiteral(" "));
    EXPECT_EQ(lines[2], QStringLiteral("期間:2003年度　上期"));
    EXPECT_EQ(run(0, 0, QStringLiteral("abc"))[2], QStringLiteral("期間:全て"));
    EXPECT_EQ(run(0, 11)[2], QStringLiteral("期間:2003年3月"));
    EXPECT_EQ(run(0, 0), run(0, 0));  // twice gives the same text
    // Vehicles (deleted ones left out), users, purposes.
    auto names = [&](int summary) {
        QStringList out;
        const QStringList l = run(summary, 0);
        for (qsizetype i = 3; i < l.size(); ++i) out << l[i].split(QLatin1Char(' ')).first();
        return out;
    };
    EXPECT_EQ(names(3), (QStringList{QStringLiteral("軽トラ"), QStringLiteral("ワゴン"),
                                     QStringLiteral("その他"), QStringLiteral("合計")}));
    EXPECT_EQ(names(4), (QStringList{QStringLiteral("山田"), QStringLiteral("佐藤"),
                                     QStringLiteral("合計")}));
    EXPECT_EQ(names(5), (QStringList{QStringLiteral("配達"), QStringLiteral("営業"),
                                     QStringLiteral("合計")}));
    EXPECT_EQ(run(99, 0)[0], QStringLiteral("出費－車両別"));
}

TEST_F(SummaryTableTest, FiguresOverPeriodsLeaveDeletedRecordsOut) {
    // Every record: the deleted vehicle's trip counts under その他 and in the total.
    QStringList l = run(0, 0);
    EXPECT_EQ(squeezed(l[3]), QStringLiteral("軽トラ 100.0 km"));  // 12.5 + 87.5
    EXPECT_EQ(squeezed(l[4]), QStringLiteral("ワゴン 30.3 km"));
    EXPECT_EQ(squeezed(l[5]), QStringLiteral("その他 40.0 km"));
    EXPECT_EQ(squeezed(l[6]), QStringLiteral("合計 170.3 km"));
    // Names and figures line up: in a font whose kanji take two columns, every figure
    // starts in the same column.
    auto column = [](const QString& line, const QString& figure) {
        return displayWidth(line.left(line.indexOf(figure)).toStdString());
    };
    EXPECT_EQ(column(l[3], QStringLiteral("100.0")), column(l[6], QStringLiteral("170.3")));
    EXPECT_EQ(column(l[4], QStringLiteral(" 30.3")), column(l[6], QStringLiteral("170.3")));

    // Calendar year 2003; fiscal first half 2003 (April..September); January 2003.
    EXPECT_EQ(squeezed(run(3, 1)[5]), QStringLiteral("合計 3 回"));
    EXPECT_EQ(squeezed(run(3, 3)[3]), QStringLiteral("軽トラ 0 回"));
    EXPECT_EQ(squeezed(run(3, 3)[4]), QStringLiteral("ワゴン 1 回"));
    EXPECT_EQ(squeezed(run(3, 9)[3]), QStringLiteral("軽トラ 1 回"));
    EXPECT_EQ(squeezed(run(1, 1)[4]), QStringLiteral("佐藤 117.8 km"));  // 30.3 + 87.5
    EXPECT_EQ(squeezed(run(2, 2)[3]), QStringLiteral("配達 127.5 km"));  // fiscal 2003

    l = run(6, 0);
    EXPECT_EQ(squeezed(l[3]), QStringLiteral("軽トラ 30.3 L"));  // 30.25 shown as 30.3
    EXPECT_EQ(squeezed(l[5]), QStringLiteral("合計 50.8 L"));
    EXPECT_EQ(squeezed(run(7, 2)[5]), QStringLiteral("合計 2 回"));

    // Expenses: refuelling, maintenance and expense records; price, tax and their sum.
    l = run(8, 2);
    EXPECT_EQ(squeezed(l[3]), QStringLiteral("税抜金額 消費税 合計"));
    EXPECT_EQ(squeezed(l[4]), QStringLiteral("軽トラ 15,000円 750円 15,750円"));
    EXPECT_EQ(squeezed(l[5]), QStringLiteral("ワゴン 1,236,567円 98,865円 1,335,432円"));
    EXPECT_EQ(squeezed(l[6]), QStringLiteral("合計 1,251,567円 99,615円 1,351,182円"));
}

// A drive belongs to the period of the day it departs, whatever its time: two adjacent fiscal
// years hold every drive once, and together they give the total of 全て.
TEST_F(SummaryTableTest, AdjacentPeriodsShareNoDrive) {
    writeRecords<DataRecord>(
        tmp.file("Quil.qud"),
        {driving(encodeDate(2026, 3, 31) + encodeTime(8, 45), 0, 1, 2, 1000, 1065.4),
         driving(encodeDate(2026, 4, 1) + encodeTime(0, 5), 0, 1, 2, 1065.4, 1100),
         driving(encodeDate(2027, 3, 31) + encodeTime(23, 50), 0, 1, 2, 1100, 1110)});
    auto km = [&](int periodIndex, int year) {
        return computeSummary(tmp.dir(), SummaryKind::DistanceByVehicle,
                              summaryPeriodFromIndex(periodIndex), year)
            .total.distance;
    };
    EXPECT_NEAR(km(2, 2025), 65.4, 1e-9);
    EXPECT_NEAR(km(2, 2026), 34.6 + 10, 1e-9);
    EXPECT_NEAR(km(2, 2025) + km(2, 2026), km(0, 0), 1e-9);
    EXPECT_NEAR(km(3, 2026), 34.6, 1e-9);  // 2026年度上期 starts on 4/1
}

TEST_F(SummaryTableTest, GroupsBeyondFiftyAreAllListed) {
    std::vector<ItemRecord> items;
    for (int i = 0; i < 55; ++i)
        items.push_back(makeItem(ItemKind::Vehicle, "車" + std::to_string(i)));
    writeRecords<ItemRecord>(tmp.file("Quil.qui"), items);
    const QStringList lines = run(0, 0);
    ASSERT_EQ(lines.size(), 3 + 55 + 1);  // every vehicle and 合計
    EXPECT_TRUE(lines[3 + 54].startsWith(QStringLiteral("車54 ")));
}

TEST_F(SummaryTableTest, MissingItemFileAndBadYear) {
    std::remove(tmp.file("Quil.qui").c_str());
    EXPECT_EQ(run(0, 1), (QStringList{QStringLiteral("走行距離－車両別"), QStringLiteral(" "),
                                      QStringLiteral("期間:2003年")}));
    const QStringList before = form->Memo1->toPlainText().split(QLatin1Char('\n'));
    run(0, 1, QStringLiteral("20x3"));
    EXPECT_EQ(prompts.last().title, QStringLiteral("警告"));
    EXPECT_EQ(form->Memo1->toPlainText().split(QLatin1Char('\n')), before);
}

TEST_F(SummaryTableTest, PrintedTableHoldsTheLinesOfTheSummary) {
    run(8, 0);
    form->fillSummaryGrid();
    TComboGrid& g = *form->SummaryGrid;
    ASSERT_EQ(g.ColCount(), 4);
    ASSERT_EQ(g.RowCount(), 4);  // titles, two vehicles, total
    EXPECT_EQ(g.Cells(0, 0), QStringLiteral("車両"));
    EXPECT_EQ(g.Cells(3, 0), QStringLiteral("合計"));
    EXPECT_EQ(g.Cells(0, 2), QStringLiteral("ワゴン"));
    EXPECT_EQ(g.Cells(1, 2), QStringLiteral("1,236,567円"));
    EXPECT_EQ(g.Cells(0, 3), QStringLiteral("合計"));
    EXPECT_EQ(g.CellKind(1).Alignment(), 20);
    QImage page(800, 600, QImage::Format_RGB32);
    EXPECT_EQ(form->SummaryPrinter->PrintToImage(page, true), 1);

    // On paper (a PDF file here), portrait, through the same printer code.
    QPrinter pdf(QPrinter::HighResolution);
    pdf.setOutputFormat(QPrinter::PdfFormat);
    pdf.setOutputFileName(QString::fromStdString(tmp.file("summary.pdf")));
    EXPECT_EQ(form->printSummary(pdf), 1);
    EXPECT_EQ(pdf.pageLayout().orientation(), QPageLayout::Portrait);
    EXPECT_GT(QFileInfo(pdf.outputFileName()).size(), 0);
    // Its text is the table's (pdftotext, when installed): digits kept, no radicals.
    QProcess text;
    text.start(QStringLiteral("pdftotext"), {pdf.outputFileName(), QStringLiteral("-")});
    if (text.waitForFinished(60000)) {
        const QString got = QString::fromUtf8(text.readAllStandardOutput());
        for (const QString& cell : {QStringLiteral("車両"), QStringLiteral("ワゴン"),
                                    QStringLiteral("1,236,567円"), QStringLiteral("合計")})
            EXPECT_TRUE(got.contains(cell)) << cell.toStdString() << "\n" << got.toStdString();
    }

    // The print button opens a preview of the same table.
    form->show();
    form->BitBtn2->click();
    auto* preview = form->findChild<PrintPreview*>(QStringLiteral("SummaryPreview"));
    ASSERT_NE(preview, nullptr);
    preview->updatePreview();
    EXPECT_EQ(preview->pageCount(), 1);
    EXPECT_EQ(preview->orientation(), QPageLayout::Portrait);
    preview->close();
}

}  // namespace
}  // namespace quil::ui
