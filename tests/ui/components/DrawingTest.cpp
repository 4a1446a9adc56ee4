// Where the combo grid puts texts, buttons and check boxes, and when it reports drawing.
#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QImage>
#include <QPainter>
#include <QTest>

#include "ui/components/DisplayPattern.h"
#include "ui/components/TComboGrid.h"

using namespace quil::ui;

namespace {

const QRect kR(10, 20, 100, 24);

QPoint origin(quint8 a, int m, bool fixed) {
    return TComboGrid::TextOrigin(kR, 30, 14, a, m, fixed);
}

struct Ink {
    int left = INT_MAX, right = -1, top = INT_MAX, bottom = -1;
};

// The bounding box of the pixels that differ from the background colour.
Ink inkOf(const QImage& img, QRgb background) {
    Ink ink;
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x) {
            if (img.pixel(x, y) == background) continue;
            ink.left = std::min(ink.left, x);
            ink.right = std::max(ink.right, x);
            ink.top = std::min(ink.top, y);
            ink.bottom = std::max(ink.bottom, y);
        }
    }
    return ink;
}

// A grid with plain black-on-white colours for pixel checks.
struct PlainGrid {
    TComboGrid grid;
    PlainGrid() {
        QPalette pal = grid.palette();
        pal.setColor(QPalette::Base, Qt::white);
        pal.setColor(QPalette::Text, Qt::black);
        pal.setColor(QPalette::Button, Qt::white);
        pal.setColor(QPalette::ButtonText, Qt::black);
        pal.setColor(QPalette::Disabled, QPalette::Text, QColor(128, 128, 128));
        grid.setPalette(pal);
        grid.setColCount(3);
        grid.setRowCount(3);
    }
    // Draws one cell into an image that has a margin of 20 pixels around the cell.
    QImage draw(int col, int row, const QRect& cell, TGridDrawState state = {}) {
        QImage img(cell.width() + 40, cell.height() + 40, QImage::Format_RGB32);
        img.fill(Qt::white);
        QPainter p(&img);
        grid.DrawCell(p, col, row, cell.translated(20, 20), state);
        return img;
    }
};

}  // namespace

TEST(TextPlacement, AlignmentFlagsAndTheirPrecedence) {
    EXPECT_EQ(origin(caLeft | caMiddle, 2, false), QPoint(12, 25));
    EXPECT_EQ(origin(0, 2, false), QPoint(12, 25));  // neither flag: left, middle
    EXPECT_EQ(origin(caCenter | caMiddle, 2, false), QPoint(45, 25));
    EXPECT_EQ(origin(caRight | caMiddle, 2, false), QPoint(78, 25));
    EXPECT_EQ(origin(caCenter | caRight, 2, false), QPoint(78, 25));  // 6: right wins
    EXPECT_EQ(origin(caLeft | caTop, 2, false), QPoint(12, 22));
    EXPECT_EQ(origin(caTop | caBottom, 2, false), QPoint(12, 30));  // 40: bottom wins
}

TEST(TextPlacement, BottomIsTwoPixelsUpInFixedCellsAndOnTheEdgeInOrdinaryOnes) {
    EXPECT_EQ(origin(caBottom, 2, true).y(), 20 + 24 - 14 - 2);
    EXPECT_EQ(origin(caBottom, 2, false).y(), 20 + 24 - 14);
}

TEST(TextPlacement, SignedMargin) {
    EXPECT_EQ(origin(caLeft, 5, false).x(), 15);
    EXPECT_EQ(origin(caRight, -2, false).x(), 10 + 100 + 2 - 30);  // 2 pixels past the edge
    EXPECT_EQ(origin(caLeft, -4, false).x(), 6);
}

