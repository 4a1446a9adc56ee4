// CSV export of a record file of 1,000,000 records beside its baseline, one filtered scan
// of the same file, both timed in each iteration of one run:
//   ExportVsScan/<tab>: the scan takes the records the tool's filter takes and formats
//   nothing; the export scans with the same filter, formats every row taken and writes the
//   CSV file, on two threads when the machine has two processors. Counters: scan_ms and
//   export_ms (elapsed), ratio (elapsed export over elapsed scan: the time a user waits),
//   best_ratio (the fastest export over the fastest scan, which a busy machine disturbs
//   least), cpu_ratio (the process's CPU time, both threads and the kernel's reading and
//   writing, over the scan's). The target is ratio <= 2 for each tab.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "TempFolder.h"
#include "folder/CsvExport.h"
#include "store/ItemStore.h"
#include "store/RecordStore.h"

using namespace quil::store;
using namespace quil::folder;

namespace {

constexpr std::int64_t kRecords = 1000000;

// One data set for the whole run: the first-run items, three vehicles and users, and
// the records of all four kinds in date order.
struct DataSet : quil::bench::TempFolder {
    DataSet() {
        ItemStore items(dir);
        for (const ItemRecord& it : firstRunItems(40000, 40000)) items.append(it);
        for (const char* name : {"軽トラ", "ワゴン"}) {
            ItemRecord it;
            it.setKind(ItemKind::Vehicle);
            it.setName(name);
            items.append(it);  // 7, 8
        }
        for (const char* name : {"山田", "佐藤"}) {
            ItemRecord it;
            it.setKind(ItemKind::User);
            it.setName(name);
            items.append(it);  // 9, 10
        }
        const std::int16_t vehicles[] = {0, 7, 8};
        const std::int16_t users[] = {1, 9, 10};
        int fd = ::open((dir + kRecordFileName).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        constexpr std::int64_t kChunk = 10000;
        std::vector<DataRecord> recs(static_cast<std::size_t>(kChunk));
        for (std::int64_t base = 0; base < kRecords; base += kChunk) {
            for (std::int64_t k = 0; k < kChunk; ++k) {
                const std::int64_t i = base + k;
                auto& r = recs[static_cast<std::size_t>(k)];
                r = DataRecord();
                r.setStamp(40000);
                r.setKind(static_cast<std::int16_t>(i % 4));
                r.setDate(30000.0 + static_cast<double>(i) / 100.0);
                r.setReturnTime(30000.5 + static_cast<double>(i) / 100.0);
                r.setVehicle(vehicles[i % 3]);
                r.setUser(users[(i / 3) % 3]);
                r.setDistance1(12345.6 + double(i % 1000));
                r.setDistance2(12400.0 + double(i % 1000));
                r.setPrice(static_cast<std::int32_t>(1000 + i % 5000));
                r.setTax(static_cast<std::int32_t>(100 + i % 500));
                r.setItem(static_cast<std::int16_t>(i % 4 == 0   ? 2
                                                    : i % 4 == 2 ? 4
                                                    : i % 4 == 3 ? 6
                                                                 : -1));
                r.setPlace(-1);
                r.setRemarks("ベンチマーク用の備考");
                if (i % 4 == 0) r.setDestination("駅前");
            }
            if (::write(fd, recs.data(), recs.size() * DataRecord::Size) < 0) std::abort();
        }
        ::close(fd);
    }
};

const DataSet& dataSet() {
    static DataSet d;
    return d;
}

ListOptions optionsFor(ListTab tab) {
    ListOptions o;
    o.tab = tab;
    o.vehicles = {"車両1", "軽トラ"};  // a filter that drops a third of the records
    return o;
}

struct Clocks {
    double cpu = 0, wall = 0;
    static Clocks now() {
        timespec c{}, w{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &c);
        clock_gettime(CLOCK_MONOTONIC, &w);
        return {double(c.tv_sec) + double(c.tv_nsec) * 1e-9,
                double(w.tv_sec) + double(w.tv_nsec) * 1e-9};
    }
    Clocks operator-(const Clocks& o) const { return {cpu - o.cpu, wall - o.wall}; }
    Clocks& operator+=(const Clocks& o) {
        cpu += o.cpu;
        wall += o.wall;
        return *this;
    }
};

// The two are timed alternately in one loop, so a busy machine slows both alike.
void ExportVsScan(benchmark::State& state) {
    const DataSet& d = dataSet();
    const ListOptions o = optionsFor(*listTabOf(int(state.range(0))));
    const std::string out = d.dir + "export.csv";
    Clocks scan, exported;
    double bestScan = 1e9, bestExport = 1e9;  // elapsed
    std::int64_t taken = 0, rows = 0;
    std::size_t bytes = 0;
    for (auto _ : state) {
        std::filesystem::remove(out);  // writing a new file, not overwriting last one's
        const Clocks t0 = Clocks::now();
        const ListFilter filter = toolListFilter(ItemStore(d.dir).readAll(), o);
        taken = 0;
        RecordStore(d.dir).scan(
            [&](std::int64_t, const DataRecord& r) { taken += filter.takes(r); });
        benchmark::DoNotOptimize(taken);
        const Clocks t1 = Clocks::now();
        const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0) std::abort();
        bytes = 0;
        rows = exportListCsv(d.dir, o, TextEncoding::Cp932, [&](std::string_view b) {
            if (::write(fd, b.data(), b.size()) != ssize_t(b.size())) std::abort();
            bytes += b.size();
        });
        if (::close(fd) != 0) std::abort();
        const Clocks t2 = Clocks::now();
        scan += t1 - t0;
        exported += t2 - t1;
        bestScan = std::min(bestScan, (t1 - t0).wall);
        bestExport = std::min(bestExport, (t2 - t1).wall);
    }
    if (rows != taken || std::filesystem::file_size(out) != bytes) {
        state.SkipWithError("the export did not write every record the scan took");
        return;
    }
    const double n = double(state.iterations());
    state.counters["rows"] = double(rows);
    state.counters["csv_bytes"] = double(bytes);
    state.counters["scan_ms"] = scan.wall / n * 1e3;
    state.counters["export_ms"] = exported.wall / n * 1e3;
    state.counters["ratio"] = exported.wall / scan.wall;
    state.counters["best_ratio"] = bestExport / bestScan;  // fastest of each: less noise
    state.counters["cpu_ratio"] = exported.cpu / scan.cpu;
    state.SetItemsProcessed(state.iterations() * kRecords);
}

}  // namespace

BENCHMARK(ExportVsScan)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
