// Printing the record list and the summary table from the whole program: the commands that
// open them, the printed copy of the list, PDF output with header and footer, no printer,
// failures, the preview, and a summary that ignores the list's filters.
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPrinterInfo>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTabBar>
#include <numeric>

#include "MainTestSupport.h"
#include "ui/printing/EInvalidOperation.h"
#include "ui/printing/PrintPreview.h"
#include "ui/printing/TGridPrinter.h"
#include "ui/printing/Tpriansform.h"
#include "store/Date.h"
#include "store/Period.h"
#include "ui/dialogs/TDataInputForm.h"
#include "ui/main/AppWindows.h"
#include "ui/windows/TCalForm.h"
#include "ui/windows/PlaceholderForm.h"
#include "ui/windows/TOpForm.h"

using namespace quil::store;
using namespace quil::testing;
using quil::ui::Tpriansform;

namespace {

class Printing : public MainWindowTest {
protected:
    // Items: 0 vehicle 軽トラ, 1 user 山田, 2 purpose 配達, 3 vehicle ワゴン (hidden by
    // the vehicle filter).
    void SetUp() override {
        writeRecords<ItemRecord>(
            tmp.file("Quil.qui"),
            {item(ItemKind::Vehicle, "軽トラ"), item(ItemKind::User, "山田"),
             item(ItemKind::Purpose, "配達"), item(ItemKind::Vehicle, "ワゴン")});
        Settings s(dir());
        s.writeFirstRun(2003);
        s.setPeriodKind(PeriodKind::All);
        s.setCarMask("10");
        s.setDriverMask("1");
        std::vector<DataRecord> records;
        for (int i = 0; i < 3; ++i)
            records.push_back(driving(encodeDate(2003, 4, 10 + i), 0, 100 * i));
        records.push_back(driving(encodeDate(2003, 4, 20), 3, 0));
        writeRecords<DataRecord>(tmp.file("Quil.qud"), records);
    }
    DataRecord driving(double date, int vehicle, double from) {
        auto r = makeRecord(date, vehicle, 1, 0, 0);
        r.setItem(2);
        r.setPlace(-1);
        r.setDistance1(from);
        r.setDistance2(from + 12.5);
        return r;
    }
    quil::ui::TMainform& window() { return *app->Mainform; }
    Tpriansform& dialog() { return *app->priansform; }
    QString pdfPath() const { return QString::fromStdString(tmp.file("list.pdf")); }
    void choosePdf(bool footer = false) {
        dialog().OutputBox->setCurrentIndex(Tpriansform::ToPdfOutput);
        dialog().PdfFileEdit->setText(pdfPath());
        dialog().FooterCheck->setChecked(footer);
    }
    static QString pdfText(const QString& pdf) {
        QProcess p;
        p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
        p.waitForFinished(60000);
        // The text as it is: no kanji read as its Kangxi radical (⽇ for 日).
        return QString::fromUtf8(p.readAllStandardOutput());
    }
};

}  // namespace

