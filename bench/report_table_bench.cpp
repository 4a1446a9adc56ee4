// The analysis windows' tables with a large list of odometer findings, beside building the
// report table itself in the same run (the baseline):
//   BuildTable/N       (the findings' texts and figures: analysis::odometerTable)
//   SetIntoView/N      (that table handed to the 走行距離チェック table view, columns sized)
//   SortByReading/N    (a click on the 距離 title, then back to the table's order)
// Counters: heap_MB is the heap the step keeps (mallinfo2 before and after), per build or
// view; compare SetIntoView's time and heap with BuildTable's.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <QApplication>
#include <QHeaderView>

#include "GuiBenchmarkMain.h"
#include "reports/OdometerCheck.h"
#include "reports/ReportTable.h"
#include "store/ItemStore.h"
#include "ui/tools/ReportTableView.h"

using namespace quil;

namespace {

constexpr int kVehicles = 50;

std::vector<analysis::OdometerFinding> findings(int n) {
    std::vector<analysis::OdometerFinding> out(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        auto& f = out[std::size_t(i)];
        f.position = i * 3;
        f.date = 36000 + i / 200.0;
        f.kind = static_cast<store::RecordKind>(i % 4);
        f.vehicle = i % kVehicles;
        f.reading = 1000 + (i * 7919 % 100000) / 10.0;
        f.expectedLow = f.reading + 50;
        f.expectedHigh = f.reading + 1050;
        f.problem = static_cast<analysis::OdometerProblem>(i % 4);
    }
    return out;
}

store::ItemNames names() {
    std::vector<store::ItemRecord> items;
    for (int i = 0; i < kVehicles; ++i) {
        store::ItemRecord v;
        v.setKind(store::ItemKind::Vehicle);
        v.setName("車両" + std::to_string(i));
        items.push_back(v);
    }
    return store::ItemNames(items);
}

double heapBytes() {
    const struct mallinfo2 m = mallinfo2();
    return double(m.uordblks + m.hblkhd);
}

void BuildTable(benchmark::State& state) {
    const auto list = findings(int(state.range(0)));
    const store::ItemNames itemNames = names();
    double kept = 0;
    for (auto _ : state) {
        const double before = heapBytes();
        analysis::ReportTable t = analysis::odometerTable(list, itemNames);
        kept = heapBytes() - before;
        benchmark::DoNotOptimize(t.rows.data());
        state.PauseTiming();
        t = {};
        state.ResumeTiming();
    }
    state.counters["heap_MB"] = kept / 1e6;
}

void SetIntoView(benchmark::State& state) {
    const auto list = findings(int(state.range(0)));
    const store::ItemNames itemNames = names();
    double kept = 0;
    for (auto _ : state) {
        state.PauseTiming();
        analysis::ReportTable t = analysis::odometerTable(list, itemNames);
        auto view = std::make_unique<analysis::ReportTableView>();
        view->resize(900, 600);
        const double before = heapBytes();
        state.ResumeTiming();
        view->setTable(std::move(t));
        QApplication::processEvents();
        state.PauseTiming();
        kept = heapBytes() - before;
        view.reset();
        state.ResumeTiming();
    }
    state.counters["heap_MB"] = kept / 1e6;
}

void SortByReading(benchmark::State& state) {
    const auto list = findings(int(state.range(0)));
    analysis::ReportTableView view;
    view.setTable(analysis::odometerTable(list, names()));
    for (auto _ : state) {
        view.horizontalHeader()->setSortIndicator(3, Qt::DescendingOrder);
        view.horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
        benchmark::DoNotOptimize(view.sourceRow(0));
    }
}

}  // namespace

BENCHMARK(BuildTable)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(SetIntoView)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(SortByReading)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) { return runGuiBenchmarks(argc, argv); }
