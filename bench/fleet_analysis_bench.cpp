// Fuel economy with costs and the maintenance schedule over 1,000,000 records, beside one
// plain scan of the same file in the same run (the target: both together take at most twice
// the scan):
//   Scan                (every record read, the deleted flag tested, live records counted)
//   FuelEconomy         (every vehicle, every record's period: the full-to-full chain, the
//                        vehicle and month figures)
//   Schedule            (the last maintenance of each vehicle and item, the highest readings)
//   FuelAndSchedule     (both from one scan, as the windows would share it)
//   OdometerCheck       (every reading against its vehicle's chain)

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "TempFolder.h"
#include "reports/FuelReport.h"
#include "reports/MaintenanceSchedule.h"
#include "reports/OdometerCheck.h"
#include "store/ItemStore.h"
#include "store/RecordStore.h"

using namespace quil::store;
using namespace quil::analysis;

namespace {

constexpr int kRecords = 1000000;
constexpr int kVehicles = 50;
constexpr int kItems = 5;

struct DataSet : quil::bench::TempFolder {
    DataSet() {
        ItemStore items(dir);
        for (int i = 0; i < kVehicles; ++i) {
            ItemRecord v;
            v.setKind(ItemKind::Vehicle);
            v.setName("車両" + std::to_string(i));
            v.setRegistered(36000);
            items.append(v);
        }
        for (int i = 0; i < kItems; ++i) {
            ItemRecord m;
            m.setKind(ItemKind::MaintenanceItem);
            m.setName("点検" + std::to_string(i));
            items.append(m);
        }
        std::vector<DataRecord> recs(std::size_t{kRecords});
        for (int i = 0; i < kRecords; ++i) {
            auto& r = recs[std::size_t(i)];
            const int kind = i % 4;
            r.setKind(std::int16_t(kind));
            r.setDeleted(i % 97 == 0);
            r.setDate(36000 + i / 200.0);  // about 14 years
            r.setVehicle(std::int16_t(i % kVehicles));
            const double odometer = 1000 + (i / kVehicles) * 3.0;
            if (kind == 0) {
                r.setDistance1(odometer);
                r.setDistance2(odometer + 3);
            } else if (kind == 1) {
                r.setDistance2(20);
                if (i % 7 == 0) r.setRemarks("部分給油");
            } else if (kind == 2) {
                r.setDistance1(odometer);
                r.setItem(std::int16_t(kVehicles + i % kItems));
            }
            r.setPrice(1000 + i % 100);
            r.setTax(50);
        }
        std::ofstream(dir + "Quil.qud", std::ios::binary)
            .write(reinterpret_cast<const char*>(recs.data()),
                   static_cast<std::streamsize>(recs.size() * DataRecord::Size));
    }
};

const DataSet& dataSet() {
    static DataSet d;
    return d;
}

std::vector<MaintenanceCycle> cycles() {
    std::vector<MaintenanceCycle> c;
    for (int i = 0; i < kItems; ++i) c.push_back({kVehicles + i, 6 + i, 5000, 0});
    return c;
}

void Scan(benchmark::State& state) {
    const DataSet& d = dataSet();
    for (auto _ : state) {
        std::int64_t live = 0;
        RecordStore(d.dir).scan([&](std::int64_t, const DataRecord& r) {
            if (!r.deleted()) ++live;
        });
        benchmark::DoNotOptimize(live);
    }
}

void FuelEconomy(benchmark::State& state) {
    const DataSet& d = dataSet();
    for (auto _ : state) {
        FuelReport r = computeFuelReport(d.dir, ReportPeriod{});
        benchmark::DoNotOptimize(r.total.economyDistance);
    }
}

void Schedule(benchmark::State& state) {
    const DataSet& d = dataSet();
    const auto c = cycles();
    for (auto _ : state) {
        auto rows = computeSchedule(d.dir, c, 41000);
        benchmark::DoNotOptimize(rows.data());
    }
}

void FuelAndSchedule(benchmark::State& state) {
    const DataSet& d = dataSet();
    const auto c = cycles();
    const auto vehicles = ItemStore(d.dir).listLive(ItemKind::Vehicle);
    for (auto _ : state) {
        FuelReportBuilder fuel(vehicles, ReportPeriod{});
        ScheduleCollector schedule;
        RecordStore(d.dir).scan([&](std::int64_t, const DataRecord& r) {
            fuel.add(r);
            schedule.add(r);
        });
        FuelReport report = fuel.finish();
        auto rows =
            buildSchedule(scheduleVehicles(d.dir), scheduleItems(d.dir), c, schedule, 41000);
        benchmark::DoNotOptimize(report.total.economyDistance);
        benchmark::DoNotOptimize(rows.data());
    }
}

void OdometerCheck(benchmark::State& state) {
    const DataSet& d = dataSet();
    for (auto _ : state) {
        auto findings = checkOdometers(d.dir);
        benchmark::DoNotOptimize(findings.data());
    }
}

}  // namespace

BENCHMARK(Scan)->Unit(benchmark::kMillisecond);
BENCHMARK(FuelEconomy)->Unit(benchmark::kMillisecond);
BENCHMARK(Schedule)->Unit(benchmark::kMillisecond);
BENCHMARK(FuelAndSchedule)->Unit(benchmark::kMillisecond);
BENCHMARK(OdometerCheck)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
