// The record list against plain Qt over the same file, in one run:
//   LoadAndFirstPaint/N   load (scan, filter, Data.idx) and first paint of the grid
//   PlainQtFirstPaint/N   memory map + QTableView over the same file (the baseline)
//   AddAppend/N           an add at the end: save, list update, repaint
//   AddAtFront/N          an add before every record: sorted insertion, list update, repaint
//   SyncedCopy/N          one copy of the record file, synced (the insertion's baseline)
//   ScrollToEnd/N         scroll to the last row and repaint
//   DeleteLastAtEnd/N     the list scrolled to its end, delete its last row: store, list
//                         update, Data.idx, and the window's repaint
//   DeleteMiddle/N        the same for a row in the middle of the list
//   FileRead/N            one read of the record file (the deletes' baseline)
//   StartToFirstPaint     main window on an empty data set to its first paint
//   EmptyWindowFirstPaint QMainWindow with a QTableView to its first paint (its baseline)
// Whole-process figures (start to painted list, peak memory) come from quil_first_paint.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QImage>
#include <QMainWindow>
#include <QPainter>
#include <QTableView>
#include <map>
#include <memory>

#include "FileReadFloor.h"
#include "GuiBenchmarkMain.h"
#include "ListDataSet.h"
#include "PlainTableModel.h"
#include "store/RecordStore.h"
#include "ui/components/TComboGrid.h"
#include "ui/main/RecordListModel.h"
#include "ui/main/TMainform.h"

using namespace quil::store;
using namespace quil::ui;
using quil::bench::TempFolder;

namespace {

const std::string& dataSet(long n) { return quil::bench::sharedListDataSet(n); }

void paint(QWidget& w) {
    QImage image(w.size(), QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    w.render(&painter);
    benchmark::DoNotOptimize(image.bits());
}

void LoadAndFirstPaint(benchmark::State& state) {
    const std::string& dir = dataSet(state.range(0));
    TComboGrid grid;
    RecordListModel model;
    grid.setModel(&model);
    grid.setFixedCols(2);
    grid.setFixedRows(1);
    grid.resize(800, 600);
    for (auto _ : state) {
        model.setUp(ListTab::Driving);
        model.setRecords(loadRecords(dir, dir, ListTab::Driving));
        paint(grid);
    }
    state.counters["rows"] = model.recordCount();
    state.counters["bytes_per_row"] = double(model.overheadBytes()) / model.recordCount();
}

void PlainQtFirstPaint(benchmark::State& state) {
    const std::string& dir = dataSet(state.range(0));
    QTableView view;
    view.resize(800, 600);
    for (auto _ : state) {
        quil::bench::PlainTableModel model(dir + "Quil.qud");
        view.setModel(&model);
        paint(view);
        view.setModel(nullptr);
    }
}

// A main window over a copy of data set n (the adds change it).
struct MainOver {
    TempFolder folder;
    std::unique_ptr<TMainform> main;
    explicit MainOver(long n) {
        quil::bench::makeListDataSet(folder.dir, n);
        main = std::make_unique<TMainform>(folder.dir, MainformOptions{false});
        main->resize(1000, 700);
        main->show();
        QApplication::processEvents();
    }
    void add(const DataRecord& r) {
        const SavedPlace place = RecordStore(folder.dir).save(r, std::nullopt);
        main->followRecordChange(DataSetChange::recordSaved(place, r));
        paint(*main->ComboGrid1);
    }
};

void AddAppend(benchmark::State& state) {
    MainOver over(state.range(0));
    long i = state.range(0);
    for (auto _ : state) over.add(quil::bench::drivingRecord(i++));
    state.counters["rows"] = over.main->listModel()->recordCount();
}

void AddAtFront(benchmark::State& state) {
    MainOver over(state.range(0));
    for (auto _ : state) over.add(quil::bench::drivingRecord(-1));
}

// Everything the event loop has to do now (repaints, the views' delayed layouts).
void settle() { QApplication::processEvents(QEventLoop::AllEvents, 10000); }

// Delete the row `pickRow` gives (the list scrolled to its end first), after putting back a
// record so every delete starts from n records; only the delete and the repaint are timed.
template <typename PickRow>
void deleteRows(benchmark::State& state, PickRow pickRow) {
    MainOver over(state.range(0));
    long i = state.range(0);
    auto& list = *over.main->listModel();
    for (auto _ : state) {
        state.PauseTiming();
        over.add(quil::bench::drivingRecord(i++));
        over.main->ComboGrid1->scrollToBottom();
        settle();
        const std::int32_t position = list.position(pickRow(list.recordCount()));
        state.ResumeTiming();
        RecordStore(over.folder.dir).markDeleted(position);
        over.main->followRecordChange(DataSetChange::recordDeleted(position, DataRecord()));
        settle();  // the window's repaint and its delayed layout, as the event loop does them
    }
    state.counters["rows"] = list.recordCount();
}

void DeleteLastAtEnd(benchmark::State& state) {
    deleteRows(state, [](int rows) { return rows; });
}

void DeleteMiddle(benchmark::State& state) {
    deleteRows(state, [](int rows) { return rows / 2; });
}

void FileRead(benchmark::State& state) {
    const std::string& dir = dataSet(state.range(0));
    quil::bench::readRecordFile(state, dir);
}

void SyncedCopy(benchmark::State& state) {
    const std::string& dir = dataSet(state.range(0));
    TempFolder to;
    std::vector<char> buf(1 << 20);
    for (auto _ : state) {
        const int in = ::open((dir + "Quil.qud").c_str(), O_RDONLY);
        const int out = ::open((to.dir + "copy").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        for (ssize_t got; (got = ::read(in, buf.data(), buf.size())) > 0;)
            benchmark::DoNotOptimize(::write(out, buf.data(), std::size_t(got)));
        ::fsync(out);
        ::close(out);
        ::close(in);
    }
}

void ScrollToEnd(benchmark::State& state) {
    const std::string& dir = dataSet(state.range(0));
    TComboGrid grid;
    RecordListModel model;
    grid.setModel(&model);
    grid.setFixedCols(2);
    grid.setFixedRows(1);
    grid.resize(800, 600);
    model.setUp(ListTab::Driving);
    model.setRecords(loadRecords(dir, dir, ListTab::Driving));
    paint(grid);
    for (auto _ : state) {
        grid.scrollToBottom();
        paint(grid);
        grid.scrollToTop();
    }
}

void StartToFirstPaint(benchmark::State& state) {
    for (auto _ : state) {
        TempFolder f;
        TMainform main(f.dir, MainformOptions{false});
        main.show();
        paint(main);
    }
}

void EmptyWindowFirstPaint(benchmark::State& state) {
    for (auto _ : state) {
        QMainWindow main;
        auto* view = new QTableView(&main);
        main.setCentralWidget(view);
        main.show();
        paint(main);
    }
}

}  // namespace

BENCHMARK(LoadAndFirstPaint)
    ->RangeMultiplier(10)
    ->Range(10000, 1000000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(PlainQtFirstPaint)
    ->RangeMultiplier(10)
    ->Range(10000, 1000000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(AddAppend)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(AddAtFront)->Arg(10000)->Arg(1000000)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(SyncedCopy)->Arg(10000)->Arg(1000000)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(DeleteLastAtEnd)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(DeleteMiddle)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(FileRead)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(ScrollToEnd)->RangeMultiplier(10)->Range(10000, 1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(StartToFirstPaint)->Unit(benchmark::kMillisecond);
BENCHMARK(EmptyWindowFirstPaint)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) { return runGuiBenchmarks(argc, argv); }
