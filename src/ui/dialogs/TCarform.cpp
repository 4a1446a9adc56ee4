#include "ui/dialogs/TCarform.h"

#include <QButtonGroup>
#include <QDateEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <cmath>

#include "store/Codec.h"
#include "store/ItemStore.h"
#include "store/NumberFormat.h"
#include "store/Settings.h"
#include "ui/components/Cp932LimitValidator.h"
#include "ui/components/QtDate.h"
#include "ui/components/QtText.h"
#include "ui/components/TRetEdit.h"
#include "ui/dialogs/AfterChange.h"
#include "ui/dialogs/DataSetEvents.h"
#include "ui/dialogs/ItemMasks.h"
#include "ui/dialogs/MainContext.h"
#include "ui/dialogs/MainWindowPlacement.h"
#include "ui/dialogs/OkCancelButtons.h"
#include "ui/dialogs/Prompts.h"
#include "ui/dialogs/ServerWrites.h"
#include "ui/dialogs/TItemForm.h"

namespace quil::ui {
namespace {

using store::ItemKind;

// Byte limits of the edit boxes, in CP932 bytes (a full-width character takes two), in the
// order of edits_; 0 = no limit (the odometer is a number).
constexpr int kByteLimits[8] = {30, 0, 10, 3, 2, 2, 2, 20};

void setInputMethod(QWidget* w, bool japanese) {
    w->setAttribute(Qt::WA_InputMethodEnabled, japanese);
    w->setInputMethodHints(japanese ? Qt::ImhNone : Qt::ImhPreferLatin | Qt::ImhNoPredictiveText);
}

// A group of radio buttons in two columns, filled top to bottom and then left to right.
QGroupBox* radioGroup(QWidget* parent, const QString& title, const QStringList& captions,
                      QButtonGroup* group) {
    auto* box = new QGroupBox(title, parent);
    auto* grid = new QGridLayout(box);
    const int perColumn = static_cast<int>((captions.size() + 1) / 2);
    for (int i = 0; i < captions.size(); ++i) {
        auto* button = new QRadioButton(captions[i], box);
        group->addButton(button, i);
        grid->addWidget(button, i % perColumn, i / perColumn);
    }
    return box;
}

}  // namespace

TCarform::TCarform(MainContext& context, QWidget* parent)
    : OkCancelForm(parent), context_(context) {
    setObjectName(QStringLiteral("Carform"));
    createControls();
    // Placed once, at creation, relative to the main window's top-left corner.
    placeBesideMainWindow(*this, context_.mainWidget(), kBesideMain);
}

void TCarform::createControls() {
    // Created in tab order: name, odometer, date, plate, type, fuel, remarks, buttons.
    for (int i = 0; i < 8; ++i) {
        edits_[i] = new TRetEdit(this);
        edits_[i]->setObjectName(QStringLiteral("RetEdit%1").arg(i + 1));
        if (kByteLimits[i] > 0)
            edits_[i]->setValidator(
                new Cp932LimitValidator(static_cast<std::size_t>(kByteLimits[i]), edits_[i]));
    }
    setInputMethod(nameBox(), true);
    setInputMethod(remarksBox(), true);
    for (QLineEdit* e : {odometerBox(), classBox(), serial1Box(), serial2Box()})
        setInputMethod(e, false);

    dateBox_ = new TDateEdit(this);
    dateBox_->setObjectName(QStringLiteral("DateTimePicker1"));
    dateBox_->setCalendarPopup(true);
    dateBox_->setDisplayFormat(QStringLiteral("yyyy/MM/dd"));

    auto* form = new QGridLayout;
    form->addWidget(new QLabel(QStringLiteral("車両名"), this), 0, 0);
    form->addWidget(nameBox(), 0, 1, 1, 2);
    form->addWidget(new QLabel(QStringLiteral("納車時距離"), this), 1, 0);
    odometerBox()->setMaximumWidth(110);
    form->addWidget(odometerBox(), 1, 1);
    form->addWidget(new QLabel(QStringLiteral("km"), this), 1, 2);
    form->addWidget(new QLabel(QStringLiteral("登録年月日"), this), 2, 0);
    dateBox_->setMaximumWidth(130);
    form->addWidget(dateBox_, 2, 1);
    form->setColumnStretch(2, 1);

    auto* plate = new QGroupBox(QStringLiteral("Noプレート"), this);
    auto* plateRow = new QHBoxLayout(plate);
    const struct {
        const char* caption;
        QLineEdit* edit;
        int width;
    } plateParts[] = {{"地域", regionBox(), 90},
                      {"番号", classBox(), 40},
                      {"カナ", kanaBox(), 32},
                      {nullptr, serial1Box(), 32}};
    for (const auto& part : plateParts) {
        if (part.caption) plateRow->addWidget(new QLabel(QString::fromUtf8(part.caption), plate));
        part.edit->setFixedWidth(part.width);
        plateRow->addWidget(part.edit);
    }
    plateRow->addWidget(new QLabel(QStringLiteral("－"), plate));
    serial2Box()->setFixedWidth(32);
    plateRow->addWidget(serial2Box());
    plateRow->addStretch();

    typeGroup_ = new QButtonGroup(this);
    QGroupBox* types = radioGroup(
        this, QStringLiteral("車両の種類"),
        {QStringLiteral("乗用車"), QStringLiteral("商用車(普通)"), QStringLiteral("商用車(軽)"),
         QStringLiteral("バイク(250cc以上)"), QStringLiteral("バイク(250cc未満)")},
        typeGroup_);
    fuelGroup_ = new QButtonGroup(this);
    QGroupBox* fuels = radioGroup(this, QStringLiteral("燃料"),
                                  {QStringLiteral("ガソリン"), QStringLiteral("軽油")}, fuelGroup_);

    auto* remarksRow = new QHBoxLayout;
    remarksRow->addWidget(new QLabel(QStringLiteral("備　考"), this));
    remarksRow->addWidget(remarksBox(), 1);

    QHBoxLayout* buttonRow = makeButtonRow();

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(plate);
    layout->addWidget(types);
    layout->addWidget(fuels);
    layout->addLayout(remarksRow);
    layout->addLayout(buttonRow);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    // The tab order follows the fields top to bottom, whatever their parents.
    QWidget* order[] = {nameBox(),  odometerBox(), dateBox_,     regionBox(),
                        classBox(), kanaBox(),     serial1Box(), serial2Box()};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);
    QWidget* last = serial2Box();
    for (QButtonGroup* group : {typeGroup_, fuelGroup_}) {
        for (QAbstractButton* b : group->buttons()) {
            setTabOrder(last, b);
            last = b;
        }
    }
    setTabOrder(last, remarksBox());
    setTabOrder(remarksBox(), button1_);
    setTabOrder(button1_, button2_);
}

