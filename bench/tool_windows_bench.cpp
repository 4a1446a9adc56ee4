// The ツール windows on N driving records and 100,000 alcohol checks (see dataSet), against
// one plain read of the record file:
//   FileRead/N             one read of Quil.qud (the floor)
//   OpenOdometerCheck/N    走行距離チェック: show (the check, its table), paint, close
//   OpenMissingChecks/N    アルコールチェック漏れ for 全て: show (drives, checks, table),
//                          paint, close
//   ExportOdometerCsv/N    走行距離チェック open: CSV書き出し of every finding
//   PreviewOdometerFindings/N  走行距離チェック open: 印刷プレビュー of every finding up to
//                          its first page drawn, then closed (pages counted)
//   EveryWindowOpen/N      every window below opened in turn, then all closed
//   QuitWithWindowsOpen/N  the windows' part of quitting with both windows above open
//   SummaryTable/N         集計表: show and 集計 (Button1Click)
//   FuelCost/N             燃費・費用: show and 集計 (CalcClick)
//   Chart/N                グラフ: show and 表示 (DrawClick; without the chart module
//                          the window says so, the report is still computed)
//   Schedule/N             点検・整備予定: show
//   AlcoholList/N          アルコールチェック記録簿: show (all 100,000 checks)
//   OpenExpiryList/N       期限一覧 of a data folder with N vehicles and N drivers
//                          (bench/PaperFolder.h): show (names and entries read on its
//                          worker, the rows within 30 days shown), paint, close. The goal:
//                          within 0.5 s at 10,000.
// Counters: rows shown; peak_MiB, the process's peak resident memory during the opening
// above what it held before (VmHWM, reset before each opening), and process_peak_MiB that
// peak itself (the run's data sets and libraries included); kept_MiB, the heap still held
// after the window is closed again, rss_kept_MiB the resident memory still held then
// above what the process held before the first opening.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

#include <QAbstractItemModel>
#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QTableView>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>

#include "FileReadFloor.h"
#include "GuiBenchmarkMain.h"
#include "ListDataSet.h"
#include "PaperFolder.h"
#include "ui/printing/PrintPreview.h"
#include "store/DataStore.h"
#include "ui/dialogs/BackgroundWork.h"
#include "ui/dialogs/MainContext.h"
#include "ui/tools/ChartForm.h"
#include "ui/tools/FuelCostForm.h"
#include "ui/tools/OdometerCheckForm.h"
#include "ui/tools/ReportTableView.h"
#include "ui/tools/ScheduleForm.h"
#include "ui/tools/alcohol/AlcoholStore.h"
#include "ui/tools/alcohol/TAlcoholCheckForm.h"
#include "ui/tools/alcohol/TAlcoholListForm.h"
#include "ui/tools/alcohol/TMissingCheckForm.h"
#include "ui/tools/papers/ExpiryListForm.h"
#include "ui/windows/TCalForm.h"

using namespace quil;
using quil::bench::TempFolder;

