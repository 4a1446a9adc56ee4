#pragma once
// The windows of the alcohol-check register and what they add to the main window: the
// ツール menu entries, a toolbar button after the specified ones, and a status-bar count of
// this month's drives without their checks (and of detectors due for inspection).

#include <QObject>
#include <QString>
#include <functional>
#include <string>
#include <vector>

class QAbstractItemModel;
class QAction;
class QLabel;
class QMainWindow;
class QTimer;

namespace quil::ui {
class MainContext;
}

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
    // Counts again whenever `list` (the main record list) changes.
    void watch(QAbstractItemModel* list);

    // The status-bar text, recounted now.
    void refreshStatus();
    QLabel* statusLabel() const { return statusLabel_; }

    TAlcoholCheckForm* entryForm = nullptr;
    TAlcoholListForm* listForm = nullptr;
    TMissingCheckForm* missingForm = nullptr;
    TDetectorForm* detectorForm = nullptr;
    TAlcoholPrintForm* printForm = nullptr;

private:
    // Recounts once the events of the moment are done (a save may change many rows).
    void scheduleRefresh();

    ui::MainContext& context_;
    QAction* toolBarAction_ = nullptr;
    QLabel* statusLabel_ = nullptr;
    QTimer* refreshTimer_ = nullptr;
    std::string reportedFailure_;  // the count's failure last reported, until a count succeeds
};

}  // namespace quil::alcohol