TEST(CellDrawing, TextLandsWhereTheAlignmentPutsItAndStaysInsideTheCell) {
    PlainGrid g;
    const QRect cell(0, 0, 120, 24);
    g.grid.setCells(0, 1, QStringLiteral("MMMM"));
    const QRgb white = qRgb(255, 255, 255);

    const Ink left = inkOf(g.draw(0, 1, cell), white);
    EXPECT_GE(left.left, 20 + 2);
    EXPECT_LE(left.left, 20 + 4);

    g.grid.CellKind(0).setAlignment(caRight | caMiddle);
    const Ink right = inkOf(g.draw(0, 1, cell), white);
    EXPECT_LE(right.right, 20 + 120 - 2);
    EXPECT_GE(right.right, 20 + 120 - 5);

    g.grid.CellKind(0).Margin = -2;  // past the right edge, clipped by the cell
    const Ink clipped = inkOf(g.draw(0, 1, cell), white);
    EXPECT_LE(clipped.right, 20 + 119);
    EXPECT_GT(clipped.right, right.right);

    g.grid.CellKind(0).setAlignment(caBottom);
    g.grid.CellKind(0).Margin = 2;
    const Ink ordinary = inkOf(g.draw(0, 1, cell), white);
    g.grid.CellKind(0).setFixedAlignment(caBottom);
    g.grid.setFixedRows(1);
    g.grid.setCells(0, 0, QStringLiteral("MMMM"));
    QPalette pal = g.grid.palette();
    const QImage fixedImg = g.draw(0, 0, cell, TGridDrawState{false, false, true});
    const Ink fixedInk = inkOf(fixedImg, pal.color(QPalette::Button).rgb());
    EXPECT_EQ(ordinary.bottom - fixedInk.bottom, 2);
    EXPECT_LE(ordinary.bottom, 20 + 23);
}

TEST(CellDrawing, DisplayPatternAppliesToNumbersInTextColumnsOnly) {
    TComboGrid grid;
    grid.setColCount(2);
    grid.setRowCount(4);
    grid.CellKind(0).Items.Add(QString());
    grid.CellKind(0).Items.Add(QStringLiteral("#,##0"));
    grid.setCells(0, 0, QStringLiteral("1234567"));
    grid.setCells(0, 1, QStringLiteral("abc"));
    EXPECT_EQ(grid.DisplayText(0, 0), QStringLiteral("1,234,567"));
    EXPECT_EQ(grid.DisplayText(0, 1), QStringLiteral("abc"));
    EXPECT_EQ(grid.DisplayText(0, 2), QString());
    grid.CellKind(1).Items.Add(QStringLiteral("99"));  // one entry: an edit mask, no pattern
    grid.setCells(1, 0, QStringLiteral("1234567"));
    EXPECT_EQ(grid.DisplayText(1, 0), QStringLiteral("1234567"));
    grid.CellKind(0).Kind = ckList;  // the pattern belongs to text columns
    EXPECT_EQ(grid.DisplayText(0, 0), QStringLiteral("1234567"));
}

TEST(DisplayPattern, PlaceholdersSeparatorsSectionsAndRounding) {
    EXPECT_EQ(formatWithPattern(12345.65, QStringLiteral("0.0")), QStringLiteral("12345.7"));
    EXPECT_EQ(formatWithPattern(-1234.5, QStringLiteral("#,##0")), QStringLiteral("-1,235"));
    EXPECT_EQ(formatWithPattern(0.5, QStringLiteral("#.##")), QStringLiteral(".5"));
    EXPECT_EQ(formatWithPattern(1, QStringLiteral("0.00")), QStringLiteral("1.00"));
    EXPECT_EQ(formatWithPattern(7, QStringLiteral("000")), QStringLiteral("007"));
    EXPECT_EQ(formatWithPattern(1000, QStringLiteral("#,##0円")), QStringLiteral("1,000円"));
    EXPECT_EQ(formatWithPattern(1000, QStringLiteral("\"¥\"#,##0")), QStringLiteral("¥1,000"));
    EXPECT_EQ(formatWithPattern(-5, QStringLiteral("0;(0);ゼロ")), QStringLiteral("(5)"));
    EXPECT_EQ(formatWithPattern(0, QStringLiteral("0;(0);ゼロ")), QStringLiteral("ゼロ"));
    EXPECT_EQ(formatWithPattern(999.96, QStringLiteral("#,##0.0")), QStringLiteral("1,000.0"));
    EXPECT_EQ(formatWithPattern(-0.04, QStringLiteral("0.0")), QStringLiteral("0.0"));
    EXPECT_FALSE(parseDecimalText(QStringLiteral("1,000")).has_value());
    EXPECT_FALSE(parseDecimalText(QStringLiteral("inf")).has_value());
    EXPECT_EQ(parseDecimalText(QStringLiteral(" -12.5 ")).value_or(0), -12.5);
}

