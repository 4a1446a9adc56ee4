// The main window's list on a server data set (the run's own cluster, over its Unix socket)
// against the same list from a data folder, each pair timed alternately in the same loop so
// that a busy machine slows both alike. The data sets are ListDataSet.h's, the server's
// pushed from the folder once per run (PushedDataSet.h).
//   StartToPaintedList/N: the main window made over the data set, shown, and the events
//     processed until the list's first paint has ended (the rows on screen read and drawn).
//     Targets at 1,000,000: server <= 0.5 s and ratio <= 3.
//   StartSteps/N: the server's steps before the first paint, each timed alone (connect and
//     check the schema, the role, the items, listIds, the first page of rows), beside the
//     folder's whole list load: where the start's time goes. first_256_ids_ms is the same
//     query as listIds with LIMIT 256 (not a step of today's start): what a start that
//     painted before fetching the whole id list would wait for instead.
//   AddRecord/N: one ServerStore::addRecord under a new save key (one round trip, the
//     server's order index and the save-key row included), against RecordStore::save of the
//     same record into a copy of the folder. Only the store call: the list's reload after
//     it is given apart as reload_ms (loadServerRecords of the whole list, measured once).
//     The cluster runs with fsync off (speed over durability); fsync:1 turns it on for the
//     run of that case, as a real server has it, so that every commit waits for its WAL
//     flush. Target: server <= 20 ms.
//   AddThroughWindow/N: the same add as the entry dialog's save would make it, through the
//     window: the store call, then what the entry dialog announces after it (on a server the
//     list finds the row in place by a binary search over its rows) and the events until the
//     window is idle; against the folder's save and its follow-up. Target: ≤ 20 ms.
//   ScrollToEnd: the list loaded afresh (its pages of rows forgotten) and painted at its
//     top, then scrolled to its end and painted: one page read from the server. Timed at
//     10,000 and 1,000,000 records, server and folder. Target: server_growth (1M / 10k)
//     about 1.
// Counters: the elapsed times in ms, ratio (sums over all iterations) and best_ratio (the
// fastest of each, which a busy machine disturbs least).

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QEvent>
#include <QImage>
#include <QPainter>
#include <QStringList>
#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "BenchCluster.h"
#include "GuiBenchmarkMain.h"
#include "ListDataSet.h"
#include "PushedDataSet.h"
#include "TempFolder.h"
#include "app/ServerParts.h"
#include "reports/OdometerCheck.h"
#include "server/ServerStore.h"
#include "store/ListFilter.h"
#include "store/RecordStore.h"
#include "store/Settings.h"
#include "ui/components/TComboGrid.h"
#include "ui/dialogs/Prompts.h"
#include "ui/main/RecordListModel.h"
#include "ui/main/TMainform.h"

using namespace quil;
using namespace quil::ui;

namespace {

using Clock = std::chrono::steady_clock;

double secondsBetween(Clock::time_point t0, Clock::time_point t1) {
    return std::chrono::duration<double>(t1 - t0).count();
}

std::string conninfo(long n) {
    bench::pushedDataSet(n);
    return bench::BenchCluster::get().conninfo(bench::pushedDataSetName(n));
}

// A program folder whose settings show the whole server data set, as the folder's own do.
const std::string& serverProgramFolder() {
    static bench::TempFolder folder;
    static const bool written = (bench::writeListSettings(folder.dir), true);
    (void)written;
    return folder.dir;
}

// Notes when the first paint of the widget it watches has ended: it has the widget paint
// itself inside the filter, then takes the time.
class FirstPaintEnd : public QObject {
public:
    std::optional<Clock::time_point> at;

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Paint || at) return false;
        static_cast<QObject*>(watched)->event(event);
        at = Clock::now();
        return true;
    }
};

