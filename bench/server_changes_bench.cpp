// What announcements on the change channel cost a running program: a server data set of N
// records (the program's own throwaway cluster), one program listening, and another login
// sending 100 announcements that name nothing new, one at a time ("x", an unknown record, a
// repeated real one, master lists and register parts that did not change). Timed: the
// listener's takeChanges() for each, the work its GUI thread does.
//   ForgedNotices/N: ms for the 100 in total (ms_per_100). Target: < 50 ms at N = 100,000.
//   Beside it, floor_ms_per_100: one plain "SELECT 1" on the listener's connection after
//   each, the least any look at the server costs, and ratio (the two's sums).
// The run fails when any of them is told as a change.

#include <benchmark/benchmark.h>

#include <chrono>
#include <string>

#include "BenchCluster.h"
#include "PushedDataSet.h"
#include "server/PgConnection.h"
#include "server/ServerDataSet.h"

using namespace quil;

namespace {

void ForgedNotices(benchmark::State& state) {
    const long n = state.range(0);
    server::PgConnection& owner = bench::pushedDataSet(n);
    const std::string conninfo = bench::BenchCluster::get().conninfo(bench::pushedDataSetName(n));
    server::ServerDataSet listener(conninfo);
    listener.listen();
    server::PgConnection forger(conninfo);
    const std::string someRecord(owner.exec("SELECT max(id) FROM quil_records").text(0, 0));
    const std::string payloads[] = {"x",
                                    "replaced 1",
                                    "r update 99999999 2 5",
                                    "r insert " + someRecord + " 1 1",
                                    "i update 0 2 3",
                                    "e checks 7",
                                    "e detectors",
                                    "e cycles 2"};
    constexpr int kNotices = 100;
    double totalMs = 0;
    double floorMs = 0;
    for (auto _ : state) {
        std::chrono::duration<double> spent{0};
        for (int i = 0; i < kNotices; ++i) {
            forger.exec("SELECT pg_notify('quil_changes', $1)",
                        {server::PgParam::text(payloads[i % std::size(payloads)])});
            if (!listener.connection().waitReadable(1000)) {
                state.SkipWithError("an announcement did not arrive");
                return;
            }
            const auto t0 = std::chrono::steady_clock::now();
            const auto changes = listener.takeChanges();
            spent += std::chrono::steady_clock::now() - t0;
            if (!changes.empty()) {
                state.SkipWithError("an announcement that named nothing new was told as a change");
                return;
            }
            const auto f0 = std::chrono::steady_clock::now();
            listener.connection().exec("SELECT 1");
            floorMs += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - f0)
                           .count();
        }
        state.SetIterationTime(spent.count());
        totalMs += spent.count() * 1000;
    }
    state.counters["ms_per_100"] = totalMs / double(state.iterations());
    state.counters["floor_ms_per_100"] = floorMs / double(state.iterations());
    state.counters["ratio"] = totalMs / floorMs;
}

}  // namespace

BENCHMARK(ForgedNotices)->Arg(100000)->UseManualTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