TEST(CellDrawing, ButtonCaptionIsEntryZeroOrTheCellTextUnderTheExactMarker) {
    PlainGrid g;
    const QRect cell(0, 0, 80, 24);
    TCellKind& k = g.grid.CellKind(1);
    k.Kind = ckButton;
    k.Items.Add(QStringLiteral("OK"));
    g.grid.setCells(1, 1, QStringLiteral("Go"));
    const QImage withEntry = g.draw(1, 1, cell);
    g.grid.setCells(1, 1, QStringLiteral("other"));
    EXPECT_EQ(g.draw(1, 1, cell), withEntry);  // whatever the cell holds

    k.Items.Clear();
    k.Items.Add(QString::fromLatin1(kUseCellDataMarker));
    g.grid.setCells(1, 1, QStringLiteral("OK"));
    EXPECT_EQ(g.draw(1, 1, cell), withEntry);  // the cell's own text
    g.grid.setCells(1, 1, QStringLiteral("Go"));
    EXPECT_NE(g.draw(1, 1, cell), withEntry);

    k.Items.Clear();
    k.Items.Add(QStringLiteral("%%usecelldata%%"));  // not the marker: shown as it is
    g.grid.setCells(1, 1, QStringLiteral("OK"));
    EXPECT_NE(g.draw(1, 1, cell), withEntry);
}

TEST(CellDrawing, CheckBoxShowsCrossEmptyBoxOrGreyBox) {
    PlainGrid g;
    TCellKind& k = g.grid.CellKind(2);
    k.Kind = ckCheck;
    k.Items.Add(QStringLiteral("off"), 0);
    k.Items.Add(QStringLiteral("on"), 1);
    const QRect cell(0, 0, 60, 24);
    // The 13 x 13 box: left 2 + 56/2 - 6 = 24, top 2 + 20/2 - 6 = 6 (plus the image margin).
    const QPoint centre(20 + 30, 20 + 12);
    const QPoint offDiagonal(20 + 27, 20 + 12);
    auto at = [&](const QString& text, QPoint p) {
        g.grid.setCells(2, 1, text);
        return QColor(g.draw(2, 1, cell).pixel(p));
    };
    EXPECT_EQ(at(QStringLiteral("OFF"), centre), QColor(Qt::black));  // cross, case ignored
    EXPECT_EQ(at(QStringLiteral("off"), offDiagonal), QColor(Qt::white));
    EXPECT_EQ(at(QStringLiteral("on"), centre), QColor(Qt::white));         // empty box
    EXPECT_EQ(at(QStringLiteral("maybe"), centre), QColor(128, 128, 128));  // grey box
}

TEST(CellDrawing, AFixedCheckColumnShowsEntryZerosStateInEveryRow) {
    PlainGrid g;
    g.grid.setFixedCols(1);
    TCellKind& k = g.grid.CellKind(0);
    k.Kind = ckCheck;
    k.Items.Add(QStringLiteral("on"), 1);
    k.Items.Add(QStringLiteral("off"), 0);
    const QRect cell(0, 0, 60, 24);
    const QPoint centre(20 + 30, 20 + 12);
    const TGridDrawState fixed{false, false, true};
    g.grid.setCells(0, 1, QStringLiteral("off"));
    EXPECT_EQ(QColor(g.draw(0, 1, cell, fixed).pixel(centre)), QColor(Qt::white));  // entry 0
    k.Items.Clear();
    k.Items.Add(QString::fromLatin1(kUseCellDataMarker), 1);
    k.Items.Add(QStringLiteral("off"), 0);
    EXPECT_EQ(QColor(g.draw(0, 1, cell, fixed).pixel(centre)), QColor(Qt::black));  // own text
}

TEST(CellDrawing, WithoutDefaultDrawingNothingIsDrawnButEveryCellIsReported) {
    PlainGrid g;
    g.grid.setCells(0, 1, QStringLiteral("text"));
    g.grid.setDefaultDrawing(false);
    int calls = 0;
    QObject::connect(
        &g.grid, &TComboGrid::OnDrawCell,
        [&](TComboGrid* sender, int c, int r, const QRect& R, TGridDrawState s, QPainter* canvas) {
            ++calls;
            EXPECT_EQ(sender, &g.grid);
            EXPECT_EQ(c, 0);
            EXPECT_EQ(r, 1);
            EXPECT_EQ(R, QRect(20, 20, 50, 24));
            EXPECT_TRUE(s.Selected);
            EXPECT_NE(canvas, nullptr);
        });
    QImage blank(90, 64, QImage::Format_RGB32);
    blank.fill(Qt::white);
    EXPECT_EQ(g.draw(0, 1, QRect(0, 0, 50, 24), TGridDrawState{true, false, false}), blank);
    EXPECT_EQ(calls, 1);
    g.draw(0, 1, QRect(0, 0, 0, 24));  // an empty rectangle: not even reported
    EXPECT_EQ(calls, 1);
}

