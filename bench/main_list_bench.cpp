// The record list over 100,000 driving records, each beside its baseline in one run:
//   LoadAndFirstPaint  (scan, filter, Data.idx, model ready, first paint of the grid)
//   ReadAndDecode      (the same file read and every record decoded into its fields)
// plus the list's memory beyond the records (bytes per row) and the time from nothing to
// the first painted main window on an empty data set.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <filesystem>
#include <fstream>

#include "store/ItemStore.h"
#include "store/RecordStore.h"
#include "store/Settings.h"
#include "ui/components/TComboGrid.h"
#include "ui/main/RecordListModel.h"
#include "ui/main/TMainform.h"

using namespace quil::store;
using namespace quil::ui;

namespace {

struct Folder {
    std::string dir;
    Folder() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "quil-bench-XXXXXX").string();
        dir = std::string(mkdtemp(tmpl.data())) + "/";
    }
    ~Folder() { std::filesystem::remove_all(dir); }
};

// Items 0 (vehicle) and 1 (user), settings that show everything, and `n` driving records.
void makeDataSet(const std::string& dir, int n) {
    ItemStore items(dir);
    ItemRecord v, u, p;
    v.setKind(ItemKind::Vehicle);
    v.setName("営業車");
    u.setKind(ItemKind::User);
    u.setName("山田太郎");
    p.setKind(ItemKind::Purpose);
    p.setName("配達");
    items.append(v);
    items.append(u);
    items.append(p);
    Settings s(dir);
    s.writeFirstRun(2003);
    s.setPeriodKind(0);
    s.setCarMask("1");
    s.setDriverMask("1");
    std::vector<DataRecord> recs(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        auto& r = recs[static_cast<std::size_t>(i)];
        r.setKind(0);
        r.setDate(37000 + i / 10.0);
        r.setReturnTime(37000 + i / 10.0 + 0.05);
        r.setUser(1);
        r.setItem(2);
        r.setDistance1(1000 + i);
        r.setDistance2(1010 + i);
        r.setDestination("本社");
        r.setRemarks("定期便");
    }
    std::ofstream(dir + "Quil.qud", std::ios::binary)
        .write(reinterpret_cast<const char*>(recs.data()),
               static_cast<std::streamsize>(recs.size() * DataRecord::Size));
}

struct Decoded {
    double date, back, d1, d2;
    int vehicle, user, item, place, price, tax, kind;
    bool deleted;
    std::string remarks, destination;
};

void ReadAndDecode(benchmark::State& state) {
    Folder f;
    makeDataSet(f.dir, int(state.range(0)));
    for (auto _ : state) {
        std::vector<Decoded> all;
        all.reserve(std::size_t(state.range(0)));
        RecordStore(f.dir).scan([&](std::int64_t, const DataRecord& r) {
            all.push_back({r.date(), r.returnTime(), r.distance1(), r.distance2(), r.vehicle(),
                           r.user(), r.item(), r.place(), r.price(), r.tax(), r.kind(), r.deleted(),
                           r.remarks(), r.destination()});
        });
        benchmark::DoNotOptimize(all.data());
    }
}

void LoadAndFirstPaint(benchmark::State& state) {
    Folder f;
    makeDataSet(f.dir, int(state.range(0)));
    TComboGrid grid;
    RecordListModel model;
    grid.setModel(&model);
    grid.setFixedCols(2);
    grid.setFixedRows(1);
    grid.resize(800, 600);
    QImage image(800, 600, QImage::Format_ARGB32_Premultiplied);
    std::size_t overhead = 0;
    for (auto _ : state) {
        model.setUp(0);
        model.setRecords(loadRecords(f.dir, f.dir, 0));
        QPainter painter(&image);
        grid.render(&painter);
        overhead = model.overheadBytes();
    }
    state.counters["rows"] = model.recordCount();
    state.counters["bytes_per_row_beyond_records"] =
        double(overhead) / std::max(1, model.recordCount());
}

void StartToFirstPaint(benchmark::State& state) {
    for (auto _ : state) {
        Folder f;
        TMainform main(f.dir, MainformOptions{false});
        main.show();
        QImage image(main.size(), QImage::Format_ARGB32_Premultiplied);
        QPainter painter(&image);
        main.render(&painter);
        benchmark::DoNotOptimize(image.bits());
    }
}

}  // namespace

BENCHMARK(ReadAndDecode)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(LoadAndFirstPaint)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(StartToFirstPaint)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
