#include "ui/tools/AnalysisWindows.h"

#include <QLabel>
#include <QStatusBar>
#include <algorithm>
#include <exception>
#include <optional>
#include <utility>

#include "reports/DataSetItems.h"
#include "reports/OdometerCheck.h"
#include "ui/dialogs/BackgroundWork.h"
#include "ui/dialogs/DataSetAccess.h"
#include "ui/dialogs/DataSetEvents.h"
#include "ui/dialogs/MainContext.h"
#include "ui/tools/AnalysisData.h"
#include "ui/tools/ChartForm.h"
#include "ui/tools/FuelCostForm.h"
#include "ui/tools/OdometerCheckForm.h"
#include "ui/tools/PeriodPicker.h"
#include "ui/tools/ScheduleForm.h"

namespace quil::analysis {

AnalysisWindows::AnalysisWindows(AnalysisHost host, QObject* parent)
    : QObject(parent), host_(std::move(host)) {
    ui::DataSetEvents::listen(this, [this](const store::DataSetChange& c) { followChange(c); });
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
        // A notice is no command: it reads quietly, without a progress box.
        noticeWork_ = new ui::BackgroundWork(host_.mainWindow, {}, false);
        noticeWork_->setParent(this);
    }
}

void AnalysisWindows::followChange(const store::DataSetChange& c) {
    using What = store::DataSetChange::What;
    switch (c.what) {
        case What::RecordSaved: {
            // An appended record stands after every other, as a pass would meet it last.
            const bool last = c.place.way == store::SavedPlace::Way::Appended ||
                              c.place.way == store::SavedPlace::Way::Created;
            if (recordsRead_ &&
                !((!c.previous || records_.remove(*c.previous)) && records_.insert(c.record, last)))
                recordsRead_ = false;
            break;
        }
        case What::RecordDeleted:
            if (recordsRead_ && !records_.remove(c.record)) recordsRead_ = false;
            break;
        case What::RecordsChanged: {
            // A record saved or deleted on a server data set, by this program or another, is
            // followed as one in a folder when the change tells the record it replaced (a
            // deleted row keeps the record's bytes). A change of many records is read again.
            const auto swap = c.swap();
            if (recordsRead_ && swap &&
                !((!swap->before || records_.remove(*swap->before)) &&
                  (!swap->after || records_.insert(*swap->after, false))))
                recordsRead_ = false;
            if (!swap) recordsRead_ = false;
            break;
        }
        case What::ItemsChanged: itemsRead_ = false; break;
        case What::ExtensionChanged:
            if (c.part != store::ExtensionPart::MaintenanceCycles) return;
            cyclesRead_ = false;
            break;
        case What::FolderChanged:
        case What::Replaced: followDataSet(); return;
    }
    showNotice();
}

void AnalysisWindows::followDataSet() {
    // The open windows follow through their own listeners (see the window makers below).
    refreshNotice();
}

