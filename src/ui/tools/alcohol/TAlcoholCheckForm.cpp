#include "ui/tools/alcohol/TAlcoholCheckForm.h"

#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "folder/ReadOnlyFileSystem.h"
#include "reports/RegisterNames.h"
#include "store/EntryParse.h"
#include "ui/components/QtDate.h"
#include "ui/components/TDateEdit.h"
#include "ui/components/TRetComboBox.h"
#include "ui/components/TRetEdit.h"
#include "ui/dialogs/MainContext.h"
#include "ui/dialogs/MainWindowPlacement.h"
#include "ui/dialogs/OkCancelButtons.h"
#include "ui/dialogs/Prompts.h"
#include "ui/tools/alcohol/AlcoholStore.h"

namespace quil::alcohol {

namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }

ui::TRetComboBox* newList(QWidget* parent, const char* name, bool editable = false) {
    auto* box = new ui::TRetComboBox(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setEditable(editable);
    if (editable) box->setInsertPolicy(QComboBox::NoInsert);
    return box;
}

ui::TRetEdit* newEdit(QWidget* parent, const char* name, int maxLength) {
    auto* edit = new ui::TRetEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setMaxLength(maxLength);
    return edit;
}

// Selects the entry whose data is `value`; none (-1) when no entry has it.
void selectData(QComboBox* box, const QVariant& value) {
    box->setCurrentIndex(box->findData(value));
}

}  // namespace

TAlcoholCheckForm::TAlcoholCheckForm(ui::MainContext& context, QWidget* parent)
    : FormDialog(parent), context_(context) {
    setObjectName(QStringLiteral("AlcoholCheckForm"));
    setWindowTitle(QString::fromUtf8(kAddCaption));
    createControls();
    ui::placeBesideMainWindow(*this, parent ? parent : context_.mainWidget(), ui::kBesideMain);
}

