#include "ui/main/ListCsvExport.h"

#include <QAction>
#include <QDir>
#include <QMenu>
#include <QMenuBar>
#include <cstdio>

#include "store/ListCsv.h"
#include "store/StoreError.h"
#include "ui/dialogs/CsvFileChoice.h"
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
    const int tab = window->currentTab();
    const QString suggested = QDir::home().filePath(tabTitle(tab) + QStringLiteral(".csv"));
    const CsvTarget target =
        chooser() ? CsvTarget{chooser()(suggested)} : chooseCsvFile(window, suggested);
    if (target.path.isEmpty()) return;
    write(*window->listModel(), target.path.toStdString(), target.encoding);
}

void ListCsvExport::write(const RecordListModel& model, const std::string& path,
                          store::TextEncoding encoding) {
    store::ListCsv csv(model.tab(), model.names(), encoding);
    csv.header();
    const std::string part = path + ".part";
    std::FILE* f = std::fopen(part.c_str(), "wb");
    if (!f) throw store::StoreError(path, "書き込めません。");
    bool ok = true;
    auto flush = [&] {
        const std::string_view bytes = csv.pending();
        ok = ok && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
        csv.clear();
    };
    for (int row = 1; row <= model.recordCount(); ++row) {
        csv.row(model.record(row));
        if (csv.full()) flush();
    }
    flush();
    ok = std::fclose(f) == 0 && ok;
    if (!ok || std::rename(part.c_str(), path.c_str()) != 0) {
        std::remove(part.c_str());
        throw store::StoreError(path, "書き込みに失敗しました。");
    }
}

void ListCsvExport::setFileChooserForTesting(std::function<QString(const QString&)> f) {
    chooser() = std::move(f);
}

}  // namespace quil::ui