namespace {
// The analysis windows show records and items; QuilExt.db's register is not theirs.
bool changesRecordsOrItems(const store::DataSetChange& c) {
    return c.what != store::DataSetChange::What::ExtensionChanged;
}

// Whether a change may move the figures of a window that shows `vehicle` (-1: every one):
// a record of another vehicle, before and after the change, does not.
bool touchesVehicle(const store::DataSetChange& c, int vehicle) {
    if (!changesRecordsOrItems(c)) return false;
    const auto records = c.touchedRecords();
    if (!records || vehicle < 0) return true;
    return std::any_of(records->begin(), records->end(),
                       [&](const store::DataRecord& r) { return r.vehicle() == vehicle; });
}

// The schedule counts odometer readings and maintenance under the cycles of the register:
// a change of records none of which it counts, or of another part of the register, leaves it
// as it is.
bool changesSchedule(const store::DataSetChange& c) {
    if (c.what == store::DataSetChange::What::ExtensionChanged)
        return c.part == store::ExtensionPart::MaintenanceCycles;
    const auto records = c.touchedRecords();
    return !records || std::any_of(records->begin(), records->end(),
                                   [](const store::DataRecord& r) {
                                       return ScheduleCollector::counts(r);
                                   });
}

// The vehicles to choose from change with the master lists (or the whole data set) only.
bool changesVehicles(const store::DataSetChange& c) {
    return c.what == store::DataSetChange::What::ItemsChanged || c.isWhole();
}

// A window over one picked vehicle reads the vehicles again after a change of the master
// lists only, and a record of a vehicle it does not show changes nothing.
template <typename Form>
void refreshForPickedVehicle(Form* form, ui::MainContext* context, void (Form::*recalculate)()) {
    auto vehiclesChanged = std::make_shared<bool>(false);
    ui::DataSetEvents::refreshWhileOpen(
        form,
        [form, context, vehiclesChanged, recalculate] {
            if (!*vehiclesChanged) return (form->*recalculate)();
            *vehiclesChanged = false;
            // The figures follow the vehicles read anew (the picked one may be gone).
            form->Picker->readVehicles(ui::dataSetOpener(*context),
                                       [form, recalculate] { (form->*recalculate)(); });
        },
        [form, vehiclesChanged](const store::DataSetChange& c) {
            if (changesVehicles(c)) *vehiclesChanged = true;
            return touchesVehicle(c, form->Picker->vehicle());
        });
}

}  // namespace

template <typename Form>
void AnalysisWindows::showForm(Form* form) {
    form->show();
    form->raise();
    form->activateWindow();
}

FuelCostForm* AnalysisWindows::fuelCostForm() {
    if (!fuelCost_) {
        fuelCost_ = new FuelCostForm(*host_.context, host_.mainWindow);
        refreshForPickedVehicle(fuelCost_.data(), host_.context, &FuelCostForm::CalcClick);
    }
    return fuelCost_;
}

ChartForm* AnalysisWindows::chartForm() {
    if (!chart_) {
        chart_ = new ChartForm(*host_.context, host_.mainWindow);
        refreshForPickedVehicle(chart_.data(), host_.context, &ChartForm::DrawClick);
    }
    return chart_;
}

ScheduleForm* AnalysisWindows::scheduleForm() {
    if (!schedule_) {
        schedule_ = new ScheduleForm(*host_.context, host_.mainWindow);
        schedule_->setReadOnlyCheck(host_.readOnly);
        ui::DataSetEvents::refreshWhileOpen(
            schedule_, [form = schedule_.data()] { form->Reload(); }, changesSchedule);
    }
    return schedule_;
}

OdometerCheckForm* AnalysisWindows::odometerCheckForm() {
    if (!odometer_) {
        odometer_ = new OdometerCheckForm(*host_.context, host_.openRecord, host_.mainWindow);
        odometer_->setReadOnlyCheck(host_.readOnly);
        // The check reads drives and the readings of refuellings and maintenance: a change
        // of records none of which it reads (an expense, a refuelling without a reading)
        // leaves it as it is. A change told record by record checks the vehicles of the
        // records it reads again; any other (the master lists rename its rows), every record.
        struct Due {
            bool whole = false;
            std::vector<std::int16_t> vehicles;
        };
        auto due = std::make_shared<Due>();
        ui::DataSetEvents::refreshWhileOpen(
            odometer_,
            [form = odometer_.data(), due] {
                const Due now = std::exchange(*due, {});
                if (now.whole) return form->CheckClick();
                form->recheck(now.vehicles);
            },
            [due](const store::DataSetChange& c) {
                if (!changesRecordsOrItems(c)) return false;
                const auto records = c.touchedRecords();
                if (!records || c.what == store::DataSetChange::What::ItemsChanged) {
                    due->whole = true;
                    return true;
                }
                bool read = false;
                for (const store::DataRecord& r : *records) {
                    if (!OdometerChecker::reads(r)) continue;
                    read = true;
                    if (std::find(due->vehicles.begin(), due->vehicles.end(), r.vehicle()) ==
                        due->vehicles.end())
                        due->vehicles.push_back(r.vehicle());
                }
                return read;
            });
    }
    return odometer_;
}

