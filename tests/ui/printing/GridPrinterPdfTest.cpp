// The grid printer on a QPrinter: a PDF file turned into images by pdftoppm, the scale from
// the resolutions, cancelling, and failures that must leave the printer idle.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPrinter>
#include <QProcess>
#include <QStandardPaths>
#include <stdexcept>

#include "ScopedHome.h"
#include "TempDir.h"
#include "ui/printing/EInvalidOperation.h"
#include "ui/printing/PrintTarget.h"
#include "ui/printing/TGridPrinter.h"
#include "ui/components/TComboGrid.h"

namespace quil::ui {
namespace {

bool dark(const QImage& img, int x, int y) {
    return img.rect().contains(x, y) && qGray(img.pixel(x, y)) < 128;
}
int darkCount(const QImage& img, const QRect& r) {
    int n = 0;
    for (int x = r.left(); x <= r.right(); ++x)
        for (int y = r.top(); y <= r.bottom(); ++y) n += dark(img, x, y);
    return n;
}

// Two columns (100, 200), a title row and 60 data rows; cell (1, 1) holds black squares.
class GridPrinterPdfTest : public ::testing::Test {
protected:
    TComboGrid grid;
    TGridPrinter printer;
    quil::testing::TempDir tmp;
    QDir dir{QString::fromStdString(tmp.path())};
    QPrinter pdf{QPrinter::HighResolution};