namespace {

constexpr int kChecks = 100000;

// One data set of each size for the whole run: the list benchmarks' items and settings
// (display period 全て) and N of their driving records spread over the 9,000 days up to
// 2025/12/09, so every drive lies in the past; every trip departs below the return of
// the one before it, so every record but the first is an odometer finding. 100,000
// before-drive checks of their driver, on every day by turns: each drive lacks its
// after-drive check, the worst case of アルコールチェック漏れ.
const std::string& dataSet(long n) {
    static std::map<long, std::unique_ptr<TempFolder>> sets;
    auto& f = sets[n];
    if (f) return f->dir;
    f = std::make_unique<TempFolder>();
    quil::bench::makeListDataSet(f->dir, 0);
    std::ofstream out(f->dir + "Quil.qud", std::ios::binary);
    const double step = 9000.0 / double(n);
    std::vector<store::DataRecord> chunk;
    for (long i = 0; i < n; i += 4096) {
        chunk.clear();
        for (long k = i; k < std::min(n, i + 4096); ++k) {
            store::DataRecord r = quil::bench::drivingRecord(k);
            r.setDate(37000 + double(k) * step);
            r.setReturnTime(37000 + (double(k) + 0.5) * step);
            chunk.push_back(r);
        }
        out.write(reinterpret_cast<const char*>(chunk.data()),
                  std::streamsize(chunk.size() * store::DataRecord::Size));
    }
    out.close();
    std::vector<alcohol::AlcoholCheck> checks(kChecks);
    for (int i = 0; i < kChecks; ++i) {
        alcohol::AlcoholCheck& c = checks[std::size_t(i)];
        c.when = 37000 + i % 9000 + 0.01;
        c.timing = alcohol::CheckTiming::BeforeDrive;
        c.driver = 1;
        c.vehicle = 0;
        c.checker = "安全運転管理者";
    }
    alcohol::AlcoholStore(f->dir).addAll(checks);
    malloc_trim(0);  // what writing the data set took is no part of the windows' figures
    return f->dir;
}

class BenchContext : public ui::MainContext {
public:
    explicit BenchContext(std::string folder) : folder_(std::move(folder)) {}
    std::string programFolder() const override { return folder_; }
    std::string dataFolder() const override { return folder_; }
    double dataSetStamp() const override { return 0; }
    store::ListTab currentTab() const override { return store::ListTab::Driving; }
    int selectedRow() const override { return 0; }
    void reloadList() override {}
    void refreshSummaries() override {}
    store::DataStore& dataStore() const override {
        if (!store_) store_ = store::openFolderStore(folder_);
        return *store_;
    }
    QWidget* mainWidget() override { return &window; }
    QWidget window;

private:
    std::string folder_;
    mutable std::unique_ptr<store::DataStore> store_;
};

double heapMiB() {
    const struct mallinfo2 m = mallinfo2();
    return double(m.uordblks + m.hblkhd) / (1 << 20);
}

// VmHWM or VmRSS of this process in MiB.
double statusMiB(const char* key) {
    std::ifstream in("/proc/self/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind(key, 0) == 0) return std::stod(line.substr(std::strlen(key) + 1)) / 1024;
    return 0;
}

// Starts a new peak: the kernel's high-water mark goes back to what is resident now.
void resetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

// The windows read on workers: events are processed until every result has arrived.
void settle(QObject& root) {
    const auto running = [&root] {
        for (const ui::BackgroundWork* w : root.findChildren<ui::BackgroundWork*>())
            if (w->running()) return true;
        return false;
    };
    // While a worker runs, its end brings an event: the loop waits for it (a time limit given
    // to processEvents makes it return at once, and the loop spun a core the workers need).
    QApplication::processEvents();
    while (running())
        QApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

void paint(QWidget& w) {
    QImage image(w.size(), QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    w.render(&painter);
    benchmark::DoNotOptimize(image.bits());
}

// Opens the window, does what the user does there (`use`), paints it and closes it; the
// opening is timed and its peak memory recorded, the closing is not timed. `rows` counts
// the rows shown.
template <typename Use, typename Rows>
void openAndClose(benchmark::State& state, QWidget& window, Use use, Rows rows) {
    double peak = 0, processPeak = 0, kept = 0, rssKept = 0, rowCount = 0;
    const double firstBefore = statusMiB("VmRSS:");
    for (auto _ : state) {
        state.PauseTiming();
        const double before = statusMiB("VmRSS:");
        const double heapBefore = heapMiB();
        resetPeak();
        state.ResumeTiming();
        window.show();
        use();
        settle(window);
        paint(window);
        state.PauseTiming();
        processPeak = std::max(processPeak, statusMiB("VmHWM:"));
        peak = std::max(peak, statusMiB("VmHWM:") - before);
        rowCount = rows();
        window.close();
        QApplication::processEvents();
        kept = heapMiB() - heapBefore;
        rssKept = statusMiB("VmRSS:") - firstBefore;
        state.ResumeTiming();
    }
    state.counters["rows"] = rowCount;
    state.counters["peak_MiB"] = peak;
    state.counters["process_peak_MiB"] = processPeak;
    state.counters["kept_MiB"] = kept;
    state.counters["rss_kept_MiB"] = rssKept;
}

void FileRead(benchmark::State& state) {
    const std::string& dir = dataSet(state.range(0));
    quil::bench::readRecordFile(state, dir);
}

void OpenOdometerCheck(benchmark::State& state) {
    BenchContext context(dataSet(state.range(0)));
    analysis::OdometerCheckForm form(context, {}, &context.window);
    openAndClose(
        state, form, [] {}, [&] { return form.FindingTable->model()->rowCount(); });
}

void OpenMissingChecks(benchmark::State& state) {
    BenchContext context(dataSet(state.range(0)));  // its settings show 全て
    alcohol::TAlcoholCheckForm entry(context, &context.window);
    alcohol::TMissingCheckForm form(context, entry, &context.window);
    openAndClose(
        state, form, [] {}, [&] { return form.table->model()->rowCount(); });
}

void SummaryTable(benchmark::State& state) {
    BenchContext context(dataSet(state.range(0)));
    ui::TCalForm form(context, &context.window);
    openAndClose(
        state, form, [&] { form.Button1Click(); }, [] { return 0; });
}

void FuelCost(benchmark::State& state) {
    BenchContext context(dataSet(state.range(0)));
    analysis::FuelCostForm form(context, &context.window);
    openAndClose(
        state, form, [&] { form.CalcClick(); },
        [&] { return form.VehicleTable->model()->rowCount(); });
}

void Chart(benchmark::State& state) {
    BenchContext context(dataSet(state.range(0)));
    analysis::ChartForm form(context, &context.window);
    openAndClose(
        state, form, [&] { form.DrawClick(); }, [] { return 0; });
}

void Schedule(benchmark::State& state) {
    BenchContext context(dataSet(state.range(0)));
    analysis::ScheduleForm form(context, &context.window);
    openAndClose(
        state, form, [] {}, [&] { return form.ScheduleTable->model()->rowCount(); });
}

void AlcoholList(benchmark::State& state) {
    BenchContext context(dataSet(state.range(0)));
    alcohol::TAlcoholCheckForm entry(context, &context.window);
    alcohol::TAlcoholListForm form(context, entry, nullptr, &context.window);
    openAndClose(
        state, form, [] {}, [&] { return form.table->model()->rowCount(); });
}

// The windows' part of quitting: the main window (here a plain parent) goes with its open
// 走行距離チェック and アルコールチェック漏れ windows.
void QuitWithWindowsOpen(benchmark::State& state) {
    const std::string& dir = dataSet(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        auto context = std::make_unique<BenchContext>(dir);
        auto* odometer = new analysis::OdometerCheckForm(*context, {}, &context->window);
        auto* entry = new alcohol::TAlcoholCheckForm(*context, &context->window);
        auto* missing = new alcohol::TMissingCheckForm(*context, *entry, &context->window);
        context->window.show();
        odometer->show();
        missing->show();
        settle(context->window);
        state.ResumeTiming();
        context->window.close();
        context.reset();
        QApplication::processEvents();
    }
}

// 走行距離チェック open on N findings: CSV書き出し of them all (the file chooser answered).
void ExportOdometerCsv(benchmark::State& state) {
    const std::string& dir = dataSet(state.range(0));
    BenchContext context(dir);
    analysis::OdometerCheckForm form(context, {}, &context.window);
    form.show();
    settle(form);
    const QString path = QString::fromStdString(dir + "findings.csv");
    analysis::ReportTableView::setFileChooserForTesting([path](const QString&) { return path; });
    double peak = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const double before = statusMiB("VmRSS:");
        resetPeak();
        state.ResumeTiming();
        if (!form.FindingTable->exportCsv(QStringLiteral("x"))) state.SkipWithError("not written");
        state.PauseTiming();
        peak = std::max(peak, statusMiB("VmHWM:") - before);
        state.ResumeTiming();
    }
    analysis::ReportTableView::setFileChooserForTesting({});
    form.close();
    state.counters["peak_MiB"] = peak;
}

// 走行距離チェック open on N findings: the print preview of them all opened and its first
// page drawn as the view shows it, then closed.
void PreviewOdometerFindings(benchmark::State& state) {
    const std::string& dir = dataSet(state.range(0));
    BenchContext context(dir);
    analysis::OdometerCheckForm form(context, {}, &context.window);
    form.show();
    settle(form);
    double peak = 0;
    int pages = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const double before = statusMiB("VmRSS:");
        resetPeak();
        state.ResumeTiming();
        form.FindingTable->printPreview(QStringLiteral("走行距離チェック"));
        auto* preview = form.findChild<ui::PrintPreview*>(QStringLiteral("ReportPreview"));
        if (!preview) {
            state.SkipWithError("no preview");
            break;
        }
        pages = preview->pageCount();
        benchmark::DoNotOptimize(preview->renderPage(1, 800));
        state.PauseTiming();
        peak = std::max(peak, statusMiB("VmHWM:") - before);
        preview->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        delete form.findChild<ui::PrintPreview*>(QStringLiteral("ReportPreview"));
        state.ResumeTiming();
    }
    form.close();
    state.counters["peak_MiB"] = peak;
    state.counters["pages"] = pages;
}

// Every window above opened in turn and left open, then all closed: process_peak_MiB is
// the peak with all of them open, rss_after_close_MiB what the process holds once they
// are closed again, rss_before_MiB what it held before the first opened.
void EveryWindowOpen(benchmark::State& state) {
    BenchContext context(dataSet(state.range(0)));
    analysis::OdometerCheckForm odometer(context, {}, &context.window);
    alcohol::TAlcoholCheckForm entry(context, &context.window);
    alcohol::TMissingCheckForm missing(context, entry, &context.window);
    alcohol::TAlcoholListForm list(context, entry, nullptr, &context.window);
    ui::TCalForm summary(context, &context.window);
    analysis::FuelCostForm fuel(context, &context.window);
    analysis::ChartForm chart(context, &context.window);
    analysis::ScheduleForm schedule(context, &context.window);
    const std::vector<QWidget*> windows = {&odometer, &missing, &list,    &summary,
                                           &fuel,     &chart,   &schedule};
    const double before = statusMiB("VmRSS:");
    double peak = 0, after = 0;
    for (auto _ : state) {
        state.PauseTiming();
        resetPeak();
        state.ResumeTiming();
        for (QWidget* w : windows) {
            w->show();
            if (w == &summary) summary.Button1Click();
            if (w == &fuel) fuel.CalcClick();
            if (w == &chart) chart.DrawClick();
            settle(*w);
            paint(*w);
        }
        state.PauseTiming();
        peak = statusMiB("VmHWM:");
        for (QWidget* w : windows) w->close();
        QApplication::processEvents();
        after = statusMiB("VmRSS:");
        state.ResumeTiming();
    }
    state.counters["rss_before_MiB"] = before;
    state.counters["process_peak_MiB"] = peak;
    state.counters["rss_after_close_MiB"] = after;
}

void OpenExpiryList(benchmark::State& state) {
    static TempFolder dir;
    quil::bench::makePaperFolder(dir.dir, static_cast<int>(state.range(0)));
    BenchContext context(dir.dir);
    papers::ExpiryListForm form(
        context, &context.window,
        {[](const std::string& folder) -> std::unique_ptr<papers::PaperStore> {
             return std::make_unique<server::FolderPaperStore>(folder);
         },
         {}});
    openAndClose(
        state, form, [] {}, [&] { return form.ExpiryTable->model()->rowCount(); });
}

}  // namespace

BENCHMARK(FileRead)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(OpenOdometerCheck)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(OpenMissingChecks)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(ExportOdometerCsv)->Arg(1000000)->Iterations(2)->Unit(benchmark::kMillisecond);
BENCHMARK(PreviewOdometerFindings)->Arg(1000000)->Iterations(2)->Unit(benchmark::kMillisecond);
BENCHMARK(EveryWindowOpen)->Arg(1000000)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(QuitWithWindowsOpen)->Arg(1000000)->Iterations(2)->Unit(benchmark::kMillisecond);
BENCHMARK(SummaryTable)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(FuelCost)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(Chart)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(Schedule)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(AlcoholList)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(OpenExpiryList)->Arg(10000)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) { return runGuiBenchmarks(argc, argv); }
