#include "ui/dialogs/TDataInputForm.h"

#include <QComboBox>
#include <QCompleter>
#include <QDateEdit>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QValidator>

#include "store/Codec.h"
#include "store/ItemStore.h"
#include "store/NumberFormat.h"
#include "store/RecordStore.h"
#include "ui/components/Cp932LimitValidator.h"
#include "ui/components/EnterPressesButton.h"
#include "ui/components/TDateEdit.h"
#include "ui/components/TRetComboBox.h"
#include "ui/components/TRetEdit.h"
#include "ui/dialogs/MainContext.h"
#include "ui/dialogs/Prompts.h"

namespace quil::ui {
namespace {

using store::ItemKind;
using store::RecordKind;

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
constexpr int kButtonWidth = 80;
constexpr int kButtonHeight = 25;

QString qs(const std::string& s) { return QString::fromStdString(s); }

// The controls are made here so that the Enter-advancing kind can be swapped in one place.
QLineEdit* newEdit(QWidget* parent) { return new TRetEdit(parent); }
QComboBox* newList(QWidget* parent) {
    auto* box = new TRetComboBox(parent);
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->setMaxVisibleItems(16);
    // Completing only names of the same case keeps a completed text an exact entry name.
    box->completer()->setCaseSensitivity(Qt::CaseSensitive);
    return box;
}

// Number and list fields take plain characters; the remarks and the destination take
// Japanese text through the input method.
void setInputMethod(QWidget* w, bool japanese) {
    w->setAttribute(Qt::WA_InputMethodEnabled, japanese);
    w->setInputMethodHints(japanese ? Qt::ImhNone : Qt::ImhPreferLatin | Qt::ImhNoPredictiveText);
    if (auto* box = qobject_cast<QComboBox*>(w); box && box->lineEdit())
        setInputMethod(box->lineEdit(), japanese);
}

ItemKind thirdListKind(int kind) {
    switch (kind) {
        case 1: return ItemKind::GasStation;
        case 2: return ItemKind::MaintenanceItem;
        case 3: return ItemKind::ExpenseItem;
        default: return ItemKind::Purpose;
    }
}

QDate toQDate(store::DateTime d) {
    const store::CivilDate c = store::decodeDate(d);
    return QDate(c.year, static_cast<int>(c.month), static_cast<int>(c.day));
}

}  // namespace

TDataInputForm::TDataInputForm(MainContext& context, QWidget* parent)
    : QDialog(parent), context_(context) {
    setObjectName(QStringLiteral("DataInputForm"));
    createControls();
    // Placed once, at creation, relative to the main window's top-left corner.
    if (QWidget* main = parent ? parent : context_.mainWidget()) move(main->pos() + QPoint(50, 50));
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
        *timeLists[i] = newList(this);
        (*timeLists[i])->setObjectName(QString::fromLatin1(timeNames[i]));
        setInputMethod(*timeLists[i], false);
    }
    startColon_ = new QLabel(QStringLiteral("："), this);
    tilde_ = new QLabel(QStringLiteral("～"), this);
    endColon_ = new QLabel(QStringLiteral("："), this);

    PickList* lists[] = {&vehicles_, &users_, &thirds_, &shops_};
    QComboBox** boxes[] = {&vehicleList_, &userList_, &thirdList_, &shopList_};
    const char* listNames[] = {"VehicleList", "UserList", "ThirdList", "ShopList"};
    for (int i = 0; i < 4; ++i) {
        *boxes[i] = newList(this);
        (*boxes[i])->setObjectName(QString::fromLatin1(listNames[i]));
        setInputMethod(*boxes[i], false);
        lists[i]->box = *boxes[i];
    }

    for (int i = 0; i < 3; ++i) {
        valueBox_[i] = newEdit(this);
        valueBox_[i]->setObjectName(QStringLiteral("ValueBox%1").arg(i + 1));
        unitLabel_[i] = new QLabel(this);
    }
    remarksBox_ = newEdit(this);
    remarksBox_->setObjectName(QStringLiteral("RemarksBox"));
    remarksBox_->setValidator(new Cp932LimitValidator(100, remarksBox_));
    destinationLimit_ = new Cp932LimitValidator(40, valueBox_[2]);
    setInputMethod(remarksBox_, true);

