// The OK button of the record entry dialog: the fields handed to the shared entry check,
// and the sorted save.

#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <variant>

#include "store/ItemStore.h"
#include "store/RecordEntry.h"
#include "store/RecordStore.h"
#include "ui/components/TDateEdit.h"
#include "ui/dialogs/AfterChange.h"
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
// the name of the record's own (since deleted) item keeps the record's reference. Nullopt
// when the text names no entry.
std::optional<int> TDataInputForm::requiredReference(PickList& list) {
    const int entry = selectedEntry(list.box);
    if (entry >= 0 && static_cast<std::size_t>(entry) < list.positions.size())
        return list.positions[static_cast<std::size_t>(entry)];
    if (entry < 0 && loaded_ && list.box->currentText() == list.ownName) return list.ownReference;
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
    return std::nullopt;
}

// The stored value behind decimal box `box` while it still shows that value's text.
std::optional<double> TDataInputForm::unchangedNumber(int box) const {
    const auto& shown = shownNumber_[box];
    if (shown && valueBox_[box]->text() == shown->text) return shown->value;
    return std::nullopt;
}

// The fields as typed go to the shared entry check; a refusal focuses its control.
std::optional<store::DataRecord> TDataInputForm::buildRecord(int kind) {
    store::EntryInput in;
    in.kind = kind;
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
    in.vehicle = requiredReference(vehicles_);
    in.user = requiredReference(users_);
    in.third = optionalReference(thirds_);
    in.shop = optionalReference(shops_);
    in.value1 = utf8(valueBox_[0]->text());
    in.value2 = utf8(valueBox_[1]->text());
    in.value3 = utf8(valueBox_[2]->text());
    in.remarks = utf8(remarksBox_->text());
    in.unchanged1 = unchangedNumber(0);
    in.unchanged2 = unchangedNumber(1);

    store::EntryResult result = store::buildEntryRecord(in);
    if (auto* record = std::get_if<store::DataRecord>(&result)) return *record;
    const auto& refusal = std::get<store::EntryRefusal>(result);
    QWidget* focus = dateBox_;
    switch (refusal.field) {
        case store::EntryField::Date: focus = dateBox_; break;
        case store::EntryField::StartTime: focus = startHour_; break;
        case store::EntryField::EndTime: focus = endHour_; break;
        case store::EntryField::Vehicle: focus = vehicles_.box; break;
        case store::EntryField::User: focus = users_.box; break;
        case store::EntryField::ThirdList: focus = thirds_.box; break;
        case store::EntryField::ShopList: focus = shops_.box; break;
        case store::EntryField::Value1: focus = valueBox_[0]; break;
        case store::EntryField::Value2: focus = valueBox_[1]; break;
        case store::EntryField::Value3: focus = valueBox_[2]; break;
    }
    refuse(QString::fromStdString(refusal.message), focus);
    return std::nullopt;
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
    store::SavedPlace saved;
    store::DataRecord savedRecord;
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
        if (saveCheck_ && !saveCheck_(this, *record, addMode() ? std::nullopt : editPosition_))
            return;
        saved = store::RecordStore(context_.dataFolder())
                    .save(*record, addMode() ? std::nullopt : editPosition_);
        savedRecord = *record;
    } catch (const std::exception& e) {
        reportError(e);
        return;
    }
    // The record is stored: the dialog closes whatever follows, so that no second OK can
    // store it again.
    close();
    AfterChange after(context_.mainWidget(), QStringLiteral("記録を保存しました。"));
    // The list follows the save in place and shows the saved row.
    after.step(QStringLiteral("一覧の更新"), [&] { context_.showSavedRecord(saved, savedRecord); });
}

}  // namespace quil::ui