// Makes the main window, shows it and processes events until its list has painted; the
// seconds from the start, or nullopt when the window did not start, never painted or does
// not list all `rows`.
std::optional<double> startToPaintedList(const std::string& programFolder,
                                         const std::string& server, long rows,
                                         double* whole = nullptr) {
    ScriptedPrompts prompts;  // a failed start must not wait on a message box
    MainformOptions options(false);
    options.server = server;
    options.serverOpeners = programServerOpeners();
    FirstPaintEnd painted;
    const Clock::time_point t0 = Clock::now();
    auto main = std::make_unique<TMainform>(programFolder, options);
    main->ComboGrid1->viewport()->installEventFilter(&painted);
    main->show();
    const Clock::time_point giveUp = t0 + std::chrono::seconds(60);
    while (!painted.at && !main->startFailed() && Clock::now() < giveUp)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    main->ComboGrid1->viewport()->removeEventFilter(&painted);
    // The rows after the first screen come on their own (a server reads them on a worker
    // thread): the time until the list is whole, as painted, without waiting on it.
    const QAbstractItemModel* shown = main->ComboGrid1->model();
    while (shown->rowCount() < rows + 1 && !main->startFailed() && Clock::now() < giveUp)
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    if (whole) *whole = secondsBetween(t0, Clock::now());
    const bool ok = painted.at && !main->startFailed() && prompts.boxes().empty() &&
                    main->listModel()->recordCount() == rows;
    if (!ok) {
        for (const auto& box : prompts.boxes())
            std::fprintf(stderr, "%s\n", box.text.toUtf8().constData());
        return std::nullopt;
    }
    return secondsBetween(t0, *painted.at);
}

struct Pair {
    double total = 0, floorTotal = 0, best = 1e9, floorBest = 1e9;
    void add(double s, double f) {
        total += s, floorTotal += f;
        best = std::min(best, s), floorBest = std::min(floorBest, f);
    }
    void report(benchmark::State& state) const {
        const double n = double(state.iterations());
        state.counters["server_ms"] = total / n * 1e3;
        state.counters["folder_ms"] = floorTotal / n * 1e3;
        state.counters["ratio"] = total / floorTotal;
        state.counters["best_ratio"] = best / floorBest;
    }
};

void StartToPaintedList(benchmark::State& state) {
    const long n = long(state.range(0));
    const std::string server = conninfo(n);
    const std::string& folder = bench::sharedListDataSet(n);
    Pair times;
    double wholeTotal = 0;
    for (auto _ : state) {
        double whole = 0;
        const auto s = startToPaintedList(serverProgramFolder(), server, n, &whole);
        const auto f = startToPaintedList(folder, "", n);
        wholeTotal += whole;
        if (!s || !f) {
            state.SkipWithError(s ? "the folder's list did not paint"
                                  : "the server's list did not paint");
            return;
        }
        times.add(*s, *f);
        state.SetIterationTime(*s);
    }
    times.report(state);
    state.counters["server_whole_list_ms"] = wholeTotal / double(state.iterations()) * 1e3;
}

// A smallint array in the server's text form: {1,2,3}.
std::string intArray(const std::vector<std::int16_t>& v) {
    std::string out = "{";
    for (std::int16_t x : v) out += (out.size() > 1 ? "," : "") + std::to_string(x);
    return out + "}";
}