TEST_F(Printing, CommandsOpenThePrintDialogAndTheToolsMenuTheSummary) {
    run();
    QStringList menus;
    for (QAction* a : window().menuBar()->actions()) menus << a->text();
    const qsizetype tools = menus.indexOf(QStringLiteral("ツール(&T)"));
    ASSERT_GE(tools, 0);
    EXPECT_EQ(menus.value(tools + 1), QStringLiteral("ヘルプ(&H)"));

    // Created in their place: after the entry dialog, the print dialog, the user settings,
    // then the summary table before the graph window.
    const QObjectList order = window().children();
    auto at = [&](const QObject* w) { return order.indexOf(const_cast<QObject*>(w)); };
    EXPECT_LT(at(app->DataInputForm), at(app->priansform));
    EXPECT_LT(at(app->priansform), at(app->OpForm));
    EXPECT_LT(at(app->OpForm), at(app->CalForm));
    EXPECT_LT(at(app->CalForm), at(app->Graphform));

    window().action(QStringLiteral("Print1"))->trigger();
    ASSERT_TRUE(dialog().isVisible());
    EXPECT_EQ(dialog().windowTitle(), QStringLiteral("印刷"));
    EXPECT_EQ(dialog().minimumSize(), dialog().maximumSize());  // fixed border
    EXPECT_TRUE(dialog().windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(dialog().pos(), window().pos() + QPoint(100, 50));
    dialog().Button2->click();
    EXPECT_FALSE(dialog().isVisible());
    window().action(QStringLiteral("ToolButton9"))->trigger();
    EXPECT_TRUE(dialog().isVisible());
    dialog().close();

    QAction* summary = window().action(QStringLiteral("CalForm1"));
    ASSERT_NE(summary, nullptr);
    EXPECT_EQ(summary->text(), QStringLiteral("集計表(&S)..."));
    summary->trigger();
    EXPECT_TRUE(app->CalForm->isVisible());
    // The vehicle log's own 表集計 button keeps its notice.
    EXPECT_TRUE(prompts.boxes().empty());
    window().action(QStringLiteral("ToolButton6"))->trigger();
    EXPECT_EQ(prompts.last().title, QStringLiteral("お知らせ"));
}

TEST_F(Printing, ThePrintedGridDropsTheMarkerColumnAndTakesTheTabsWidths) {
    run();
    quil::ui::TComboGrid& list = *window().ComboGrid1;
    quil::ui::TComboGrid& copy = *dialog().ComboGrid1;
    dialog().bindList();
    ASSERT_EQ(copy.ColCount(), list.ColCount() - 1);
    ASSERT_EQ(copy.RowCount(), 4);  // titles and the three shown records
    EXPECT_EQ(copy.FixedRows(), 1);
    EXPECT_FALSE(copy.isVisible());
    for (int c = 0; c < copy.ColCount(); ++c)
        for (int r = 0; r < copy.RowCount(); ++r)
            EXPECT_EQ(copy.Cells(c, r), list.Cells(c + 1, r)) << c << "," << r;
    EXPECT_EQ(copy.Cells(0, 0), QStringLiteral("No"));
    std::vector<int> widths;
    for (int c = 0; c < copy.ColCount(); ++c) widths.push_back(copy.ColWidths(c));
    EXPECT_EQ(widths, (std::vector<int>{30, 80, 70, 70, 80, 70, 70, 70, 400, 100, 300}));
    EXPECT_EQ(copy.CellKind(5).Alignment(), list.CellKind(6).Alignment());
    EXPECT_EQ(copy.CellKind(6).Alignment(), 20);  // 出庫距離, right-aligned in the list
    EXPECT_EQ(copy.CellKind(6).FixedAlignment(), 17);

    window().TabControl1->setCurrentIndex(2);
    dialog().bindList();
    EXPECT_EQ(copy.ColCount(), 10);
    EXPECT_EQ(copy.ColWidths(9), 320);
    EXPECT_EQ(copy.RowCount(), 2);  // titles and the empty row of an empty list
}

TEST(PrintedWidths, TheWidestColumnsGiveWayWhenTheListIsWiderThanThePage) {
    using quil::ui::Tpriansform;
    const std::vector<int> driving = Tpriansform::printedWidths(ListTab::Driving);
    // Widths that fit stay as they are (every other tab totals 940).
    EXPECT_EQ(Tpriansform::fitToWidth(driving, 2000), driving);
    EXPECT_EQ(Tpriansform::fitToWidth(Tpriansform::printedWidths(ListTab::Refuelling), 940),
              Tpriansform::printedWidths(ListTab::Refuelling));
    // 1340 units on a page that holds 1040: 走行距離 (400) gives way down to 備考's 300,
    // then both narrow together; the narrow columns keep their widths, so 行き先 and 備考
    // stay on the paper.
    const std::vector<int> fitted = Tpriansform::fitToWidth(driving, 1040);
    EXPECT_EQ(std::accumulate(fitted.begin(), fitted.end(), 0), 1040);
    EXPECT_EQ(fitted[8], 200);
    EXPECT_EQ(fitted[10], 200);
    for (std::size_t i = 0; i < fitted.size(); ++i) {
        if (i != 8 && i != 10) {
            EXPECT_EQ(fitted[i], driving[i]) << i;
        }
    }
    // Columns of the same widest width narrow together, then with the next widest.
    EXPECT_EQ(Tpriansform::fitToWidth({100, 300, 300}, 500), (std::vector<int>{100, 200, 200}));
    EXPECT_EQ(Tpriansform::fitToWidth({100, 300, 300}, 300), (std::vector<int>{100, 100, 100}));
}

TEST_F(Printing, EveryColumnOfTheDrivingListFitsTheLandscapePage) {
    run();
    window().action(QStringLiteral("Print1"))->trigger();
    choosePdf();
    dialog().Button1->click();
    ASSERT_TRUE(QFile::exists(pdfPath()));
    const quil::ui::TComboGrid& copy = *dialog().ComboGrid1;
    QPrinter& printer = dialog().printer();
    const double scale = double(printer.logicalDpiX()) / copy.logicalDpiX();
    int total = 0;
    for (int c = 0; c < copy.ColCount(); ++c) total += copy.ColWidths(c);
    EXPECT_LE(total, int(printer.width() / scale)) << "no column falls off the paper";
    EXPECT_EQ(copy.ColWidths(9), 100);  // 行き先 keeps its width
    EXPECT_LT(copy.ColWidths(8), 400);  // 走行距離 gave way
}

TEST_F(Printing, NoPrintedCellIsCutOnAnyTabAndThePageKeepsItsMargins) {
    // Long names, a return time, and a destination and remarks as long as they are kept.
    writeRecords<ItemRecord>(
        tmp.file("Quil.qui"),
        {item(ItemKind::Vehicle, "配送バン２号 品川400さ"), item(ItemKind::User, "山田太郎左衛門"),
         item(ItemKind::Purpose, "得意先への配達業務"), item(ItemKind::Vehicle, "ワゴン")});
    std::vector<DataRecord> records;
    for (int kind = 0; kind < 4; ++kind) {
        DataRecord r = driving(encodeDate(2003, 4, 10) + encodeTime(8, 30), 0, 12345678.9);
        r.setKind(static_cast<std::int16_t>(kind));
        r.setReturnTime(encodeDate(2003, 4, 10) + encodeTime(17, 5));
        r.setDestination("東京都千代田区丸の内一丁目駅前の倉庫");
        r.setRemarks(kind == 0 ? "備考は全角五十文字まで書けるのでその長さを試すために同じような文を長く長く長く続けていきます"
                               : "短い備考");
        r.setPrice(123456789);
        r.setTax(12345678);
        records.push_back(r);
    }
    writeRecords<DataRecord>(tmp.file("Quil.qud"), records);
    run();
    for (int tab = 0; tab < 4; ++tab) {
        SCOPED_TRACE(tab);
        window().TabControl1->setCurrentIndex(tab);
        window().action(QStringLiteral("Print1"))->trigger();
        choosePdf();
        int cells = 0, cut = 0, right = 0;
        dialog().GridPrinter1->OnCellDrawn = [&](const QRect& cell, const QRect& text) {
            ++cells;
            if (text.left() < cell.left() || text.right() > cell.right()) ++cut;
            right = std::max(right, cell.right());
        };
        dialog().Button1->click();
        dialog().GridPrinter1->OnCellDrawn = nullptr;
        ASSERT_TRUE(QFile::exists(pdfPath()));
        EXPECT_GT(cells, 10);
        EXPECT_EQ(cut, 0);
        QPrinter& printer = dialog().printer();
        EXPECT_LT(right, printer.width());
        const QMarginsF m = printer.pageLayout().margins(QPageLayout::Millimeter);
        EXPECT_GE(std::min({m.left(), m.top(), m.right(), m.bottom()}), 10.0);
    }
}

TEST_F(Printing, PdfFileCarriesTheTabNameAndTheFooterOnlyWhenChosen) {
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
        GTEST_SKIP() << "pdftotext is not installed (scripts/setup.sh test)";
    setClockForTesting([] { return encodeDate(2003, 5, 6) + encodeTime(9, 0); });
    run();
    window().action(QStringLiteral("Print1"))->trigger();
    choosePdf();
    dialog().Button1->click();
    EXPECT_FALSE(dialog().isVisible());
    ASSERT_TRUE(QFile::exists(pdfPath()));
    QString text = pdfText(pdfPath());
    EXPECT_TRUE(text.contains(QStringLiteral("走行記録"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("配達")));
    EXPECT_FALSE(text.contains(QStringLiteral("ページ")));
    EXPECT_EQ(dialog().printer().pageLayout().orientation(), QPageLayout::Landscape);

    window().action(QStringLiteral("Print1"))->trigger();
    choosePdf(true);
    dialog().Button1->click();
    text = pdfText(pdfPath());
    EXPECT_TRUE(text.contains(QStringLiteral("印刷日 2003/05/06"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("1 / 1 ページ")));
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(Printing, FooterNumbersEveryPageOutOfTheTotal) {
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
        GTEST_SKIP() << "pdftotext is not installed (scripts/setup.sh test)";
    std::vector<DataRecord> records;
    for (int i = 0; i < 60; ++i) records.push_back(driving(encodeDate(2003, 4, 1) + i, 0, i));
    writeRecords<DataRecord>(tmp.file("Quil.qud"), records);
    run();
    window().action(QStringLiteral("Print1"))->trigger();
    choosePdf(true);
    dialog().Button1->click();
    const QString text = pdfText(pdfPath());
    EXPECT_TRUE(text.contains(QStringLiteral("1 / 3 ページ"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("3 / 3 ページ")));
    EXPECT_FALSE(text.contains(QStringLiteral("4 / ")));
    // Every page carries the tab's name.
    EXPECT_EQ(text.count(QStringLiteral("走行記録")), 3);
}

TEST_F(Printing, WithoutAPrinterThePdfFileIsOffered) {
    if (!QPrinterInfo::availablePrinters().isEmpty()) GTEST_SKIP() << "a printer is installed";
    run();
    window().action(QStringLiteral("Print1"))->trigger();
    dialog().PdfFileEdit->setText(pdfPath());
    dialog().OutputBox->setCurrentIndex(Tpriansform::ToPrinterOutput);
    prompts.answerQuestion(false);
    dialog().Button1->click();
    EXPECT_TRUE(
        prompts.last().text.contains(QStringLiteral("プリンターがインストールされていません")));
    EXPECT_TRUE(dialog().isVisible());
    EXPECT_FALSE(QFile::exists(pdfPath()));
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);

    prompts.answerQuestion(true);
    dialog().Button1->click();
    EXPECT_TRUE(QFile::exists(pdfPath()));
    EXPECT_EQ(dialog().OutputBox->currentIndex(), Tpriansform::ToPdfOutput);
    EXPECT_FALSE(dialog().isVisible());
}

TEST_F(Printing, AFailedPrintRestoresTheCursorAndKeepsTheDialog) {
    run();
    window().action(QStringLiteral("Print1"))->trigger();
    choosePdf();
    dialog().PdfFileEdit->setText(QString::fromStdString(tmp.file("no/such/folder/list.pdf")));
    EXPECT_THROW(dialog().Button1Click(), quil::ui::EPrinterError);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(dialog().isVisible());
    EXPECT_FALSE(dialog().GridPrinter1->Printing());

    dialog().PdfFileEdit->clear();
    dialog().Button1->click();
    EXPECT_EQ(prompts.last().title, QStringLiteral("警告"));
    EXPECT_TRUE(dialog().isVisible());
}

TEST_F(Printing, PreviewUsesThePrinterCode) {
    run();
    window().action(QStringLiteral("Print1"))->trigger();
    dialog().PreviewButton->click();
    auto* preview = dialog().findChild<quil::ui::PrintPreview*>(QStringLiteral("PrintPreview"));
    ASSERT_NE(preview, nullptr);
    QApplication::processEvents();
    preview->updatePreview();
    EXPECT_EQ(preview->pageCount(), 1);
    EXPECT_EQ(preview->orientation(), QPageLayout::Landscape);
    preview->close();
}

TEST_F(Printing, SummaryCountsVehiclesTheListFiltersOut) {
    run();
    EXPECT_EQ(window().ComboGrid1->RowCount(), 4);  // ワゴン's record is not listed
    quil::ui::TCalForm& cal = *app->CalForm;
    cal.ComboBox2->setCurrentIndex(3);  // 使用回数－車両別
    cal.ComboBox1->setCurrentIndex(0);
    cal.Button1->click();
    const QStringList lines = cal.Memo1->toPlainText().split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 6);
    EXPECT_EQ(lines[3].simplified(), QStringLiteral("軽トラ 3 回"));
    EXPECT_EQ(lines[4].simplified(), QStringLiteral("ワゴン 1 回"));
    EXPECT_EQ(lines[5].simplified(), QStringLiteral("合計 4 回"));
}
