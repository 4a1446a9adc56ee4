#include "ui/tools/alcohol/TDetectorForm.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

#include "reports/RegisterNames.h"
#include "ui/components/NumberBox.h"
#include "ui/components/QtDate.h"
#include "ui/components/TDateEdit.h"
#include "ui/components/TRetEdit.h"
#include "ui/components/WholeRowView.h"
#include "ui/dialogs/MainContext.h"
#include "ui/dialogs/MainWindowPlacement.h"
#include "ui/dialogs/Prompts.h"
#include "ui/tools/alcohol/AlcoholStore.h"
#include "ui/tools/alcohol/TAlcoholCheckForm.h"

namespace quil::alcohol {

namespace {
// The columns of the detector table, in the order a row's texts are made.
enum DetectorColumn {
    NameColumn,
    SerialColumn,
    InUseSinceColumn,
    InspectionColumn,
    StateColumn,
    DetectorColumnCount
};

QString q(const std::string& s) { return QString::fromStdString(s); }
QString dateText(store::DateTime d) { return d > 0 ? q(store::formatDate(d)) : QString(); }
ui::TDateEdit* newDateBox(QWidget* parent, const char* name) {
    auto* box = new ui::TDateEdit(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setCalendarPopup(true);
    box->setDisplayFormat(QStringLiteral("yyyy/MM/dd"));
    box->setDate(ui::toQDate(store::today()));
    moveOnWithEnter(box);
    return box;
}
}  // namespace

TDetectorForm::TDetectorForm(ui::MainContext& context, QWidget* parent)
    : FormDialog(parent), context_(context) {
    setObjectName(QStringLiteral("DetectorForm"));
    setWindowTitle(QStringLiteral("アルコール検知器"));
    table = new QTableWidget(0, DetectorColumnCount, this);
    table->setObjectName(QStringLiteral("DetectorTable"));
    table->setHorizontalHeaderLabels({QStringLiteral("名前"), QStringLiteral("製造番号"),
                                      QStringLiteral("使用開始日"), QStringLiteral("最終点検日"),
                                      QStringLiteral("状態")});
    ui::selectWholeRows(*table);
    table->horizontalHeader()->setStretchLastSection(true);
    table->setColumnWidth(NameColumn, 160);
    table->setColumnWidth(SerialColumn, 120);

    nameEdit = new ui::TRetEdit(this);
    nameEdit->setObjectName(QStringLiteral("NameEdit"));
    nameEdit->setMaxLength(40);
    serialEdit = new ui::TRetEdit(this);
    serialEdit->setObjectName(QStringLiteral("SerialEdit"));
    serialEdit->setMaxLength(40);
    inUseBox = newDateBox(this, "InUseBox");
    inspectionBox = newDateBox(this, "InspectionBox");
    noInspectionCheck = new QCheckBox(QStringLiteral("未点検"), this);
    retiredCheck = new QCheckBox(QStringLiteral("使用をやめた"), this);
    daysBox = ui::newNumberBox(this, "DaysBox", 1, 3650, QStringLiteral(" 日"));
    warningLabel = new QLabel(this);
    warningLabel->setStyleSheet(QStringLiteral("color: red"));
    addButton = new QPushButton(QStringLiteral("追加(&A)"), this);
    updateButton = new QPushButton(QStringLiteral("変更(&U)"), this);
    removeButton = new QPushButton(QStringLiteral("削除(&D)"), this);
    closeButton = new QPushButton(QStringLiteral("閉じる"), this);
    for (QPushButton* b : {addButton, updateButton, removeButton, closeButton})
        b->setAutoDefault(false);

    auto* inspection = new QHBoxLayout;
    inspection->addWidget(inspectionBox);
    inspection->addWidget(noInspectionCheck);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("名前"), nameEdit);
    form->addRow(QStringLiteral("製造番号"), serialEdit);
    form->addRow(QStringLiteral("使用開始日"), inUseBox);
    form->addRow(QStringLiteral("最終点検日"), inspection);
    form->addRow(QString(), retiredCheck);
    form->addRow(QStringLiteral("点検の間隔"), daysBox);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(addButton);
    buttons->addWidget(updateButton);
    buttons->addWidget(removeButton);
    buttons->addStretch();
    buttons->addWidget(closeButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(table, 1);
    layout->addWidget(warningLabel);
    layout->addLayout(form);
    layout->addLayout(buttons);
    resize(620, 520);

    connect(noInspectionCheck, &QCheckBox::toggled, inspectionBox, &QWidget::setDisabled);
    connect(table, &QTableWidget::itemSelectionChanged, this, &TDetectorForm::showSelected);
    connect(addButton, &QPushButton::clicked, this, &TDetectorForm::addDetector);
    connect(updateButton, &QPushButton::clicked, this, &TDetectorForm::updateSelected);
    connect(removeButton, &QPushButton::clicked, this, &TDetectorForm::removeSelected);
    connect(closeButton, &QPushButton::clicked, this, &QWidget::close);
    connect(daysBox, &QSpinBox::editingFinished, this, [this] {
        const std::unique_ptr<CheckStore> store = openCheckStore(context_);
        if (store->inspectionDays() == daysBox->value()) return;
        if (refuseWhenReadOnly(context_, this)) {
            daysBox->setValue(store->inspectionDays());
            return;
        }
        store->setSetting(kInspectionDaysKey, std::to_string(daysBox->value()));
        reload();
    });
    ui::placeBesideMainWindow(*this, context_.mainWidget(), ui::kBesideMain);
}

void TDetectorForm::FormShow() { reload(); }

void TDetectorForm::reload() {
    int days = kDefaultInspectionDays;
    if (context_.dataSetReadOnly() && !registerExists(context_)) {
        detectors_.clear();  // none recorded, and this copy may not create the register
    } else {
        const std::unique_ptr<CheckStore> store = openCheckStore(context_);
        detectors_ = store->detectors();
        days = store->inspectionDays();
    }
    daysBox->setValue(days);
    const store::DateTime today = store::today();
    table->setRowCount(0);
    table->setRowCount(static_cast<int>(detectors_.size()));
    int overdue = 0;
    for (int r = 0; r < table->rowCount(); ++r) {
        const Detector& d = detectors_[static_cast<std::size_t>(r)];
        const bool late = inspectionOverdue(d, today, days);
        overdue += late ? 1 : 0;
        const QString state = d.retired ? QStringLiteral("使用中止")
                              : late    ? QStringLiteral("点検期限切れ")
                                        : QStringLiteral("使用中");
        const QString texts[DetectorColumnCount] = {q(d.name), q(d.serial), dateText(d.inUseSince),
                                                    dateText(d.lastInspection), state};
        for (int c = 0; c < DetectorColumnCount; ++c) {
            auto* item = new QTableWidgetItem(texts[c]);
            if (late) item->setForeground(Qt::red);
            table->setItem(r, c, item);
        }
    }
    warningLabel->setText(
        overdue > 0
            ? QStringLiteral("%1日以上点検していない検知器が%2台あります。").arg(days).arg(overdue)
            : QString());
}

bool TDetectorForm::fromFields(Detector& d) {
    const QString name = nameEdit->text().trimmed();
    if (name.isEmpty()) {
        ui::Prompts::current().warning(this, QStringLiteral("検知器の名前を入力してください。"));
        nameEdit->setFocus();
        return false;
    }
    for (ui::TDateEdit* box : {inUseBox, inspectionBox})
        if (!box->commitTyped()) {
            ui::Prompts::current().warning(this, QString::fromUtf8(kBadDateMessage));
            box->setFocus();
            return false;
        }
    d.name = name.toStdString();
    d.serial = serialEdit->text().trimmed().toStdString();
    d.inUseSince = ui::fromQDate(inUseBox->date());
    d.lastInspection = noInspectionCheck->isChecked() ? 0 : ui::fromQDate(inspectionBox->date());
    if (d.lastInspection > 0 && d.lastInspection < d.inUseSince) {
        ui::Prompts::current().warning(this, QStringLiteral("最終点検日が使用開始日より前です。"));
        inspectionBox->setFocus();
        return false;
    }
    d.retired = retiredCheck->isChecked();
    return true;
}

bool TDetectorForm::refuseDuplicate(const Detector& d) {
    for (const Detector& other : detectors_)
        if (other.id != d.id && other.name == d.name && other.serial == d.serial) {
            ui::Prompts::current().warning(
                this, QStringLiteral("同じ名前と製造番号の検知器が登録されています。"));
            nameEdit->setFocus();
            return true;
        }
    return false;
}

bool TDetectorForm::addDetector() {
    if (refuseWhenReadOnly(context_, this)) return false;
    Detector d;
    if (!fromFields(d) || refuseDuplicate(d)) return false;
    openCheckStore(context_)->addDetector(d);
    reload();
    return true;
}

bool TDetectorForm::updateSelected() {
    if (refuseWhenReadOnly(context_, this)) return false;
    const int row = table->currentRow();
    if (row < 0 || row >= static_cast<int>(detectors_.size())) {
        ui::Prompts::current().warning(this, QStringLiteral("変更する検知器を選んでください。"));
        return false;
    }
    Detector d = detectors_[static_cast<std::size_t>(row)];
    if (!fromFields(d) || refuseDuplicate(d)) return false;
    openCheckStore(context_)->updateDetector(d);
    reload();
    table->selectRow(row);
    return true;
}

bool TDetectorForm::removeSelected() {
    const int row = table->currentRow();
    if (row < 0 || row >= static_cast<int>(detectors_.size())) {
        ui::Prompts::current().warning(this, QStringLiteral("削除する検知器を選んでください。"));
        return false;
    }
    if (refuseWhenReadOnly(context_, this)) return false;
    const Detector d = detectors_[static_cast<std::size_t>(row)];
    if (!ui::Prompts::current().question(
            this, QStringLiteral("確認"),
            QStringLiteral("%1 を削除しますか？").arg(q(detectorLabel(d))),
            ui::PromptIcon::Question))
        return false;
    if (!openCheckStore(context_)->removeDetector(d.id)) {
        ui::Prompts::current().warning(
            this, QStringLiteral("この検知器を使ったアルコールチェックがあるため削除できません。"
                                 "「使用をやめた」にしてください。"));
        return false;
    }
    reload();
    return true;
}

void TDetectorForm::showSelected() {
    const int row = table->currentRow();
    if (row < 0 || row >= static_cast<int>(detectors_.size())) return;
    const Detector& d = detectors_[static_cast<std::size_t>(row)];
    nameEdit->setText(q(d.name));
    serialEdit->setText(q(d.serial));
    inUseBox->setDate(ui::toQDate(d.inUseSince > 0 ? d.inUseSince : store::today()));
    noInspectionCheck->setChecked(d.lastInspection <= 0);
    inspectionBox->setDate(ui::toQDate(d.lastInspection > 0 ? d.lastInspection : store::today()));
    retiredCheck->setChecked(d.retired);
}

}  // namespace quil::alcohol
