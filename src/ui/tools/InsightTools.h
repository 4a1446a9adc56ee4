#pragma once
// The analysis windows of the ツール menu (燃費・費用, グラフ, 点検・整備予定, 走行距離チェック)
// and the status bar notice of overdue maintenance. The windows are made on first use.
// Everything the main window offers comes in through InsightHost, so nothing here knows the
// main window.

#include <QObject>
#include <QPointer>
#include <cstdint>
#include <functional>

class QAction;
class QLabel;
class QStatusBar;
class QWidget;

namespace quil::ui {
class MainContext;
}

namespace quil::insight {

class ChartForm;
class FuelCostForm;
class OdometerCheckForm;
class ScheduleForm;

struct InsightHost {
    ui::MainContext* context = nullptr;
    QWidget* mainWindow = nullptr;
    QStatusBar* statusBar = nullptr;
    std::function<QAction*(const QString& caption, const QString& name, std::function<void()>)>
        addToolsCommand;
    // Shows the record at a file position (of a record kind) in the entry dialog.
    std::function<void(std::int64_t position, int kind)> openRecord;
    // True while another computer holds the data folder: nothing may be written there.
    std::function<bool()> readOnly;
};

class InsightTools : public QObject {
    Q_OBJECT
public:
    explicit InsightTools(InsightHost host, QObject* parent = nullptr);

    FuelCostForm* fuelCostForm();
    ChartForm* chartForm();
    ScheduleForm* scheduleForm();
    OdometerCheckForm* odometerCheckForm();

    // "点検・整備予定: n件が期限切れ" in the status bar when any item is overdue; hidden
    // otherwise. A failure to read leaves the notice hidden (the windows show the reason).
    void refreshNotice();
    QLabel* notice() const { return notice_; }
    // After a restore, move or import: the notice and every open window show the new data.
    void followDataSet();

private:
    template <typename Form>
    static void showForm(Form* form);

    InsightHost host_;
    QPointer<FuelCostForm> fuelCost_;
    QPointer<ChartForm> chart_;
    QPointer<ScheduleForm> schedule_;
    QPointer<OdometerCheckForm> odometer_;
    QLabel* notice_ = nullptr;
};

}  // namespace quil::insight