TEST(GridPainting, FixedCellsAreDrawnAsFixedAndTheCurrentButtonCellOnceMoreWithAnEmptyState) {
    TComboGrid grid;
    grid.setColCount(4);
    grid.setRowCount(5);
    grid.setFixedRows(1);
    grid.setFixedCols(1);
    grid.CellKind(1).Kind = ckButton;
    grid.CellKind(1).Items.Add(QStringLiteral("押"));
    grid.resize(400, 200);
    grid.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid));
    EXPECT_EQ(grid.Col(), 1);
    EXPECT_EQ(grid.Row(), 1);
    struct Call {
        int c, r;
        TGridDrawState s;
    };
    std::vector<Call> calls;
    QObject::connect(&grid, &TComboGrid::OnDrawCell,
                     [&](TComboGrid*, int c, int r, const QRect&, TGridDrawState s, QPainter*) {
                         calls.push_back({c, r, s});
                     });
    (void)grid.grab();
    auto count = [&](int c, int r, auto pred) {
        return std::count_if(calls.begin(), calls.end(),
                             [&](const Call& k) { return k.c == c && k.r == r && pred(k.s); });
    };
    EXPECT_GE(count(0, 0, [](TGridDrawState s) { return s.Fixed; }), 1);  // corner
    EXPECT_GE(count(2, 0, [](TGridDrawState s) { return s.Fixed; }), 1);  // fixed row
    EXPECT_GE(count(0, 3, [](TGridDrawState s) { return s.Fixed; }), 1);  // fixed column
    EXPECT_GE(count(2, 3, [](TGridDrawState s) { return !s.Fixed; }), 1);
    EXPECT_EQ(count(2, 3, [](TGridDrawState s) { return s.Fixed; }), 0);
    EXPECT_GE(count(1, 1, [](TGridDrawState s) { return s == TGridDrawState{}; }), 1);
    EXPECT_GE(count(1, 1, [](TGridDrawState) { return true; }), 2);  // the cell, then again
}

TEST(GridPainting, AButtonInAFixedColumnIsDrawnPressedWhilePressed) {
    PlainGrid g;
    TComboGrid& grid = g.grid;
    grid.setRowCount(4);
    grid.setFixedRows(1);
    grid.setFixedCols(1);
    grid.CellKind(0).Kind = ckButton;
    grid.CellKind(0).Items.Add(QStringLiteral("押"));
    grid.resize(300, 160);
    grid.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid));
    const QRect cell(0, 0, 60, 23);
    const TGridDrawState fixed{false, false, true};
    const QImage raised = g.draw(0, 2, cell, fixed);

    QWidget* column = grid.verticalHeader()->viewport();
    const QPoint inCell(grid.ColWidths(0) / 2, grid.RowHeights(1) + grid.RowHeights(2) / 2);
    QTest::mousePress(column, Qt::LeftButton, {}, inCell);
    EXPECT_NE(g.draw(0, 2, cell, fixed), raised) << "drawn sunken while the button is held";
    EXPECT_EQ(g.draw(0, 3, cell, fixed), raised) << "only the pressed cell";
    QTest::mouseRelease(column, Qt::LeftButton, {}, inCell);
    EXPECT_EQ(g.draw(0, 2, cell, fixed), raised);
}

