#include "ui/tools/ScheduleForm.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>
#include <exception>
#include <memory>

#include "folder/ReadOnlyFileSystem.h"
#include "ui/dialogs/BackgroundWork.h"
#include "ui/dialogs/DataSetAccess.h"
#include "ui/dialogs/ErrorReport.h"
#include "ui/dialogs/MainContext.h"
#include "ui/dialogs/MainWindowPlacement.h"
#include "ui/dialogs/Prompts.h"
#include "ui/dialogs/ServerWrites.h"
#include "ui/tools/AnalysisData.h"
#include "ui/tools/ReportTableView.h"
#include "ui/tools/ToolWindow.h"

namespace quil::analysis {

namespace {

constexpr int kMaxMonths = 240;
constexpr int kMaxKm = 1000000;

// The columns of the cycle table: the item, then its three figures in the cycle's order.
enum CycleColumn { ItemColumn, MonthsColumn, KmColumn, FirstMonthsColumn, CycleColumnCount };

}  // namespace

QColor ScheduleForm::overdueColour() { return QColor(255, 170, 170); }
QColor ScheduleForm::soonColour() { return QColor(255, 205, 140); }

ScheduleForm::ScheduleForm(ui::MainContext& context, QWidget* mainWindow)
    : ToolForm(context, mainWindow, QStringLiteral("ScheduleForm"),
               QStringLiteral("点検・整備予定"), {900, 560}) {
    ScheduleTable = new ReportTableView(this);
    ScheduleTable->setObjectName(QStringLiteral("ScheduleTable"));
    SummaryLabel = new QLabel(this);
    CycleTable = new QTableWidget(this);
    CycleTable->setObjectName(QStringLiteral("CycleTable"));
    CycleTable->setColumnCount(CycleColumnCount);
    CycleTable->setHorizontalHeaderLabels({QStringLiteral("点検・整備項目"),
                                           QStringLiteral("周期(月)"), QStringLiteral("周期(km)"),
                                           QStringLiteral("初回(月)")});
    CycleTable->verticalHeader()->hide();
    CycleTable->horizontalHeader()->setSectionResizeMode(ItemColumn, QHeaderView::Stretch);
    SaveCyclesButton = new QPushButton(QStringLiteral("周期を保存(&S)"), this);
    RefreshButton = new QPushButton(QStringLiteral("再表示(&R)"), this);
    const ReportButtons buttons =
        reportButtons(*this, *ScheduleTable, QStringLiteral("点検・整備予定"), []() -> QString {
            return QStringLiteral("点検・整備予定　") +
                   QString::fromStdString(store::formatDate(store::today())) +
                   QStringLiteral(" 現在");
        });
    CsvButton = buttons.csv;
    PrintButton = buttons.print;
    CloseButton = buttons.close;
    noDefaultButton({SaveCyclesButton, RefreshButton});

    auto* upper = new QWidget(this);
    auto* upperLayout = new QVBoxLayout(upper);
    upperLayout->setContentsMargins(0, 0, 0, 0);
    upperLayout->addWidget(SummaryLabel);
    upperLayout->addWidget(ScheduleTable, 1);
    auto* lower = new QWidget(this);
    auto* lowerLayout = new QVBoxLayout(lower);
    lowerLayout->setContentsMargins(0, 0, 0, 0);
    lowerLayout->addWidget(new QLabel(
        QStringLiteral("周期（0 は使わない。初回は登録日から最初の実施まで。例: 車検 24か月、"
                       "新車の初回 36か月）"),
        lower));
    lowerLayout->addWidget(CycleTable, 1);
    auto* cycleButtons = new QHBoxLayout;
    cycleButtons->addStretch();
    cycleButtons->addWidget(SaveCyclesButton);
    lowerLayout->addLayout(cycleButtons);
    auto* splitter = new QSplitter(Qt::Vertical, this);
    splitter->addWidget(upper);
    splitter->addWidget(lower);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 2);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(splitter, 1);
    layout->addLayout(footRow({RefreshButton, CsvButton, PrintButton}, {CloseButton}));

    connect(RefreshButton, &QPushButton::clicked, this, &ScheduleForm::Reload);
    connect(SaveCyclesButton, &QPushButton::clicked, this, &ScheduleForm::SaveCyclesClick);
    ui::placeBesideMainWindow(*this, mainWindow, ui::kBesideMain);
}

void ScheduleForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    Reload();
}