    void SetUp() override {
        grid.setColCount(2);
        grid.setFixedCols(0);
        grid.setFixedRows(1);
        grid.setRowCount(61);
        grid.setColWidths(0, 100);
        grid.setColWidths(1, 200);
        grid.setCells(0, 0, QStringLiteral("No"));
        grid.setCells(1, 0, QStringLiteral("名前"));
        for (int r = 1; r <= 60; ++r) grid.setCells(0, r, QString::number(r));
        grid.setCells(1, 1, QStringLiteral("■■■■"));
        printer.LineHeight = 24;
        printer.setGrid(&grid);
        printer.LeftMargin = 60;
        printer.TopMargin = 80;
        pdf.setOutputFormat(QPrinter::PdfFormat);
        pdf.setOutputFileName(dir.filePath(QStringLiteral("list.pdf")));
        pdf.setResolution(300);
        pdf.setPageSize(QPageSize(QPageSize::A4));
        pdf.setPageOrientation(QPageLayout::Portrait);
        pdf.setFullPage(true);  // the page's corner is the origin
    }
};

TEST_F(GridPrinterPdfTest, PdfPagesAndACellWherePlaced) {
    const QString pdftoppm = QStandardPaths::findExecutable(QStringLiteral("pdftoppm"));
    if (pdftoppm.isEmpty()) GTEST_SKIP() << "pdftoppm is not installed (scripts/setup.sh test)";
    // A4 is 1123 layout units high: 80 + 24 (titles) + 42 rows = 1112; row 43 goes on.
    EXPECT_EQ(printer.Print(pdf), 2);
    EXPECT_FALSE(printer.Printing());

    // At 96 dots per inch one layout unit is one pixel of the image.
    QProcess p;
    p.start(pdftoppm, {QStringLiteral("-r"), QStringLiteral("96"), QStringLiteral("-png"),
                       pdf.outputFileName(), dir.filePath(QStringLiteral("page"))});
    ASSERT_TRUE(p.waitForFinished(60000));
    ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    const QStringList pages =
        QDir(dir.path()).entryList({QStringLiteral("page-*.png")}, QDir::Files, QDir::Name);
    ASSERT_EQ(pages.size(), 2);
    const QImage first(dir.filePath(pages[0]));
    ASSERT_FALSE(first.isNull());
    // Cell (1, 1): x 161..361, y 104..128 (the title row is 80..104).
    EXPECT_GT(darkCount(first, QRect(166, 108, 60, 16)), 100);
    EXPECT_EQ(darkCount(first, QRect(166, 132, 60, 16)), 0);  // cell (1, 2) is empty
    // Rules: table top at 80, left border at 60, the column rule at 60 + 101.
    EXPECT_TRUE(dark(first, 120, 80) || dark(first, 120, 79));
    EXPECT_TRUE(dark(first, 60, 500) || dark(first, 59, 500));
    EXPECT_TRUE(dark(first, 161, 500) || dark(first, 160, 500));
    EXPECT_FALSE(dark(first, 400, 500));
    // Page 2 repeats the titles and goes on with row 43.
    const QImage second(dir.filePath(pages[1]));
    EXPECT_GT(darkCount(second, QRect(64, 84, 30, 16)), 10);            // "No"
    EXPECT_GT(darkCount(second, QRect(64, 108, 30, 16)), 10);           // "43"
    EXPECT_EQ(darkCount(second, QRect(64, 108 + 24 * 18, 30, 16)), 0);  // below row 60
}

TEST_F(GridPrinterPdfTest, ScaleComesFromTheResolutionsAndRoundsHalvesToEven) {
    float scaleX = 0, scaleY = 0;
    int x4 = 0, x12 = 0, y1 = 0;
    printer.OnHeader = [&](QObject*, int&, int, int) {
        scaleX = printer.ScaleX();
        scaleY = printer.ScaleY();
        x4 = printer.ToDeviceX(4);
        x12 = printer.ToDeviceX(12);
        y1 = printer.ToDeviceY(1);
    };
    printer.Print(pdf);
    const float expected = 300.0f / float(grid.logicalDpiX());
    EXPECT_FLOAT_EQ(scaleX, expected);
    EXPECT_FLOAT_EQ(scaleY, 300.0f / float(grid.logicalDpiY()));
    if (grid.logicalDpiX() == 96) {
        EXPECT_EQ(x4, 12);   // 12.5
        EXPECT_EQ(x12, 38);  // 37.5
        EXPECT_EQ(y1, 3);    // 3.125
    }
    EXPECT_EQ(printer.ToDeviceX(4), -1);
}

TEST_F(GridPrinterPdfTest, CancelAbortsAfterTheCurrentRow) {
    int lastRow = 0;
    printer.OnGetPrintText = [&](QObject*, int c, int r, QString&) {
        if (c == 0) lastRow = r;
        if (r == 5) printer.CancelRequested = true;
    };
    int footers = 0;
    printer.OnFooter = [&](QObject*, int&, int, int) { ++footers; };
    EXPECT_EQ(printer.Print(pdf), 1);
    EXPECT_EQ(lastRow, 5);
    EXPECT_EQ(footers, 0);
    EXPECT_FALSE(printer.Printing());
    // The PDF engine cannot abort (a printer job can); either way the run is over.
    EXPECT_NE(pdf.printerState(), QPrinter::Active);
}

TEST_F(GridPrinterPdfTest, FailuresLeaveThePrinterIdle) {
    printer.OnFooter = [](QObject*, int&, int, int) { throw std::runtime_error("footer"); };
    EXPECT_THROW(printer.Print(pdf), std::runtime_error);
    EXPECT_FALSE(printer.Printing());
    EXPECT_NE(pdf.printerState(), QPrinter::Active);
    printer.OnFooter = nullptr;
    EXPECT_NO_THROW(printer.setGrid(&grid));

    QPrinter nowhere(QPrinter::HighResolution);
    nowhere.setOutputFormat(QPrinter::PdfFormat);
    nowhere.setOutputFileName(dir.filePath(QStringLiteral("missing/folder/list.pdf")));
    EXPECT_THROW(printer.Print(nowhere), EPrinterError);
    EXPECT_FALSE(printer.Printing());

    TGridPrinter empty;
    EXPECT_THROW(empty.Print(pdf), EInvalidOperation);
}

// The message of a failed print says why, in the program's words.
TEST_F(GridPrinterPdfTest, AFailedPrintSaysWhy) {
    auto failure = [&](const QString& path) {
        QPrinter target(QPrinter::HighResolution);
        target.setOutputFormat(QPrinter::PdfFormat);
        target.setOutputFileName(path);
        try {
            printer.Print(target);
        } catch (const EPrinterError& e) {
            EXPECT_FALSE(printer.Printing());
            return QString::fromStdString(e.what());
        }
        return QStringLiteral("no error");
    };
    EXPECT_EQ(failure(dir.filePath(QStringLiteral("missing/list.pdf"))),
              QStringLiteral("印刷を開始できませんでした。フォルダー「%1」がありません。")
                  .arg(dir.filePath(QStringLiteral("missing"))));
    QFile plain(dir.filePath(QStringLiteral("plain")));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    EXPECT_EQ(failure(dir.filePath(QStringLiteral("plain/list.pdf"))),
              QStringLiteral("印刷を開始できませんでした。「%1」はフォルダーではありません。")
                  .arg(plain.fileName()));
    EXPECT_EQ(
        failure(dir.path()),
        QStringLiteral("印刷を開始できませんでした。「%1」はフォルダーです。").arg(dir.path()));
    // A disk that fills up while the file is written: every write to /dev/full fails.
    if (QFileInfo::exists(QStringLiteral("/dev/full"))) {
        const QString full = failure(QStringLiteral("/dev/full"));
        EXPECT_TRUE(full.startsWith(QStringLiteral("印刷を完了できませんでした。")))
            << full.toStdString();
        EXPECT_TRUE(full.contains(QStringLiteral("/dev"))) << full.toStdString();
        EXPECT_TRUE(QFileInfo::exists(QStringLiteral("/dev/full")));
    }
    // A good print after the failures.
    EXPECT_EQ(printer.Print(pdf), 2);
}

// What pdftotext reads from `pdf`, or a null string when it is not installed.
QString pdfText(const QString& pdf) {
    const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    if (pdftotext.isEmpty()) return {};
    QProcess p;
    p.start(pdftotext, {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

TEST_F(GridPrinterPdfTest, ThePdfsTextIsTheTextPrinted) {
    const QStringList texts = {QStringLiteral("走行 山田太郎"),
                               QStringLiteral("車 日 月 用 入 一 木 子 支"),
                               QStringLiteral("2320.7 km"),
                               QStringLiteral("AC-1 (SN-001)"),
                               QStringLiteral("08:30 ～ 17:05"),
                               QStringLiteral("―ー－∥…"),
                               QStringLiteral("〜⾛")};  // other code points of shared glyphs
    grid.setColWidths(1, 400);
    for (int r = 0; r < int(texts.size()); ++r) grid.setCells(1, r + 1, texts[r]);
    pdf.setDocName(QStringLiteral("走行記録 一覧表"));
    // The program's font, and a Latin one whose Japanese text falls back to another font.
    for (const QString& family :
         {QStringLiteral("Noto Sans CJK JP"), QStringLiteral("DejaVu Sans")}) {
        SCOPED_TRACE(family.toStdString());
        QFont font(family);
        font.setPixelSize(13);
        grid.setFont(font);
        printer.Print(pdf);
        const QString text = pdfText(pdf.outputFileName());
        if (text.isNull()) GTEST_SKIP() << "pdftotext is not installed (scripts/setup.sh test)";
        // pdftotext leaves out some blanks between kanji: compare without blanks.
        const QString flat = QString(text).remove(QLatin1Char(' '));
        for (const QString& t : texts)
            EXPECT_TRUE(flat.contains(QString(t).remove(QLatin1Char(' '))))
                << t.toStdString() << "\n"
                << text.toStdString();
    }
    // The document name is the PDF's title.
    QProcess info;
    info.start(QStandardPaths::findExecutable(QStringLiteral("pdfinfo")), {pdf.outputFileName()});
    info.waitForFinished(60000);
    EXPECT_TRUE(QString::fromUtf8(info.readAllStandardOutput())
                    .contains(QStringLiteral("Title:           走行記録 一覧表")));
}

TEST_F(GridPrinterPdfTest, FittedColumnsCutNoTextAndShrinkOnlyWhenThePageIsTooNarrow) {
    int cells = 0, cut = 0;
    std::vector<int> heights;
    printer.OnCellDrawn = [&](const QRect& cell, const QRect& text) {
        ++cells;
        if (text.left() < cell.left() || text.right() > cell.right()) ++cut;
        heights.push_back(text.height());
    };
    printer.FitColumns = true;
    // Column 0 is too narrow for its numbers; column 1 has room to spare and gives it.
    grid.setColWidths(0, 12);
    grid.setColWidths(1, 600);
    grid.setCells(1, 2, QStringLiteral("08:30 ～ 17:05 配送バン２号"));
    printer.Print(pdf);
    EXPECT_EQ(cut, 0);
    EXPECT_EQ(cells, 2 * 2 + 60 + 2);  // titles on both pages, the numbers, (1, 1), (1, 2)
    const int normal = heights.front();
    // Texts wider than the A4 page: printed smaller, still whole, within the page.
    cells = cut = 0;
    heights.clear();
    grid.setCells(1, 3, QString(80, QChar(0x8D70)));
    printer.Print(pdf);
    EXPECT_EQ(cut, 0);
    EXPECT_LT(heights.front(), normal);
    EXPECT_LE(printer.PrintedColWidth(0) + printer.PrintedColWidth(1) + 2,
              int(pdf.width() / (300.0 / grid.logicalDpiX())) - printer.LeftMargin);
    // Without FitColumns the given widths stand.
    printer.FitColumns = false;
    printer.Print(pdf);
    EXPECT_EQ(printer.PrintedColWidth(0), 12);
}

TEST(DefaultPdfPath, TheDocumentsFolderWhenItExistsElseHome) {
    quil::testing::TempDir home;
    const QString homePath = QString::fromStdString(home.path());
    const quil::testing::ScopedHome scoped(homePath);
    const QString without = defaultPdfPath(QStringLiteral("一覧表.pdf"));
    ASSERT_TRUE(QDir(homePath).mkpath(QStringLiteral("Documents")));
    const QString with = defaultPdfPath(QStringLiteral("一覧表.pdf"));
    EXPECT_EQ(QFileInfo(without).absolutePath(), QFileInfo(homePath).absoluteFilePath());
    EXPECT_EQ(QFileInfo(with).absolutePath(),
              QFileInfo(homePath + QStringLiteral("/Documents")).absoluteFilePath());
    EXPECT_TRUE(with.endsWith(QStringLiteral("/一覧表.pdf")));
}

TEST_F(GridPrinterPdfTest, EmptyGridPrinterRefuses) {
    TGridPrinter empty;
    EXPECT_THROW(empty.Print(pdf), EInvalidOperation);
}

}  // namespace
}  // namespace quil::ui
