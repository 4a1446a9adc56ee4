// The cost of a driver's login: one Argon2id verification with the program's costs
// (kWebHashOps, kWebHashMemory) should take 100-500 ms, enough to make guessing slow and
// little enough for a phone's user. The other costs are measured beside it, for choosing.
// A refused login takes as long for a wrong password as for an unknown name, so that the
// time tells no name apart; a locked login (of that address) is refused at once, before any
// Argon2id: compare the three BM_Refused* lines.
// Run: build/bench/web_accounts_bench --benchmark_min_time=2

#include <benchmark/benchmark.h>

#include <string>

#include "BenchCluster.h"
#include "server/PgConnection.h"
#include "server/ServerDataSet.h"
#include "server/ServerSchema.h"
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

// A data set with one driver's login, on the benchmark's own cluster.
quil::server::PgConnection& loginDataSet() {
    static std::unique_ptr<quil::server::PgConnection> c = [] {
        const std::string conninfo =
            quil::bench::BenchCluster::get().freshDatabase("quil_web_accounts_bench");
        auto conn = std::make_unique<quil::server::PgConnection>(conninfo);
        quil::server::initializeSchema(*conn);
        quil::server::ServerDataSet set(conninfo);
        quil::store::ItemRecord it;
        it.setKind(quil::store::ItemKind::User);
        it.setName("山田");
        const int driver = set.addItem(it, quil::server::newSaveKey()).position;
        quil::server::WebAccounts(*conn).createAccount("yamada", driver, kPassword);
        return conn;
    }();
    return *c;
}

// One refused login through WebAccounts::logIn, each from an address of its own (so that
// the address limit never answers first); `login` and `password` as the case needs.
void refusedLogins(benchmark::State& state, const std::string& login, const std::string& password) {
    quil::server::WebAccounts accounts(loginDataSet());
    int n = 0;
    for (auto _ : state) {
        const std::string address =
            "10.0." + std::to_string(n / 250) + "." + std::to_string(n % 250);
        ++n;
        if (accounts.logIn(login, password, address).ok()) state.SkipWithError("logged in");
    }
}
void BM_RefusedWrongPassword(benchmark::State& state) {
    refusedLogins(state, "yamada", "違うパスワード");
}
void BM_RefusedUnknownName(benchmark::State& state) {
    refusedLogins(state, "yamadb", "違うパスワード");
}
// Locked from the one address every attempt comes from.
void BM_RefusedLocked(benchmark::State& state) {
    quil::server::WebAccounts accounts(loginDataSet());
    for (int i = 0; i < 5; ++i) accounts.logIn("yamada", "違うパスワード", "10.9.9.9");
    for (auto _ : state)
        if (accounts.logIn("yamada", kPassword, "10.9.9.9").outcome !=
            quil::server::LoginOutcome::Locked)
            state.SkipWithError("not locked");
}
BENCHMARK(BM_RefusedWrongPassword)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RefusedUnknownName)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RefusedLocked)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
