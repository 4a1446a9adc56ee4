#pragma once
// What the dialogs need from the main window, without knowing the main window.

#include <QString>
#include <cstdint>
#include <functional>
#include <string>

#include "store/ItemStore.h"
#include "store/ListColumns.h"
#include "store/RecordStore.h"
#include "ui/dialogs/ServerOpeners.h"

class QWidget;

namespace quil::store {
class DataStore;
struct DataSetChange;
}

namespace quil::ui {

class MainContext {
public:
    virtual ~MainContext() = default;
    // Folders end with '/'.
    virtual std::string programFolder() const = 0;
    virtual std::string dataFolder() const = 0;
    // The data-set stamp every written record carries.
    virtual double dataSetStamp() const = 0;
    // The tab the record list shows.
    virtual store::ListTab currentTab() const = 0;
    // The selected row of the record list, 1-based; 0 when none.
    virtual int selectedRow() const = 0;
    // Loads the record list of the current tab again (rewrites Data.idx), after a change of
    // the display filters. Changes of the data set reach the list through DataSetEvents.
    virtual void reloadList() = 0;
    // Refills the vehicle and user summary boxes (after a change of the display masks).
    virtual void refreshSummaries() = 0;
    // Sets the period box to the label of the period just chosen.
    virtual void showPeriodLabel(const QString& /*label*/) {}
    // True while another computer holds the data folder and this copy only reads it: the
    // commands that would write refuse at once.
    virtual bool dataSetReadOnly() const { return false; }
    // True when this user may only view the data set (a server's 閲覧 role): every write
    // is refused at once (refusesChanges).
    virtual bool viewOnly() const { return false; }
    // The data set the program works on, a data folder or one on a server: the dialogs read
    // and write through it alone, and it announces each change it stores to every window
    // (DataSetEvents).
    virtual store::DataStore& dataStore() const = 0;
    // The connection string of a server data set; "" for a data folder.
    virtual std::string serverConninfo() const { return {}; }
    // How a window opens a server data set's stores again for a piece of work of its own.
    virtual ServerOpeners serverOpeners() const { return {}; }
    // What a store opened for a piece of work of a window (the register, the analysis
    // settings) does with what it has stored: the main window hands it the data set's
    // announcements (DataSetEvents::announceStored), as it does to its own DataStore.
    virtual std::function<void(const store::DataSetChange&)> storeChangeListener() const {
        return {};
    }
    // The id of the record behind the selected row (a folder's position, a server's row id),
    // -1 when none. Without a list of its own, the row index Data.idx says it; StoreError
    // when that cannot be read.
    virtual std::int64_t selectedRecordId() const {
        const int row = selectedRow();
        if (row < 1) return -1;
        return store::readRowIndex(programFolder() + store::kRowIndexFileName, row - 1);
    }
    // The main window, for placing dialogs relative to it.
    virtual QWidget* mainWidget() = 0;
};

}  // namespace quil::ui