void TAlcoholCheckForm::createControls() {
    // Created in tab order, the order Enter moves through.
    dateBox = new ui::TDateEdit(this);
    dateBox->setObjectName(QStringLiteral("DateBox"));
    dateBox->setCalendarPopup(true);
    dateBox->setDisplayFormat(QStringLiteral("yyyy/MM/dd"));
    moveOnWithEnter(dateBox);
    hourBox = newList(this, "HourBox", true);
    minuteBox = newList(this, "MinuteBox", true);
    for (int h = 0; h <= 23; ++h) hourBox->addItem(QString::number(h));
    // Minutes read as a clock shows them: 8：05, not 8：5.
    for (int m = 0; m <= 59; ++m)
        minuteBox->addItem(QStringLiteral("%1").arg(m, 2, 10, QLatin1Char('0')));
    timingBox = newList(this, "TimingBox");
    for (int t = 0; t < kCheckTimingCount; ++t)
        timingBox->addItem(q(timingName(static_cast<CheckTiming>(t))), t);
    driverBox = newList(this, "DriverBox");
    vehicleBox = newList(this, "VehicleBox");
    checkerBox = newList(this, "CheckerBox", true);
    checkerBox->lineEdit()->setMaxLength(40);
    methodBox = newList(this, "MethodBox");
    for (int m = 0; m < kCheckMethodCount; ++m)
        methodBox->addItem(q(methodName(static_cast<CheckMethod>(m))), m);
    methodTextEdit = newEdit(this, "MethodTextEdit", 40);
    detectorBox = newList(this, "DetectorBox");
    readingEdit = newEdit(this, "ReadingEdit", 8);
    intoxicatedBox = newList(this, "IntoxicatedBox");
    intoxicatedBox->addItem(QStringLiteral("無"), false);
    intoxicatedBox->addItem(QStringLiteral("有"), true);
    instructionsEdit = newEdit(this, "InstructionsEdit", 100);
    remarksEdit = newEdit(this, "RemarksEdit", 100);

    auto* grid = new QGridLayout;
    int row = 0;
    auto addRow = [&](const char* caption, std::initializer_list<QWidget*> widgets) {
        grid->addWidget(new QLabel(QString::fromUtf8(caption), this), row, 0);
        auto* line = new QHBoxLayout;
        for (QWidget* w : widgets) line->addWidget(w);
        if (widgets.size() == 1) line->setStretch(0, 1);
        grid->addLayout(line, row++, 1);
    };
    addRow("日付・時刻", {dateBox, hourBox, new QLabel(QStringLiteral("："), this), minuteBox});
    // A typed hour or minute is taken as typed: completing "5" to the list's "50" would
    // record 8:50 for 8:05.
    for (QComboBox* box : {hourBox, minuteBox}) {
        box->setFixedWidth(64);
        box->setCompleter(nullptr);
    }
    static_cast<QHBoxLayout*>(grid->itemAtPosition(0, 1)->layout())->addStretch();
    addRow("区分", {timingBox});
    driverWarning = new QLabel(this);
    vehicleWarning = new QLabel(this);
    for (QLabel* label : {driverWarning, vehicleWarning}) {
        label->setStyleSheet(QStringLiteral("color: #c00000;"));
        label->setWordWrap(true);
        label->hide();
    }
    addRow("運転者", {driverBox});
    static_cast<QHBoxLayout*>(grid->itemAtPosition(row - 1, 1)->layout())->addWidget(driverWarning);
    addRow("車両", {vehicleBox});
    static_cast<QHBoxLayout*>(grid->itemAtPosition(row - 1, 1)->layout())->addWidget(vehicleWarning);
    for (QComboBox* box : {driverBox, vehicleBox})
        connect(box, &QComboBox::currentIndexChanged, this, &TAlcoholCheckForm::showChoiceWarnings);
    addRow("確認者", {checkerBox});
    addRow("確認方法", {methodBox, methodTextEdit});
    addRow("検知器", {detectorBox});
    addRow("測定値(mg/L)", {readingEdit});
    addRow("酒気帯び", {intoxicatedBox});
    addRow("指示事項", {instructionsEdit});
    addRow("備考", {remarksEdit});
    methodTextEdit->setPlaceholderText(QStringLiteral("その他の方法"));
    connect(methodBox, &QComboBox::currentIndexChanged, this, [this](int i) {
        methodTextEdit->setEnabled(i == static_cast<int>(CheckMethod::Other));
    });

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(ui::makeOkCancelRow(this, Button1, Button2));
    connect(Button1, &QPushButton::clicked, this, &TAlcoholCheckForm::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TAlcoholCheckForm::Button2Click);
    setMinimumWidth(460);
}

namespace {

class DateEnter : public QObject {
public:
    explicit DateEnter(ui::TDateEdit* box) : QObject(box), box_(box) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != box_ || event->type() != QEvent::KeyPress) return false;
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key != Qt::Key_Return && key != Qt::Key_Enter) return false;
        if (!box_->commitTyped()) {
            ui::Prompts::current().warning(box_->window(), QString::fromUtf8(kBadDateMessage));
            box_->setFocus();
            return true;
        }
        if (QWidget* next = box_->nextInFocusChain()) {
            // The box's own line edit comes first in the chain; the next field is after it.
            while (next != box_ && (next->focusProxy() == box_ || box_->isAncestorOf(next) ||
                                    !(next->focusPolicy() & Qt::TabFocus) || !next->isEnabled() ||
                                    !next->isVisible()))
                next = next->nextInFocusChain();
            if (next != box_) next->setFocus(Qt::TabFocusReason);
        }
        return true;
    }

private:
    ui::TDateEdit* box_;
};

}  // namespace

void moveOnWithEnter(ui::TDateEdit* box) { box->installEventFilter(new DateEnter(box)); }

bool refuseWhenReadOnly(const ui::MainContext& context, QWidget* parent) {
    if (!context.dataSetReadOnly()) return false;
    ui::Prompts::current().warning(parent, QString::fromUtf8(folder::ReadOnlyFileSystem::kReason));
    return true;
}

bool TAlcoholCheckForm::addMode() const { return windowTitle() == QString::fromUtf8(kAddCaption); }

