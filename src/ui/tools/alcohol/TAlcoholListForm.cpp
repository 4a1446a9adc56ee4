#include "ui/tools/alcohol/TAlcoholListForm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHideEvent>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>

#include "folder/ExportFile.h"
#include "reports/AlcoholCsv.h"
#include "reports/RegisterNames.h"
#include "store/Settings.h"
#include "store/StoreError.h"
#include "ui/components/NamedButton.h"
#include "ui/components/WholeRowView.h"
#include "ui/dialogs/CsvFileChoice.h"
#include "ui/dialogs/DataSetEvents.h"
#include "ui/dialogs/FileChoice.h"
#include "ui/dialogs/FreeMemory.h"
#include "ui/dialogs/MainContext.h"
#include "ui/dialogs/MainWindowPlacement.h"
#include "ui/dialogs/Prompts.h"
#include "ui/tools/alcohol/AlcoholStore.h"
#include "ui/tools/alcohol/CheckTableModel.h"
#include "ui/tools/alcohol/PeriodChooser.h"
#include "ui/tools/alcohol/TAlcoholCheckForm.h"
#include "ui/tools/alcohol/TAlcoholPrintForm.h"

namespace quil::alcohol {

namespace {
// The list shows checks with the names of drivers and vehicles.
bool showsChecksOf(const store::DataSetChange& c) {
    using What = store::DataSetChange::What;
    return c.isWhole() || c.what == What::ItemsChanged ||
           (c.what == What::ExtensionChanged && c.part == store::ExtensionPart::AlcoholChecks);
}
}  // namespace

namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }

QString loginName() {
    QString name = qEnvironmentVariable("USERNAME");
    if (name.isEmpty()) name = qEnvironmentVariable("USER");
    return name;
}

}  // namespace

TAlcoholListForm::TAlcoholListForm(ui::MainContext& context, TAlcoholCheckForm& entry,
                                   TAlcoholPrintForm* printForm, QWidget* parent)
    : FormDialog(parent), context_(context), entry_(entry), printForm_(printForm) {
    setObjectName(QStringLiteral("AlcoholListForm"));
    setWindowTitle(QStringLiteral("アルコールチェック記録簿"));
    period = new PeriodChooser(this);
    driverFilter = new QComboBox(this);
    driverFilter->setObjectName(QStringLiteral("DriverFilter"));
    vehicleFilter = new QComboBox(this);
    vehicleFilter->setObjectName(QStringLiteral("VehicleFilter"));
    deletedCheck = new QCheckBox(QStringLiteral("削除したチェックも表示"), this);
    auto* filters = new QHBoxLayout;
    filters->addWidget(new QLabel(QStringLiteral("期間"), this));
    filters->addWidget(period);
    filters->addWidget(new QLabel(QStringLiteral("運転者"), this));
    filters->addWidget(driverFilter);
    filters->addWidget(new QLabel(QStringLiteral("車両"), this));
    filters->addWidget(vehicleFilter);
    filters->addWidget(deletedCheck);
    filters->addStretch();

    model_ = new CheckTableModel(this);
    table = ui::newWholeRowTable(this, model_, QStringLiteral("CheckTable"));
    table->verticalHeader()->setDefaultSectionSize(24);
    // Fixed widths: measuring the contents of a long period's rows would take seconds.
    const int widths[CheckTableModel::ColumnCount] = {85, 50, 60,  90, 210, 100, 210,
                                                      90, 65, 160, 90, 120, 160};
    for (int c = 0; c < CheckTableModel::ColumnCount; ++c) table->setColumnWidth(c, widths[c]);
    countLabel = new QLabel(this);

    addButton = ui::newButton(this, "追加(&A)...", "AddButton");
    editButton = ui::newButton(this, "修正(&E)...", "EditButton");
    deleteButton = ui::newButton(this, "削除(&D)", "DeleteButton");
    printButton = ui::newButton(this, "記録簿の印刷(&P)...", "PrintButton");
    exportButton = ui::newButton(this, "CSV書き出し(&C)...", "ExportButton");
    importButton = ui::newButton(this, "CSV読み込み(&I)...", "ImportButton");
    closeButton = ui::newButton(this, "閉じる", "CloseButton");
    for (QPushButton* b : {addButton, editButton, deleteButton, printButton, exportButton,
                           importButton, closeButton})
        b->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b :
         {addButton, editButton, deleteButton, printButton, exportButton, importButton})
        buttons->addWidget(b);
    buttons->addStretch();
    buttons->addWidget(countLabel);
    buttons->addWidget(closeButton);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(filters);
    layout->addWidget(table, 1);
    layout->addLayout(buttons);
    resize(1000, 560);

    connect(period, &PeriodChooser::changed, this, &TAlcoholListForm::reload);
    connect(driverFilter, &QComboBox::currentIndexChanged, this, &TAlcoholListForm::reload);
    connect(vehicleFilter, &QComboBox::currentIndexChanged, this, &TAlcoholListForm::reload);
    connect(deletedCheck, &QCheckBox::toggled, this, &TAlcoholListForm::reload);
    connect(addButton, &QPushButton::clicked, &entry_, qOverload<>(&TAlcoholCheckForm::openForAdd));
    connect(editButton, &QPushButton::clicked, this, &TAlcoholListForm::editSelected);
    connect(table, &QTableView::doubleClicked, this, &TAlcoholListForm::editSelected);
    connect(deleteButton, &QPushButton::clicked, this, &TAlcoholListForm::deleteSelected);
    connect(closeButton, &QPushButton::clicked, this, &QWidget::close);
    // The checks shown follow every change of the checks, the names and the data set.
    ui::DataSetEvents::listen(this, [this](const store::DataSetChange& c) {
        if (isVisible() && showsChecksOf(c)) reload();
    });
    connect(printButton, &QPushButton::clicked, this, [this] {
        if (!printForm_) return;
        // This month when the period shown holds it, otherwise the period's first month.
        const auto range = period->range();
        const store::DateTime today = store::today();
        const bool holdsToday = !range || (range->first <= today && today <= range->last);
        printForm_->openForMonth(holdsToday ? today : range->first);
    });
    connect(exportButton, &QPushButton::clicked, this, [this] {
        const ui::CsvTarget target = ui::chooseCsvFile(
            this,
            ui::proposedFilePath(ui::FileKind::Csv, QStringLiteral("アルコールチェック.csv")));
        if (!target.path.isEmpty()) exportCsv(target.path, target.encoding);
    });
    connect(importButton, &QPushButton::clicked, this, [this] {
        // Refused before the file is chosen, not after.
        if (refuseWhenReadOnly(context_, this)) return;
        const QString path =
            ui::chooseOpenFile(this, ui::FileKind::Csv, QStringLiteral("CSV読み込み"),
                               QStringLiteral("CSVファイル (*.csv)"));
        if (!path.isEmpty()) importCsv(path);
    });
    ui::placeBesideMainWindow(*this, context_.mainWidget(), ui::kBesideMain);
}

