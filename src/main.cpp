// Program entry. Until the main window exists the program opens the data set in its own
// folder (seeding the item master file on first run), checks it and says what it found.
#include <QApplication>
#include <QMessageBox>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <map>

#include "store/Date.h"
#include "store/ItemStore.h"
#include "store/RecordStore.h"
#include "store/StoreError.h"

namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }

QString describeDataSet(const std::string& dataDir) {
    using namespace quil::store;
    ItemStore items(dataDir);
    if (!items.exists()) {
        const double stamp = correctTwoDigitYear(now());
        for (const auto& item : firstRunItems(stamp, correctTwoDigitYear(today())))
            items.append(item);
    }
    auto head = readFileHeader(items.path());
    if (!head || head->empty || head->signature != "QI")
        return QStringLiteral("Quil.qui ファイルが壊れています。");
    QString text = QStringLiteral("データフォルダー: %1\n").arg(q(dataDir));
    std::map<int, int> perKind;
    for (const auto& it : items.readAll())
        if (!it.deleted()) ++perKind[it.kind()];
    for (auto [kind, n] : perKind)
        text += QStringLiteral("%1: %2 件\n").arg(q(itemKindName(kind))).arg(n);
    RecordStore records(dataDir);
    auto rhead = readFileHeader(records.path());
    if (rhead && !rhead->empty && rhead->stamp != head->stamp)
        text += QStringLiteral("Quil.quiとQuil.qudの組み合わせに不具合があります。\n");
    std::map<int, int> perRecordKind;
    records.scan([&](std::int64_t, const DataRecord& r) {
        if (!r.deleted()) ++perRecordKind[r.kind()];
    });
    for (int k = 0; k < 4; ++k)
        text += QStringLiteral("%1: %2 件\n").arg(q(recordKindName(k))).arg(perRecordKind[k]);
    return text;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") &&
        !std::getenv("QT_QPA_PLATFORM")) {
        std::fprintf(stderr,
                     "quil: no display found (DISPLAY is not set); run it under Xvfb with: "
                     "xvfb-run -a %s\n",
                     argv[0]);
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("クイル台帳"));
    const std::string programDir = QApplication::applicationDirPath().toStdString() + "/";
    QString text;
    try {
        text = describeDataSet(programDir);
    } catch (const quil::store::StoreError& e) {
        text = QString::fromStdString(e.what());
    }
    std::fprintf(stdout, "%s", text.toStdString().c_str());
    std::fflush(stdout);
    QMessageBox::information(nullptr, QStringLiteral("クイル台帳"), text);
    return 0;
}
