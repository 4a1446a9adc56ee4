#include "ui/tools/papers/ExpiryListForm.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>
#include <memory>

#include "ui/components/NumberBox.h"
#include "ui/dialogs/BackgroundWork.h"
#include "ui/dialogs/MainContext.h"
#include "ui/dialogs/MainWindowPlacement.h"
#include "ui/tools/ReportTableView.h"
#include "ui/tools/ScheduleForm.h"
#include "ui/tools/ToolWindow.h"

namespace quil::papers {

namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }

analysis::ReportTable expiryHeading() {
    analysis::ReportTable t;
    t.titles = {"期限日", "残り日数", "区分", "対象", "内容", "状態"};
    t.rightAligned = {false, true, false, false, false, false};
    return t;
}

analysis::ReportCell text(std::string s) { return {std::move(s), std::nullopt, {}, false}; }

}  // namespace

ExpiryListForm::ExpiryListForm(ui::MainContext& context, QWidget* mainWindow,
                               PaperStores stores)
    : ToolForm(context, mainWindow, QStringLiteral("ExpiryListForm"), QStringLiteral("期限一覧"),
               {820, 520}, QStringLiteral("期限を調べています…")),
      stores_(std::move(stores)) {
    DaysBox = ui::newNumberBox(this, "DaysBox", 0, 3650, QStringLiteral(" 日以内"));
    DaysBox->setValue(kDefaultWithinDays);
    VehicleFilter = new QComboBox(this);
    VehicleFilter->setObjectName(QStringLiteral("VehicleFilter"));
    DriverFilter = new QComboBox(this);
    DriverFilter->setObjectName(QStringLiteral("DriverFilter"));
    // Wide enough for a name, without measuring every one of thousands of items.
    for (QComboBox* box : {VehicleFilter, DriverFilter}) {
        box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        box->setMinimumContentsLength(16);
    }
    ExpiryTable = new analysis::ReportTableView(this);
    ExpiryTable->setObjectName(QStringLiteral("ExpiryTable"));
    SummaryLabel = new QLabel(this);
    EnterButton = new QPushButton(QStringLiteral("登録・更新(&A)..."), this);
    RefreshButton = new QPushButton(QStringLiteral("再表示(&R)"), this);
    const auto buttons =
        analysis::reportButtons(*this, *ExpiryTable, QStringLiteral("期限一覧"), [this]() -> QString {
            return QStringLiteral("期限一覧　") + q(store::formatDate(store::today())) +
                   QStringLiteral(" 現在　%1日以内").arg(DaysBox->value());
        });
    CsvButton = buttons.csv;
    PrintButton = buttons.print;
    CloseButton = buttons.close;
    analysis::noDefaultButton({EnterButton, RefreshButton});

    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("期限切れと"), this));
    top->addWidget(DaysBox);
    top->addSpacing(12);
    top->addWidget(new QLabel(QStringLiteral("車両"), this));
    top->addWidget(VehicleFilter);
    top->addWidget(new QLabel(QStringLiteral("使用者"), this));
    top->addWidget(DriverFilter);
    top->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(SummaryLabel);
    layout->addWidget(ExpiryTable, 1);
    layout->addLayout(
        analysis::footRow({EnterButton, RefreshButton, CsvButton, PrintButton}, {CloseButton}));

    connect(DaysBox, &QSpinBox::valueChanged, this, &ExpiryListForm::showRows);
    connect(VehicleFilter, &QComboBox::currentIndexChanged, this, &ExpiryListForm::showRows);
    connect(DriverFilter, &QComboBox::currentIndexChanged, this, &ExpiryListForm::showRows);
    connect(RefreshButton, &QPushButton::clicked, this, &ExpiryListForm::Reload);
    connect(EnterButton, &QPushButton::clicked, this, &ExpiryListForm::enterSelected);
    connect(ExpiryTable, &QTableView::doubleClicked, this, &ExpiryListForm::enterSelected);
    ui::placeBesideMainWindow(*this, mainWindow, ui::kBesideMain);
}

void ExpiryListForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    Reload();
}

void ExpiryListForm::Reload() {
    // The former rows go first: no rows of an older reading stay after a failure.
    data_ = {};
    showRows();
    work_->start([this, source = PaperSource(context_, stores_)] {
        auto read = std::make_shared<PaperData>(PaperData::readCurrent(source));
        return ui::BackgroundWork::Apply([this, read] {
            data_ = std::move(*read);
            fillFilters();
            showRows();
        });
    });
}

void ExpiryListForm::fillFilters() {
    const auto fill = [](QComboBox* box, const QString& all,
                         const std::vector<alcohol::PickEntry>& entries) {
        const QVariant chosen = box->currentData();
        const QSignalBlocker blocker(box);
        box->clear();
        box->addItem(all, -1);
        for (const alcohol::PickEntry& e : entries) box->addItem(q(e.label), e.position);
        box->setCurrentIndex(std::max(0, box->findData(chosen.isValid() ? chosen : -1)));
    };
    fill(VehicleFilter, QStringLiteral("すべての車両"), data_.names.vehicles());
    fill(DriverFilter, QStringLiteral("すべての使用者"), data_.names.drivers());
}

void ExpiryListForm::showRows() {
    const store::DateTime today = store::today();
    const int vehicle =
        VehicleFilter->currentIndex() > 0 ? VehicleFilter->currentData().toInt() : -1;
    const int driver = DriverFilter->currentIndex() > 0 ? DriverFilter->currentData().toInt() : -1;
    rows_ = expiryList(data_.licences, data_.papers, today, DaysBox->value());
    dropDeletedItems(rows_, data_.names);
    // A chosen vehicle or driver keeps its own rows; with neither chosen every row stays.
    if (vehicle >= 0 || driver >= 0)
        std::erase_if(rows_, [&](const ExpiryEntry& e) {
            return e.of == ExpiryEntry::Of::Paper ? e.position != vehicle : e.position != driver;
        });
    analysis::ReportTable table = expiryHeading();
    int lapsed = 0;
    for (const ExpiryEntry& e : rows_) {
        const bool isLapsed = e.state == ExpiryState::Lapsed;
        lapsed += isLapsed ? 1 : 0;
        const bool licence = e.of == ExpiryEntry::Of::Licence;
        table.rows.push_back({
            {store::formatDate(e.expiry), double(e.expiry), {}, false},
            {std::to_string(e.days), double(e.days), {}, false},
            text(licence ? "運転者" : "車両"),
            text(licence ? data_.names.driverName(e.position)
                         : data_.names.vehicleLabel(e.position)),
            text(e.what),
            text(isLapsed      ? "期限切れ"
                 : e.days == 0 ? "今日まで"
                               : std::to_string(e.days) + "日後"),
        });
    }
    ExpiryTable->setTable(std::move(table), [this](int row) {
        return rows_[std::size_t(row)].state == ExpiryState::Lapsed
                   ? analysis::ScheduleForm::overdueColour()
                   : analysis::ScheduleForm::soonColour();
    });
    SummaryLabel->setText(QStringLiteral("%1 現在　期限切れ %2件（赤）、%3日以内 %4件（橙）")
                              .arg(q(store::formatDate(today)))
                              .arg(lapsed)
                              .arg(DaysBox->value())
                              .arg(int(rows_.size()) - lapsed));
}

void ExpiryListForm::enterSelected() {
    const int row = ExpiryTable->sourceRow(ExpiryTable->currentIndex().row());
    if (!enter_ || row < 0 || row >= int(rows_.size())) return;
    enter_(rows_[std::size_t(row)]);
}

}  // namespace quil::papers
