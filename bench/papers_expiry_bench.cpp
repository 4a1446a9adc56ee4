// The expiry list (期限一覧) of a data folder with N vehicles and N drivers, as the window
// and quil-tool expiries make it: the names from Quil.qui, every licence and paper from
// QuilExt.db (a renewed entry of each beside the current ones), and the list of what
// lapses within 30 days. Against it, one plain SELECT of both tables' rows, the floor of
// reading them. The goal: the list at 10,000 vehicles and 10,000 drivers within 0.5 s.
// --full: the goal's 10,000; without it 1,000, for the test command's smoke run.
#include <benchmark/benchmark.h>

#include <cstring>
#include <fstream>

#include "TempFolder.h"
#include "papers/Papers.h"
#include "reports/RegisterNames.h"
#include "server/FolderPaperStore.h"
#include "server/SqliteFile.h"
#include "store/Date.h"
#include "store/ItemStore.h"
#include "store/Records.h"

using namespace quil;

namespace {

constexpr double kStamp = 45000.25;

// A data folder with n vehicles and n users, each driver with a licence and its renewal,
// each vehicle with 車検, 自賠責 and 任意保険 and the renewal of its 車検.
const std::string& folder(int n) {
    static bench::TempFolder dir;
    static int made = 0;
    if (made == n) return dir.dir;
    std::filesystem::remove(dir.dir + "QuilExt.db");
    const store::DateTime today = store::today();
    {
        std::string bytes;
        const auto add = [&](const store::ItemRecord& it) {
            bytes.append(reinterpret_cast<const char*>(it.bytes().data()), it.Size);
        };
        for (const store::ItemRecord& it : store::firstRunItems(kStamp, today - 400)) add(it);
        for (int i = 0; i < 2 * n; ++i) {
            store::ItemRecord it;
            it.setStamp(kStamp);
            it.setKind(i % 2 ? store::ItemKind::User : store::ItemKind::Vehicle);
            it.setName((i % 2 ? "運転者" : "車両") + std::to_string(i / 2));
            it.setOrder(999);
            add(it);
        }
        std::ofstream(dir.dir + store::kItemFileName, std::ios::binary | std::ios::trunc) << bytes;
        std::ofstream(dir.dir + "Quil.qud", std::ios::binary | std::ios::trunc);
    }
    std::vector<papers::DriverLicence> licences;
    std::vector<papers::VehiclePaper> papers;
    for (int i = 0; i < n; ++i) {
        const int first = 7 + 2 * i;
        papers::DriverLicence l;
        l.driver = first + 1;
        l.number = std::to_string(100000000000LL + i);
        l.kinds = "普通";
        l.expiry = today - 1000 + i % 1500;
        licences.push_back(l);
        l.expiry += 1095;
        licences.push_back(l);
        for (int k = 0; k < 3; ++k) {
            papers::VehiclePaper p;
            p.vehicle = first;
            p.kind = static_cast<papers::PaperKind>(k);
            p.expiry = today - 30 + (i * 7 + k * 11) % 800;
            p.number = "No." + std::to_string(i);
            papers.push_back(p);
        }
        papers.push_back(papers[papers.size() - 3]);
        papers.back().expiry += 730;
    }
    server::FolderPaperStore(dir.dir).addAll(licences, papers);
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
