// Record file throughput on generated files of 10,000 and 100,000 records, each measured
// beside its baseline in the same run:
//   ScanFiltered  vs ReadRaw   (one read of the whole file, nothing decoded)
//   AppendInOrder at 10k vs 100k (should not depend on the file size)
//   InsertFront   vs CopyFile / CopyFileSynced (one plain copy of the file)

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "TempFolder.h"
#include "store/RecordStore.h"

using namespace quil::store;

namespace {

struct DataDir : quil::bench::TempFolder {
    explicit DataDir(std::int64_t records) {
        write(records);
    }
    std::string qud() const { return dir + "Quil.qud"; }
    void write(std::int64_t records) const {
        std::vector<DataRecord> recs(static_cast<std::size_t>(records));
        for (std::int64_t i = 0; i < records; ++i) {
            auto& r = recs[static_cast<std::size_t>(i)];
            r.setKind(static_cast<std::int16_t>(i % 4));
            r.setDate(30000.0 + static_cast<double>(i) / 10.0);
            r.setVehicle(static_cast<std::int16_t>(i % 5));
            r.setUser(static_cast<std::int16_t>(5 + i % 3));
            r.setRemarks("ベンチマーク用の備考");
        }
        int fd = ::open(qud().c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (::write(fd, recs.data(), recs.size() * DataRecord::Size) < 0) std::abort();
        ::close(fd);
    }
};

std::string readWhole(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY);
    std::string buf(static_cast<std::size_t>(::lseek(fd, 0, SEEK_END)), '\0');
    if (::pread(fd, buf.data(), buf.size(), 0) < 0) std::abort();
    ::close(fd);
    return buf;
}

void ReadRaw(benchmark::State& state) {
    DataDir d(state.range(0));
    for (auto _ : state) benchmark::DoNotOptimize(readWhole(d.qud()));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void ScanFiltered(benchmark::State& state) {
    DataDir d(state.range(0));
    RecordStore store(d.dir);
    const bool vehicleShown[5] = {true, false, true, true, false};
    const bool userShown[3] = {true, true, false};
    for (auto _ : state) {
        std::int64_t passed = 0;
        store.scan([&](std::int64_t, const DataRecord& r) {
            if (r.deleted() || r.kind() != 1) return;
            if (!(r.date() > 30500.0 && r.date() < 39000.0)) return;
            int v = r.vehicle(), u = r.user() - 5;
            if (v < 0 || v >= 5 || !vehicleShown[v] || u < 0 || u >= 3 || !userShown[u]) return;
            ++passed;
        });
        benchmark::DoNotOptimize(passed);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void AppendInOrder(benchmark::State& state) {
    DataDir d(state.range(0));
    RecordStore store(d.dir);
    DataRecord r;
    r.setKind(1);
    double date = 1e6;
    for (auto _ : state) {
        r.setDate(date += 1);
        benchmark::DoNotOptimize(store.save(r, std::nullopt));
    }
}

void InsertFront(benchmark::State& state) {
    DataDir d(state.range(0));
    RecordStore store(d.dir);
    DataRecord r;
    r.setKind(1);
    r.setDate(1.0);
    for (auto _ : state) {
        benchmark::DoNotOptimize(store.save(r, std::nullopt));
        state.PauseTiming();
        d.write(state.range(0));
        state.ResumeTiming();
    }
}

// One plain copy of the record file to a new file in the same folder, optionally made
// durable the way the insertion makes its new file durable.
void copyOnce(const DataDir& d, bool synced) {
    std::string bytes = readWhole(d.qud());
    std::string to = d.dir + "copy";
    int fd = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (::write(fd, bytes.data(), bytes.size()) < 0) std::abort();
    if (synced) ::fdatasync(fd);
    ::close(fd);
}

void CopyFile(benchmark::State& state) {
    DataDir d(state.range(0));
    for (auto _ : state) copyOnce(d, false);
}

void CopyFileSynced(benchmark::State& state) {
    DataDir d(state.range(0));
    for (auto _ : state) copyOnce(d, true);
}

}  // namespace

BENCHMARK(ReadRaw)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(ScanFiltered)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(AppendInOrder)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(InsertFront)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(CopyFile)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(CopyFileSynced)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