void ScheduleForm::fillCycles(const std::vector<analysis::ScheduleItem>& items,
                              const std::vector<analysis::MaintenanceCycle>& cycles) {
    CycleTable->setRowCount(int(items.size()));
    for (int r = 0; r < int(items.size()); ++r) {
        const analysis::ScheduleItem& item = items[std::size_t(r)];
        analysis::MaintenanceCycle c{item.position, 0, 0, 0};
        for (const analysis::MaintenanceCycle& k : cycles)
            if (k.item == item.position) c = k;
        auto* name = new QTableWidgetItem(QString::fromStdString(item.name));
        name->setFlags(Qt::ItemIsEnabled);
        name->setData(Qt::UserRole, item.position);
        CycleTable->setItem(r, ItemColumn, name);
        const int values[] = {c.months, c.km, c.firstMonths};
        for (int col = MonthsColumn; col <= FirstMonthsColumn; ++col) {
            auto* cell = new QTableWidgetItem(QString::number(values[col - MonthsColumn]));
            cell->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            CycleTable->setItem(r, col, cell);
        }
    }
}

void ScheduleForm::Reload() {
    // No rows of an older reading stay on screen after a failure: the table is emptied,
    // then the one error report is shown.
    const auto failed = [this](const std::exception& e, bool withCycles) {
        rows_.clear();
        showRows(withCycles);
        ui::reportError(e, this);
    };
    // The cycles and the records are read on a worker with its own access to the data set
    // (on a server, connecting is no work for the window's thread).
    auto cycles = std::make_shared<std::vector<analysis::MaintenanceCycle>>();
    work_->start(
        [this, cycles, openCycles = analysisStoreOpener(context_),
         open = ui::dataSetOpener(context_), today = store::today()] {
            *cycles = openCycles()->loadCycles();
            const auto dataSet = open();
            auto items = std::make_shared<std::vector<analysis::ScheduleItem>>(
                analysis::scheduleItems(*dataSet));
            auto rows = std::make_shared<std::vector<analysis::ScheduleRow>>(
                analysis::computeSchedule(*dataSet, *cycles, today));
            return ui::BackgroundWork::Apply([this, cycles, items, rows] {
                fillCycles(*items, *cycles);
                rows_ = std::move(*rows);
                showRows(!cycles->empty());
            });
        },
        [failed, cycles](const std::exception& e) { failed(e, !cycles->empty()); });
}

void ScheduleForm::showRows(bool withCycles) {
    ScheduleTable->setTable(analysis::scheduleTable(rows_), [this](int row) {
        switch (rows_[std::size_t(row)].status) {
            case analysis::DueStatus::Overdue: return overdueColour();
            case analysis::DueStatus::Soon: return soonColour();
            default: return QColor();
        }
    });
    const auto overdue = analysis::countOverdue(rows_);
    const auto soon = std::count_if(rows_.begin(), rows_.end(), [](const auto& r) {
        return r.status == analysis::DueStatus::Soon;
    });
    SummaryLabel->setText(
        !withCycles
            ? QStringLiteral("周期が設定されていません。下の表で点検・整備項目ごとに周期を入力して"
                             "保存してください。")
            : QStringLiteral("%1 現在　期限切れ %2件（赤）、30日または500km以内 %3件（橙）")
                  .arg(QString::fromStdString(store::formatDate(store::today())))
                  .arg(overdue)
                  .arg(soon));
}

void ScheduleForm::SaveCyclesClick() {
    if (readOnly_ && readOnly_()) {
        // Another computer holds the folder, or the server lets this user only read.
        ui::Prompts::current().warning(this,
                                       QString::fromUtf8(context_.serverConninfo().empty()
                                                             ? folder::ReadOnlyFileSystem::kReason
                                                             : ui::kServerReadOnlyText));
        return;
    }
    std::vector<analysis::MaintenanceCycle> cycles;
    for (int r = 0; r < CycleTable->rowCount(); ++r) {
        int values[3] = {0, 0, 0};
        const int limits[3] = {kMaxMonths, kMaxKm, kMaxMonths};
        for (int col = MonthsColumn; col <= FirstMonthsColumn; ++col) {
            const QString text = CycleTable->item(r, col)->text().trimmed();
            bool ok = text.isEmpty();
            const int v = ok ? 0 : text.toInt(&ok);
            if (!ok || v < 0 || v > limits[col - MonthsColumn]) {
                ui::Prompts::current().warning(
                    this, QStringLiteral("%1 の%2には 0 から %3 までの整数を入力してください。")
                              .arg(CycleTable->item(r, ItemColumn)->text(),
                                   CycleTable->horizontalHeaderItem(col)->text())
                              .arg(limits[col - MonthsColumn]));
                CycleTable->setCurrentCell(r, col);
                return;
            }
            values[col - MonthsColumn] = v;
        }
        cycles.push_back({CycleTable->item(r, ItemColumn)->data(Qt::UserRole).toInt(), values[0],
                          values[1], values[2]});
    }
    // A failed save ends here at the application's error report; the typed cycles stay.
    openAnalysisStore(context_)->saveCycles(cycles);
    Reload();
}

}  // namespace quil::analysis
