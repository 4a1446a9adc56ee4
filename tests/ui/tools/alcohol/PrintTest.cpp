// The printed register on page images and as PDF.
#include <QColor>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QPrinter>
#include <QProcess>
#include <algorithm>

#include "RegisterFixture.h"
#include "ScopedHome.h"
#include "ui/printing/PrintTarget.h"
#include "ui/tools/alcohol/AlcoholLogPrinter.h"
#include "ui/tools/alcohol/TAlcoholPrintForm.h"

namespace quil::alcohol::test {
namespace {

// Records every cell text printed, page by page.
class RecordingPrinter : public AlcoholLogPrinter {
public:
    std::vector<std::vector<QString>> pages;
    std::vector<std::vector<QRect>> rects;

protected:
    void DrawCellText(const QRect& Rect, const QString& Text, int LeftRule, int TopRule,
                      quint8 Align, int Margin) override {
        if (int(pages.size()) < PageNo()) {
            pages.resize(std::size_t(PageNo()));
            rects.resize(std::size_t(PageNo()));
        }
        pages.back().push_back(Text);
        rects.back().push_back(Rect);
        AlcoholLogPrinter::DrawCellText(Rect, Text, LeftRule, TopRule, Align, Margin);
    }
};

// A4 landscape at 96 dots per inch.
QImage page() { return QImage(1123, 794, QImage::Format_RGB32); }

bool inked(const QImage& image, const QRect& area) {
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (QColor(image.pixel(x, y)).lightness() < 128) return true;
    return false;
}

std::vector<QStringList> rows(int count) {
    std::vector<QStringList> result;
    for (int i = 0; i < count; ++i) {
        QStringList r;
        for (std::size_t c = 0; c < AlcoholLogPrinter::printedColumns().size(); ++c)
            r << QStringLiteral("r%1c%2").arg(i).arg(c);
        result.push_back(r);
    }
    return result;
}

const QStringList kRequiredTitles = {
    QStringLiteral("日付"),     QStringLiteral("時刻"),           QStringLiteral("区分"),
    QStringLiteral("運転者"),   QStringLiteral("車両(登録番号)"), QStringLiteral("確認方法"),
    QStringLiteral("検知器"),   QStringLiteral("測定値(mg/L)"),   QStringLiteral("酒気帯び"),
    QStringLiteral("指示事項"), QStringLiteral("確認者"),         QStringLiteral("備考")};

TEST(AlcoholLogPrinter, EveryPageRepeatsTheColumnTitlesAndNoRowIsLostAtTheBreak) {
    RecordingPrinter printer;
    printer.setContent(QStringLiteral("アルコールチェック記録簿　2024年5月"),
                       QStringLiteral("株式会社クイル"), rows(60));
    QImage image = page();
    std::vector<QImage> images;
    for (bool first = true;; first = false) {
        if (printer.PrintToImage(image, first) < 0) break;
        images.push_back(image.copy());
        if (printer.Done()) break;
    }
    ASSERT_GE(images.size(), 2u);
    ASSERT_EQ(printer.pages.size(), images.size());
    const int columns = int(kRequiredTitles.size());
    int printedRows = 0;
    for (std::size_t p = 0; p < printer.pages.size(); ++p) {
        const auto& texts = printer.pages[p];
        ASSERT_GE(int(texts.size()), columns * 2) << "page " << p + 1;
        EXPECT_EQ(QStringList(texts.begin(), texts.begin() + columns), kRequiredTitles);
        const int rowsHere = int(texts.size()) / columns - 1;
        // The page's first data row follows the last one of the page before.
        EXPECT_EQ(texts[std::size_t(columns)], QStringLiteral("r%1c0").arg(printedRows));
        printedRows += rowsHere;
        // The title and company name at the top, the seal box at the bottom right.
        EXPECT_TRUE(inked(images[p], QRect(24, 16, 300, 30))) << "page " << p + 1;
        EXPECT_TRUE(inked(images[p], QRect(700, 20, 398, 24))) << "page " << p + 1;
        EXPECT_TRUE(inked(images[p], QRect(1123 - 24 - 150, 794 - 88, 150, 70)))
            << "page " << p + 1;
        // No row runs into the seal box.
        EXPECT_LE(printer.rects[p].back().bottom(), 794 - 96);
    }
    EXPECT_EQ(printedRows, 60);
}

TEST(AlcoholLogPrinter, TableFitsTheLandscapePageAndNarrowsForASmallerOne) {
    int total = 0;
    for (int w : AlcoholLogPrinter::printedWidths()) total += w + 1;
    EXPECT_LE(total, 1123 - 48);
    RecordingPrinter printer;
    printer.fitTo(900);
    printer.setContent(QStringLiteral("t"), QString(), rows(1));
    QImage image(900 + 48, 794, QImage::Format_RGB32);  // a page 900 units wide inside
    printer.PrintToImage(image, true);
    ASSERT_EQ(printer.rects.size(), 1u);
    EXPECT_LE(printer.rects[0][kRequiredTitles.size() - 1].right(), 24 + 900);
}

// Every printed cell text lies inside its cell; the table inside the printable area.
struct CutCheck {
    int cells = 0;
    int cut = 0;
    int right = 0;
    void watch(ui::TCustomGridPrinter& printer) {
        printer.OnCellDrawn = [this](const QRect& cell, const QRect& text) {
            ++cells;
            if (text.left() < cell.left() || text.right() > cell.right()) ++cut;
            right = std::max(right, cell.right());
        };
    }
};

TEST(AlcoholLogPrinter, NoCellIsCutAndThePageKeepsItsMargins) {
    // The texts the law asks for, as long as a register holds them.
    QStringList row = {QStringLiteral("2024/05/10"),
                       QStringLiteral("08:45"),
                       QStringLiteral("運転前"),
                       QStringLiteral("山田 太郎"),
                       QStringLiteral("配送バン２号 (品川 400 さ 56-78)"),
                       QStringLiteral("アルコール検知器"),
                       QStringLiteral("アルコールチェッカー AC-1 (SN-001)"),
                       QStringLiteral("0.000"),
                       QStringLiteral("無"),
                       QStringLiteral("本日の乗務を中止し、翌日の点呼まで待機すること"),
                       QStringLiteral("安全 管理者"),
                       QStringLiteral("代理で確認")};
    for (const QString& vehicle :
         {QStringLiteral("配送バン２号 (品川 400 さ 56-78)"),
          QStringLiteral("冷凍冷蔵車（大型）第二営業所配属 (練馬 800 あ 12-34)")}) {
        row[4] = vehicle;
        AlcoholLogPrinter printer;
        printer.setContent(QStringLiteral("アルコールチェック記録簿　2024年5月"),
                           QStringLiteral("株式会社クイル"), {row, row});
        CutCheck check;
        check.watch(printer);
        quil::testing::TempDir tmp;
        QPrinter pdf(QPrinter::HighResolution);
        pdf.setOutputFormat(QPrinter::PdfFormat);
        pdf.setOutputFileName(QString::fromStdString(tmp.file("r.pdf")));
        pdf.setPageSize(QPageSize(QPageSize::A4));
        pdf.setPageMargins(QMarginsF(1, 1, 1, 1), QPageLayout::Millimeter);
        pdf.setPageOrientation(QPageLayout::Landscape);
        ui::keepPrintableMargins(pdf);
        const QMarginsF m = pdf.pageLayout().margins(QPageLayout::Millimeter);
        EXPECT_GE(std::min({m.left(), m.top(), m.right(), m.bottom()}), 10.0);
        printer.fitTo(int(pdf.width() * 96.0 / pdf.logicalDpiX()) - 48);
        printer.Print(pdf);
        EXPECT_EQ(check.cells, 3 * 12);
        EXPECT_EQ(check.cut, 0) << vehicle.toStdString();
        EXPECT_LT(check.right, pdf.width());
        // The PDF's text is the register's: whole, with its digits, no radicals.
        QProcess text;
        text.start(QStringLiteral("pdftotext"), {pdf.outputFileName(), QStringLiteral("-")});
        if (!text.waitForFinished(60000)) continue;  // pdftotext is not installed
        const QString got =
            QString::fromUtf8(text.readAllStandardOutput()).remove(QLatin1Char(' '));
        for (const QString& cell : {vehicle, row[6], row[9], row[3], QStringLiteral("日付")})
            EXPECT_TRUE(got.contains(QString(cell).remove(QLatin1Char(' ')))) << cell.toStdString();
    }
}

class PrintFormTest : public RegisterTest {};

TEST_F(PrintFormTest, ThePdfFileDefaultsToAFolderThatExists) {
    quil::testing::TempDir home;
    const QString homePath = QString::fromStdString(home.path());
    const quil::testing::ScopedHome scoped(homePath);
    // A new account: no documents folder yet, so the home folder.
    const QString fresh = TAlcoholPrintForm(main, &main.window).pdfFileEdit->text();
    QDir(homePath).mkpath(QStringLiteral("Documents"));
    const QString withDocuments = TAlcoholPrintForm(main, &main.window).pdfFileEdit->text();
    EXPECT_EQ(QFileInfo(fresh).absoluteDir(), QDir(homePath));
    EXPECT_EQ(QFileInfo(withDocuments).absoluteDir(),
              QDir(homePath + QStringLiteral("/Documents")));
    EXPECT_EQ(QFileInfo(fresh).fileName(), QStringLiteral("アルコールチェック記録簿.pdf"));
}

TEST_F(PrintFormTest, PrintsTheLiveChecksOfTheMonthWithTheCompanyNameKept) {
    store(check(kToday + encodeTime(8, 0)));
    store(check(encodeDate(2024, 4, 30) + encodeTime(8, 0)));
    const auto gone = store(check(kToday + encodeTime(9, 0)));
    AlcoholStore(main.folder).markDeleted(gone, "t", kToday);
    TAlcoholPrintForm form(main, &main.window);
    form.openForMonth(kToday);
    form.companyEdit->setText(QStringLiteral("株式会社クイル"));
    EXPECT_EQ(form.prepare(), 1);
    EXPECT_EQ(AlcoholStore(main.folder).setting(kCompanyNameKey), "株式会社クイル");

    QPrinter pdf(QPrinter::HighResolution);
    pdf.setOutputFormat(QPrinter::PdfFormat);
    const QString path = QString::fromStdString(main.folder) + QStringLiteral("register.pdf");
    pdf.setOutputFileName(path);
    EXPECT_EQ(form.printOn(pdf), 1);
    EXPECT_EQ(pdf.pageLayout().orientation(), QPageLayout::Landscape);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.read(5) == "%PDF-");

    TAlcoholPrintForm again(main, &main.window);
    again.show();
    EXPECT_EQ(again.companyEdit->text(), QStringLiteral("株式会社クイル"));
}

}  // namespace
}  // namespace quil::alcohol::test
