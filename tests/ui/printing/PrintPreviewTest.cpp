// Page by page: the grid printer's page count and single pages against a whole printer run,
// the print preview that draws only the pages it shows, and the list's print dialog on a
// long list (no row formatted before it is shown, the page count asked, cancel).

#include <gtest/gtest.h>

#include <QAbstractTableModel>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QPointer>
#include <QPrinter>
#include <QProgressDialog>
#include <QPushButton>
#include <QTabBar>
#include <QTimer>
#include <map>
#include <set>
#include <tuple>
#include <vector>

#include "TempDir.h"
#include "ui/printing/PrintPreview.h"
#include "ui/printing/TGridPrinter.h"
#include "ui/printing/Tpriansform.h"
#include "ui/components/TComboGrid.h"
#include "ui/dialogs/Prompts.h"

namespace quil::ui {
namespace {

// What a run draws, page by page: each cell's box and text box (device units) and the
// cell it came from.
using CellLog = std::vector<std::tuple<int, int, QRect, QRect>>;

struct PageRecorder {
    std::map<int, CellLog> pages;
    int page = 0;
    int col = -1, row = -1;
    explicit PageRecorder(TCustomGridPrinter& p) {
        p.OnHeader = [this](QObject*, int& Page, int, int) { page = Page; };
        // Called for every text before it is drawn, and by the column fitting before the
        // first page (page 0 then).
        p.OnGetPrintText = [this](QObject*, int ACol, int ARow, QString&) {
            col = ACol;
            row = ARow;
        };
        p.OnCellDrawn = [this](const QRect& cell, const QRect& text) {
            pages[page].emplace_back(col, row, cell, text);
        };
    }
};

// A title row and `rows` data rows of three columns.
class PagedGrid : public ::testing::Test {
protected:
    TComboGrid grid;
    TGridPrinter printer;
    quil::testing::TempDir tmp;
    QPrinter pdf{QPrinter::HighResolution};

