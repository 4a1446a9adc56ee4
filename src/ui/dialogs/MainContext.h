#pragma once
// What the dialogs need from the main window, without knowing the main window.

#include <QString>
#include <string>

class QWidget;

namespace quil::store {
class DataRecord;
struct SavedPlace;
}  // namespace quil::store

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
    // Loads the record list of the current tab again (rewrites Data.idx).
    virtual void reloadList() = 0;
    // After a record was saved where `place` says: the list follows the change without
    // reading the record file again, and shows and selects the saved row.
    virtual void showSavedRecord(const store::SavedPlace& /*place*/,
                                 const store::DataRecord& /*record*/) {
        reloadList();
    }
    // Refills the vehicle and user summary boxes.
    virtual void refreshSummaries() = 0;
    // After items or display masks changed: the summaries and the list show them again
    // (the list caches item names when it loads).
    void showItemChanges() {
        refreshSummaries();
        reloadList();
    }
    // Sets the period box to the label of the period just chosen.
    virtual void showPeriodLabel(const QString& /*label*/) {}
    // True while another computer holds the data folder and this copy only reads it: the
    // commands that would write refuse at once.
    virtual bool dataSetReadOnly() const { return false; }
    // The main window, for placing dialogs relative to it.
    virtual QWidget* mainWidget() = 0;
};

}  // namespace quil::ui
