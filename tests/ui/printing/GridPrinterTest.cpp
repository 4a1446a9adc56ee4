// The grid printer on images: pagination, title rows, rules, alignment, events, errors.

#include <gtest/gtest.h>

#include <QImage>
#include <QStandardItemModel>
#include <QTableView>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "ui/printing/EInvalidOperation.h"
#include "ui/printing/TGridPrinter.h"
#include "ui/components/TComboGrid.h"

namespace quil::ui {
namespace {

bool dark(const QImage& img, int x, int y) {
    return img.rect().contains(x, y) && qGray(img.pixel(x, y)) < 128;
}
// Dark within one pixel of y (a 2-pixel rule straddles its coordinate).
bool ruleNearY(const QImage& img, int x, int y) {
    return dark(img, x, y - 1) || dark(img, x, y) || dark(img, x, y + 1);
}
bool ruleNearX(const QImage& img, int x, int y) {
    return dark(img, x - 1, y) || dark(img, x, y) || dark(img, x + 1, y);
}
// Leftmost and rightmost dark columns inside a rectangle; -1 when it holds no ink.
std::pair<int, int> inkColumns(const QImage& img, const QRect& r) {
    int first = -1, last = -1;
    for (int x = r.left(); x <= r.right(); ++x)
        for (int y = r.top(); y <= r.bottom(); ++y)
            if (dark(img, x, y)) {
                if (first < 0) first = x;
                last = x;
                break;
            }
    return {first, last};
}
int inkTop(const QImage& img, const QRect& r) {
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if (dark(img, x, y)) return y;
    return -1;
}

// Three columns (40, 50, 60), one title row and `rows` data rows "r<row>c<col>".
class GridPrinterTest : public ::testing::Test {
protected:
    TComboGrid grid;
    TGridPrinter printer;