    void fill(int rows) {
        grid.setColCount(3);
        grid.setFixedCols(0);
        grid.setFixedRows(1);
        grid.setRowCount(1 + rows);
        grid.setRowTexts(0, {QStringLiteral("No"), QStringLiteral("名前"), QStringLiteral("距離")});
        for (int r = 1; r <= rows; ++r)
            grid.setRowTexts(r, {QString::number(r), QStringLiteral("山田%1").arg(r % 7),
                                 QString::number(r * 12.5)});
        grid.CellKind(2).setAlignment(20);
    }
    void SetUp() override {
        fill(100);
        printer.LineHeight = 24;
        printer.setGrid(&grid);
        printer.HeaderMargin = 40;
        printer.TopMargin = 80;
        printer.LeftMargin = 60;
        printer.FitColumns = true;
        printer.ProcessEvents = false;
        pdf.setOutputFormat(QPrinter::PdfFormat);
        pdf.setOutputFileName(QString::fromStdString(tmp.file("grid.pdf")));
        pdf.setPageOrientation(QPageLayout::Landscape);
    }
};

TEST_F(PagedGrid, PageCountIsWhatAPrinterRunMakes) {
    for (int rows : {0, 1, 20, 21, 22, 23, 40, 41, 42, 43, 44, 100, 251}) {
        fill(rows);
        for (int bottom : {0, 30}) {
            printer.BottomMargin = bottom;
            const int counted = printer.PageCount(pdf);
            EXPECT_EQ(printer.Print(pdf), counted) << rows << " rows, bottom " << bottom;
        }
    }
    // A page too small for one row below the titles: the first page stays empty and
    // every later one holds one row.
    printer.TopMargin = 700;
    fill(3);
    EXPECT_EQ(printer.PageCount(pdf), 4);
    EXPECT_EQ(printer.Print(pdf), 4);
}

TEST_F(PagedGrid, APageDrawnAloneIsThatPageOfAPrinterRun) {
    for (int top : {80, 700}) {  // ordinary pages, and pages too small for one row
        printer.TopMargin = top;
        printer.BottomMargin = 30;
        fill(top == 80 ? 100 : 3);
        PageRecorder run(printer);
        const int pages = printer.Print(pdf);
        ASSERT_GE(pages, 3);

        PageRecorder alone(printer);
        EXPECT_EQ(printer.PreparePages(pdf), pages);
        QImage device(200, 200, QImage::Format_ARGB32_Premultiplied);
        device.setDotsPerMeterX(int(std::lround(pdf.logicalDpiX() / 0.0254)));
        device.setDotsPerMeterY(int(std::lround(pdf.logicalDpiY() / 0.0254)));
        // Out of order, as a user pages through a preview.
        for (int page : {pages, 1, 2, pages - 1}) {
            QPainter painter(&device);
            printer.PrintPage(painter, page);
            EXPECT_FALSE(printer.Printing());
        }
        for (int page : {1, 2, pages - 1, pages}) {
            ASSERT_FALSE(run.pages[page].empty() && page > 1) << page;
            EXPECT_EQ(alone.pages[page], run.pages[page]) << "top " << top << " page " << page;
        }
    }
}

TEST_F(PagedGrid, ThePreviewDrawsOnlyThePagesItShows) {
    fill(2000);
    int printed = 0;
    auto* preview =
        new PrintPreview(&pdf,
                         std::make_unique<GridPrinterDocument>(
                             printer, nullptr, [&](QPrinter& p) { printed = printer.Print(p); }),
                         nullptr);
    const int pages = printer.PageCount(pdf);
    EXPECT_GT(pages, 50);
    EXPECT_EQ(preview->pageCount(), pages);
    EXPECT_EQ(preview->currentPage(), 1);
    EXPECT_EQ(preview->orientation(), QPageLayout::Landscape);
    preview->show();
    QApplication::processEvents();
    EXPECT_LE(preview->pagesDrawn(), 3);  // page 1, redrawn as the window takes its size

    const int before = preview->pagesDrawn();
    preview->setCurrentPage(pages);
    preview->setCurrentPage(pages + 5);  // stays on the last page
    EXPECT_EQ(preview->currentPage(), pages);
    EXPECT_EQ(preview->pagesDrawn(), before + 1);

    // Zoom draws the page larger; the fit modes follow the window.
    preview->setZoomFactor(2.0);
    EXPECT_DOUBLE_EQ(preview->zoomFactor(), 2.0);
    preview->fitToWidth();
    EXPECT_NE(preview->zoomFactor(), 2.0);

    // Pages differ, and a page is not blank.
    const QImage first = preview->renderPage(1, 600);
    const QImage last = preview->renderPage(pages, 600);
    EXPECT_NE(first, last);
    int dark = 0;
    for (int y = 0; y < first.height(); ++y)
        for (int x = 0; x < first.width(); ++x) dark += qGray(first.pixel(x, y)) < 128;
    EXPECT_GT(dark, 1000);

    preview->close();
    QApplication::processEvents();
    EXPECT_EQ(printed, 0);  // nothing printed without the print button
}

// A list model of `rows` records that counts the rows it is asked to format.
class CountingList : public QAbstractTableModel {
public:
    explicit CountingList(int rows) : rows_(rows) {}
    int rowCount(const QModelIndex& = {}) const override { return rows_ + 1; }
    int columnCount(const QModelIndex& = {}) const override { return 4; }
    QVariant data(const QModelIndex& index, int role) const override {
        if (role != Qt::DisplayRole) return {};
        read.insert(index.row());
        if (index.row() == 0)
            return QStringList{QString(), QStringLiteral("No"), QStringLiteral("日付"),
                               QStringLiteral("備考")}
                .at(index.column());
        return index.column() == 0   ? QString()
               : index.column() == 1 ? QString::number(index.row())
               : index.column() == 2 ? QStringLiteral("2003/04/%1").arg(10 + index.row() % 20)
                                     : QStringLiteral("配達 %1").arg(index.row() % 13);
    }
    mutable std::set<int> read;

private:
    int rows_;
};

// The print dialog over a list of its own (the main window's grid and tab bar stand-ins).
class LongList : public ::testing::Test {
protected:
    CountingList model{5000};
    TComboGrid list{&model, nullptr};
    QTabBar tabs;
    Tpriansform dialog{nullptr, &list, &tabs};
    quil::testing::TempDir tmp;
    ScriptedPrompts prompts;
    QString pdfPath() const { return QString::fromStdString(tmp.file("list.pdf")); }
    void SetUp() override {
        list.setFixedRows(1);
        list.setFixedCols(1);
        tabs.addTab(QStringLiteral("運転日報"));
        dialog.OutputBox->setCurrentIndex(Tpriansform::ToPdfOutput);
        dialog.PdfFileEdit->setText(pdfPath());
        dialog.FooterCheck->setChecked(true);
    }
    QStringList folder() const {
        return QDir(QString::fromStdString(tmp.path()))
            .entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    }
};

TEST_F(LongList, ThePreviewShowsPageOneWithoutFormattingEveryRow) {
    dialog.PreviewClick();
    auto* preview = dialog.findChild<PrintPreview*>(QStringLiteral("PrintPreview"));
    ASSERT_NE(preview, nullptr);
    QApplication::processEvents();
    const int pages = preview->pageCount();
    EXPECT_GT(pages, 100);
    EXPECT_EQ(preview->orientation(), QPageLayout::Landscape);
    // The column fitting reads a sample, page 1 its own rows.
    EXPECT_LT(model.read.size(), std::size_t(2200));
    EXPECT_TRUE(model.read.count(1));
    EXPECT_FALSE(model.read.count(4000));
    // No copy of the list: the hidden grid reads the list's model.
    EXPECT_EQ(dialog.ComboGrid1->RowCount(), 5001);
    EXPECT_EQ(dialog.ComboGrid1->Cells(2, 4000), QStringLiteral("配達 %1").arg(4000 % 13));
    preview->close();
}

TEST_F(LongList, ALongPrintSaysItsPagesFirstAndACancelledPdfLeavesNoFile) {
    dialog.AskFromPages = 50;
    // Declined: nothing is written, the dialog stays.
    prompts.answerQuestion(false);
    dialog.show();
    dialog.Button1->click();
    ASSERT_EQ(prompts.boxes().size(), 1u);
    const int pages = dialog.GridPrinter1->PageCount(dialog.printer());
    EXPECT_EQ(prompts.last().text,
              QStringLiteral("PDFファイルは %1 ページになります。作成しますか？").arg(pages));
    EXPECT_TRUE(folder().isEmpty());
    EXPECT_TRUE(dialog.isVisible());

    // Cancelled in the progress dialog: no file, no part of one.
    prompts.answerQuestion(true);
    bool cancelled = false;
    QTimer::singleShot(0, &dialog, [&] {
        if (auto* progress = dialog.findChild<QProgressDialog*>()) {
            if (auto* button = progress->findChild<QPushButton*>()) {
                button->click();
                cancelled = true;
            }
        }
    });
    dialog.Button1->click();
    EXPECT_TRUE(cancelled);
    EXPECT_TRUE(folder().isEmpty()) << folder().join(QLatin1Char(' ')).toStdString();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_FALSE(dialog.GridPrinter1->Printing());
    EXPECT_EQ(dialog.printer().outputFileName(), pdfPath());

    // Through to the end: the file under its name, alone.
    prompts.answerQuestion(true);
    dialog.Button1->click();
    EXPECT_EQ(folder(), QStringList{QStringLiteral("list.pdf")});
    EXPECT_FALSE(dialog.isVisible());
}

TEST_F(LongList, ThePreviewsPrintButtonPrintsToTheOutputChosenInTheDialog) {
    dialog.show();
    dialog.PreviewClick();
    QPointer<PrintPreview> preview =
        dialog.findChild<PrintPreview*>(QStringLiteral("PrintPreview"));
    ASSERT_NE(preview, nullptr);
    const int pages = preview->pageCount();
    dialog.AskFromPages = pages + 1;
    preview->printDocument();
    EXPECT_TRUE(prompts.boxes().empty());
    EXPECT_EQ(folder(), QStringList{QStringLiteral("list.pdf")});
    EXPECT_EQ(dialog.GridPrinter1->PageNo(), pages);  // the pages the preview counted
    EXPECT_FALSE(dialog.isVisible());
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(preview.isNull());
}

TEST_F(LongList, AShortPrintAsksNothing) {
    dialog.AskFromPages = 1000;
    dialog.Button1->click();
    EXPECT_TRUE(prompts.boxes().empty());
    EXPECT_EQ(folder(), QStringList{QStringLiteral("list.pdf")});
}

}  // namespace
}  // namespace quil::ui