bool TCarform::newVehicleMode() const { return windowTitle() == QStringLiteral("車両情報の登録"); }

void TCarform::FormShow() {
    adding_ = newVehicleMode();
    editPosition_ = -1;
    loadedVehicle_.reset();
    saveKey_ = store::newSaveKey();
    if (adding_) {
        for (QLineEdit* e : edits_) e->clear();
        typeGroup_->button(0)->setChecked(true);
        fuelGroup_->button(0)->setChecked(true);
        loadedType_ = 0;
        loadedFuel_ = 0;
        dateBox_->setDate(toQDate(store::today()));
    } else {
        try {
            const std::vector<store::StoredItem> items = context_.dataStore().items();
            const store::StoredItem* item = findItem(items, itemPosition_);
            if (!item)
                throw store::RecordChangedError(store::kItemFileName, store::kItemChangedText);
            loadedVehicle_ = *item;
            showVehicle(item->item);
        } catch (...) {
            // Without the vehicle there is nothing to change: the dialog closes and the
            // error goes on to the application's report.
            QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
            throw;
        }
        editPosition_ = itemPosition_;
    }
    nameBox()->setFocus();
}

void TCarform::showVehicle(const store::ItemRecord& item) {
    nameBox()->setText(qs(item.name()));
    odometerBox()->setText(qs(store::formatOneDecimal(item.odometer())));
    dateBox_->setDate(toQDate(item.registered()));
    regionBox()->setText(qs(item.plateRegion()));
    classBox()->setText(qs(item.plateClass()));
    kanaBox()->setText(qs(item.plateKana()));
    serial1Box()->setText(qs(item.plateSerial1()));
    serial2Box()->setText(qs(item.plateSerial2()));
    remarksBox()->setText(qs(item.remarks()));
    loadedType_ = item.vehicleType();
    loadedFuel_ = item.fuel();
    // A stored value that matches no button (an imported or damaged item) checks none and
    // is stored again unchanged unless a button is chosen.
    for (QButtonGroup* group : {typeGroup_, fuelGroup_}) {
        const int value = group == typeGroup_ ? loadedType_ : loadedFuel_;
        group->setExclusive(false);
        for (QAbstractButton* b : group->buttons()) b->setChecked(group->id(b) == value);
        group->setExclusive(true);
    }
}