void TAlcoholCheckForm::openForAdd() {
    if (isVisible() || refuseWhenReadOnly(context_, parentWidget())) return;
    preset_.reset();
    editId_ = 0;
    setWindowTitle(QString::fromUtf8(kAddCaption));
    show();
}

void TAlcoholCheckForm::openForAdd(const AlcoholCheck& preset) {
    if (isVisible() || refuseWhenReadOnly(context_, parentWidget())) return;
    preset_ = preset;
    editId_ = 0;
    setWindowTitle(QString::fromUtf8(kAddCaption));
    show();
}

void TAlcoholCheckForm::openForEdit(std::int64_t id) {
    if (isVisible() || refuseWhenReadOnly(context_, parentWidget())) return;
    editId_ = id;
    setWindowTitle(QString::fromUtf8(kEditCaption));
    show();
}

void TAlcoholCheckForm::fillLists() {
    const RegisterNames names = registerNames(context_);
    const std::unique_ptr<CheckStore> store = openCheckStore(context_);
    driverBox->clear();
    for (const PickEntry& e : names.drivers()) driverBox->addItem(q(e.label), e.position);
    vehicleBox->clear();
    for (const PickEntry& e : names.vehicles()) vehicleBox->addItem(q(e.label), e.position);
    checkerBox->clear();
    for (const std::string& name : store->checkerNames()) checkerBox->addItem(q(name));
    detectorBox->clear();
    detectorBox->addItem(QStringLiteral("(なし)"), qlonglong(0));
    // An overdue detector stays selectable (the check must still be recorded) but says so.
    const int days = store->inspectionDays();
    for (const Detector& d : store->detectors()) {
        if (d.retired) continue;
        QString label = q(detectorLabel(d));
        if (inspectionOverdue(d, store::now(), days)) label += QStringLiteral("　※点検期限切れ");
        detectorBox->addItem(label, qlonglong(d.id));
    }
}

void TAlcoholCheckForm::FormShow() {
    fillLists();
    AlcoholCheck check;
    if (!addMode()) {
        const std::optional<AlcoholCheck> stored = openCheckStore(context_)->find(editId_);
        if (!stored || stored->deleted) {
            ui::Prompts::current().warning(
                this, QStringLiteral("このアルコールチェックは削除されています。"));
            QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
            return;
        }
        check = *stored;
        loaded_ = *stored;
    } else {
        if (preset_) check = *preset_;
        preset_.reset();
        if (check.when <= 0) check.when = store::now();
        check.detector = detectorBox->count() == 2 ? detectorBox->itemData(1).toLongLong() : 0;
        // The last checker is the likely one; the others are a click away.
        check.checker = checkerBox->count() > 0 ? checkerBox->itemText(0).toStdString() : "";
    }
    showCheck(check);
    showChoiceWarnings();
    dateBox->setFocus();
}

void TAlcoholCheckForm::showChoiceWarnings() {
    const auto warn = [this](QLabel* label, ui::ChoiceOf of, const ui::TRetComboBox* box) {
        const QString warning = choiceWarning_ && box->currentIndex() >= 0
                                    ? choiceWarning_(of, box->currentData().toInt())
                                    : QString();
        label->setText(warning);
        label->setVisible(!warning.isEmpty());
    };
    warn(driverWarning, ui::ChoiceOf::Driver, driverBox);
    warn(vehicleWarning, ui::ChoiceOf::Vehicle, vehicleBox);
}

void TAlcoholCheckForm::showCheck(const AlcoholCheck& c) {
    dateBox->setDate(ui::toQDate(c.when));
    unsigned hour = 0, minute = 0;
    store::decodeTime(c.when, hour, minute);
    hourBox->setEditText(QString::number(hour));
    minuteBox->setEditText(QStringLiteral("%1").arg(minute, 2, 10, QLatin1Char('0')));
    timingBox->setCurrentIndex(static_cast<int>(c.timing));
    selectData(driverBox, c.driver);
    selectData(vehicleBox, c.vehicle);
    checkerBox->setEditText(q(c.checker));
    methodBox->setCurrentIndex(static_cast<int>(c.method));
    methodTextEdit->setEnabled(c.method == CheckMethod::Other);
    methodTextEdit->setText(q(c.methodText));
    selectData(detectorBox, qlonglong(c.detector));
    if (detectorBox->currentIndex() < 0) detectorBox->setCurrentIndex(0);
    readingEdit->setText(c.reading ? QString::number(*c.reading, 'f', 3) : QString());
    intoxicatedBox->setCurrentIndex(c.intoxicated ? 1 : 0);
    instructionsEdit->setText(q(c.instructions));
    remarksEdit->setText(q(c.remarks));
}

