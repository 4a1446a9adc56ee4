// The reports over a server data set of N mixed records (the run's own cluster) against the
// same reports over the same data as a data folder, each pair timed alternately in the same
// loop so that a busy machine slows both alike:
//   Summary:   集計表's distance per vehicle over 全て, and over a year without records.
//   Fuel:      燃費・費用 over every record (the sums per vehicle and month, and each
//              vehicle's readings per day for the fuel economy).
//   Chart:     グラフ's report: one vehicle over the last year of the records.
//   Schedule:  点検・整備予定's pass (the highest readings, the latest maintenance).
//   Missing:   the status bar's missing-check count, loaded for the last month.
//   Odometer:  走行距離チェック over every record.
//   OdometerOneVehicle: 走行距離チェック checking one vehicle of the 20 again, as after a
//              change of its records.
//   Drives:    the drives アルコールチェック漏れ matches over 全て.
// N is 20,000 for the test command's smoke run, 1,000,000 with --full, or --records=N.
// Targets at 1,000,000: server <= 0.5 s and ratio <= 3. Counters: server_ms and folder_ms
// per report, ratio (sums over all iterations) and best_ratio (the fastest of each).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "BenchCluster.h"
#include "PushedDataSet.h"
#include "TempFolder.h"
#include "reports/FuelReport.h"
#include "reports/MaintenanceSchedule.h"
#include "reports/MissingCheckCount.h"
#include "reports/MissingChecks.h"
#include "reports/OdometerCheck.h"
#include "reports/SummaryTable.h"
#include "server/ServerStore.h"
#include "store/DataStore.h"
#include "store/Date.h"
#include "store/ItemStore.h"

using namespace quil;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kVehicles = 20;
constexpr int kUsers = 5;
constexpr int kMaintenanceItems = 3;
constexpr double kFirstDay = 36526;  // 2000/01/01
constexpr double kDays = 3650;       // about ten years

