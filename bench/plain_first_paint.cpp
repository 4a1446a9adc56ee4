// The baseline of bench/first_paint.py: a QMainWindow with a QTableView over a read-only
// memory map of <folder>/Quil.qud, linked against Qt Widgets alone; it ends right after the
// table's first paint and prints its peak memory, as quil_first_paint does.

#include <QApplication>
#include <QMainWindow>
#include <QTableView>
#include <cstdio>
#include <string>

#include "PlainTableModel.h"
#include "QuitAfterPaint.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: plain_first_paint <folder>\n");
        return 2;
    }
    std::string folder = argv[1];
    if (folder.back() != '/') folder += '/';
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QuitAfterPaint quit;
    QMainWindow main;
    auto* view = new QTableView(&main);
    quil::bench::PlainTableModel model(folder + "Quil.qud");
    view->setModel(&model);
    main.setCentralWidget(view);
    main.resize(1000, 700);
    view->viewport()->installEventFilter(&quit);
    main.show();
    return app.exec();
}
