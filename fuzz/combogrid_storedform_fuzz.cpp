// Feeds arbitrary bytes to the combo grid's stored-form reader. Every input must either be
// accepted, or rejected with TStoredFormError and the grid left exactly as it was; an
// accepted form must survive being written and read again unchanged.
#include <QApplication>
#include <cstdint>
#include <cstdlib>

#include "ui/components/TComboGrid.h"
#include "ui/components/TStringTableModel.h"
#include "ui/components/TValueList.h"

using namespace quil::ui;

namespace {

TComboGrid* g_grid = nullptr;
QByteArray g_initial;

void setUp() {
    g_grid = new TComboGrid;
    g_grid->setColCount(4);
    g_grid->setRowCount(3);
    g_grid->setCells(1, 1, QStringLiteral("車両"));
    g_grid->CellKind(2).Kind = ckCheck;
    g_grid->CellKind(2).Items.Add(QStringLiteral("×"), 0);
    g_grid->CellKind(3).setAlignment(caRight);
    g_initial = g_grid->StoredForm();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication app(*argc, *argv);
    setUp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray before = g_grid->StoredForm();
    try {
        g_grid->ReadStoredForm(
            QByteArrayView(reinterpret_cast<const char*>(data), qsizetype(size)));
    } catch (const TStoredFormError&) {
        if (g_grid->StoredForm() != before) std::abort();  // a rejected form changed the grid
        return 0;
    }
    const QByteArray written = g_grid->StoredForm();
    g_grid->ReadStoredForm(written);
    if (g_grid->StoredForm() != written) std::abort();  // our own output did not read back
    g_grid->stringModel()->clear();
    g_grid->ReadStoredForm(g_initial);
    return 0;
}
