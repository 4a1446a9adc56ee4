#include "ui/tools/OdometerCheckForm.h"

#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QThreadPool>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "reports/DataSetItems.h"
#include "store/ItemStore.h"
#include "ui/dialogs/BackgroundWork.h"
#include "ui/dialogs/DataSetAccess.h"
#include "ui/dialogs/ErrorReport.h"
#include "ui/dialogs/FreeMemory.h"
#include "ui/dialogs/MainContext.h"
#include "ui/dialogs/MainWindowPlacement.h"
#include "ui/dialogs/Prompts.h"
#include "ui/tools/AnalysisData.h"
#include "ui/tools/ReportTableView.h"
#include "ui/tools/ToolWindow.h"

namespace quil::analysis {

namespace {

// The findings as table rows: a cell is made from its finding when it is shown.
class OdometerRows : public ReportRows {
public:
    OdometerRows(std::shared_ptr<const OdometerFindings> findings, store::ItemNames names)
        : findings_(std::move(findings)), names_(std::move(names)) {}
    std::size_t size() const override { return findings_->size(); }
    analysis::ReportCell cell(std::size_t row, std::size_t column) const override {
        return analysis::odometerCell(findings_->at(row), names_, column);
    }
    std::optional<double> figure(std::size_t row, std::size_t column) const override {
        return analysis::odometerFigure(findings_->at(row), column);
    }

private:
    std::shared_ptr<const OdometerFindings> findings_;
    store::ItemNames names_;
};

}  // namespace

OdometerFindings::OdometerFindings(std::vector<Part> parts) : parts_(std::move(parts)) {
    std::sort(parts_.begin(), parts_.end(),
              [](const Part& a, const Part& b) { return a->vehicle < b->vehicle; });
    // A vehicle's days that follow one another in the shown order are one run.
    std::vector<const std::vector<analysis::OdometerFinding>*> lists;
    for (const Part& p : parts_) lists.push_back(&p->findings);
    analysis::forEachDayInOrder(lists, [&](std::size_t part, std::size_t first, std::size_t last) {
        if (runs_.empty() || runs_.back().part != part) runs_.push_back({size_, part, first});
        size_ += last - first;
    });
}

const analysis::OdometerFinding& OdometerFindings::at(std::size_t row) const {
    const auto run = std::prev(std::upper_bound(
        runs_.begin(), runs_.end(), row, [](std::size_t r, const Run& x) { return r < x.start; }));
    return parts_[run->part]->findings[run->first + (row - run->start)];
}

std::shared_ptr<const OdometerFindings> OdometerFindings::replacing(
    const std::vector<std::int16_t>& vehicles, std::vector<analysis::VehicleFindings> found) const {
    std::vector<Part> parts;
    for (const Part& p : parts_)
        if (std::find(vehicles.begin(), vehicles.end(), p->vehicle) == vehicles.end())
            parts.push_back(p);
    for (analysis::VehicleFindings& f : found)
        parts.push_back(std::make_shared<const analysis::VehicleFindings>(std::move(f)));
    return std::make_shared<const OdometerFindings>(std::move(parts));
}

std::size_t OdometerFindings::countOf(const std::vector<std::int16_t>& vehicles) const {
    std::size_t n = 0;
    for (const Part& p : parts_)
        if (std::find(vehicles.begin(), vehicles.end(), p->vehicle) != vehicles.end())
            n += p->findings.size();
    return n;
}

std::shared_ptr<const OdometerFindings> OdometerFindings::of(
    std::vector<analysis::VehicleFindings> found) {
    return OdometerFindings(std::vector<Part>{}).replacing({}, std::move(found));
}

OdometerCheckForm::OdometerCheckForm(ui::MainContext& context, OpenRecord openRecord,
                                     QWidget* mainWindow)
    : ToolForm(context, mainWindow, QStringLiteral("OdometerCheckForm"),
               QStringLiteral("走行距離チェック"), {760, 420},
               QStringLiteral("走行距離を確かめています…")),
      openRecord_(std::move(openRecord)) {
    LimitBox = new QDoubleSpinBox(this);
    LimitBox->setObjectName(QStringLiteral("LimitBox"));
    LimitBox->setRange(1, 100000);
    LimitBox->setDecimals(0);
    LimitBox->setSuffix(QStringLiteral(" km/日"));
    LimitBox->setValue(analysis::kDefaultDailyLimitKm);
    CheckButton = new QPushButton(QStringLiteral("チェック"), this);
    FindingTable = new ReportTableView(this);
    FindingTable->setObjectName(QStringLiteral("FindingTable"));
    CountLabel = new QLabel(this);
    const ReportButtons buttons =
        reportButtons(*this, *FindingTable, QStringLiteral("走行距離チェック"),
                      [] { return QStringLiteral("走行距離チェック"); });
    CsvButton = buttons.csv;
    PrintButton = buttons.print;
    CloseButton = buttons.close;
    noDefaultButton({CheckButton});

    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("1日に走れる距離の上限"), this));
    top->addWidget(LimitBox);
    top->addWidget(CheckButton);
    top->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(CountLabel);
    layout->addWidget(FindingTable, 1);
    layout->addWidget(
        new QLabel(QStringLiteral("行をダブルクリックすると、その記録を開きます。"), this));
    layout->addLayout(footRow({CsvButton, PrintButton}, {CloseButton}));

    connect(CheckButton, &QPushButton::clicked, this, &OdometerCheckForm::CheckClick);
    // The limit, held while the stored one is read, is free again however the check ends.
    const auto limitFree = [this] {
        LimitBox->setEnabled(true);
        CheckButton->setEnabled(true);
    };
    connect(work_, &ui::BackgroundWork::finished, this, limitFree);
    connect(work_, &ui::BackgroundWork::cancelled, this, limitFree);
    connect(FindingTable, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex& index) { openRow(index.row()); });
    ui::placeBesideMainWindow(*this, mainWindow, ui::kBesideMain);
}

