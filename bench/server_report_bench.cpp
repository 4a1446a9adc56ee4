// The reports over a server data set of N records (the run's own cluster, ListDataSet.h's
// records pushed once, PushedDataSet.h) against the same reports over the data folder, each
// pair timed alternately in the same loop so that a busy machine slows both alike:
//   Summary/N: 集計表's distance per vehicle over 全て, and over a year without records.
//   FuelReport/N: 燃費・費用 over every record (the sums per vehicle and month, and each
//     vehicle's readings per day for the fuel economy).
//   Schedule/N: 点検・整備予定's pass (the highest readings, the latest maintenance).
// Targets at 1,000,000: server <= 0.5 s and ratio <= 3. Counters: server_ms and folder_ms
// per report, ratio (sums over all iterations) and best_ratio (the fastest of each).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>

#include "BenchCluster.h"
#include "ListDataSet.h"
#include "PushedDataSet.h"
#include "reports/FuelReport.h"
#include "reports/MaintenanceSchedule.h"
#include "reports/SummaryTable.h"
#include "server/ServerStore.h"
#include "store/DataStore.h"

using namespace quil;
using Clock = std::chrono::steady_clock;

namespace {

double seconds(const std::function<void()>& f) {
    const auto t0 = Clock::now();
    f();
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

struct Stores {
    std::unique_ptr<store::DataStore> server;
    std::unique_ptr<store::DataStore> folder;
};

Stores stores(long n) {
    bench::pushedDataSet(n);
    return {server::openServerStore(
                bench::BenchCluster::get().conninfo(bench::pushedDataSetName(n))),
            store::openFolderStore(bench::sharedListDataSet(n))};
}

// Times `report` on the server and on the folder, alternately.
void pair(benchmark::State& state, const std::function<void(store::DataStore&)>& report) {
    Stores s = stores(long(state.range(0)));
    double total = 0, floorTotal = 0, best = 1e9, floorBest = 1e9;
    for (auto _ : state) {
        const double onServer = seconds([&] { report(*s.server); });
        const double inFolder = seconds([&] { report(*s.folder); });
        state.SetIterationTime(onServer);
        total += onServer, floorTotal += inFolder;
        best = std::min(best, onServer), floorBest = std::min(floorBest, inFolder);
    }
    const double n = double(state.iterations());
    state.counters["server_ms"] = total / n * 1e3;
    state.counters["folder_ms"] = floorTotal / n * 1e3;
    state.counters["ratio"] = total / floorTotal;
    state.counters["best_ratio"] = best / floorBest;
}

void Summary(benchmark::State& state) {
    pair(state, [](store::DataStore& d) {
        auto all = ui::computeSummary(d, ui::SummaryKind::DistanceByVehicle, 0, 2024);
        auto empty = ui::computeSummary(d, ui::SummaryKind::UsesByUser, 1, 2400);
        benchmark::DoNotOptimize(all.total.distance + empty.total.distance);
    });
}

void FuelReport(benchmark::State& state) {
    pair(state, [](store::DataStore& d) {
        auto r = fleet::computeFuelReport(d, fleet::ReportPeriod{});
        benchmark::DoNotOptimize(r.total.distance);
    });
}

void Schedule(benchmark::State& state) {
    const std::vector<fleet::MaintenanceCycle> cycles = {{0, 6, 5000, 0}};
    pair(state, [&](store::DataStore& d) {
        auto rows = fleet::computeSchedule(d, cycles, 41000);
        benchmark::DoNotOptimize(rows.data());
    });
}

}  // namespace

BENCHMARK(Summary)->Arg(1000000)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(FuelReport)->Arg(1000000)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(Schedule)->Arg(1000000)->UseManualTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
