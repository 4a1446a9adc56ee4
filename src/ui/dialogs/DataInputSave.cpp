// The OK button of the record entry dialog: the checks in their order, the record built
// from the fields, and the sorted save.

#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>

#include "store/ItemStore.h"
#include "store/RecordStore.h"
#include "ui/components/TDateEdit.h"
#include "ui/dialogs/AfterChange.h"
#include "ui/dialogs/DataInputParse.h"
#include "ui/dialogs/MainContext.h"
#include "ui/dialogs/Prompts.h"
#include "ui/dialogs/TDataInputForm.h"

namespace quil::ui {
namespace {

std::string utf8(const QString& s) { return s.toStdString(); }

// The entry a list's text selects: the current entry when it still shows that entry's
// text, otherwise the first entry whose text is exactly the list's text; -1 for none.
// (Typing into an editable list changes its text but not its current entry.)
int selectedEntry(const QComboBox* box) {
    const QString text = box->currentText();
    const int current = box->currentIndex();
    if (current >= 0 && box->itemText(current) == text) return current;
    return box->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
}

}  // namespace

void TDataInputForm::refuse(const QString& message, QWidget* focus) {
    Prompts::current().warning(this, message);
    focus->setFocus();
}

// A vehicle or user: the chosen entry's item position. In edit mode a list still showing
// the name of the record's own (since deleted) item keeps the record's reference.
std::optional<int> TDataInputForm::requiredReference(PickList& list, const QString& message) {
    const int entry = selectedEntry(list.box);
    if (entry >= 0 && static_cast<std::size_t>(entry) < list.positions.size())
        return list.positions[static_cast<std::size_t>(entry)];
    if (entry < 0 && loaded_ && list.box->currentText() == list.ownName) return list.ownReference;
    refuse(message, list.box);
    return std::nullopt;
}

// The third list or the shop list: the chosen entry's item position, −1 for the trailing
// "その他", for an empty text or for the text "その他" when the list has no such entry.
std::optional<int> TDataInputForm::optionalReference(PickList& list) {
    const int entry = selectedEntry(list.box);
    if (entry >= 0) {
        if (static_cast<std::size_t>(entry) < list.positions.size())
            return list.positions[static_cast<std::size_t>(entry)];
        return -1;
    }
    const QString text = list.box->currentText();
    if (loaded_ && text == list.ownName) return list.ownReference;
    if (text.isEmpty() || text == QString::fromUtf8(store::kOtherName)) return -1;
    refuse(QStringLiteral("項目を選択して下さい！"), list.box);
    return std::nullopt;
}

// The value of decimal box `box`; a box still showing its stored value rounded to one
// decimal gives the stored value itself.
std::optional<double> TDataInputForm::number(int box, const char* message) {
    QLineEdit* edit = valueBox_[box];
    const auto& shown = shownNumber_[box];
    if (shown && edit->text() == shown->text) return shown->value;
    const auto v = parseDecimal(utf8(edit->text()));
    if (!v) refuse(QString::fromUtf8(message), edit);
    return v;
}

std::optional<store::DataRecord> TDataInputForm::buildRecord(int kind) {
    store::DataRecord r;
    r.setStamp(context_.dataSetStamp());
    r.setKind(static_cast<std::int16_t>(kind));
    r.setReserved66(-1);
    r.setItem(-1);
    r.setPlace(-1);

    const bool typedDate = dateBox_->commitTyped();
    const QDate date = dateBox_->date();
    if (!typedDate || !date.isValid() || !dateBox_->hasAcceptableInput()) {
        refuse(QStringLiteral("正しい日付を入力して下さい！"), dateBox_);
        return std::nullopt;
    }
    const store::DateTime day = store::correctTwoDigitYear(store::encodeDate(
        date.year(), static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day())));
    r.setDate(day);

    const auto vehicle = requiredReference(vehicles_, QStringLiteral("車両を選択して下さい！"));
    if (!vehicle) return std::nullopt;
    const auto user = requiredReference(users_, QStringLiteral("使用者を選択して下さい！"));
    if (!user) return std::nullopt;
    r.setVehicle(static_cast<std::int16_t>(*vehicle));
    r.setUser(static_cast<std::int16_t>(*user));
    r.setRemarks(utf8(remarksBox_->text()));

