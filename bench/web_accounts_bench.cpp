// The cost of a driver's login: one Argon2id verification with the program's costs
// (kWebHashOps, kWebHashMemory) should take 100-500 ms, enough to make guessing slow and
// little enough for a phone's user. The other costs are measured beside it, for choosing.
// Run: build/bench/web_accounts_bench --benchmark_min_time=2

#include <benchmark/benchmark.h>

#include <string>

#include "server/WebAccounts.h"

namespace {

using quil::server::hashWebPassword;
using quil::server::verifyWebPassword;

const std::string kPassword = "運転者のパスワード-2024";

// The login: a verification of the stored hash with the program's costs.
void BM_LoginVerification(benchmark::State& state) {
    const std::string hash = hashWebPassword(kPassword);
    for (auto _ : state) {
        const bool ok = verifyWebPassword(hash, kPassword);
        if (!ok) state.SkipWithError("the password did not verify");
        benchmark::DoNotOptimize(ok);
    }
}
BENCHMARK(BM_LoginVerification)->Unit(benchmark::kMillisecond)->UseRealTime();

// A wrong password costs the same.
void BM_RefusedVerification(benchmark::State& state) {
    const std::string hash = hashWebPassword(kPassword);
    for (auto _ : state) benchmark::DoNotOptimize(verifyWebPassword(hash, "違うパスワード"));
}
BENCHMARK(BM_RefusedVerification)->Unit(benchmark::kMillisecond)->UseRealTime();

// Other costs: operations x MiB.
void BM_VerificationAtCost(benchmark::State& state) {
    const auto ops = static_cast<unsigned long long>(state.range(0));
    const auto memory = static_cast<std::size_t>(state.range(1)) << 20;
    const std::string hash = hashWebPassword(kPassword, ops, memory);
    for (auto _ : state) benchmark::DoNotOptimize(verifyWebPassword(hash, kPassword));
}
BENCHMARK(BM_VerificationAtCost)
    ->Args({3, 64})
    ->Args({4, 64})
    ->Args({3, 128})
    ->Args({2, 256})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
