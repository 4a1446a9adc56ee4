// Adding a record through the entry dialog of the whole program (every window made, the
// ツール windows' status-bar counts and the odometer question before a save), in one run:
//   AddThroughDialog/N   the dialog open and filled in; OK pressed and the event loop run
//                        until idle: the odometer check, the save, the list, the alcohol
//                        count and the overdue notice
//   FileRead/N           one read of the record file (the floor)
// The data set: N driving records in key order (ListDataSet.h), the clock on the day after
// the last one (an add appends, as an add of today's trip does), a maintenance cycle and
// some alcohol checks in QuilExt.db so that both status-bar counts are kept.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QDate>
#include <QLineEdit>
#include <QPushButton>
#include <cmath>
#include <map>
#include <memory>

#include "FileReadFloor.h"
#include "GuiBenchmarkMain.h"
#include "ListDataSet.h"
#include "app/MakeToolWindow.h"
#include "store/Date.h"
#include "store/RecordStore.h"
#include "ui/dialogs/Prompts.h"
#include "ui/dialogs/TDataInputForm.h"
#include "ui/main/AppWindows.h"
#include "ui/main/RecordListModel.h"
#include "ui/main/TMainform.h"
#include "ui/main/ToolWindows.h"
#include "ui/tools/AnalysisData.h"
#include "ui/tools/alcohol/AlcoholStore.h"

using namespace quil::store;
using namespace quil::ui;
using quil::bench::TempFolder;

namespace {

// Everything the event loop has to do now (repaints, timers of zero, delayed layouts).
void settle() { QApplication::processEvents(QEventLoop::AllEvents, 10000); }

DateTime dayAfterLast(long n) { return std::floor(37000 + double(n - 1) / 10.0) + 1; }

void AddThroughDialog(benchmark::State& state) {
    const long n = state.range(0);
    TempFolder folder;
    quil::bench::makeListDataSet(folder.dir, n);
    const DateTime today = dayAfterLast(n);
    setClockForTesting([today] { return today + 0.75; });
    quil::analysis::AnalysisData(folder.dir).saveCycles({{2, 12, 10000, 0}});
    {
        std::vector<quil::alcohol::AlcoholCheck> checks;
        for (int d = 1; d <= 20; ++d) {
            quil::alcohol::AlcoholCheck c;
            c.when = today - d + 0.3;
            c.driver = 1;
            c.vehicle = 0;
            c.checker = "安全 太郎";
            checks.push_back(c);
        }
        quil::alcohol::AlcoholStore(folder.dir).addAll(checks);
    }
    ScriptedPrompts prompts;  // no box may wait; an unexpected one is counted below
    setToolWindowMakerForTesting(&makeToolWindow);
    AppWindows app(folder.dir, MainformOptions{false});
    app.Mainform->resize(1000, 700);
    app.Mainform->show();
    settle();
    TDataInputForm& entry = *app.DataInputForm;
    double odometer = 1010 + double(n);
    for (auto _ : state) {
        state.PauseTiming();
        app.Mainform->action(QStringLiteral("ToolButton1"))->trigger();
        settle();
        entry.valueBox1()->setText(QString::number(odometer));
        entry.valueBox2()->setText(QString::number(odometer + 10));
        odometer += 10;
        state.ResumeTiming();
        entry.Button1()->click();
        settle();
    }
    if (entry.isVisible()) state.SkipWithError("the dialog did not save");
    state.counters["rows"] = app.Mainform->listModel()->recordCount();
    state.counters["boxes"] = double(prompts.boxes().size());
    setClockForTesting({});
}

void FileRead(benchmark::State& state) {
    TempFolder folder;
    quil::bench::makeListDataSet(folder.dir, state.range(0));
    quil::bench::readRecordFile(state, folder.dir);
}

}  // namespace

BENCHMARK(AddThroughDialog)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(FileRead)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) { return runGuiBenchmarks(argc, argv); }