    if (kind == 0) {
        const QString timeMessage = QStringLiteral("正しい時間を入力して下さい！");
        auto time = [&](QComboBox* hour, QComboBox* minute) -> std::optional<store::DateTime> {
            const auto h = parseClockField(utf8(hour->currentText()), 23);
            const auto m = parseClockField(utf8(minute->currentText()), 59);
            if (!h || !m) return std::nullopt;
            return composeDateTime(day, *h, *m);
        };
        const auto start = time(startHour_, startMinute_);
        if (!start) {
            refuse(timeMessage, startHour_);
            return std::nullopt;
        }
        const auto end = time(endHour_, endMinute_);
        if (!end) {
            refuse(timeMessage, endHour_);
            return std::nullopt;
        }
        r.setDate(*start);
        r.setReturnTime(*end);
    } else {
        const auto price = parseInteger(utf8(valueBox_[1]->text()));
        if (!price) {
            refuse(QStringLiteral("正しい金額を入力して下さい！"), valueBox_[1]);
            return std::nullopt;
        }
        const auto tax = parseInteger(utf8(valueBox_[2]->text()));
        if (!tax) {
            refuse(QStringLiteral("正しい消費税額を入力して下さい！"), valueBox_[2]);
            return std::nullopt;
        }
        r.setPrice(*price);
        r.setTax(*tax);
    }

    auto setReference = [](const std::optional<int>& ref, auto setter) {
        if (ref) setter(static_cast<std::int16_t>(*ref));
        return ref.has_value();
    };
    switch (kind) {
        case 0: {
            r.setDestination(utf8(valueBox_[2]->text()));
            const auto d1 = number(0, "正しい出庫距離を入力して下さい！");
            if (!d1) return std::nullopt;
            const auto d2 = number(1, "正しい入庫距離を入力して下さい！");
            if (!d2) return std::nullopt;
            r.setDistance1(*d1);
            r.setDistance2(*d2);
            if (!setReference(optionalReference(thirds_), [&](auto v) { r.setItem(v); }))
                return std::nullopt;
            break;
        }
        case 1: {
            const auto quantity = number(0, "正しい給油量を入力して下さい！");
            if (!quantity) return std::nullopt;
            r.setDistance2(*quantity);
            if (!setReference(optionalReference(thirds_), [&](auto v) { r.setPlace(v); }))
                return std::nullopt;
            break;
        }
        default: {
            if (kind == 2) {
                const auto distance = number(0, "正しい距離を入力して下さい！");
                if (!distance) return std::nullopt;
                r.setDistance1(*distance);
            }
            if (!setReference(optionalReference(thirds_), [&](auto v) { r.setItem(v); }))
                return std::nullopt;
            if (!setReference(optionalReference(shops_), [&](auto v) { r.setPlace(v); }))
                return std::nullopt;
            break;
        }
    }
    return r;
}

// Whether the record file still holds, at the remembered position, the very record the
// dialog loaded (a restore or a delete meanwhile changes it).
bool TDataInputForm::stillTheLoadedRecord() const {
    const store::RecordStore records(context_.dataFolder());
    if (!editPosition_ || !loaded_ || !records.exists()) return false;
    if (*editPosition_ >= records.count()) return false;
    return records.read(*editPosition_) == *loaded_;
}

void TDataInputForm::Button1Click() {
    try {
        const int kind = recordKind();
        const std::optional<store::DataRecord> record = buildRecord(kind);
        if (!record) return;
        if (!addMode() && !stillTheLoadedRecord()) {
            // Saving now could overwrite some other record: write nothing.
            Prompts::current().warning(
                this, QStringLiteral("修正中の記録は、ほかの操作でデータが変更されたため保存"
                                     "できません。一覧を読み込み直します。"));
            close();
            context_.reloadList();
            return;
        }
        store::RecordStore(context_.dataFolder())
            .save(*record, addMode() ? std::nullopt : editPosition_);
    } catch (const std::exception& e) {
        reportError(e);
        return;
    }
    // The record is stored: the dialog closes whatever follows, so that no second OK can
    // store it again.
    close();
    AfterChange after(context_.mainWidget(), QStringLiteral("記録を保存しました。"));
    after.step(QStringLiteral("一覧の更新"), [this] { context_.reloadList(); });
}

}  // namespace quil::ui