void TAlcoholListForm::FormShow() {
    fillFilters();
    period->chooseStoredOnce(context_.programFolder());
    reload();
}

void TAlcoholListForm::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    if (event->spontaneous()) return;  // minimised: the rows stay
    model_->setChecks({}, {}, {});
    countLabel->clear();
    ui::giveFreeMemoryBack();
}

void TAlcoholListForm::fillFilters() {
    const RegisterNames names = registerNames(context_);
    const QVariant driver = driverFilter->currentData();
    const QVariant vehicle = vehicleFilter->currentData();
    const QSignalBlocker b1(driverFilter), b2(vehicleFilter);
    driverFilter->clear();
    driverFilter->addItem(QStringLiteral("全員"), -1);
    for (const PickEntry& e : names.drivers()) driverFilter->addItem(q(e.label), e.position);
    vehicleFilter->clear();
    vehicleFilter->addItem(QStringLiteral("全車両"), -1);
    for (const PickEntry& e : names.vehicles()) vehicleFilter->addItem(q(e.label), e.position);
    driverFilter->setCurrentIndex(std::max(0, driverFilter->findData(driver)));
    vehicleFilter->setCurrentIndex(std::max(0, vehicleFilter->findData(vehicle)));
}

void TAlcoholListForm::reload() {
    CheckFilter filter;
    if (const auto range = period->range()) {
        filter.firstDay = range->first;
        filter.lastDay = range->last;
    }
    filter.driver = driverFilter->currentIndex() < 0 ? -1 : driverFilter->currentData().toInt();
    filter.vehicle = vehicleFilter->currentIndex() < 0 ? -1 : vehicleFilter->currentData().toInt();
    filter.withDeleted = deletedCheck->isChecked();
    if (context_.dataSetReadOnly() && !registerExists(context_)) {
        // No check recorded yet, and this copy may not create the register: it is empty.
        model_->setChecks({}, registerNames(context_), {});
    } else {
        const std::unique_ptr<CheckStore> store = openCheckStore(context_);
        model_->setChecks(store->load(filter), registerNames(context_), store->detectors());
    }
    table->setColumnHidden(CheckTableModel::Deleted, !filter.withDeleted);
    countLabel->setText(QStringLiteral("%1件").arg(model_->rowCount()));
}

std::optional<AlcoholCheck> TAlcoholListForm::selectedCheck() const {
    const QModelIndexList rows = table->selectionModel()->selectedRows();
    if (rows.isEmpty()) return std::nullopt;
    return model_->checks()[static_cast<std::size_t>(rows.front().row())];
}

void TAlcoholListForm::editSelected() {
    const auto check = selectedCheck();
    if (!check) return;
    if (check->deleted) {
        ui::Prompts::current().warning(this, QStringLiteral("削除したチェックは修正できません。"));
        return;
    }
    entry_.openForEdit(check->id);
}