    for (auto*& label : rowLabel_) label = new QLabel(this);

    button1_ = new QPushButton(QStringLiteral("&OK"), this);
    button1_->setObjectName(QStringLiteral("Button1"));
    button2_ = new QPushButton(QStringLiteral("&CANCEL"), this);
    button2_->setObjectName(QStringLiteral("Button2"));
    for (QPushButton* b : {button1_, button2_}) {
        // Enter belongs to the fields (it moves to the next one), never to a default
        // button; on a focused button it presses that button.
        b->setAutoDefault(false);
        b->setDefault(false);
        EnterPressesButton(b);
    }
    connect(button1_, &QPushButton::clicked, this, &TDataInputForm::Button1Click);
    connect(button2_, &QPushButton::clicked, this, &TDataInputForm::Button2Click);
}

int TDataInputForm::recordKind() const {
    const QString caption = windowTitle();
    const QChar first = caption.isEmpty() ? QChar() : caption.front();
    if (first == u'給') return 1;
    if (first == u'点') return 2;
    if (first == u'出') return 3;
    return 0;
}

bool TDataInputForm::addMode() const { return windowTitle().endsWith(u'加'); }

void TDataInputForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // A window system showing (restoring a minimised window) is no new opening.
    if (!event->spontaneous()) FormShow();
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

void TDataInputForm::arrangeRows(int kind) {
    QWidget* all[] = {startHour_, startMinute_, endHour_,     endMinute_,   startColon_, tilde_,
                      endColon_,  shopList_,    valueBox_[0], valueBox_[1], valueBox_[2]};
    for (QWidget* w : all) w->hide();
    for (QLabel* l : rowLabel_) l->hide();
    for (QLabel* l : unitLabel_) l->hide();

    int row = 0;
    placeRow(row++, QStringLiteral("日付"), dateBox_, kDateWidth);
    if (kind == 0) {
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
        case 0:
            placeRow(row++, QStringLiteral("使用目的"), thirdList_, kListWidth);
            unitLabel_[0]->setText(km);
            unitLabel_[1]->setText(km);
            placeRow(row++, QStringLiteral("出庫距離"), valueBox_[0], kValueWidth, unitLabel_[0]);
            placeRow(row++, QStringLiteral("入庫距離"), valueBox_[1], kValueWidth, unitLabel_[1]);
            placeRow(row++, QStringLiteral("行き先"), valueBox_[2], kRemarksWidth);
            break;
        case 1:
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
            if (kind == 2)
                placeRow(row++, QStringLiteral("距離"), valueBox_[0], kValueWidth, unitLabel_[0]);
            placeRow(row++, QStringLiteral("税抜金額"), valueBox_[1], kValueWidth, unitLabel_[1]);
            placeRow(row++, QStringLiteral("消費税額"), valueBox_[2], kValueWidth, unitLabel_[2]);
            break;
    }
    placeRow(row++, QStringLiteral("備考"), remarksBox_, kRemarksWidth);
    // The third value box holds the destination (Japanese) when driving, else the tax.
    setInputMethod(valueBox_[0], false);
    setInputMethod(valueBox_[1], false);
    setInputMethod(valueBox_[2], kind == 0);
    valueBox_[2]->setValidator(kind == 0 ? destinationLimit_ : nullptr);

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
    editPosition_.reset();
    loaded_.reset();
    for (auto& shown : shownNumber_) shown.reset();
    try {
        const int kind = recordKind();
        arrangeRows(kind);
        if (kind == 0) fillTimeLists();
        dateBox_->setFocus();
        fillFields(kind);
        fillLists(kind);
    } catch (const std::exception& e) {
        // Without its record or lists the dialog must not be used: report and close.
        editPosition_.reset();
        loaded_.reset();
        reportError(e);
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
    }
}

