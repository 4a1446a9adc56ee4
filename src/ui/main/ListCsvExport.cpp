#include "ui/main/ListCsvExport.h"

#include <QAction>
#include <QDir>
#include <QMenu>
#include <QMenuBar>
#include <cstdio>

#include "folder/ExportFile.h"
#include "store/ListCsv.h"
#include "store/StoreError.h"
#include "ui/dialogs/CsvFileChoice.h"
#include "ui/dialogs/FileChoice.h"
#include "ui/main/RecordListColumns.h"
#include "ui/main/RecordListModel.h"
#include "ui/main/TMainform.h"

namespace quil::ui {
namespace {

std::function<QString(const QString&)>& chooser() {
    static std::function<QString(const QString&)> f;
    return f;
}

QMenu* toolsMenu(TMainform* window) {
    const QString title = QStringLiteral("ツール(&T)");
    QMenuBar* bar = window->menuBar();
    QAction* help = nullptr;
    for (QAction* a : bar->actions()) {
        if (a->menu() && a->text() == title) return a->menu();
        if (a->text() == QStringLiteral("ヘルプ(&H)")) help = a;
    }
    auto* menu = new QMenu(title, bar);
    bar->insertMenu(help, menu);  // at the end when there is no ヘルプ
    return menu;
}

}  // namespace

QAction* ListCsvExport::install(TMainform* window) {
    QAction* a = toolsMenu(window)->addAction(QStringLiteral("CSV書き出し(&E)..."));
    a->setObjectName(QStringLiteral("CsvExport1"));
    QObject::connect(a, &QAction::triggered, window, [window] { run(window); });
    return a;
}

void ListCsvExport::run(TMainform* window) {
    const store::ListTab tab = window->currentTab();
    const QString suggested =
        proposedFilePath(FileKind::Csv, tabTitle(tab) + QStringLiteral(".csv"));
    const CsvTarget target =
        chooser() ? CsvTarget{chooser()(suggested)} : chooseCsvFile(window, suggested);
    if (target.path.isEmpty()) return;
    write(*window->listModel(), target.path.toStdString(), target.encoding);
}

void ListCsvExport::write(const RecordListModel& model, const std::string& path,
                          store::TextEncoding encoding) {
    store::ListCsv csv(model.tab(), model.names(), encoding);
    csv.header();
    // Written beside the target and renamed, never over a data file or a read-only one.
    folder::writeExportFile(path, [&](const folder::ExportSink& sink) {
        for (int row = 1; row <= model.recordCount(); ++row) {
            csv.row(model.record(row));
            if (csv.full()) {
                sink(csv.pending());
                csv.clear();
            }
        }
        sink(csv.pending());
        csv.clear();
    });
}

void ListCsvExport::setFileChooserForTesting(std::function<QString(const QString&)> f) {
    chooser() = std::move(f);
}

}  // namespace quil::ui