// Where the server's start goes: each step the window takes before its first paint, timed
// alone (no window), beside the folder's whole list load.
void StartSteps(benchmark::State& state) {
    const long n = long(state.range(0));
    const std::string server = conninfo(n);
    const std::string& folder = bench::sharedListDataSet(n);
    double connect = 0, role = 0, items = 0, ids = 0, firstIds = 0, page = 0, folderLoad = 0;
    std::size_t rows = 0;
    for (auto _ : state) {
        const Clock::time_point t0 = Clock::now();
        Clock::time_point t = t0;
        server::ServerStore store(server);
        connect += secondsBetween(t, Clock::now());
        t = Clock::now();
        benchmark::DoNotOptimize(store.writable());
        role += secondsBetween(t, Clock::now());
        t = Clock::now();
        std::vector<store::ItemRecord> list;
        for (const store::StoredItem& s : store.items()) list.push_back(s.item);
        items += secondsBetween(t, Clock::now());
        const store::ListFilter filter = store::ListFilter::fromSettings(
            store::Settings(serverProgramFolder()), list, quil::store::ListTab::Driving);
        t = Clock::now();
        const std::vector<std::int64_t> listed = store.listIds(filter);
        ids += secondsBetween(t, Clock::now());
        // For comparison: the first 256 of those ids alone, by the same query with a
        // LIMIT (this data set's filter takes every period).
        const store::ListFilter::Query q = filter.query();
        t = Clock::now();
        const server::PgResult head = store.dataSet().connection().exec(
            "SELECT id FROM quil_records WHERE NOT deleted AND kind = ANY($1::int2[]) "
            "AND vehicle = ANY($2::int2[]) AND user_no = ANY($3::int2[]) "
            "ORDER BY date, vehicle, user_no, entry LIMIT 256",
            {server::PgParam::text(intArray(q.kinds)), server::PgParam::text(intArray(q.vehicles)),
             server::PgParam::text(intArray(q.users))},
            true);
        firstIds += secondsBetween(t, Clock::now());
        if (!q.period.all() || listed.empty() || head.rows() != std::min(256, int(listed.size())) ||
            head.int64(0, 0) != listed.front()) {
            state.SkipWithError("the first ids are not the list's");
            return;
        }
        t = Clock::now();
        // The page the first paint reads: the first 193 rows.
        const std::vector<std::int64_t> first(
            listed.begin(), listed.begin() + std::min<std::size_t>(listed.size(), 193));
        benchmark::DoNotOptimize(store.readRecords(first));
        page += secondsBetween(t, Clock::now());
        rows = listed.size();
        state.SetIterationTime(secondsBetween(t0, Clock::now()));
        t = Clock::now();
        benchmark::DoNotOptimize(loadRecords(folder, folder, quil::store::ListTab::Driving));
        folderLoad += secondsBetween(t, Clock::now());
    }
    if (rows != std::size_t(n)) {
        state.SkipWithError("the server's list does not hold every record");
        return;
    }
    const double k = 1e3 / double(state.iterations());
    state.counters["connect_ms"] = connect * k;
    state.counters["role_ms"] = role * k;
    state.counters["items_ms"] = items * k;
    state.counters["list_ids_ms"] = ids * k;
    state.counters["first_256_ids_ms"] = firstIds * k;
    state.counters["first_page_ms"] = page * k;
    state.counters["folder_load_ms"] = folderLoad * k;
}

