#pragma once
// What the dialogs need from the main window, without knowing the main window.

#include <QString>
#include <cstdint>
#include <string>

class QWidget;

namespace quil::store {
class DataStore;
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
    // Index of the current tab (= record kind 0..3).
    virtual int currentTab() const = 0;
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
    // The data set on a server the program works on, or nullptr for a data folder (whose
    // files the dialogs use through dataFolder()).
    virtual store::DataStore* serverStore() const { return nullptr; }
    // The connection string of that server data set; "" for a data folder.
    virtual std::string serverConninfo() const { return {}; }
    // On a server data set: the id of the record behind the selected row, -1 when none.
    virtual std::int64_t selectedRecordId() const { return -1; }
    // The main window, for placing dialogs relative to it.
    virtual QWidget* mainWidget() = 0;
};

}  // namespace quil::ui