std::vector<analysis::OdometerFinding> OdometerCheckForm::findings() const {
    std::vector<analysis::OdometerFinding> out;
    if (!findings_) return out;
    out.reserve(findings_->size());
    for (std::size_t i = 0; i < findings_->size(); ++i) out.push_back(findings_->at(i));
    return out;
}

void OdometerCheckForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous()) return;  // brought back from the task bar: nothing changed
    // The stored limit is read by the check's worker (on a server, a connection of its own),
    // and shown with the findings; until then the limit cannot be changed, so a limit typed
    // meanwhile is never overwritten by the one read.
    storedLimit_.reset();
    LimitBox->setEnabled(false);
    CheckButton->setEnabled(false);
    check(std::nullopt);
}

void OdometerCheckForm::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    if (event->spontaneous()) return;  // minimised: the findings stay
    work_->cancel();                   // a check under way brings nothing to a closed window
    FindingTable->clear();
    findings_.reset();
    CountLabel->clear();
    ui::giveFreeMemoryBack();
}

void OdometerCheckForm::CheckClick() {
    // The stored limit not known yet (being read, or its reading given up or failed): it is
    // read again with the records, never overwritten by the box's default.
    if (!storedLimit_) return check(std::nullopt);
    // The limit is stored when it differs from the one last read or stored: a check again
    // after a change of the records opens no settings on the window's thread.
    if ((!readOnly_ || !readOnly_()) && LimitBox->value() != *storedLimit_) {
        const auto settings = openAnalysisStore(context_);
        if (LimitBox->value() != settings->dailyLimitKm())
            settings->setDailyLimitKm(LimitBox->value());
        storedLimit_ = LimitBox->value();
    }
    check(LimitBox->value());
}