TEST(GridMouse, ADoubleClickAnywhereOnTheGridIsReported) {
    TComboGrid grid;
    grid.setColCount(3);
    grid.setRowCount(3);
    grid.setFixedRows(1);
    grid.setFixedCols(1);
    grid.resize(300, 200);
    grid.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid));
    int reports = 0;
    QObject::connect(&grid, &TComboGrid::OnDblClick, [&](TComboGrid* sender) {
        EXPECT_EQ(sender, &grid);
        ++reports;
    });
    const int rowH = grid.RowHeights(1);
    QTest::mouseDClick(grid.viewport(), Qt::LeftButton, {}, QPoint(10, rowH / 2));  // a cell
    EXPECT_EQ(reports, 1);
    QTest::mouseDClick(grid.viewport(), Qt::LeftButton, {},
                       QPoint(10, grid.viewport()->height() - 5));  // below the rows
    EXPECT_EQ(reports, 2);
    QTest::mouseDClick(grid.verticalHeader()->viewport(), Qt::LeftButton, {},
                       QPoint(5, rowH / 2));  // the fixed column
    EXPECT_EQ(reports, 3);
    QTest::mouseDClick(grid.horizontalHeader()->viewport(), Qt::LeftButton, {},
                       QPoint(grid.ColWidths(1) / 2, 5));  // the title row
    EXPECT_EQ(reports, 4);
}

TEST(GridPainting, TheCurrentButtonCellShowsTheFocusRectangleWhileTheGridHasTheFocus) {
    PlainGrid g;
    TComboGrid& grid = g.grid;
    grid.setRowCount(4);
    grid.setFixedRows(1);
    grid.CellKind(1).Kind = ckButton;
    grid.CellKind(1).Items.Add(QStringLiteral("押"));
    grid.resize(300, 160);
    grid.show();
    QApplication::setActiveWindow(&grid);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&grid));
    QWidget* body = grid.viewport();
    const QPoint inCell(grid.ColWidths(0) + grid.ColWidths(1) / 2, grid.RowHeights(1) / 2);
    QTest::mouseClick(body, Qt::LeftButton, {}, inCell);
    ASSERT_EQ(grid.Col(), 1);
    ASSERT_TRUE(grid.hasFocus());
    const QRect cell(grid.ColWidths(0), 0, grid.ColWidths(1), grid.RowHeights(1));
    const QImage focused = body->grab(cell).toImage();
    grid.clearFocus();
    const QImage unfocused = body->grab(cell).toImage();
    EXPECT_NE(focused, unfocused);
}

// After a row is removed from the end of a grid scrolled to its end, the fixed column is asked
// to paint the removed row's place, now after the last row. Only the rows in view are drawn
// for it (not every row of the grid), and the area looks as in a paint of the whole column.
TEST(GridPainting, PaintingAfterTheLastRowDrawsNoOtherRowsAndShowsTheEmptyArea) {
    PlainGrid g;
    TComboGrid& grid = g.grid;
    grid.setColCount(2);
    grid.setRowCount(2001);
    grid.setFixedRows(1);
    grid.setFixedCols(1);
    for (int r = 1; r < 2001; ++r) grid.setCells(0, r, QString::number(r));
    grid.resize(300, 200);
    grid.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid));
    QHeaderView* header = grid.verticalHeader();
    QWidget* column = header->viewport();
    // Scrolled as the removal leaves it until the scroll range follows: the last row on top.
    header->setOffset(header->length() - grid.RowHeights(2000));
    const int end = grid.RowHeights(2000);
    ASSERT_LT(end, column->height() - 20);
    int fixedDrawn = 0;
    QObject::connect(&grid, &TComboGrid::OnDrawCell,
                     [&](TComboGrid*, int c, int r, const QRect&, TGridDrawState, QPainter*) {
                         if (c == 0 && r > 0) ++fixedDrawn;
                     });
    QImage whole(column->size(), QImage::Format_ARGB32_Premultiplied);
    whole.fill(Qt::magenta);
    column->render(&whole, {}, QRegion(column->rect()), QWidget::DrawChildren);
    EXPECT_EQ(fixedDrawn, 1);

    const QRect below(0, end + 4, column->width(), column->height() - end - 4);
    QImage part(column->size(), QImage::Format_ARGB32_Premultiplied);
    part.fill(Qt::magenta);
    fixedDrawn = 0;
    column->render(&part, below.topLeft(), QRegion(below), QWidget::DrawChildren);
    EXPECT_LE(fixedDrawn, 1) << "at most the last row, clipped away";
    EXPECT_EQ(part.copy(below), whole.copy(below));
    EXPECT_NE(whole.pixel(below.center()), QColor(Qt::magenta).rgba()) << "the area is painted";
}
