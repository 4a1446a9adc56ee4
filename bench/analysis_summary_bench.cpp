// The summary table's figures over 1,000,000 records of all four kinds, beside one filtered
// scan of the same file in the same run (the target: summing takes at most twice the scan):
//   FilteredScan   (every record read, the deleted flag and the period tested, passes counted)
//   Summary/<kind> (the same scan summing the figures of every vehicle or purpose)

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "TempFolder.h"
#include "reports/SummaryTable.h"
#include "store/ItemStore.h"
#include "store/Period.h"
#include "store/RecordStore.h"

using namespace quil::store;
using namespace quil::ui;

namespace {

constexpr int kRecords = 1000000;
constexpr int kVehicles = 50;

struct DataSet : quil::bench::TempFolder {
    DataSet() {
        ItemStore items(dir);
        for (int i = 0; i < kVehicles; ++i) {
            ItemRecord v;
            v.setKind(ItemKind::Vehicle);
            v.setName("車両" + std::to_string(i));
            items.append(v);
        }
        ItemRecord p;
        p.setKind(ItemKind::Purpose);
        p.setName("配達");
        items.append(p);
        std::vector<DataRecord> recs(std::size_t{kRecords});
        for (int i = 0; i < kRecords; ++i) {
            auto& r = recs[std::size_t(i)];
            r.setKind(std::int16_t(i % 4));
            r.setDeleted(i % 97 == 0);
            r.setDate(36000 + i / 200.0);  // about 14 years
            r.setVehicle(std::int16_t(i % kVehicles));
            r.setItem(kVehicles);
            r.setDistance1(1000 + i);
            r.setDistance2(1010 + i);
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

// Fiscal year 2000 (period entry 2).
constexpr int kPeriodIndex = 2;
constexpr int kYear = 2000;

void FilteredScan(benchmark::State& state) {
    const DataSet& d = dataSet();
    const PeriodFilter period(PeriodKind::FiscalYear,
                              periodRange(PeriodKind::FiscalYear, kYear, 0));
    for (auto _ : state) {
        std::int64_t passed = 0;
        RecordStore(d.dir).scan([&](std::int64_t, const DataRecord& r) {
            if (!r.deleted() && period.passes(r.date())) ++passed;
        });
        benchmark::DoNotOptimize(passed);
    }
}

void Summary(benchmark::State& state) {
    const DataSet& d = dataSet();
    const auto kind = SummaryKind(state.range(0));
    for (auto _ : state) {
        SummaryResult r = computeSummary(d.dir, kind, summaryPeriodFromIndex(kPeriodIndex), kYear);
        benchmark::DoNotOptimize(r.total.count);
    }
}

}  // namespace

BENCHMARK(FilteredScan)->Unit(benchmark::kMillisecond);
BENCHMARK(Summary)
    ->Arg(int(SummaryKind::DistanceByVehicle))
    ->Arg(int(SummaryKind::UsesByPurpose))
    ->Arg(int(SummaryKind::ExpenseByVehicle))
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
