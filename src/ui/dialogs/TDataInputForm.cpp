#include "ui/dialogs/TDataInputForm.h"

#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QValidator>
#include <variant>

#include "store/NumberFormat.h"
#include "ui/components/Cp932LimitValidator.h"
#include "ui/components/QtDate.h"
#include "ui/components/QtText.h"
#include "ui/components/TDateEdit.h"
#include "ui/dialogs/AfterChange.h"
#include "ui/dialogs/DataSetEvents.h"
#include "ui/dialogs/EntryControls.h"
#include "ui/dialogs/ErrorReport.h"
#include "ui/dialogs/MainContext.h"
#include "ui/dialogs/MainWindowPlacement.h"
#include "ui/dialogs/OkCancelButtons.h"
#include "ui/dialogs/Prompts.h"
#include "ui/dialogs/ServerWrites.h"

namespace quil::ui {

using store::RecordKind;

namespace {

constexpr int kTop = 12;
constexpr int kRowStep = 32;
constexpr int kLabelX = 16;
constexpr int kControlX = 104;
constexpr int kControlHeight = 24;
constexpr int kDateWidth = 120;
constexpr int kTimeWidth = 52;
constexpr int kListWidth = 200;
constexpr int kValueWidth = 100;
constexpr int kRemarksWidth = 300;
constexpr int kFormWidth = kControlX + kRemarksWidth + 16;
// A warning beside the vehicle or user list widens the dialog by this much while shown.
constexpr int kWarningWidth = 300;
constexpr int kButtonWidth = 80;
constexpr int kButtonHeight = 25;

}  // namespace

TDataInputForm::TDataInputForm(MainContext& context, QWidget* parent)
    : OkCancelForm(parent), context_(context) {
    setObjectName(QStringLiteral("DataInputForm"));
    createControls();
    // Placed once, at creation, relative to the main window's top-left corner.
    placeBesideMainWindow(*this, parent ? parent : context_.mainWidget(), kBesideMain);
}

void TDataInputForm::createControls() {
    // Created in tab order: date, times, lists, values, remarks, buttons.
    dateBox_ = new TDateEdit(this);
    dateBox_->setObjectName(QStringLiteral("DateBox"));
    dateBox_->setCalendarPopup(true);
    dateBox_->setDisplayFormat(QStringLiteral("yyyy/MM/dd"));
    setInputMethod(dateBox_, false);

    QComboBox** timeLists[] = {&startHour_, &startMinute_, &endHour_, &endMinute_};
    const char* timeNames[] = {"StartHourList", "StartMinuteList", "EndHourList", "EndMinuteList"};
    for (int i = 0; i < 4; ++i) {
        *timeLists[i] = newEntryList(this);
        (*timeLists[i])->setObjectName(QString::fromLatin1(timeNames[i]));
        setInputMethod(*timeLists[i], false);
    }
    startColon_ = new QLabel(QStringLiteral("："), this);
    tilde_ = new QLabel(QStringLiteral("～"), this);
    endColon_ = new QLabel(QStringLiteral("："), this);

    QComboBox** boxes[] = {&vehicleList_, &userList_, &thirdList_, &shopList_};
    const char* listNames[] = {"VehicleList", "UserList", "ThirdList", "ShopList"};
    for (int i = 0; i < 4; ++i) {
        *boxes[i] = newEntryList(this);
        (*boxes[i])->setObjectName(QString::fromLatin1(listNames[i]));
        setInputMethod(*boxes[i], false);
    }

    for (int i = 0; i < 3; ++i) {
        valueBox_[i] = newEntryEdit(this);
        valueBox_[i]->setObjectName(QStringLiteral("ValueBox%1").arg(i + 1));
        unitLabel_[i] = new QLabel(this);
    }
    remarksBox_ = newEntryEdit(this);
    remarksBox_->setObjectName(QStringLiteral("RemarksBox"));
    remarksBox_->setValidator(new Cp932LimitValidator(100, remarksBox_));
    destinationLimit_ = new Cp932LimitValidator(40, valueBox_[2]);
    setInputMethod(remarksBox_, true);

    for (auto*& label : rowLabel_) label = new QLabel(this);
    for (QLabel*& label : choiceLabel_) {
        label = new QLabel(this);
        label->setStyleSheet(QStringLiteral("color: #c00000;"));
        label->hide();
    }
    choiceLabel_[0]->setObjectName(QStringLiteral("VehicleWarning"));
    choiceLabel_[1]->setObjectName(QStringLiteral("UserWarning"));
    for (QComboBox* box : {vehicleList_, userList_}) {
        connect(box, &QComboBox::currentIndexChanged, this, &TDataInputForm::showChoiceWarnings);
        connect(box, &QComboBox::editTextChanged, this, &TDataInputForm::showChoiceWarnings);
    }

    makeButtons();
}

void TDataInputForm::placeRow(int row, const QString& caption, QWidget* control, int width,
                              QLabel* unit) {
    const int y = kTop + row * kRowStep;
    rowLabel_[row]->setText(caption);
    rowLabel_[row]->setGeometry(kLabelX, y, kControlX - kLabelX - 4, kControlHeight);
    rowLabel_[row]->show();
    control->setGeometry(kControlX, y, width, kControlHeight);
    control->show();
    if (unit) {
        unit->setGeometry(kControlX + width + 6, y, 30, kControlHeight);
        unit->show();
    }
}

void TDataInputForm::arrangeRows(RecordKind kind) {
    QWidget* all[] = {startHour_, startMinute_, endHour_,     endMinute_,   startColon_, tilde_,
                      endColon_,  shopList_,    valueBox_[0], valueBox_[1], valueBox_[2]};
    for (QWidget* w : all) w->hide();
    for (QLabel* l : rowLabel_) l->hide();
    for (QLabel* l : unitLabel_) l->hide();

    int row = 0;
    placeRow(row++, QStringLiteral("日付"), dateBox_, kDateWidth);
    const bool driving = kind == RecordKind::Driving;
    if (driving) {
        const int y = kTop + row * kRowStep;
        placeRow(row++, QStringLiteral("時間"), startHour_, kTimeWidth);
        int x = kControlX + kTimeWidth;
        startColon_->setGeometry(x + 2, y, 14, kControlHeight);
        startMinute_->setGeometry(x += 18, y, kTimeWidth, kControlHeight);
        tilde_->setGeometry(x += kTimeWidth + 2, y, 16, kControlHeight);
        endHour_->setGeometry(x += 18, y, kTimeWidth, kControlHeight);
        endColon_->setGeometry(x += kTimeWidth + 2, y, 14, kControlHeight);
        endMinute_->setGeometry(x += 16, y, kTimeWidth, kControlHeight);
        for (QWidget* w : std::initializer_list<QWidget*>{startColon_, startMinute_, tilde_,
                                                          endHour_, endColon_, endMinute_})
            w->show();
    }
    placeRow(row++, QStringLiteral("車両"), vehicleList_, kListWidth);
    placeRow(row++, QStringLiteral("使用者"), userList_, kListWidth);

    const QString km = QStringLiteral("km"), yen = QStringLiteral("円");
    switch (kind) {
        case RecordKind::Driving:
            placeRow(row++, QStringLiteral("使用目的"), thirdList_, kListWidth);
            unitLabel_[0]->setText(km);
            unitLabel_[1]->setText(km);
            placeRow(row++, QStringLiteral("出庫距離"), valueBox_[0], kValueWidth, unitLabel_[0]);
            placeRow(row++, QStringLiteral("入庫距離"), valueBox_[1], kValueWidth, unitLabel_[1]);
            placeRow(row++, QStringLiteral("行き先"), valueBox_[2], kRemarksWidth);
            break;
        case RecordKind::Refuelling:
            placeRow(row++, QStringLiteral("スタンド名"), thirdList_, kListWidth);
            unitLabel_[0]->setText(QStringLiteral("㍑"));
            unitLabel_[1]->setText(yen);
            unitLabel_[2]->setText(yen);
            placeRow(row++, QStringLiteral("給油量"), valueBox_[0], kValueWidth, unitLabel_[0]);
            placeRow(row++, QStringLiteral("税抜金額"), valueBox_[1], kValueWidth, unitLabel_[1]);
            placeRow(row++, QStringLiteral("消費税額"), valueBox_[2], kValueWidth, unitLabel_[2]);
            break;
        default:
            placeRow(row++, QStringLiteral("項目"), thirdList_, kListWidth);
            placeRow(row++, QStringLiteral("店"), shopList_, kListWidth);
            unitLabel_[0]->setText(km);
            unitLabel_[1]->setText(yen);
            unitLabel_[2]->setText(yen);
            if (kind == RecordKind::Maintenance)
                placeRow(row++, QStringLiteral("距離"), valueBox_[0], kValueWidth, unitLabel_[0]);
            placeRow(row++, QStringLiteral("税抜金額"), valueBox_[1], kValueWidth, unitLabel_[1]);
            placeRow(row++, QStringLiteral("消費税額"), valueBox_[2], kValueWidth, unitLabel_[2]);
            break;
    }
    placeRow(row++, QStringLiteral("備考"), remarksBox_, kRemarksWidth);
    // The third value box holds the destination (Japanese) when driving, else the tax.
    setInputMethod(valueBox_[0], false);
    setInputMethod(valueBox_[1], false);
    setInputMethod(valueBox_[2], driving);
    valueBox_[2]->setValidator(driving ? destinationLimit_ : nullptr);

    const int buttonsY = kTop + row * kRowStep + 8;
    const int buttonsX = (kFormWidth - 2 * kButtonWidth - 16) / 2;
    button1_->setGeometry(buttonsX, buttonsY, kButtonWidth, kButtonHeight);
    button2_->setGeometry(buttonsX + kButtonWidth + 16, buttonsY, kButtonWidth, kButtonHeight);
    setFixedSize(kFormWidth, buttonsY + kButtonHeight + 12);
}

void TDataInputForm::fillTimeLists() {
    QComboBox* lists[] = {startHour_, startMinute_, endHour_, endMinute_};
    for (int i = 0; i < 4; ++i) {
        QComboBox* box = lists[i];
        box->clear();
        const int last = i % 2 == 0 ? 23 : 59;
        for (int v = 0; v <= last; ++v) box->addItem(QString::number(v));
        box->setCurrentIndex(-1);
        box->setEditText(QStringLiteral("0"));
    }
}

void TDataInputForm::FormShow() {
    const store::EntryCaption caption = store::parseEntryCaption(utf8(windowTitle()));
    entry_ = store::RecordEntry(caption.kind);
    addMode_ = caption.add;
    for (auto& shown : shownNumber_) shown.reset();
    saveKey_ = store::newSaveKey();
    saveKeyTried_ = false;
    try {
        arrangeRows(caption.kind);
        if (caption.kind == RecordKind::Driving) fillTimeLists();
        dateBox_->setFocus();
        fillFields();
        fillLists();
        showChoiceWarnings();
    } catch (const store::RecordChangedError&) {
        // The record behind the row is gone: the list is out of date.
        entry_ = store::RecordEntry(caption.kind);
        QMetaObject::invokeMethod(this, &TDataInputForm::refuseChangedRecord, Qt::QueuedConnection);
    } catch (const std::exception& e) {
        // Without its record or lists the dialog must not be used: forget the record, close.
        entry_ = store::RecordEntry(caption.kind);
        reportError(e, this);
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
    }
}

void TDataInputForm::showChoiceWarnings() {
    const auto text = [](const QComboBox* box) { return utf8(box->currentText()); };
    const std::optional<int> chosen[2] = {
        lists_.vehicles.requiredReference(selectedEntry(vehicleList_), text(vehicleList_)),
        lists_.users.requiredReference(selectedEntry(userList_), text(userList_))};
    const QComboBox* boxes[2] = {vehicleList_, userList_};
    bool shown = false;
    for (int i = 0; i < 2; ++i) {
        QLabel* label = choiceLabel_[i];
        const QString warning = choiceWarning_ && chosen[i] && *chosen[i] >= 0
                                    ? choiceWarning_(i == 0 ? ChoiceOf::Vehicle : ChoiceOf::Driver,
                                                     *chosen[i])
                                    : QString();
        label->setText(warning);
        label->setToolTip(warning);
        label->setGeometry(kControlX + kListWidth + 8, boxes[i]->y(), kWarningWidth,
                           kControlHeight);
        label->setVisible(!warning.isEmpty());
        shown = shown || !warning.isEmpty();
    }
    setFixedWidth(kFormWidth + (shown ? kWarningWidth + 8 : 0));
}

void TDataInputForm::fillFields() {
    const RecordKind kind = entry_.kind();
    if (addMode_) {
        dateBox_->setDate(toQDate(store::today()));
        valueBox_[0]->setText(QStringLiteral("0.0"));
        if (kind == RecordKind::Driving) {
            valueBox_[1]->setText(QStringLiteral("0.0"));
            valueBox_[2]->clear();
        } else {
            valueBox_[1]->setText(QStringLiteral("0"));
            valueBox_[2]->setText(QStringLiteral("0"));
        }
        remarksBox_->clear();
        return;
    }

    store::DataStore& dataSet = context_.dataStore();
    const store::StoredRecord stored = dataSet.readRecord(context_.selectedRecordId());
    // Deleted by someone else since the list showed it: nothing left to edit.
    if (stored.record.deleted())
        throw store::RecordChangedError(dataSet.where(), store::kRecordChangedText);
    const store::DataRecord& r = entry_.loadStored(stored);
    dateBox_->setDate(toQDate(r.date()));
    if (kind == RecordKind::Driving || kind == RecordKind::Maintenance)
        showNumber(0, r.distance1());
    if (kind == RecordKind::Refuelling) showNumber(0, r.distance2());
    if (kind == RecordKind::Driving) {
        showNumber(1, r.distance2());
        valueBox_[2]->setText(qs(r.destination()));
        unsigned h = 0, m = 0;
        store::decodeTime(r.date(), h, m);
        startHour_->setEditText(QString::number(h));
        startMinute_->setEditText(QString::number(m));
        store::decodeTime(r.returnTime(), h, m);
        endHour_->setEditText(QString::number(h));
        endMinute_->setEditText(QString::number(m));
    } else {
        valueBox_[1]->setText(QString::number(r.price()));
        valueBox_[2]->setText(QString::number(r.tax()));
    }
    remarksBox_->setText(qs(r.remarks()));
}

void TDataInputForm::showNumber(int box, double value) {
    const QString text = qs(store::formatOneDecimal(value));
    valueBox_[box]->setText(text);
    shownNumber_[box] = ShownNumber{text, value};
}

void TDataInputForm::fillLists() {
    for (QComboBox* box : {vehicleList_, userList_, thirdList_, shopList_}) {
        box->clear();
        box->setEditText(QString());
    }
    lists_ = {};
    // A data set without items (a folder without an item file) offers no lists at all.
    const std::vector<store::StoredItem> items = context_.dataStore().items();
    if (!items.empty()) lists_ = entry_.pickLists(itemsByPosition(items));
    showList(vehicleList_, lists_.vehicles);
    showList(userList_, lists_.users);
    showList(thirdList_, lists_.thirds);
    showList(shopList_, lists_.shops);
}

// A new record starts from each list's first entry. An edited one shows its own item; a
// deleted item has no entry: its name stays as the list's text with nothing selected, so
// that saving keeps the record's reference (a list that offers "その他" would otherwise
// quietly turn it into −1).
void TDataInputForm::showList(QComboBox* box, const store::EntryPickList& list) {
    for (const std::string& name : list.names) box->addItem(qs(name));
    if (list.offersOther) box->addItem(QString::fromUtf8(store::kOtherName));
    if (box->count() == 0) return;
    if (!list.own) {
        box->setCurrentIndex(0);
        return;
    }
    const int entry = list.ownEntry();
    box->setCurrentIndex(entry);
    if (entry < 0) box->setEditText(qs(list.own->name));
}

// The stored value behind decimal box `box` while it still shows that value's text.
std::optional<double> TDataInputForm::unchangedNumber(int box) const {
    const auto& shown = shownNumber_[box];
    if (shown && valueBox_[box]->text() == shown->text) return shown->value;
    return std::nullopt;
}

store::EntryInput TDataInputForm::readInput() {
    store::EntryInput in;
    in.stamp = context_.dataSetStamp();
    // A date typed whole is taken first; one that is no real day stays unset (refused).
    const bool typedDate = dateBox_->commitTyped();
    const QDate date = dateBox_->date();
    if (typedDate && date.isValid() && dateBox_->hasAcceptableInput())
        in.day = store::encodeDate(date.year(), static_cast<unsigned>(date.month()),
                                   static_cast<unsigned>(date.day()));
    in.startHour = utf8(startHour_->currentText());
    in.startMinute = utf8(startMinute_->currentText());
    in.endHour = utf8(endHour_->currentText());
    in.endMinute = utf8(endMinute_->currentText());
    auto text = [](const QComboBox* box) { return utf8(box->currentText()); };
    in.vehicle = lists_.vehicles.requiredReference(selectedEntry(vehicleList_), text(vehicleList_));
    in.user = lists_.users.requiredReference(selectedEntry(userList_), text(userList_));
    in.third = lists_.thirds.optionalReference(selectedEntry(thirdList_), text(thirdList_));
    in.shop = lists_.shops.optionalReference(selectedEntry(shopList_), text(shopList_));
    in.value1 = utf8(valueBox_[0]->text());
    in.value2 = utf8(valueBox_[1]->text());
    in.value3 = utf8(valueBox_[2]->text());
    in.remarks = utf8(remarksBox_->text());
    in.unchanged1 = unchangedNumber(0);
    in.unchanged2 = unchangedNumber(1);
    return in;
}

QWidget* TDataInputForm::controlOf(store::EntryField field) const {
    using F = store::EntryField;
    switch (field) {
        case F::Date: return dateBox_;
        case F::StartTime: return startHour_;
        case F::EndTime: return endHour_;
        case F::Vehicle: return vehicleList_;
        case F::User: return userList_;
        case F::ThirdList: return thirdList_;
        case F::ShopList: return shopList_;
        case F::Value1: return valueBox_[0];
        case F::Value2: return valueBox_[1];
        case F::Value3: return valueBox_[2];
    }
    return dateBox_;
}

std::optional<store::DataRecord> TDataInputForm::buildRecord() {
    store::EntryResult result = entry_.build(readInput());
    if (auto* record = std::get_if<store::DataRecord>(&result)) return *record;
    const auto& refusal = std::get<store::EntryRefusal>(result);
    Prompts::current().warning(this, QString::fromStdString(refusal.message));
    controlOf(refusal.field)->setFocus();
    return std::nullopt;
}

void TDataInputForm::Button1Click() {
    {
        // The data set announces the stored record; the list follows it in place and shows
        // the saved row, the counts and open windows follow it too.
        AfterChange after(context_.mainWidget(), QStringLiteral("記録を保存しました。"),
                          QStringLiteral("一覧の更新"));
        try {
            const std::optional<store::DataRecord> record = buildRecord();
            if (!record) return;
            if (refusesChanges(context_, this)) return;
            if (saveCheck_ && !saveCheck_(this, *record, entry_.position())) return;
            // An edit of a record changed since it was read is refused.
            saveRecord(context_.dataStore(), *record);
        } catch (const store::RecordChangedError&) {
            refuseChangedRecord();
            return;
        } catch (const std::exception& e) {
            // Nothing was stored (or, on a server, the answer was lost and OK again finishes
            // the same save): the dialog stays open with the input as typed.
            reportError(e, this);
            return;
        }
        // The record is stored: the dialog closes whatever follows, so that no second OK can
        // store it again.
        close();
    }
}

void TDataInputForm::saveRecord(store::DataStore& dataSet, const store::DataRecord& record) {
    const bool retry = saveKeyTried_;
    saveKeyTried_ = true;
    const store::StoredRecord saved = entry_.saveTo(dataSet, record, saveKey_);
    if (retry) {
        // The answer names the record the lost try stored, not what it holds: the input may
        // have changed since. Based on that try's version, so a change by someone else in
        // between is refused rather than overwritten.
        const store::StoredRecord now = dataSet.readRecord(saved.id);
        if (!(now.record == record))
            dataSet.editRecord({saved.id, saved.version, now.record}, record, store::newSaveKey());
    }
    saveKey_ = store::newSaveKey();
    saveKeyTried_ = false;
}

void TDataInputForm::refuseChangedRecord() {
    Prompts::current().warning(this, QString::fromUtf8(store::kRecordChangedText));
    close();
    DataSetEvents::announce(store::DataSetChange::changedElsewhere());
}

}  // namespace quil::ui
