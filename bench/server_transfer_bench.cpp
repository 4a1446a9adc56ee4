// A data set of N records moved between a data folder and a PostgreSQL server (the
// program's own throwaway cluster, over its Unix socket), each measured beside its floor in
// the same loop, the two timed alternately so that a busy machine slows both alike:
//   PushVsCopy/N: pushFolder of the folder into an emptied data set, against one plain
//     binary COPY of the same rows (built in memory beforehand) into a new table shaped like
//     the records table (its columns, checks and indexes, without the trigger that announces
//     changes).
//     Target: ratio <= 3.
//   PullVsRead/N: pullFolder into a new folder (both files written and synced), against one
//     plain COPY (SELECT raw ...) TO STDOUT read into memory. Target: ratio <= 3.
//   ScanVsFile/N: ServerDataSet::scanRecords of every record, against one plain read of the
//     folder's record file.
//   PushSumsCost/N: what the reports' kept sums cost a push: pushFolder into the data set as
//     the program makes it, against the same push into data sets from which the bench has
//     dropped (a) the four report indexes on quil_records and the rebuild of the kept sums
//     (`lean_ms`), and (b) also the figures' generated columns those indexes cover
//     (`bare_ms`), the three timed in turn. ratio: full / bare; lean_ratio: lean / bare.
// Counters: the two elapsed times in ms, ratio (their sums over all iterations) and
// best_ratio (the fastest of each, which a busy machine disturbs least).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "BenchCluster.h"
#include "FileReadFloor.h"
#include "ListDataSet.h"
#include "PushedDataSet.h"
#include "TempFolder.h"
#include "server/PgConnection.h"
#include "server/ServerDataSet.h"
#include "server/ServerSchema.h"
#include "server/ServerTransfer.h"
#include "store/ItemStore.h"