void TDataInputForm::fillFields(int kind) {
    if (addMode()) {
        dateBox_->setDate(toQDate(store::today()));
        valueBox_[0]->setText(QStringLiteral("0.0"));
        if (kind == 0) {
            valueBox_[1]->setText(QStringLiteral("0.0"));
            valueBox_[2]->clear();
        } else {
            valueBox_[1]->setText(QStringLiteral("0"));
            valueBox_[2]->setText(QStringLiteral("0"));
        }
        remarksBox_->clear();
        return;
    }

    const int row = context_.selectedRow();
    const std::int64_t position =
        store::readRowIndex(context_.programFolder() + store::kRowIndexFileName, row - 1);
    const store::DataRecord r = store::RecordStore(context_.dataFolder()).read(position);
    editPosition_ = position;
    loaded_ = r;

    dateBox_->setDate(toQDate(r.date()));
    if (kind == 0 || kind == 2) showNumber(0, r.distance1());
    if (kind == 1) showNumber(0, r.distance2());
    if (kind == 0) {
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

void TDataInputForm::fillLists(int kind) {
    for (PickList* list : {&vehicles_, &users_, &thirds_, &shops_}) {
        list->box->clear();
        list->box->setEditText(QString());
        list->positions.clear();
        list->ownReference = -1;
        list->ownName.clear();
    }
    const store::ItemStore items(context_.dataFolder());
    if (!items.exists()) return;

    const std::vector<store::ItemRecord> all = items.readAll();
    const auto third = static_cast<std::int16_t>(thirdListKind(kind));
    for (std::size_t i = 0; i < all.size(); ++i) {
        const store::ItemRecord& item = all[i];
        if (item.deleted()) continue;
        PickList* list = nullptr;
        if (item.kind() == static_cast<std::int16_t>(ItemKind::Vehicle))
            list = &vehicles_;
        else if (item.kind() == static_cast<std::int16_t>(ItemKind::User))
            list = &users_;
        else if (item.kind() == third)
            list = &thirds_;
        else if (item.kind() == static_cast<std::int16_t>(ItemKind::Shop))
            list = &shops_;
        if (!list) continue;
        list->box->addItem(qs(item.name()));
        list->positions.push_back(static_cast<int>(i));
    }

    const store::ItemNames names(all);
    auto own = [&](PickList& list, int reference) {
        list.ownReference = reference;
        list.ownName = qs(names.nameAt(reference));
    };
    if (loaded_) {
        own(vehicles_, loaded_->vehicle());
        own(users_, loaded_->user());
        own(thirds_, kind == 1 ? loaded_->place() : loaded_->item());
        own(shops_, loaded_->place());
    }

    for (PickList* list : {&vehicles_, &users_}) {
        if (list->box->count() == 0) continue;
        if (!loaded_)
            list->box->setCurrentIndex(0);
        else
            selectOwnItem(*list, list->ownReference, false);
    }
    for (PickList* list : {&thirds_, &shops_}) {
        if (list == &shops_ && kind < 2) continue;
        list->box->addItem(QString::fromUtf8(store::kOtherName));
        if (!loaded_)
            list->box->setCurrentIndex(0);
        else
            selectOwnItem(*list, list->ownReference, true);
    }
}

// Edit mode: selects the entry of the record's own item, found by its position (names
// may repeat, and an item may even be called "その他"); −1 selects the trailing "その他".
// A deleted item has no entry: its name stays as the list's text with nothing selected,
// so that saving keeps the record's reference (a list that offers "その他" would
// otherwise quietly turn it into −1).
void TDataInputForm::selectOwnItem(PickList& list, int reference, bool other) {
    QComboBox* box = list.box;
    for (std::size_t i = 0; i < list.positions.size(); ++i) {
        if (list.positions[i] == reference) {
            box->setCurrentIndex(static_cast<int>(i));
            return;
        }
    }
    box->setCurrentIndex(-1);
    if (other && reference < 0)
        box->setCurrentIndex(box->count() - 1);
    else
        box->setEditText(list.ownName);
}

void TDataInputForm::Button2Click() { close(); }

void TDataInputForm::reportError(const std::exception& error) {
    QString title = QGuiApplication::applicationDisplayName();
    if (title.isEmpty()) title = QStringLiteral("クイル台帳");
    Prompts::current().message(this, title, QString::fromUtf8(error.what()), PromptIcon::Error);
}

}  // namespace quil::ui
