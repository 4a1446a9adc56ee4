#pragma once
// The main window as the dialogs see it (MainContext), for every window test: folders,
// stamp, tab, row and read-only state as set, and counters of what the dialogs asked of it.

#include <QString>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include <memory>

#include "store/DataStore.h"
#include "ui/dialogs/DataSetEvents.h"
#include "ui/dialogs/MainContext.h"

namespace quil::testing {

class StandInMain : public ui::MainContext {
public:
    StandInMain() { follow(); }
    explicit StandInMain(std::string dataFolder) : folder(std::move(dataFolder)) { follow(); }

    std::string folder;  // program and data folder alike, ending with '/'
    bool readOnly = false;  // another computer holds the data folder
    store::DataStore* server = nullptr;  // a data set on a server instead of the folder
    std::int64_t recordId = -1;          // on a server: the id behind the selected row
    double stamp = 45000.5;
    store::ListTab tab = store::ListTab::Driving;
    int row = 0;
    int reloads = 0;
    int summaries = 0;
    QString periodLabel;
    int periodLabels = 0;
    // Runs on every reload after counting it (a test makes the reload fail with it).
    std::function<void()> onReload;
    // What the dialogs are placed against; a test may leave them without one.
    bool hasWindow = true;
    QWidget window;

    std::string programFolder() const override { return folder; }
    std::string dataFolder() const override { return folder; }
    double dataSetStamp() const override { return stamp; }
    store::ListTab currentTab() const override { return tab; }
    int selectedRow() const override { return row; }
    void reloadList() override {
        ++reloads;
        if (onReload) onReload();
    }
    void refreshSummaries() override { ++summaries; }
    bool dataSetReadOnly() const override { return readOnly; }
    // The server's store when set, else the folder's, announcing what they store as the
    // main window's do.
    store::DataStore& dataStore() const override {
        store::DataStore* data = server;
        if (!data) {
            if (!folderStore_ || folderStoreDir_ != folder) {
                folderStore_ = store::openFolderStore(folder);
                folderStoreDir_ = folder;
            }
            data = folderStore_.get();
        }
        data->setChangeListener(&ui::DataSetEvents::announceStored);
        return *data;
    }
    // The register's and the analysis settings' stores announce as the main window's do.
    std::function<void(const store::DataSetChange&)> storeChangeListener() const override {
        return &ui::DataSetEvents::announceStored;
    }
    // A server data set marked read-only is one this user may only view.
    bool viewOnly() const override { return readOnly && server; }
    std::int64_t selectedRecordId() const override {
        return server ? recordId : MainContext::selectedRecordId();
    }
    void showPeriodLabel(const QString& label) override {
        periodLabel = label;
        ++periodLabels;
    }
    QWidget* mainWidget() override { return hasWindow ? &window : nullptr; }

private:
    mutable std::unique_ptr<store::DataStore> folderStore_;
    mutable std::string folderStoreDir_;

    // Follows the announced changes as the main window does: a change of records shows in
    // a reload, one of items or of the whole data set in the summaries too.
    void follow() {
        ui::DataSetEvents::listen(&window, [this](const store::DataSetChange& c) {
            using What = store::DataSetChange::What;
            if (c.what == What::ExtensionChanged) return;
            if (c.what == What::ItemsChanged || c.what == What::Replaced) refreshSummaries();
            reloadList();
        });
    }
};

}  // namespace quil::testing