void AddRecord(benchmark::State& state) {
    const long n = long(state.range(0));
    server::ServerStore store(conninfo(n));
    server::PgConnection& c = bench::pushedDataSet(n);
    const std::int64_t lastPushed = c.exec("SELECT max(id) FROM quil_records").integer(0, 0);
    const bool durable = state.range(1) != 0;
    const auto setFsync = [&c](bool on) {
        c.run(std::string("ALTER SYSTEM SET fsync = ") + (on ? "on" : "off"));
        c.run("SELECT pg_reload_conf()");
        // The reload reaches the server processes a moment later.
        for (int tries = 0; tries < 100; ++tries) {
            if (c.exec("SHOW fsync").text(0, 0) == (on ? "on" : "off")) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    };
    if (durable) setFsync(true);
    bench::TempFolder copy;
    bench::makeListDataSet(copy.dir, n);
    long i = n;
    std::int64_t lastId = 0;
    Pair times;
    for (auto _ : state) {
        const store::DataRecord r = bench::drivingRecord(i++);
        Clock::time_point t0 = Clock::now();
        lastId = store.addRecord(r, store::newSaveKey()).id;
        const double s = secondsBetween(t0, Clock::now());
        t0 = Clock::now();
        store::RecordStore(copy.dir).save(r, std::nullopt);
        const double f = secondsBetween(t0, Clock::now());
        times.add(s, f);
        state.SetIterationTime(s);
    }
    if (durable) setFsync(false);
    const std::int64_t added =
        c.exec("SELECT count(*) FROM quil_records WHERE id > " + std::to_string(lastPushed))
            .integer(0, 0);
    if (added != state.iterations() || lastId <= lastPushed) {
        state.SkipWithError("the server does not hold every add once");
        return;
    }
    times.report(state);

    // What a reload of the whole list after an add costs (not in the figures above).
    const Clock::time_point t0 = Clock::now();
    const LoadedRecords loaded =
        loadServerRecords(serverProgramFolder(), store, quil::store::ListTab::Driving);
    state.counters["reload_ms"] = secondsBetween(t0, Clock::now()) * 1e3;
    if (std::int64_t(loaded.positions.size()) != n + state.iterations())
        state.SkipWithError("the reloaded list misses rows");

    // The data set as pushed again, for whatever runs next.
    c.run("DELETE FROM quil_saves");
    c.run("DELETE FROM quil_records WHERE id > " + std::to_string(lastPushed));
}

// A main window shown over a data set and done with its first paint, its prompts scripted.
struct ShownMain {
    ScriptedPrompts prompts;
    std::unique_ptr<TMainform> main;
    ShownMain(const std::string& programFolder, const std::string& server) {
        MainformOptions options(false);
        options.server = server;
        options.serverOpeners = programServerOpeners();
        main = std::make_unique<TMainform>(programFolder, options);
        main->show();
        settle();
    }
    // Everything the event loop has to do now (repaints, the views' delayed layouts, the
    // server's notices).
    static void settle() { QApplication::processEvents(QEventLoop::AllEvents, 10000); }
    bool ok() const { return !main->startFailed() && prompts.boxes().empty(); }
    int rows() const { return main->listModel()->recordCount(); }
};

void AddThroughWindow(benchmark::State& state) {
    const long n = long(state.range(0));
    server::PgConnection& c = bench::pushedDataSet(n);
    const std::int64_t lastPushed = c.exec("SELECT max(id) FROM quil_records").integer(0, 0);
    bench::TempFolder copy;
    bench::makeListDataSet(copy.dir, n);
    ShownMain server(serverProgramFolder(), conninfo(n));
    ShownMain folder(copy.dir, "");
    if (!server.ok() || !folder.ok() || server.rows() != n || folder.rows() != n) {
        state.SkipWithError("a window did not show the whole list");
        return;
    }
    long i = n;
    Pair times;
    for (auto _ : state) {
        const store::DataRecord r = bench::drivingRecord(i++);
        Clock::time_point t0 = Clock::now();
        const store::StoredRecord saved =
            server.main->serverStore()->addRecord(r, store::newSaveKey());
        // What the main window does when the entry dialog announces its save on a server
        // (called directly: an announcement would reach the folder's window of this bench
        // too, and read its list again).
        server.main->followRecordChange(store::DataSetChange::serverRecordSaved(saved.id, r));
        ShownMain::settle();
        const double s = secondsBetween(t0, Clock::now());
        t0 = Clock::now();
        const store::SavedPlace place = store::RecordStore(copy.dir).save(r, std::nullopt);
        folder.main->followRecordChange(store::DataSetChange::recordSaved(place, r));
        ShownMain::settle();
        const double f = secondsBetween(t0, Clock::now());
        times.add(s, f);
        state.SetIterationTime(s);
    }
    const long expected = n + long(state.iterations());
    const int selected = server.main->listModel()->selectedRow();
    if (server.rows() != expected || folder.rows() != expected || selected != expected) {
        state.SkipWithError("a window's list did not follow the adds");
        return;
    }
    times.report(state);
    c.run("DELETE FROM quil_saves");
    c.run("DELETE FROM quil_records WHERE id > " + std::to_string(lastPushed));
}

// The odometer question of a save with a reading: what it reads of a million records, on
// the server (the vehicle's nearest records over the order's index) beside the folder (the
// records around the place in the file). A record after the last one (a new trip) and one
// in the middle (an old trip edited).
void OdometerCheckOnSave(benchmark::State& state) {
    const long n = long(state.range(0));
    const std::unique_ptr<store::DataStore> server = server::openServerStore(conninfo(n));
    const std::string& folder = bench::sharedListDataSet(n);
    Pair times;
    long i = 0;
    for (auto _ : state) {
        const store::DataRecord r = bench::drivingRecord(i++ % 2 == 0 ? n : n / 2);
        Clock::time_point t0 = Clock::now();
        benchmark::DoNotOptimize(analysis::checkNewReading(*server, r, std::nullopt));
        const double s = secondsBetween(t0, Clock::now());
        t0 = Clock::now();
        benchmark::DoNotOptimize(analysis::checkNewReading(folder, r, std::nullopt));
        times.add(s, secondsBetween(t0, Clock::now()));
        state.SetIterationTime(s);
    }
    times.report(state);
}

void paint(QWidget& w) {
    QImage image(w.size(), QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    w.render(&painter);
    benchmark::DoNotOptimize(image.bits());
}

// A grid like the main window's over one list, loaded once; each `toEnd` gives the model
// the load afresh (no row read yet), paints the top and times the scroll to the end.
class ListGrid {
public:
    ListGrid(long n, bool onServer) {
        grid_.setModel(&model_);
        grid_.setFixedCols(2);
        grid_.setFixedRows(1);
        grid_.resize(800, 600);
        model_.setUp(quil::store::ListTab::Driving);
        if (onServer) {
            store_ = std::make_unique<server::ServerStore>(conninfo(n));
            model_.setServerSource(store_.get());
            loaded_ =
                loadServerRecords(serverProgramFolder(), *store_, quil::store::ListTab::Driving);
        } else {
            const std::string& dir = bench::sharedListDataSet(n);
            loaded_ = loadRecords(dir, dir, quil::store::ListTab::Driving);
        }
    }
    int rows() const { return int(loaded_.positions.size()); }

    double toEnd() {
        model_.setRecords(loaded_);
        paint(grid_);
        const Clock::time_point t0 = Clock::now();
        grid_.scrollToBottom();
        paint(grid_);
        const double s = secondsBetween(t0, Clock::now());
        grid_.scrollToTop();
        return s;
    }
    // The text of the list's last row, read as painted.
    QString lastRowText() const {
        QStringList cells;
        for (int c = 0; c < model_.columnCount(); ++c)
            cells << model_.text(model_.recordCount(), c);
        return cells.join(QLatin1Char('|'));
    }

private:
    std::unique_ptr<server::ServerStore> store_;
    TComboGrid grid_;
    RecordListModel model_;
    LoadedRecords loaded_;
};

void ScrollToEnd(benchmark::State& state) {
    constexpr long kSmall = 10000, kLarge = 1000000;
    ListGrid serverSmall(kSmall, true), serverLarge(kLarge, true);
    ListGrid folderSmall(kSmall, false), folderLarge(kLarge, false);
    if (serverSmall.rows() != kSmall || serverLarge.rows() != kLarge ||
        folderSmall.rows() != kSmall || folderLarge.rows() != kLarge) {
        state.SkipWithError("a list does not show every record");
        return;
    }
    double ss = 0, sl = 0, fs = 0, fl = 0, bestSs = 1e9, bestSl = 1e9;
    for (auto _ : state) {
        const double a = serverSmall.toEnd(), b = serverLarge.toEnd();
        const double c = folderSmall.toEnd(), d = folderLarge.toEnd();
        ss += a, sl += b, fs += c, fl += d;
        bestSs = std::min(bestSs, a), bestSl = std::min(bestSl, b);
        state.SetIterationTime(b);
    }
    if (serverLarge.lastRowText() != folderLarge.lastRowText() ||
        serverLarge.lastRowText().isEmpty()) {
        state.SkipWithError("the server's last row is not the folder's");
        return;
    }
    const double k = 1e3 / double(state.iterations());
    state.counters["server_10k_ms"] = ss * k;
    state.counters["server_1M_ms"] = sl * k;
    state.counters["folder_10k_ms"] = fs * k;
    state.counters["folder_1M_ms"] = fl * k;
    state.counters["server_growth"] = sl / ss;
    state.counters["best_server_growth"] = bestSl / bestSs;
    state.counters["folder_growth"] = fl / fs;
    state.counters["server_vs_folder_1M"] = sl / fl;
}

}  // namespace

BENCHMARK(StartToPaintedList)
    ->Arg(10000)
    ->Arg(1000000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(StartSteps)->Arg(1000000)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(OdometerCheckOnSave)->Arg(1000000)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(AddThroughWindow)
    ->Arg(10000)
    ->Arg(1000000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(ScrollToEnd)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(AddRecord)
    ->ArgNames({"", "fsync"})
    ->ArgsProduct({{10000, 1000000}, {0, 1}})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) { return runGuiBenchmarks(argc, argv); }
