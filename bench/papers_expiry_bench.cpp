// The expiry list (期限一覧) of a data folder with N vehicles and N drivers, as the window
// and quil-tool expiries make it: the names from Quil.qui, every licence and paper from
// QuilExt.db (a renewed entry of each beside the current ones), and the list of what
// lapses within 30 days. Against it, one plain SELECT of both tables' rows, the floor of
// reading them. The goal: the list at 10,000 vehicles and 10,000 drivers within 0.5 s (the
// window's whole opening is tool_windows_bench's OpenExpiryList).
// --full: the goal's 10,000; without it 1,000, for the test command's smoke run.
#include <benchmark/benchmark.h>

#include <cstring>

#include "PaperFolder.h"
#include "TempFolder.h"
#include "papers/Papers.h"
#include "reports/RegisterNames.h"
#include "server/FolderPaperStore.h"
#include "server/SqliteFile.h"
#include "store/Date.h"

using namespace quil;

namespace {

// One data folder for the run, made again only for another size.
const std::string& folder(int n) {
    static bench::TempFolder dir;
    static int made = 0;
    if (made != n) bench::makePaperFolder(dir.dir, n);
    made = n;
    return dir.dir;
}

void ExpiryList(benchmark::State& state) {
    const std::string& f = folder(static_cast<int>(state.range(0)));
    std::size_t shown = 0;
    for (auto _ : state) {
        const alcohol::RegisterNames names = alcohol::RegisterNames::load(f);
        server::FolderPaperStore store(f);
        const auto list =
            papers::expiryList(store.licences(false), store.papers(), store::today(), 30);
        for (const papers::ExpiryEntry& e : list)
            benchmark::DoNotOptimize(e.of == papers::ExpiryEntry::Of::Licence
                                         ? names.driverName(e.position)
                                         : names.vehicleLabel(e.position));
        shown = list.size();
    }
    state.counters["listed"] = static_cast<double>(shown);
}

void PlainSelect(benchmark::State& state) {
    const std::string& f = folder(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        server::SqliteFile file(f + "QuilExt.db", false);
        benchmark::DoNotOptimize(file.query("SELECT * FROM driver_licence"));
        benchmark::DoNotOptimize(file.query("SELECT * FROM vehicle_paper"));
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<char*> args;
    bool full = false;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--full") == 0)
            full = true;
        else
            args.push_back(argv[i]);
    }
    const int n = full ? 10000 : 1000;
    benchmark::RegisterBenchmark("ExpiryList", ExpiryList)->Arg(n)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("PlainSelect", PlainSelect)->Arg(n)->Unit(benchmark::kMillisecond);
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
