#include "ui/tools/InsightTools.h"

#include <QLabel>
#include <QStatusBar>
#include <exception>

#include "ui/tools/AnalysisData.h"
#include "ui/tools/ChartForm.h"
#include "ui/tools/FuelCostForm.h"
#include "ui/tools/OdometerCheckForm.h"
#include "ui/tools/ScheduleForm.h"
#include "ui/tools/PeriodPicker.h"
#include "ui/dialogs/DataSetEvents.h"
#include "ui/dialogs/MainContext.h"

namespace quil::insight {

InsightTools::InsightTools(InsightHost host, QObject* parent)
    : QObject(parent), host_(std::move(host)) {
    ui::DataSetEvents::onReplaced(this, [this] { followDataSet(); });
    if (host_.addToolsCommand) {
        host_.addToolsCommand(QStringLiteral("燃費・費用(&F)..."), QStringLiteral("FuelCost1"),
                              [this] { showForm(fuelCostForm()); });
        host_.addToolsCommand(QStringLiteral("グラフ(&G)..."), QStringLiteral("Chart1"),
                              [this] { showForm(chartForm()); });
        host_.addToolsCommand(QStringLiteral("点検・整備予定(&M)..."), QStringLiteral("Schedule1"),
                              [this] { showForm(scheduleForm()); });
        host_.addToolsCommand(QStringLiteral("走行距離チェック(&K)..."),
                              QStringLiteral("OdometerCheck1"),
                              [this] { showForm(odometerCheckForm()); });
    }
    if (host_.statusBar) {
        notice_ = new QLabel(host_.statusBar);
        notice_->setObjectName(QStringLiteral("ScheduleNotice"));
        notice_->setTextFormat(Qt::RichText);
        notice_->setCursor(Qt::PointingHandCursor);
        notice_->hide();
        host_.statusBar->addPermanentWidget(notice_);
        connect(notice_, &QLabel::linkActivated, this, [this] { showForm(scheduleForm()); });
    }
}

void InsightTools::followDataSet() {
    refreshNotice();
    if (fuelCost_ && fuelCost_->isVisible()) {
        fuelCost_->Picker->loadVehicles(host_.context->dataFolder());
        fuelCost_->CalcClick();
    }
    if (chart_ && chart_->isVisible()) {
        chart_->Picker->loadVehicles(host_.context->dataFolder());
        chart_->DrawClick();
    }
    if (schedule_ && schedule_->isVisible()) schedule_->Reload();
    if (odometer_ && odometer_->isVisible()) odometer_->CheckClick();
}

template <typename Form>
void InsightTools::showForm(Form* form) {
    form->show();
    form->raise();
    form->activateWindow();
}

FuelCostForm* InsightTools::fuelCostForm() {
    if (!fuelCost_) fuelCost_ = new FuelCostForm(*host_.context, host_.mainWindow);
    return fuelCost_;
}

ChartForm* InsightTools::chartForm() {
    if (!chart_) chart_ = new ChartForm(*host_.context, host_.mainWindow);
    return chart_;
}

ScheduleForm* InsightTools::scheduleForm() {
    if (!schedule_) {
        schedule_ = new ScheduleForm(*host_.context, host_.mainWindow);
        schedule_->setCyclesChanged([this] { refreshNotice(); });
        schedule_->setReadOnlyCheck(host_.readOnly);
    }
    return schedule_;
}

OdometerCheckForm* InsightTools::odometerCheckForm() {
    if (!odometer_) {
        odometer_ = new OdometerCheckForm(*host_.context, host_.openRecord, host_.mainWindow);
        odometer_->setReadOnlyCheck(host_.readOnly);
    }
    return odometer_;
}

void InsightTools::refreshNotice() {
    if (!notice_) return;
    std::int64_t overdue = 0;
    try {
        const std::string folder = host_.context->dataFolder();
        overdue = fleet::countOverdue(
            fleet::computeSchedule(folder, AnalysisData::loadCycles(folder), store::today()));
    } catch (const std::exception&) {
        overdue = 0;
    }
    const QString text = QStringLiteral("点検・整備予定: %1件が期限切れ").arg(overdue);
    notice_->setText(QStringLiteral("<a href=\"schedule\" style=\"color:#c00000\">%1</a>")
                         .arg(text.toHtmlEscaped()));
    notice_->setToolTip(QStringLiteral("クリックすると点検・整備予定を開きます"));
    notice_->setAccessibleName(text);
    notice_->setVisible(overdue > 0);
}

}  // namespace quil::insight