using namespace quil;

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point t0) {
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

// Empties the data set and writes out what the last load left dirty, so that neither of
// the two timed loads pays for the other's checkpoint.
void emptyDataSet(server::PgConnection& c) {
    c.run("TRUNCATE quil_records, quil_items, quil_files, quil_saves RESTART IDENTITY");
    c.run("SELECT setval('quil_entry_seq', 1, false)");
    c.run("CHECKPOINT");
}

// The binary COPY stream of a record file's rows in the columns the push fills.
class CopyStream {
public:
    explicit CopyStream(const std::string& recordFile) {
        static constexpr char kHeader[] = "PGCOPY\n\377\r\n\0\0\0\0\0\0\0\0\0";
        bytes_.append(kHeader, 19);
        std::vector<std::uint8_t> file(std::filesystem::file_size(recordFile));
        std::FILE* in = std::fopen(recordFile.c_str(), "rb");
        if (!in || std::fread(file.data(), 1, file.size(), in) != file.size()) std::abort();
        std::fclose(in);
        const std::size_t n = file.size() / store::DataRecord::Size;
        bytes_.reserve(19 + n * (store::DataRecord::Size + 80) + 2);
        for (std::size_t i = 0; i < n; ++i) {
            const store::DataRecord r(file.data() + i * store::DataRecord::Size);
            be(std::int16_t{8});
            int8(std::int64_t(i + 1));
            int8(std::int64_t(i + 1));
            std::uint64_t date;
            const double d = r.date();
            std::memcpy(&date, &d, 8);
            be(std::int32_t{8}), be(date);
            be(std::int32_t{2}), be(r.vehicle());
            be(std::int32_t{2}), be(r.user());
            be(std::int32_t{2}), be(r.kind());
            be(std::int32_t{1}), bytes_.push_back(r.deleted() ? 1 : 0);
            be(std::int32_t{store::DataRecord::Size});
            bytes_.append(reinterpret_cast<const char*>(r.bytes().data()), store::DataRecord::Size);
        }
        bytes_.append("\xff\xff", 2);
        rows_ = std::int64_t(n);
    }
    const std::string& bytes() const { return bytes_; }
    std::int64_t rows() const { return rows_; }

private:
    void int8(std::int64_t v) { be(std::int32_t{8}), be(v); }
    template <typename T>
    void be(T v) {
        auto u = static_cast<std::make_unsigned_t<T>>(v);
        for (int i = int(sizeof(T)) - 1; i >= 0; --i) bytes_.push_back(char((u >> (8 * i)) & 0xff));
    }
    std::string bytes_;
    std::int64_t rows_ = 0;
};

void setRatios(benchmark::State& state, const char* what, double total, double best,
               const char* floorName, double floorTotal, double floorBest) {
    const double n = double(state.iterations());
    state.counters[std::string(what) + "_ms"] = total / n * 1e3;
    state.counters[std::string(floorName) + "_ms"] = floorTotal / n * 1e3;
    state.counters["ratio"] = total / floorTotal;
    state.counters["best_ratio"] = best / floorBest;
}

void PushVsCopy(benchmark::State& state) {
    const long n = long(state.range(0));
    const std::string& folder = bench::sharedListDataSet(n);
    const CopyStream copy(folder + store::kRecordFileName);
    server::PgConnection& c = bench::dataSetConnection("quil_bench_push_" + std::to_string(n));
    double push = 0, floor = 0, bestPush = 1e9, bestFloor = 1e9;
    for (auto _ : state) {
        emptyDataSet(c);
        auto t0 = Clock::now();
        const server::TransferCounts counts = server::pushFolder(c, folder);
        const double p = secondsSince(t0);
        if (counts.records != n) {
            state.SkipWithError("the push did not send every record");
            return;
        }

        // The floor's table: the records table's columns, checks and indexes, no trigger.
        emptyDataSet(c);
        c.run("DROP TABLE IF EXISTS quil_floor");
        c.run("CREATE TABLE quil_floor (LIKE quil_records INCLUDING ALL)");
        t0 = Clock::now();
        c.copyIn(
            "COPY quil_floor (id, entry, date, vehicle, user_no, kind, deleted, raw) "
            "FROM STDIN (FORMAT binary)",
            [&, at = std::size_t{0}](const auto& sink) mutable {
                const std::size_t chunk = std::min<std::size_t>(1 << 20, copy.bytes().size() - at);
                sink(std::string_view(copy.bytes()).substr(at, chunk));
                at += chunk;
                return at < copy.bytes().size();
            });
        const double f = secondsSince(t0);
        push += p, floor += f;
        bestPush = std::min(bestPush, p), bestFloor = std::min(bestFloor, f);
        state.SetIterationTime(p);
    }
    if (c.exec("SELECT count(*) FROM quil_floor").integer(0, 0) != copy.rows()) {
        state.SkipWithError("the COPY did not load every row");
        return;
    }
    setRatios(state, "push", push, bestPush, "copy", floor, bestFloor);
    state.SetItemsProcessed(state.iterations() * n);
}

void PullVsRead(benchmark::State& state) {
    const long n = long(state.range(0));
    server::PgConnection& c = bench::pushedDataSet(n);
    const bench::TempFolder place;
    double pull = 0, floor = 0, bestPull = 1e9, bestFloor = 1e9;
    std::string read;
    for (auto _ : state) {
        const std::string dest = place.dir + "pulled/";
        auto t0 = Clock::now();
        const server::TransferCounts counts = server::pullFolder(c, dest);
        const double p = secondsSince(t0);
        std::filesystem::remove_all(dest);
        if (counts.records != n) {
            state.SkipWithError("the pull did not write every record");
            return;
        }

        read.clear();
        t0 = Clock::now();
        c.copyOut("COPY (SELECT raw FROM quil_records) TO STDOUT (FORMAT binary)",
                  [&](std::string_view chunk) { read.append(chunk); });
        const double f = secondsSince(t0);
        benchmark::DoNotOptimize(read.data());
        pull += p, floor += f;
        bestPull = std::min(bestPull, p), bestFloor = std::min(bestFloor, f);
        state.SetIterationTime(p);
    }
    // Header, then per row 2 + 4 + 256 bytes, then the end mark.
    if (read.size() != 19 + std::size_t(n) * (6 + store::DataRecord::Size) + 2) {
        state.SkipWithError("the COPY did not read every row");
        return;
    }
    setRatios(state, "pull", pull, bestPull, "read", floor, bestFloor);
    state.SetItemsProcessed(state.iterations() * n);
}

void ScanVsFile(benchmark::State& state) {
    const long n = long(state.range(0));
    bench::pushedDataSet(n);
    server::ServerDataSet data(bench::BenchCluster::get().conninfo(bench::pushedDataSetName(n)));
    const std::string& folder = bench::sharedListDataSet(n);
    std::vector<char> buf(1 << 20);
    double scan = 0, floor = 0, bestScan = 1e9, bestFloor = 1e9;
    std::int64_t rows = 0;
    for (auto _ : state) {
        rows = 0;
        double dates = 0;
        auto t0 = Clock::now();
        data.scanRecords([&](const server::RecordRow& r) {
            ++rows;
            dates += r.record.date();
        });
        const double s = secondsSince(t0);
        benchmark::DoNotOptimize(dates);

        t0 = Clock::now();
        const std::size_t bytes = bench::readRecordFileOnce(folder, buf);
        const double f = secondsSince(t0);
        if (bytes != std::size_t(n) * store::DataRecord::Size) {
            state.SkipWithError("the record file is not whole");
            return;
        }
        scan += s, floor += f;
        bestScan = std::min(bestScan, s), bestFloor = std::min(bestFloor, f);
        state.SetIterationTime(s);
    }
    if (rows != n) {
        state.SkipWithError("the scan did not read every record");
        return;
    }
    setRatios(state, "scan", scan, bestScan, "file", floor, bestFloor);
    state.SetItemsProcessed(state.iterations() * n);
}

// Takes out of the data set what keeps the reports' sums at a push: the report indexes and
// the rebuild (made a no-op), and with `columns` the generated figures' columns.
void dropKeptSums(server::PgConnection& c, bool columns) {
    c.run(
        "DROP INDEX quil_records_sums, quil_records_readings, quil_records_kinds, "
        "quil_records_refuellings, quil_records_drives");
    c.run(
        "CREATE OR REPLACE FUNCTION quil_rebuild_record_sums() RETURNS void "
        "LANGUAGE plpgsql AS 'BEGIN END'");
    if (columns)
        c.run(
            "ALTER TABLE quil_records DROP COLUMN distance1, DROP COLUMN distance2, "
            "DROP COLUMN price, DROP COLUMN tax, DROP COLUMN item, DROP COLUMN return_time");
}

void PushSumsCost(benchmark::State& state) {
    const long n = long(state.range(0));
    const std::string& folder = bench::sharedListDataSet(n);
    const std::string name = "quil_bench_sums_cost_" + std::to_string(n);
    server::PgConnection& full = bench::dataSetConnection(name);
    server::PgConnection& lean = bench::dataSetConnection(name + "_lean");
    server::PgConnection& bare = bench::dataSetConnection(name + "_bare");
    static std::map<long, bool> dropped;
    if (!dropped[n]) {
        dropKeptSums(lean, false);
        dropKeptSums(bare, true);
        dropped[n] = true;
    }
    double totals[3] = {0, 0, 0};
    for (auto _ : state) {
        double took[3];
        int at = 0;
        for (server::PgConnection* c : {&full, &lean, &bare}) {
            emptyDataSet(*c);
            const auto t0 = Clock::now();
            const server::TransferCounts counts = server::pushFolder(*c, folder);
            took[at] = secondsSince(t0);
            if (counts.records != n) {
                state.SkipWithError("the push did not send every record");
                return;
            }
            totals[at] += took[at];
            ++at;
        }
        state.SetIterationTime(took[0]);
    }
    const double iterations = double(state.iterations());
    state.counters["full_ms"] = totals[0] / iterations * 1e3;
    state.counters["lean_ms"] = totals[1] / iterations * 1e3;
    state.counters["bare_ms"] = totals[2] / iterations * 1e3;
    state.counters["ratio"] = totals[0] / totals[2];
    state.counters["lean_ratio"] = totals[1] / totals[2];
}

}  // namespace

BENCHMARK(PushSumsCost)
    ->Arg(10000)
    ->Arg(200000)
    ->Arg(1000000)
    ->Iterations(2)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(PushVsCopy)->Arg(10000)->Arg(1000000)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(PullVsRead)->Arg(10000)->Arg(1000000)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(ScanVsFile)->Arg(10000)->Arg(1000000)->UseManualTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
