// The combo grid at the record list's size: 100,000 rows of 12 columns (plus a title row).
// Fill: every cell through Cells, a row at a time, and a lazy model plugged in. Scroll:
// one scroll step plus a full repaint of the visible cells, near the top and near the end
// of the table (the two should cost the same: nothing per row outside the view).
#include <benchmark/benchmark.h>

#include <QAbstractTableModel>
#include <QApplication>
#include <QScrollBar>

#include "GuiBenchmarkMain.h"
#include "ui/components/TComboGrid.h"
#include "ui/components/TStringTableModel.h"

using namespace quil::ui;

namespace {

constexpr int kRows = 100000;
constexpr int kCols = 12;

// Formats a cell only when asked, as the record list's model does.
class LazyModel : public QAbstractTableModel {
public:
    int rowCount(const QModelIndex& = {}) const override { return kRows + 1; }
    int columnCount(const QModelIndex& = {}) const override { return kCols; }
    QVariant data(const QModelIndex& i, int role) const override {
        if (role != Qt::DisplayRole) return {};
        if (i.row() == 0) return QStringLiteral("見出し%1").arg(i.column());
        return QString::number(i.row() * 37 + i.column());
    }
};

QString cellText(int c, int r) { return QString::number(r * 37 + c); }

void BM_FillEveryCell(benchmark::State& state) {
    for (auto _ : state) {
        TComboGrid grid;
        grid.setColCount(kCols);
        grid.setRowCount(kRows + 1);
        grid.setFixedRows(1);
        for (int r = 1; r <= kRows; ++r) {
            for (int c = 0; c < kCols; ++c) grid.setCells(c, r, cellText(c, r));
        }
        benchmark::DoNotOptimize(grid.Cells(3, kRows));
    }
    state.counters["cells"] = double(kRows) * kCols;
}
BENCHMARK(BM_FillEveryCell)->Unit(benchmark::kMillisecond);

void BM_FillRowByRow(benchmark::State& state) {
    for (auto _ : state) {
        TComboGrid grid;
        grid.setColCount(kCols);
        grid.setRowCount(kRows + 1);
        grid.setFixedRows(1);
        QStringList row;
        for (int r = 1; r <= kRows; ++r) {
            row.clear();
            for (int c = 0; c < kCols; ++c) row << cellText(c, r);
            grid.setRowTexts(r, row);
        }
        benchmark::DoNotOptimize(grid.Cells(3, kRows));
    }
}
BENCHMARK(BM_FillRowByRow)->Unit(benchmark::kMillisecond);

// The way a list loads when it adds one row per record taken.
void BM_GrowOneRowAtATime(benchmark::State& state) {
    for (auto _ : state) {
        TComboGrid grid;
        grid.setColCount(kCols);
        grid.setRowCount(2);
        grid.setFixedRows(1);
        grid.setFixedCols(2);
        QStringList row;
        for (int r = 1; r <= kRows; ++r) {
            if (r > 1) grid.setRowCount(r + 1);
            row.clear();
            for (int c = 0; c < kCols; ++c) row << cellText(c, r);
            grid.setRowTexts(r, row);
        }
        benchmark::DoNotOptimize(grid.Cells(3, kRows));
    }
}
BENCHMARK(BM_GrowOneRowAtATime)->Unit(benchmark::kMillisecond);

void BM_PlugInLazyModel(benchmark::State& state) {
    LazyModel model;
    for (auto _ : state) {
        TComboGrid grid;
        grid.setFixedRows(1);
        grid.setModel(&model);
        benchmark::DoNotOptimize(grid.Cells(3, kRows));
    }
}
BENCHMARK(BM_PlugInLazyModel)->Unit(benchmark::kMillisecond);

// One scroll step and a synchronous repaint of an 800 x 600 grid, starting at `startRow`.
void scrollAndPaint(benchmark::State& state, TComboGrid& grid, int startRow) {
    grid.resize(800, 600);
    grid.show();
    QApplication::processEvents();
    QScrollBar* bar = grid.verticalScrollBar();
    const int first = std::min(startRow, bar->maximum() - 200);
    int step = 0;
    for (auto _ : state) {
        bar->setValue(first + (step++ % 200));
        grid.viewport()->repaint();
    }
    state.counters["frames/s"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_ScrollPaintStrings(benchmark::State& state) {
    TComboGrid grid;
    grid.setColCount(kCols);
    grid.setRowCount(kRows + 1);
    grid.setFixedRows(1);
    grid.setFixedCols(1);
    for (int r = 0; r <= kRows; ++r) {
        QStringList row;
        for (int c = 0; c < kCols; ++c) row << cellText(c, r);
        grid.setRowTexts(r, row);
    }
    grid.CellKind(5).setAlignment(caRight | caMiddle);
    grid.CellKind(6).Items.Add(QString());
    grid.CellKind(6).Items.Add(QStringLiteral("#,##0"));
    scrollAndPaint(state, grid, int(state.range(0)));
}
BENCHMARK(BM_ScrollPaintStrings)->Arg(0)->Arg(kRows)->Unit(benchmark::kMicrosecond);

void BM_ScrollPaintLazy(benchmark::State& state) {
    LazyModel model;
    TComboGrid grid;
    grid.setFixedRows(1);
    grid.setFixedCols(1);
    grid.setModel(&model);
    scrollAndPaint(state, grid, int(state.range(0)));
}
BENCHMARK(BM_ScrollPaintLazy)->Arg(0)->Arg(kRows)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) { return runGuiBenchmarks(argc, argv); }
