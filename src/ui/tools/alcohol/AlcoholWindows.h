#pragma once
// The windows of the alcohol-check register and what they add to the main window: the
// ツール menu entries, a toolbar button after the vehicle log's own, and a status-bar count of
// this month's drives without their checks (and of detectors due for inspection).

#include <QObject>
#include <QString>
#include <functional>
#include <string>
#include <vector>

#include "reports/AlcoholCheck.h"
#include "reports/MissingCheckCount.h"
#include "store/DataSetChange.h"
#include "ui/tools/alcohol/AlcoholStore.h"

class QAction;
class QLabel;
class QMainWindow;
class QTimer;

namespace quil::ui {
class BackgroundWork;
class MainContext;
}  // namespace quil::ui

namespace quil::alcohol {

class TAlcoholCheckForm;
class TAlcoholListForm;
class TAlcoholPrintForm;
class TDetectorForm;
class TMissingCheckForm;

class AlcoholWindows : public QObject {
    Q_OBJECT
public:
    // The windows are children of `main` (they stay on top of it); nothing is read yet.
    AlcoholWindows(ui::MainContext& context, QMainWindow* main);

    struct Command {
        QString caption;
        QString name;
        std::function<void()> run;
    };
    // The ツール menu entries, in order.
    std::vector<Command> commands();
    // "アルコールチェック" on the toolbar: the entry dialog for a new check.
    QAction* toolBarAction() const { return toolBarAction_; }
    // The status-bar text, brought up to date now. It follows every change of the data set
    // (DataSetEvents): a saved or deleted record is counted from the record itself.
    void refreshStatus();
    QLabel* statusLabel() const { return statusLabel_; }

    TAlcoholCheckForm* entryForm = nullptr;
    TAlcoholListForm* listForm = nullptr;
    TMissingCheckForm* missingForm = nullptr;
    TDetectorForm* detectorForm = nullptr;
    TAlcoholPrintForm* printForm = nullptr;

private:
    void followChange(const store::DataSetChange& change);
    // Shows the count once the events of the moment are done.
    void scheduleRefresh();
    // Reads on a worker what the count lacks of the month (`first` to `last`): its drives,
    // its checks (always with the drives), the detectors; the count follows when they arrive.
    void readParts(store::DateTime first, store::DateTime last);
    // A failure of the count: said in short, reported once (not the record files').
    void countFailed(const std::exception& e);

    ui::MainContext& context_;
    QAction* toolBarAction_ = nullptr;
    QLabel* statusLabel_ = nullptr;
    QTimer* refreshTimer_ = nullptr;
    std::string reportedFailure_;  // the count's failure last reported, until a count succeeds
    // This month's drives and checks, and the detectors; each read again only when false.
    MissingCheckCount count_;
    bool drivesRead_ = false;
    bool checksRead_ = false;
    bool detectorsRead_ = false;
    ui::BackgroundWork* drivesWork_ = nullptr;
    bool readAgain_ = false;  // the data set changed while the worker read
    std::vector<Detector> detectors_;
    int inspectionDays_ = kDefaultInspectionDays;
};

}  // namespace quil::alcohol