double seconds(const std::function<void()>& f) {
    const auto t0 = Clock::now();
    f();
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

// Items: vehicles 0..19, users 20..24, maintenance items 25..27, purpose 28. Records in date
// order: of every 20, 14 drives, 3 refuellings (one topped up), 1 maintenance, 2 expenses;
// one in 97 deleted.
void writeMixedDataSet(const std::string& dir, long n) {
    store::ItemStore items(dir);
    auto add = [&](store::ItemKind kind, const std::string& name) {
        store::ItemRecord i;
        i.setKind(kind);
        i.setName(name);
        items.append(i);
    };
    for (int i = 0; i < kVehicles; ++i) add(store::ItemKind::Vehicle, "車両" + std::to_string(i));
    for (int i = 0; i < kUsers; ++i) add(store::ItemKind::User, "運転者" + std::to_string(i));
    for (int i = 0; i < kMaintenanceItems; ++i)
        add(store::ItemKind::MaintenanceItem, "点検" + std::to_string(i));
    add(store::ItemKind::Purpose, "配達");
    std::ofstream out(dir + "Quil.qud", std::ios::binary);
    std::vector<store::DataRecord> chunk;
    for (long i = 0; i < n; i += 4096) {
        chunk.clear();
        for (long k = i; k < std::min(n, i + 4096); ++k) {
            store::DataRecord r;
            const int slot = int(k % 20);
            const int kind = slot < 14 ? 0 : slot < 17 ? 1 : slot < 18 ? 2 : 3;
            r.setKind(std::int16_t(kind));
            r.setDate(kFirstDay + double(k) * kDays / double(n));
            r.setVehicle(std::int16_t(k % kVehicles));
            r.setUser(std::int16_t(kVehicles + k % kUsers));
            r.setDeleted(k % 97 == 0);
            const double odometer = 1000 + double(k / kVehicles) * 4.0;
            if (kind == 0) {
                r.setItem(std::int16_t(kVehicles + kUsers + kMaintenanceItems));
                r.setDistance1(odometer);
                r.setDistance2(odometer + 4);
                r.setReturnTime(r.date() + 0.1);
            } else if (kind == 1) {
                r.setDistance1(slot == 15 ? 0 : odometer);
                r.setDistance2(30);
                if (slot == 16) r.setRemarks("部分給油");
            } else if (kind == 2) {
                r.setItem(std::int16_t(kVehicles + kUsers + (k / 20) % kMaintenanceItems));
                r.setDistance1((k / 20) % 4 == 0 ? 0 : odometer);
            }
            r.setPrice(std::int32_t(1000 + k % 500));
            r.setTax(std::int32_t(80 + k % 20));
            chunk.push_back(r);
        }
        out.write(reinterpret_cast<const char*>(chunk.data()),
                  std::streamsize(chunk.size() * store::DataRecord::Size));
    }
}

struct Stores {
    std::unique_ptr<store::DataStore> server;
    std::unique_ptr<store::DataStore> folder;
};

// The data set of n records as a folder and pushed to the cluster, once per run.
Stores stores(long n) {
    static std::map<long, std::unique_ptr<bench::TempFolder>> folders;
    auto& f = folders[n];
    const std::string name = "quil_bench_reports_" + std::to_string(n);
    if (!f) {
        f = std::make_unique<bench::TempFolder>();
        writeMixedDataSet(f->dir, n);
        server::PgConnection& c = bench::dataSetConnection(name);
        server::pushFolder(c, f->dir);
        c.run("VACUUM ANALYZE quil_records");
    }
    return {server::openServerStore(bench::BenchCluster::get().conninfo(name)),
            store::openFolderStore(f->dir)};
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

constexpr int kLastYear = 2009;

void Summary(benchmark::State& state) {
    pair(state, [](store::DataStore& d) {
        auto all = ui::computeSummary(d, ui::SummaryKind::DistanceByVehicle,
                                      ui::summaryPeriodFromIndex(0), kLastYear);
        auto empty =
            ui::computeSummary(d, ui::SummaryKind::UsesByUser, ui::summaryPeriodFromIndex(1), 2400);
        benchmark::DoNotOptimize(all.total.distance + empty.total.distance);
    });
}

void Fuel(benchmark::State& state) {
    pair(state, [](store::DataStore& d) {
        auto r = analysis::computeFuelReport(d, analysis::ReportPeriod{});
        benchmark::DoNotOptimize(r.total.distance);
    });
}

void Chart(benchmark::State& state) {
    const analysis::ReportPeriod year{false,
                                   store::periodRange(store::PeriodKind::Year, kLastYear, 0)};
    pair(state, [&](store::DataStore& d) {
        auto r = analysis::computeFuelReport(d, year, 0);
        benchmark::DoNotOptimize(r.points.data());
    });
}

void Schedule(benchmark::State& state) {
    std::vector<analysis::MaintenanceCycle> cycles;
    for (int i = 0; i < kMaintenanceItems; ++i)
        cycles.push_back({kVehicles + kUsers + i, 6 + i, 5000, 0});
    pair(state, [&](store::DataStore& d) {
        auto rows = analysis::computeSchedule(d, cycles, kFirstDay + kDays);
        benchmark::DoNotOptimize(rows.data());
    });
}

void Missing(benchmark::State& state) {
    const store::DateTime last = kFirstDay + kDays;
    const store::CivilDate c = store::decodeDate(last);
    const store::DateTime first = store::encodeDate(c.year, c.month, 1);
    pair(state, [&](store::DataStore& d) {
        alcohol::MissingCheckCount count;
        count.load(d, first, last);
        benchmark::DoNotOptimize(count.count(last + 1));
    });
}

void Odometer(benchmark::State& state) {
    pair(state, [](store::DataStore& d) {
        benchmark::DoNotOptimize(analysis::checkOdometers(d).size());
    });
}

void OdometerOneVehicle(benchmark::State& state) {
    pair(state, [](store::DataStore& d) {
        benchmark::DoNotOptimize(
            analysis::checkOdometersByVehicle(d, analysis::kDefaultDailyLimitKm, {3}).size());
    });
}

void Drives(benchmark::State& state) {
    pair(state, [](store::DataStore& d) {
        benchmark::DoNotOptimize(
            alcohol::drivesBetween(d, store::encodeDate(1, 1, 1), store::encodeDate(9999, 12, 31))
                .size());
    });
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<char*> args;
    long n = 20000;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--full") == 0)
            n = 1000000;
        else if (std::strncmp(argv[i], "--records=", 10) == 0)
            n = std::max(100L, std::atol(argv[i] + 10));
        else
            args.push_back(argv[i]);
    }
    for (auto [name, f] : {std::pair{"Summary", &Summary},
                           {"Fuel", &Fuel},
                           {"Chart", &Chart},
                           {"Schedule", &Schedule},
                           {"Missing", &Missing},
                           {"Odometer", &Odometer},
                           {"OdometerOneVehicle", &OdometerOneVehicle},
                           {"Drives", &Drives}})
        benchmark::RegisterBenchmark(name, f)->Arg(n)->UseManualTime()->Unit(
            benchmark::kMillisecond);
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
