// The alcohol-check register with 100,000 checks: loading it (whole, and filtered by a
// period and a driver as the list window does) against one plain SELECT of the table that
// reads every column of every row. The target: load and filter within twice the SELECT.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QSqlQuery>
#include <QTemporaryDir>

#include "ext/ExtDatabase.h"
#include "ui/tools/alcohol/AlcoholStore.h"

using namespace quil;

namespace {

constexpr int kChecks = 100000;

const std::string& folder() {
    static QTemporaryDir dir;
    static const std::string path = [] {
        const std::string f = dir.path().toStdString() + "/";
        std::vector<alcohol::AlcoholCheck> checks;
        checks.reserve(kChecks);
        const double first = store::encodeDate(2023, 1, 1);
        for (int i = 0; i < kChecks; ++i) {
            alcohol::AlcoholCheck c;
            c.when = first + i * (730.0 / kChecks);
            c.timing = static_cast<alcohol::CheckTiming>(i % 2);
            c.driver = i % 20;
            c.vehicle = i % 10;
            c.checker = "安全運転管理者 太郎";
            c.method = static_cast<alcohol::CheckMethod>(i % 3);
            c.detector = 1 + i % 3;
            c.reading = (i % 7) * 0.01;
            c.instructions = i % 50 == 0 ? "体調に注意して運転すること" : "";
            c.remarks = i % 9 == 0 ? "備考あり" : "";
            checks.push_back(c);
        }
        alcohol::AlcoholStore(f).addAll(checks);
        return f;
    }();
    return path;
}

void BM_PlainSelect(benchmark::State& state) {
    const std::string& f = folder();
    for (auto _ : state) {
        ext::ExtDatabase db(f);
        db.open(false);
        QSqlQuery q = db.exec(QStringLiteral("SELECT * FROM alcohol_check"));
        const int columns = 16;
        std::int64_t rows = 0;
        while (q.next()) {
            for (int c = 0; c < columns; ++c) benchmark::DoNotOptimize(q.value(c));
            ++rows;
        }
        if (rows != kChecks) state.SkipWithError("wrong row count");
    }
}
BENCHMARK(BM_PlainSelect)->Unit(benchmark::kMillisecond);

void BM_LoadAll(benchmark::State& state) {
    const std::string& f = folder();
    for (auto _ : state) {
        alcohol::AlcoholStore s(f);
        alcohol::CheckFilter all;
        all.withDeleted = true;
        const auto checks = s.load(all);
        if (checks.size() != kChecks) state.SkipWithError("wrong row count");
        benchmark::DoNotOptimize(checks.data());
    }
}
BENCHMARK(BM_LoadAll)->Unit(benchmark::kMillisecond);

void BM_LoadYearOfOneDriver(benchmark::State& state) {
    const std::string& f = folder();
    for (auto _ : state) {
        alcohol::AlcoholStore s(f);
        alcohol::CheckFilter filter;
        filter.firstDay = store::encodeDate(2023, 4, 1);
        filter.lastDay = store::encodeDate(2024, 3, 31);
        filter.driver = 7;
        const auto checks = s.load(filter);
        if (checks.empty()) state.SkipWithError("nothing found");
        benchmark::DoNotOptimize(checks.data());
    }
}
BENCHMARK(BM_LoadYearOfOneDriver)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
