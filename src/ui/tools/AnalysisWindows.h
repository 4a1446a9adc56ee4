#pragma once
// The analysis windows of the ツール menu (燃費・費用, グラフ, 点検・整備予定, 走行距離チェック)
// and the status bar notice of overdue maintenance. The windows are made on first use.
// Everything the main window offers comes in through AnalysisHost, so nothing here knows the
// main window.

#include <QObject>
#include <QPointer>
#include <cstdint>
#include <functional>
#include <vector>

#include "reports/MaintenanceSchedule.h"
#include "store/DataSetChange.h"
#include "store/Records.h"

class QAction;
class QLabel;
class QStatusBar;
class QWidget;

namespace quil::ui {
class BackgroundWork;
class MainContext;
}  // namespace quil::ui

namespace quil::analysis {

class ChartForm;
class FuelCostForm;
class OdometerCheckForm;
class ScheduleForm;

struct AnalysisHost {
    ui::MainContext* context = nullptr;
    QWidget* mainWindow = nullptr;
    QStatusBar* statusBar = nullptr;
    std::function<QAction*(const QString& caption, const QString& name, std::function<void()>)>
        addToolsCommand;
    // Shows a record (of a record kind) in the entry dialog: by its position in a data
    // folder's file, by its id on a server.
    std::function<void(std::int64_t position, store::RecordKind kind)> openRecord;
    // True while nothing may be written to the data set (another computer holds the folder,
    // or the server lets this user only read).
    std::function<bool()> readOnly;
};

class AnalysisWindows : public QObject {
    Q_OBJECT
public:
    explicit AnalysisWindows(AnalysisHost host, QObject* parent = nullptr);

    FuelCostForm* fuelCostForm();
    ChartForm* chartForm();
    ScheduleForm* scheduleForm();
    OdometerCheckForm* odometerCheckForm();

    // "点検・整備予定: n件が期限切れ" in the status bar when any item is overdue; hidden
    // otherwise. A failure to read leaves the notice hidden (the windows show the reason).
    // Reads everything again, on a worker with a data-set access of its own; after a change
    // the notice follows the change (DataSetEvents): a saved or deleted record is taken from
    // the record itself, also one added or deleted by another program on a server.
    void refreshNotice();
    QLabel* notice() const { return notice_; }
    // The notice's reading on its worker (tests wait for it).
    ui::BackgroundWork* noticeWork() const { return noticeWork_; }
    // After a restore, move or import: the notice and every open window show the new data.
    void followDataSet();

private:
    void followChange(const store::DataSetChange& change);
    // Shows the notice from what is known, reading only what is not.
    void showNotice();

    template <typename Form>
    static void showForm(Form* form);

    AnalysisHost host_;
    QPointer<FuelCostForm> fuelCost_;
    QPointer<ChartForm> chart_;
    QPointer<ScheduleForm> schedule_;
    QPointer<OdometerCheckForm> odometer_;
    QLabel* notice_ = nullptr;
    // What the notice is counted from; each read again only when false.
    analysis::ScheduleCollector records_;
    bool recordsRead_ = false;
    std::vector<analysis::MaintenanceCycle> cycles_;
    bool cyclesRead_ = false;
    std::vector<analysis::ScheduleVehicle> vehicles_;
    std::vector<analysis::ScheduleItem> items_;
    bool itemsRead_ = false;
    ui::BackgroundWork* noticeWork_ = nullptr;
    // A change came while the worker read: what it brings is read again.
    bool readAgain_ = false;
    void readForNotice();
    void setOverdue(std::int64_t overdue);
};

}  // namespace quil::analysis