CheckInput TAlcoholCheckForm::input() const {
    CheckInput in;
    const QDate d = dateBox->date();
    if (d.isValid()) in.day = store::encodeDate(d.year(), d.month(), d.day());
    const auto hour = store::parseClockField(hourBox->currentText().trimmed().toStdString(), 23);
    const auto minute =
        store::parseClockField(minuteBox->currentText().trimmed().toStdString(), 59);
    if (!hour || !minute) in.day.reset();
    in.hour = hour.value_or(0);
    in.minute = minute.value_or(0);
    in.timing = static_cast<CheckTiming>(std::max(0, timingBox->currentIndex()));
    in.driver = driverBox->currentIndex() < 0 ? -1 : driverBox->currentData().toInt();
    in.vehicle = vehicleBox->currentIndex() < 0 ? -1 : vehicleBox->currentData().toInt();
    in.checker = checkerBox->currentText().toStdString();
    in.method = static_cast<CheckMethod>(std::max(0, methodBox->currentIndex()));
    in.methodText = methodTextEdit->text().toStdString();
    in.detector = detectorBox->currentIndex() < 0 ? 0 : detectorBox->currentData().toLongLong();
    in.readingText = readingEdit->text().toStdString();
    in.intoxicated = intoxicatedBox->currentIndex() == 1;
    in.instructions = instructionsEdit->text().toStdString();
    in.remarks = remarksEdit->text().toStdString();
    return in;
}

QWidget* TAlcoholCheckForm::fieldWidget(EntryField field) const {
    switch (field) {
        case EntryField::Date: return dateBox;
        case EntryField::Driver: return driverBox;
        case EntryField::Vehicle: return vehicleBox;
        case EntryField::Checker: return checkerBox;
        case EntryField::MethodText: return methodTextEdit;
        case EntryField::Detector: return detectorBox;
        case EntryField::Reading: return readingEdit;
        case EntryField::Intoxicated: return intoxicatedBox;
        case EntryField::Instructions: return instructionsEdit;
        case EntryField::None: break;
    }
    return dateBox;
}

void TAlcoholCheckForm::Button1Click() {
    if (!dateBox->commitTyped()) {
        ui::Prompts::current().warning(this, QString::fromUtf8(kBadDateMessage));
        dateBox->setFocus();
        return;
    }
    const EntryResult result = buildCheck(input(), store::now());
    if (!result.check) {
        ui::Prompts::current().warning(this, q(result.message));
        fieldWidget(result.field)->setFocus();
        return;
    }
    AlcoholCheck check = *result.check;
    const std::unique_ptr<CheckStore> store = openCheckStore(context_);
    if (addMode()) {
        store->add(check);
    } else {
        const std::optional<AlcoholCheck> stored = store->find(editId_);
        if (!stored || stored->deleted) {
            // Deleted from the list while this dialog had it open: nothing to save into.
            ui::Prompts::current().warning(
                this, QStringLiteral("修正中のアルコールチェックは削除されたため保存できません。"));
            close();
            return;
        }
        if (*stored != loaded_) {
            // Changed by someone else since this dialog read it: saving would overwrite it.
            ui::Prompts::current().warning(
                this, QStringLiteral("修正中のアルコールチェックは、ほかの操作で変更されたため"
                                     "保存できません。開き直してください。"));
            return;
        }
        check.id = editId_;
        store->update(check);
    }
    Q_EMIT saved();
    close();
}

void TAlcoholCheckForm::Button2Click() { close(); }

}  // namespace quil::alcohol