    void SetUp() override {
        grid.setColCount(3);
        grid.setFixedCols(0);
        grid.setFixedRows(1);
        fill(5);
        grid.setColWidths(0, 40);
        grid.setColWidths(1, 50);
        grid.setColWidths(2, 60);
        printer.LineHeight = 20;
        printer.setGrid(&grid);
        printer.TopMargin = 10;
        printer.LeftMargin = 5;
        printer.BottomMargin = 10;
    }
    void fill(int rows) {
        grid.setRowCount(rows);
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < 3; ++c)
                grid.setCells(
                    c, r,
                    r == 0 ? QStringLiteral("T%1").arg(c) : QStringLiteral("r%1c%2").arg(r).arg(c));
    }
    static QImage page(int height = 100) {
        QImage img(200, height, QImage::Format_RGB32);
        img.fill(Qt::gray);
        return img;
    }
    // Row texts of column 0 in the order they were printed, page by page.
    std::vector<std::string> printedRows(int height) {
        std::vector<std::string> rows;
        printer.OnGetPrintText = [&](QObject*, int c, int r, QString& t) {
            if (c == 0)
                rows.push_back(QStringLiteral("p%1:%2").arg(printer.PageNo()).arg(r).toStdString());
            (void)t;
        };
        QImage img = page(height);
        for (bool restart = true; printer.PrintToImage(img, restart) != -1; restart = false) {
        }
        printer.OnGetPrintText = nullptr;
        return rows;
    }
};

TEST_F(GridPrinterTest, DefaultsAndStoredForm) {
    TGridPrinter fresh;
    EXPECT_EQ(fresh.LineHeight, 0);
    EXPECT_TRUE(fresh.FixedLineDraw && fresh.HKeisen && fresh.VKeisen);
    EXPECT_EQ(fresh.LineWidthY1 + fresh.LineWidthY2 + fresh.LineWidthX1 + fresh.LineWidthX2, 8);
    EXPECT_EQ(fresh.LineWidthY3 + fresh.LineWidthX3, 2);
    EXPECT_EQ(fresh.PageNo(), 0);
    EXPECT_FALSE(fresh.Printing());

    TValueWriter defaults;
    fresh.WriteProperties(defaults);
    TValueWriter expected;
    expected.WritePropName("LineHeight");  // stored even at its default
    expected.WriteInteger(0);
    EXPECT_EQ(defaults.Data(), expected.Data());

    printer.HKeisen = false;
    printer.LineWidthX3 = 3;
    TValueWriter changed;
    printer.WriteProperties(changed);
    TGridPrinter copy;
    TValueReader reader(changed.Data());
    copy.ReadProperties(reader);
    EXPECT_FALSE(copy.HKeisen);
    EXPECT_EQ(copy.LineWidthX3, 3);
    EXPECT_EQ(copy.LeftMargin, 5);
    EXPECT_EQ(copy.LineHeight, 20);
    EXPECT_EQ(copy.BottomMargin, 10);

    TValueWriter unknown;
    unknown.WritePropName("LeftMargin");
    unknown.WriteInteger(99);
    unknown.WritePropName("Colour");
    unknown.WriteInteger(1);
    TValueReader bad(unknown.Data());
    EXPECT_THROW(copy.ReadProperties(bad), TStoredFormError);
    EXPECT_EQ(copy.LeftMargin, 5);  // nothing applied
}

TEST_F(GridPrinterTest, GridAssignmentTakesRowHeightAndForgetsADestroyedGrid) {
    auto other = std::make_unique<TComboGrid>();
    other->setDefaultRowHeight(31);
    TGridPrinter p;
    p.setGrid(other.get());
    EXPECT_EQ(p.LineHeight, 31);
    EXPECT_TRUE(p.IsComboGrid());
    p.LineHeight = 17;
    p.setGrid(&grid);
    EXPECT_EQ(p.LineHeight, 17);  // kept when set
    p.setGrid(other.get());
    other.reset();
    EXPECT_EQ(p.Grid(), nullptr);
    QImage img = page();
    try {
        p.PrintToImage(img, true);
        FAIL() << "no exception";
    } catch (const EInvalidOperation& e) {
        EXPECT_STREQ(e.what(), "印刷対象グリッドが指定されていません");
    }
    EXPECT_FALSE(p.Printing());
}

TEST_F(GridPrinterTest, RowThatEndsExactlyAtTheLimitFitsAndTitlesRepeat) {
    // Limit = 100 - BottomMargin 10 = 90: title 10..30, rows 1..3 end at 50, 70, 90.
    EXPECT_EQ(printedRows(100),
              (std::vector<std::string>{"p1:0", "p1:1", "p1:2", "p1:3", "p2:0", "p2:4"}));
    // One pixel less and row 3 moves to the second page.
    EXPECT_EQ(printedRows(99),
              (std::vector<std::string>{"p1:0", "p1:1", "p1:2", "p2:0", "p2:3", "p2:4"}));
}

TEST_F(GridPrinterTest, PagesAreCountedAndTheRunEndsIdle) {
    QImage img = page();
    EXPECT_EQ(printer.PrintToImage(img, true), 1);
    EXPECT_FALSE(printer.Done());
    EXPECT_EQ(printer.NextRow(), 4);
    EXPECT_EQ(printer.PrintToImage(img, false), 2);
    EXPECT_TRUE(printer.Done());
    EXPECT_EQ(printer.PrintToImage(img, false), -1);
    EXPECT_FALSE(printer.Printing());
    printer.setGrid(&grid);                         // allowed again
    EXPECT_EQ(printer.PrintToImage(img, true), 1);  // a restart begins again
    EXPECT_EQ(printer.ToDeviceX(10), -1);
    EXPECT_EQ(printer.ToDeviceY(10), -1);
}

TEST_F(GridPrinterTest, RulesByWidthAndFixedLineDraw) {
    QImage img = page();
    printer.PrintToImage(img, true);
    const int x = 150;  // inside column 2, right of its short text
    for (int y : {10, 30, 50, 70, 90}) EXPECT_TRUE(ruleNearY(img, x, y)) << y;
    for (int y : {20, 40, 60, 80}) EXPECT_FALSE(dark(img, x, y)) << y;
    // Left border 5, column rules 5+41 and 46+51, right border 5+153.
    for (int rx : {5, 46, 97, 158}) EXPECT_TRUE(ruleNearX(img, rx, 60)) << rx;
    EXPECT_FALSE(dark(img, 170, 60));
    // Page 1 ends at row 3: nothing below the bottom border.
    EXPECT_FALSE(dark(img, x, 95));

    // Two fixed rows and two fixed columns, no rules between fixed ones.
    grid.setFixedRows(2);
    grid.setFixedCols(2);
    printer.FixedLineDraw = false;
    printer.LineWidthY2 = 1;
    img = page();
    printer.PrintToImage(img, true);
    EXPECT_FALSE(ruleNearY(img, x, 30));   // between the fixed rows
    EXPECT_TRUE(ruleNearY(img, x, 50));    // below the last fixed row
    EXPECT_FALSE(ruleNearX(img, 46, 60));  // between the fixed columns
    EXPECT_TRUE(ruleNearX(img, 97, 60));   // after the last fixed column

    printer.HKeisen = false;
    printer.VKeisen = false;
    img = page();
    printer.PrintToImage(img, true);
    EXPECT_FALSE(ruleNearY(img, x, 10));
    EXPECT_FALSE(ruleNearX(img, 158, 60));
}

TEST_F(GridPrinterTest, AlignmentBitsApplyInOrderAndLaterOnesWin) {
    printer.HKeisen = printer.VKeisen = false;
    grid.CellKind(2).Margin = 4;
    // Column 2 spans x 97..157 (rect right = 97 + 60 - LineWidthX3).
    const QRect cell(98, 31, 60, 18);
    auto render = [&](quint8 align) {
        grid.CellKind(2).setAlignment(align);
        QImage img = page();
        printer.PrintToImage(img, true);
        return img;
    };
    const QImage left = render(17);
    const QImage centre = render(18);
    const QImage right = render(20);
    EXPECT_EQ(render(22), right);  // right after centre: right wins
    EXPECT_EQ(render(1 | 4), right);
    const auto [l0, l1] = inkColumns(left, cell);
    const auto [c0, c1] = inkColumns(centre, cell);
    const auto [r0, r1] = inkColumns(right, cell);
    EXPECT_NEAR(l0, 97 + 1 + 4, 2);  // rule 1 + margin 4
    // The text's right edge is the cell's less the margin (the glyph may end a little short).
    EXPECT_LE(r1, 97 + 59 - 4);
    EXPECT_GE(r1, 97 + 59 - 4 - 4);
    EXPECT_NEAR((c0 + c1) / 2.0, 97 + (59 - 1) / 2 + 1, 2);
    EXPECT_LT(l0, c0);
    EXPECT_LT(c0, r0);

    // Rows tall enough for the vertical bits to tell apart.
    printer.LineHeight = 40;
    const QRect tall(98, 51, 60, 38);
    const QImage top = render(8 | 1);
    const QImage middle = render(16 | 1);
    const QImage bottom = render(32 | 1);
    EXPECT_EQ(render(8 | 32 | 1), bottom);
    EXPECT_LT(inkTop(top, tall), inkTop(middle, tall));
    EXPECT_LT(inkTop(middle, tall), inkTop(bottom, tall));
    printer.LineHeight = 20;

    // The title row uses the fixed alignment.
    grid.CellKind(2).setFixedAlignment(20);
    const QImage fixedRight = render(17);
    const QRect title(98, 11, 60, 18);
    EXPECT_GE(inkColumns(fixedRight, title).second, 97 + 59 - 4 - 4);
    EXPECT_NEAR(inkColumns(fixedRight, cell).first, 97 + 1 + 4, 2);
}

TEST_F(GridPrinterTest, PlainTableViewPrintsLeftAlignedWithoutTitles) {
    QStandardItemModel model(2, 2);
    model.setItem(0, 0, new QStandardItem(QStringLiteral("aa")));
    model.setItem(1, 1, new QStandardItem(QStringLiteral("bb")));
    model.item(1, 1)->setTextAlignment(Qt::AlignRight);
    QTableView view;
    view.setModel(&model);
    view.setColumnWidth(0, 60);
    view.setColumnWidth(1, 60);
    TGridPrinter p;
    p.LineHeight = 20;
    p.setGrid(&view);
    EXPECT_FALSE(p.IsComboGrid());
    QImage img = page();
    EXPECT_EQ(p.PrintToImage(img, true), 1);
    EXPECT_NEAR(inkColumns(img, QRect(1, 1, 58, 17)).first, 2 + 2, 2);
    EXPECT_NEAR(inkColumns(img, QRect(62, 21, 58, 17)).first, 61 + 1 + 2, 2);
}

TEST_F(GridPrinterTest, LongTextIsDrawnWhole) {
    grid.setColWidths(2, 3000);
    grid.setCells(2, 1, QString(300, QLatin1Char('8')));
    QImage img(3200, 100, QImage::Format_RGB32);
    printer.PrintToImage(img, true);
    const int start = 97 + 1 + 2;
    const int cut = start + grid.fontMetrics().horizontalAdvance(QString(254, QLatin1Char('8')));
    const auto [first, last] = inkColumns(img, QRect(98, 31, 3000, 18));
    EXPECT_NEAR(first, start, 2);
    EXPECT_GT(last, cut + 20);
}

TEST_F(GridPrinterTest, EventsInOrderPageByPage) {
    std::vector<std::string> log;
    auto pageEvent = [&](const char* name) {
        return [&log, name](QObject* sender, int& page, int width, int y) {
            log.push_back(QStringLiteral("%1 p%2 w%3 y%4")
                              .arg(QString::fromUtf8(name))
                              .arg(page)
                              .arg(width)
                              .arg(y)
                              .toStdString());
            EXPECT_NE(sender, nullptr);
        };
    };
    printer.HeaderMargin = 3;
    printer.RightMargin = 7;
    printer.FooterMargin = 8;
    printer.OnReportStart = pageEvent("start");
    printer.OnHeader = pageEvent("header");
    printer.OnFooter = pageEvent("footer");
    printer.OnReportEnd = pageEvent("end");
    printer.OnKeisen = [&](QObject*) { log.push_back("rules"); };
    printer.OnGetPrintText = [&](QObject*, int c, int r, QString&) {
        if (c == 0) log.push_back("row " + std::to_string(r));
    };
    QImage img = page();
    while (printer.PrintToImage(img, log.empty()) != -1) {
    }
    // Width 200 - 5 - 7; footer at 100 - 8; report end at the last row's bottom.
    EXPECT_EQ(log, (std::vector<std::string>{"start p1 w188 y0", "header p1 w188 y3", "row 0",
                                             "row 1", "row 2", "row 3", "footer p1 w188 y92",
                                             "rules", "header p2 w188 y3", "row 0", "row 4",
                                             "footer p2 w188 y92", "end p2 w188 y50", "rules"}));

    // Titles only: one page, every page event once.
    fill(1);
    log.clear();
    EXPECT_EQ(printer.PrintToImage(img, true), 1);
    EXPECT_EQ(printer.PrintToImage(img, false), -1);
    EXPECT_EQ(log, (std::vector<std::string>{"start p1 w188 y0", "header p1 w188 y3", "row 0",
                                             "footer p1 w188 y92", "end p1 w188 y30", "rules"}));
}

TEST_F(GridPrinterTest, PrintCellReplacesTheDrawingAndHandlersMayRenumberPages) {
    std::vector<QRect> rects;
    printer.OnPrintCell = [&](QObject*, const QRect& r, int c, int row, const QString& text) {
        if (row == 1) rects.push_back(r);
        if (row == 1 && c == 1) {
            EXPECT_EQ(text, QStringLiteral("r1c1"));
        }
    };
    printer.OnHeader = [](QObject*, int& page, int, int) {
        if (page == 1) page = 10;
    };
    QImage img = page();
    EXPECT_EQ(printer.PrintToImage(img, true), 10);
    ASSERT_EQ(rects.size(), 3u);
    // Left X, top CurrentY; right and bottom less the rule above and left of the cell.
    EXPECT_EQ(rects[0], QRect(QPoint(5, 30), QPoint(5 + 40 - 2 - 1, 30 + 20 - 2 - 1)));
    EXPECT_EQ(rects[1], QRect(QPoint(46, 30), QPoint(46 + 50 - 1 - 1, 30 + 20 - 2 - 1)));
    EXPECT_FALSE(dark(img, 10, 40));  // no text drawn
}

TEST_F(GridPrinterTest, GridCannotChangeDuringARunAndAnExceptionEndsTheRun) {
    TComboGrid other;
    bool refused = false;
    printer.OnHeader = [&](QObject*, int&, int, int) {
        try {
            printer.setGrid(&other);
        } catch (const EInvalidOperation& e) {
            refused = QString::fromUtf8(e.what()) == QStringLiteral("印刷中です。");
        }
        EXPECT_TRUE(printer.Printing());
        EXPECT_EQ(printer.ToDeviceX(7), 7);
        // Nor can a second run start inside this one.
        QImage second = page();
        EXPECT_THROW(printer.PrintToImage(second, true), EInvalidOperation);
    };
    QImage img = page();
    printer.PrintToImage(img, true);
    EXPECT_TRUE(refused);
    EXPECT_EQ(printer.Grid(), &grid);

    printer.OnHeader = nullptr;
    printer.OnFooter = [](QObject*, int&, int, int) { throw std::runtime_error("footer"); };
    EXPECT_THROW(printer.PrintToImage(img, true), std::runtime_error);
    EXPECT_FALSE(printer.Printing());
    EXPECT_NO_THROW(printer.setGrid(&other));
}

}  // namespace
}  // namespace quil::ui