void OdometerCheckForm::check(std::optional<double> limit) {
    // The former findings go first, so two lists never live at once: the worker lets them
    // go before it checks (freeing a long list cost the window's thread milliseconds at
    // every save elsewhere). A failure (at the application's error report) leaves no
    // findings and an empty table, together, and the limit free to change.
    FindingTable->clear();
    CountLabel->clear();
    rechecking_.reset();
    // The records are checked on a worker with its own access to the data set.
    work_->start(
        [this, former = std::move(findings_), open = ui::dataSetOpener(context_),
         openSettings = analysisStoreOpener(context_), limit]() mutable {
            former.reset();
            const double km = limit ? *limit : openSettings()->dailyLimitKm();
            const auto dataSet = open();
            auto found = OdometerFindings::of(analysis::checkOdometersByVehicle(*dataSet, km));
            auto names = store::ItemNames(analysis::itemsByPosition(*dataSet));
            return ui::BackgroundWork::Apply(
                [this, found, names = std::move(names), km, read = !limit]() mutable {
                    if (read) {
                        LimitBox->setValue(km);
                        storedLimit_ = km;
                    }
                    showFindings(std::move(found), std::move(names), km);
                });
        },
        // Reported here, also when the work runs at once, so that `finished` frees the limit.
        [this](const std::exception& e) { ui::reportError(e, this); });
}

void OdometerCheckForm::recheck(std::vector<std::int16_t> vehicles) {
    // Nothing shown to build on, or a whole check under way: the whole check covers it.
    // So does a change of the vehicles that hold most of a long list: their old findings
    // and their new ones would live at once.
    if (!findings_ || (work_->running() && !rechecking_)) return CheckClick();
    const std::size_t theirs = findings_->countOf(vehicles);
    if (theirs > kLongList && theirs > findings_->size() / 2) return CheckClick();
    // A check of other vehicles under way is dropped for one of theirs and these together.
    if (work_->running())
        for (std::int16_t v : *rechecking_)
            if (std::find(vehicles.begin(), vehicles.end(), v) == vehicles.end())
                vehicles.push_back(v);
    rechecking_ = vehicles;
    // The rows shown stay until the new ones come: the other vehicles' findings are shared
    // with them, not copied.
    work_->start(
        [this, base = findings_, open = ui::dataSetOpener(context_), limit = checkedLimit_,
         vehicles]() mutable {
            const auto dataSet = open();
            auto found = base->replacing(
                vehicles, analysis::checkOdometersByVehicle(*dataSet, limit, vehicles));
            base.reset();
            auto names = store::ItemNames(analysis::itemsByPosition(*dataSet));
            return ui::BackgroundWork::Apply(
                [this, found, names = std::move(names), limit]() mutable {
                    showFindings(std::move(found), std::move(names), limit);
                });
        },
        [this](const std::exception& e) {
            // No rows of an older reading stay beside the error report.
            FindingTable->clear();
            findings_.reset();
            CountLabel->clear();
            ui::reportError(e, this);
        });
}

void OdometerCheckForm::showFindings(std::shared_ptr<const OdometerFindings> found,
                                     store::ItemNames names, double limit) {
    rechecking_.reset();
    checkedLimit_ = limit;
    // The former findings are let go on a pool thread: freeing a long list cost the window's
    // thread tens of milliseconds.
    std::shared_ptr<const OdometerFindings> former = std::move(findings_);
    FindingTable->setRows(analysis::odometerHeading(),
                          std::make_shared<OdometerRows>(found, std::move(names)));
    findings_ = std::move(found);
    if (former)
        QThreadPool::globalInstance()->start(
            [former = std::move(former)]() mutable { former.reset(); });
    const std::size_t count = findings_->size();
    CountLabel->setText(count == 0
                            ? QStringLiteral("距離のつながりに問題のある記録はありません。")
                            : QStringLiteral("距離のつながりに問題のある記録: %1件").arg(count));
}

void OdometerCheckForm::openRow(int shownRow) {
    const int row = FindingTable->sourceRow(shownRow);
    if (row < 0 || !findings_ || std::size_t(row) >= findings_->size() || !openRecord_) return;
    const analysis::OdometerFinding& f = findings_->at(std::size_t(row));
    openRecord_(f.position, f.kind);
}

}  // namespace quil::analysis
