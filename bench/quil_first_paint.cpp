// Whole-process harness: starts like the program over a data set, ends right after the
// list's first paint and prints its peak memory.
//   quil_first_paint make  <folder> <records>   writes a data set
//   quil_first_paint app   <folder>             the program's windows over the data set
// bench/first_paint.py runs it, and plain_first_paint (the plain-Qt baseline, a program of
// its own so that it loads Qt Widgets alone), and measures the wall time from outside.

#include <QAbstractItemView>
#include <QApplication>
#include <cstdio>
#include <string>

#include "ListDataSet.h"
#include "QuitAfterPaint.h"
#include "ui/components/TComboGrid.h"
#include "ui/main/AppWindows.h"
#include "ui/main/QuilApplication.h"

namespace {

int usage() {
    std::fprintf(stderr, "usage: quil_first_paint make|app <folder> [records]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return usage();
    const std::string mode = argv[1];
    std::string folder = argv[2];
    if (folder.back() != '/') folder += '/';
    if (mode == "make") {
        if (argc < 4) return usage();
        quil::bench::makeListDataSet(folder, std::atol(argv[3]));
        return 0;
    }
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // The data folder's lock, which the program removes when it ends.
    QuitAfterPaint quit([folder] {
        for (const char* name : {"Quil.lck.info", "Quil.lck"}) std::remove((folder + name).c_str());
    });
    if (mode != "app") return usage();
    quil::ui::QuilApplication app(argc, argv);
    quil::ui::AppWindows windows(folder, {}, quil::ui::WindowCreation::AfterFirstPaint);
    if (windows.Mainform->isDuplicate()) return 3;
    windows.Mainform->ComboGrid1->viewport()->installEventFilter(&quit);
    windows.Mainform->show();
    return app.exec();
}