void AnalysisWindows::refreshNotice() {
    recordsRead_ = cyclesRead_ = itemsRead_ = false;
    showNotice();
}

namespace {
bool anyActive(const std::vector<MaintenanceCycle>& cycles) {
    return std::any_of(cycles.begin(), cycles.end(), [](const auto& c) { return c.active(); });
}
}  // namespace

void AnalysisWindows::showNotice() {
    if (!notice_) return;
    // Records changed while the worker reads: its result is dropped for a new reading.
    if (noticeWork_->running()) {
        readAgain_ = true;
        return;
    }
    if (!cyclesRead_) {
        readForNotice();
        return;
    }
    // Without a cycle nothing is due: the records are not read.
    if (!anyActive(cycles_)) {
        setOverdue(0);
        return;
    }
    if (!recordsRead_ || !itemsRead_) {
        readForNotice();
        return;
    }
    setOverdue(analysis::countOverdue(
        analysis::buildSchedule(vehicles_, items_, cycles_, records_, store::today())));
}

void AnalysisWindows::readForNotice() {
    readAgain_ = false;
    // The cycles (on a server, over a connection of the worker's own), then the records and
    // items when a cycle is active, each only when not read yet.
    struct Read {
        std::optional<std::vector<MaintenanceCycle>> cycles;
        std::optional<analysis::ScheduleCollector> records;
        std::vector<analysis::ScheduleVehicle> vehicles;
        std::vector<analysis::ScheduleItem> items;
        bool withItems = false;
    };
    auto read = std::make_shared<Read>();
    noticeWork_->start(
        [this, read, cycles = cyclesRead_ ? std::optional(cycles_) : std::nullopt,
         withRecords = !recordsRead_, withItems = !itemsRead_,
         openCycles = analysisStoreOpener(*host_.context),
         open = ui::dataSetOpener(*host_.context)]() mutable {
            if (!cycles) read->cycles = cycles = openCycles()->loadCycles();
            if (anyActive(*cycles) && (withRecords || withItems)) {
                const std::unique_ptr<store::DataStore> dataSet = open();
                if (withRecords) read->records = analysis::collectSchedule(*dataSet);
                if (withItems) {
                    const std::vector<store::ItemRecord> items =
                        analysis::itemsByPosition(*dataSet);
                    read->vehicles = analysis::scheduleVehicles(items);
                    read->items = analysis::scheduleItems(items);
                    read->withItems = true;
                }
            }
            return ui::BackgroundWork::Apply([this, read] {
                if (readAgain_) {  // changed meanwhile: what was read may miss it
                    readForNotice();
                    return;
                }
                if (read->cycles) {
                    cycles_ = std::move(*read->cycles);
                    cyclesRead_ = true;
                }
                if (read->records) {
                    records_ = std::move(*read->records);
                    recordsRead_ = true;
                }
                if (read->withItems) {
                    vehicles_ = std::move(read->vehicles);
                    items_ = std::move(read->items);
                    itemsRead_ = true;
                }
                showNotice();
            });
        },
        [this](const std::exception&) {
            cyclesRead_ = recordsRead_ = itemsRead_ = false;  // read again next time
            if (readAgain_) {
                readForNotice();
                return;
            }
            setOverdue(0);
        });
}

void AnalysisWindows::setOverdue(std::int64_t overdue) {
    const QString text = QStringLiteral("点検・整備予定: %1件が期限切れ").arg(overdue);
    notice_->setText(QStringLiteral("<a href=\"schedule\" style=\"color:#c00000\">%1</a>")
                         .arg(text.toHtmlEscaped()));
    notice_->setToolTip(QStringLiteral("クリックすると点検・整備予定を開きます"));
    notice_->setAccessibleName(text);
    notice_->setVisible(overdue > 0);
}

}  // namespace quil::analysis