void TCarform::Button1Click() {
    if (!adding_ && editPosition_ < 0) {  // the vehicle could not be read when shown
        close();
        return;
    }
    Prompts& prompts = Prompts::current();
    if (refusesChanges(context_, this)) return;
    if (nameBox()->text().isEmpty()) {
        prompts.warning(this, QStringLiteral("車両名を入力して下さい！"));
        return;
    }
    if (odometerBox()->text().isEmpty()) odometerBox()->setText(QStringLiteral("0"));
    bool ok = false;
    const double odometer = odometerBox()->text().trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(odometer)) {
        prompts.warning(this, QStringLiteral("納車距離は数字で入力して下さい！"));
        odometerBox()->setFocus();
        return;
    }
    const bool typedDate = dateBox_->commitTyped();
    const QDate date = dateBox_->date();
    if (!typedDate || !date.isValid()) {
        prompts.warning(this, QStringLiteral("正しい日付を入力して下さい！"));
        dateBox_->setFocus();
        return;
    }

    store::ItemRecord item;
    item.setStamp(context_.dataSetStamp());
    item.setVersion(store::kFormatVersion);
    item.setKind(ItemKind::Vehicle);
    item.setOrder(999);
    item.setName(nameBox()->text().toStdString());
    item.setOdometer(odometer);
    item.setRegistered(store::encodeDate(date.year(), static_cast<unsigned>(date.month()),
                                         static_cast<unsigned>(date.day())));
    const int type = typeGroup_->checkedId();
    const int fuel = fuelGroup_->checkedId();
    item.setVehicleType(type >= 0 ? static_cast<std::int16_t>(type) : loadedType_);
    item.setFuel(fuel >= 0 ? static_cast<std::int16_t>(fuel) : loadedFuel_);
    item.setPlateRegion(regionBox()->text().toStdString());
    item.setPlateClass(classBox()->text().toStdString());
    item.setPlateKana(kanaBox()->text().toStdString());
    item.setPlateSerial1(serial1Box()->text().toStdString());
    item.setPlateSerial2(serial2Box()->text().toStdString());
    item.setRemarks(remarksBox()->text().toStdString());

    store::DataStore& dataSet = context_.dataStore();
    // Nothing is stored when a write throws: the error goes on to the application's report
    // and the dialog stays open with what the user typed. The data set announces what it
    // stored; the main window shows a new vehicle (its mask character is "1") or the new
    // name then.
    const QString done = adding_ ? QStringLiteral("車両を登録しました。")
                                 : QStringLiteral("車両情報を保存しました。");
    {
        AfterChange after(context_.mainWidget(), done, QStringLiteral("一覧の更新"));
        if (adding_) {
            const std::size_t before = liveItems(dataSet.items(), ItemKind::Vehicle).size();
            // The mask gets the new vehicle's "1" (shown from the start) before the vehicle
            // is stored, so a failed settings write stores nothing; a character beyond the
            // last vehicle is ignored, so a failed append leaves the masks as good as before.
            store::Settings settings(context_.programFolder());
            settings.setCarMask(maskAfterAdd(settings.carMask(), before, true));
            dataSet.addItem(item, saveKey_);
        } else {
            try {
                dataSet.rewriteItem(*loadedVehicle_, item, saveKey_);
            } catch (const store::RecordChangedError&) {
                // Someone else changed the vehicle since it was shown: nothing is stored.
                prompts.warning(this, QString::fromUtf8(store::kItemChangedText));
                close();
                if (itemForm_) itemForm_->vehicleAdded();  // reads the list again
                return;
            }
        }
        saveKey_ = store::newSaveKey();
        // The vehicle is stored: the dialog closes whatever follows, so that no second OK
        // can store it again.
        close();
        if (itemForm_) {
            after.step(QStringLiteral("設定画面の一覧の更新"), [&] {
                if (adding_)
                    itemForm_->vehicleAdded();
                else
                    itemForm_->vehicleChanged(editPosition_, qs(item.name()));
            });
        }
    }
}

}  // namespace quil::ui
