#include "ui/tools/OdometerCheckForm.h"

#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

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
    OdometerRows(std::shared_ptr<const std::vector<analysis::OdometerFinding>> findings,
                 store::ItemNames names)
        : findings_(std::move(findings)), names_(std::move(names)) {}
    std::size_t size() const override { return findings_->size(); }
    analysis::ReportCell cell(std::size_t row, std::size_t column) const override {
        return analysis::odometerCell((*findings_)[row], names_, column);
    }
    std::optional<double> figure(std::size_t row, std::size_t column) const override {
        return analysis::odometerFigure((*findings_)[row], column);
    }

private:
    std::shared_ptr<const std::vector<analysis::OdometerFinding>> findings_;
    store::ItemNames names_;
};

}  // namespace

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

const std::vector<analysis::OdometerFinding>& OdometerCheckForm::findings() const {
    static const std::vector<analysis::OdometerFinding> none;
    return findings_ ? *findings_ : none;
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
    // The limit is stored when it differs from the one last read or stored: a check again
    // after a change of the records opens no settings on the window's thread.
    if ((!readOnly_ || !readOnly_()) && (!storedLimit_ || LimitBox->value() != *storedLimit_)) {
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
    // The records are checked on a worker with its own access to the data set.
    work_->start(
        [this, former = std::move(findings_), open = ui::dataSetOpener(context_),
         openSettings = analysisStoreOpener(context_), limit]() mutable {
            former.reset();
            const double km = limit ? *limit : openSettings()->dailyLimitKm();
            const auto dataSet = open();
            auto found = std::make_shared<const std::vector<analysis::OdometerFinding>>(
                analysis::checkOdometers(*dataSet, km));
            auto rows = std::make_shared<OdometerRows>(
                found, store::ItemNames(analysis::itemsByPosition(*dataSet)));
            return ui::BackgroundWork::Apply([this, found, rows, km, read = !limit] {
                if (read) {
                    LimitBox->setValue(km);
                    storedLimit_ = km;
                }
                FindingTable->setRows(analysis::odometerHeading(), rows);
                findings_ = found;
                const std::size_t count = findings().size();
                CountLabel->setText(
                    count == 0 ? QStringLiteral("距離のつながりに問題のある記録はありません。")
                               : QStringLiteral("距離のつながりに問題のある記録: %1件").arg(count));
            });
        },
        // Reported here, also when the work runs at once, so that `finished` frees the limit.
        [this](const std::exception& e) { ui::reportError(e, this); });
}

void OdometerCheckForm::openRow(int shownRow) {
    const int row = FindingTable->sourceRow(shownRow);
    if (row < 0 || std::size_t(row) >= findings().size() || !openRecord_) return;
    openRecord_(findings()[std::size_t(row)].position, findings()[std::size_t(row)].kind);
}

}  // namespace quil::analysis