bool TAlcoholListForm::deleteSelected() {
    const auto check = selectedCheck();
    if (!check || check->deleted || refuseWhenReadOnly(context_, this)) return false;
    ui::Prompts& prompts = ui::Prompts::current();
    const QString title = QStringLiteral("確認");
    const QString what =
        q(store::formatDate(check->when) + " " + store::formatTime(check->when) + " " +
          timingName(check->timing) + " " + model_->names().driverName(check->driver));
    if (!prompts.question(this, title,
                          QStringLiteral("%1 のアルコールチェックを削除しますか？").arg(what),
                          ui::PromptIcon::Question))
        return false;
    QString who = loginName();
    if (withinRetention(check->when, store::today())) {
        // The register must be kept for a year: a second question, and a name for the log.
        if (!prompts.question(this, title,
                              QStringLiteral("このチェックは1年間の保存期間内です。\n"
                                             "削除しても記録簿には「削除」として残ります。"
                                             "本当に削除しますか？"),
                              ui::PromptIcon::Warning))
            return false;
        const std::optional<QString> name =
            prompts.inputText(this, title, QStringLiteral("削除する人の名前"), who);
        if (!name) return false;
        who = name->trimmed();
        if (who.isEmpty()) {
            prompts.warning(this, QStringLiteral("削除する人の名前を入力してください。"));
            return false;
        }
    }
    // The store announces the change: the list hears it with every other window and reads
    // the checks again then.
    openCheckStore(context_)->markDeleted(check->id, who.toStdString(), store::now());
    return true;
}

bool TAlcoholListForm::exportCsv(const QString& path, store::TextEncoding encoding) {
    const std::unique_ptr<CheckStore> store = openCheckStore(context_);
    // Deleted checks stay behind: the file has no column for it, and read back they would
    // come alive again.
    std::vector<AlcoholCheck> live;
    for (const AlcoholCheck& c : model_->checks())
        if (!c.deleted) live.push_back(c);
    const CsvNames names = model_->names().csvNames(store->detectors());
    // CP932 would turn such a text into '?', and read back it would be another check.
    if (encoding == store::TextEncoding::Cp932 &&
        !ui::keepTextsOrCancel(this, linesCp932CannotHold(live, names), encoding))
        return false;
    const std::string bytes = writeChecksCsv(live, names, encoding);
    try {
        folder::writeExportFile(path.toStdString(), bytes);
    } catch (const store::StoreError& e) {
        // A refused name or a failed write: the old file stays as it was.
        ui::Prompts::current().warning(this, q(e.what()));
        return false;
    }
    return true;
}

bool TAlcoholListForm::importCsv(const QString& path) {
    if (refuseWhenReadOnly(context_, this)) return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        ui::Prompts::current().warning(
            this, QStringLiteral("%1 を読めません。\n%2").arg(path, file.errorString()));
        return false;
    }
    const QByteArray bytes = file.readAll();
    const std::unique_ptr<CheckStore> store = openCheckStore(context_);
    const RegisterNames names = registerNames(context_);
    const CsvReadResult read = readChecksCsv(std::string_view(bytes.constData(), bytes.size()),
                                             names.csvNames(store->detectors()));
    if (!read.error.empty()) {
        ui::Prompts::current().warning(
            this, q(read.error) + QStringLiteral("\n何も取り込んでいません。"));
        return false;
    }
    // A check already in the register (a file read twice) is not added again, nor is one
    // deleted since the file was written: deleting it was a decision, not a gap to fill.
    CheckFilter everything;
    everything.withDeleted = true;
    const std::vector<AlcoholCheck> present = store->load(everything);
    std::vector<AlcoholCheck> fresh;
    for (const AlcoholCheck& c : read.checks) {
        const bool known = std::any_of(present.begin(), present.end(), [&c](AlcoholCheck p) {
            p.id = 0;
            p.deleted = false;
            p.deletedBy.clear();
            p.deletedAt = 0;
            return p == c;
        });
        if (!known) fresh.push_back(c);
    }
    const std::size_t skipped = read.checks.size() - fresh.size();
    if (fresh.empty()) {
        ui::Prompts::current().notice(
            this,
            QStringLiteral("取り込むアルコールチェックはありません（%1件はすべて登録済みです）。")
                .arg(skipped));
        return false;
    }
    QString question =
        QStringLiteral("%1件のアルコールチェックを取り込みますか？").arg(fresh.size());
    if (skipped > 0) question += QStringLiteral("\n（登録済みの%1件は除きます）").arg(skipped);
    if (!ui::Prompts::current().question(this, QStringLiteral("確認"), question,
                                         ui::PromptIcon::Question))
        return false;
    store->addAll(fresh);  // announced by the store, as every change of the register
    return true;
}

}  // namespace quil::alcohol
