#pragma once
// A temporary program folder with a data set built by hand, and the main window over it.

#include <QApplication>
#include <QTest>
#include <filesystem>
#include <memory>

#include "StoreFixtures.h"
#include "store/IniFile.h"
#include "store/ItemStore.h"
#include "store/RecordStore.h"
#include "store/Settings.h"
#include "ui/components/TComboGrid.h"
#include "ui/dialogs/Prompts.h"
#include "ui/main/AppWindows.h"
#include "ui/main/RecordListModel.h"
#include "ui/main/TMainform.h"

namespace quil::testing {

class MainWindowTest : public ::testing::Test {
protected:
    TempDir tmp;
    ui::ScriptedPrompts prompts;
    std::unique_ptr<ui::TMainform> main;
    // The whole program (every window) when a test starts it with run().
    std::unique_ptr<ui::AppWindows> app;

    std::string dir() const { return tmp.dir(); }

    void TearDown() override {
        app.reset();
        main.reset();
        store::setClockForTesting({});
    }

    // Starts the whole program over the program folder, windows made at once, and shows it.
    ui::TMainform& run() {
        app = std::make_unique<ui::AppWindows>(dir(), ui::MainformOptions{false});
        app->Mainform->show();
        QApplication::processEvents();
        return *app->Mainform;
    }

    // Starts the main window over the program folder and shows it.
    ui::TMainform& start() {
        main = std::make_unique<ui::TMainform>(dir(), ui::MainformOptions{false});
        main->show();
        QApplication::processEvents();
        return *main;
    }

    store::ItemRecord item(store::ItemKind kind, const std::string& name, double stamp = 40000.5,
                           bool deleted = false) {
        return testing::makeItem(kind, name, deleted, stamp);
    }

    QString cell(int col, int row) const { return main->ComboGrid1->Cells(col, row); }
    int rows() const { return main->ComboGrid1->RowCount(); }

    std::vector<std::int32_t> rowIndex() const {
        std::vector<std::int32_t> out;
        auto bytes = readBytes(tmp.file("Data.idx"));
        if (!bytes) return out;
        for (std::size_t i = 0; i + 4 <= bytes->size(); i += 4) {
            std::int32_t v;
            std::memcpy(&v, bytes->data() + i, 4);
            out.push_back(v);
        }
        return out;
    }

    std::string ini(const char* section, const char* key) const {
        return store::IniFile(tmp.file("Quil.ini")).readText(section, key, "<none>");
    }
};

}  // namespace quil::testing
