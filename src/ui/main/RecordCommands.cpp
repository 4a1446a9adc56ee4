#include "ui/main/RecordCommands.h"

#include "folder/ReadOnlyFileSystem.h"
#include "store/ItemStore.h"
#include "store/ListColumns.h"
#include "store/RecordStore.h"
#include "store/Records.h"
#include "ui/components/TComboGrid.h"
#include "ui/dialogs/AfterChange.h"
#include "ui/dialogs/DataSetEvents.h"
#include "ui/dialogs/ErrorReport.h"
#include "ui/dialogs/Prompts.h"
#include "ui/dialogs/ServerWrites.h"
#include "ui/main/RecordListModel.h"
#include "ui/main/TMainform.h"

namespace quil::ui {

bool RecordCommands::listHasRecords() const {
    return !main_.ComboGrid1->Cells(store::kListRowNumberColumn, store::kListFirstRecordRow)
                .isEmpty();
}

std::optional<store::StoredRecord> RecordCommands::storedBehindRow(int row,
                                                                   const QString& refusal) {
    const RecordListModel& list = *main_.listModel();
    const auto& shown = list.selectedRecord();
    // The row must still lead to the record it showed, read again; if the data set changed
    // under the list (another program, a restored backup), act on nothing and show the list
    // as it is now.
    std::optional<store::StoredRecord> now;
    if (shown && row == list.selectedRow() && row <= list.recordCount()) {
        const std::int64_t id = main_.selectedRecordId();
        try {
            if (id == list.position(row)) now = main_.dataStore().readRecord(id);
        } catch (const store::RecordChangedError&) {
            now.reset();  // gone meanwhile
        }
    }
    if (!now || now->record != *shown || now->record.deleted() || !list.takes(now->record)) {
        Prompts::current().warning(&main_, refusal);
        DataSetEvents::announce(store::DataSetChange::changedElsewhere());
        return std::nullopt;
    }
    return now;
}

namespace {

// The kind of record a tab lists (the expense tab lists every record with a cost).
store::RecordKind tabKind(store::ListTab tab) { return store::entryKindOf(tab); }

}  // namespace

bool RecordCommands::refuseWhenReadOnly() {
    if (!main_.dataSetReadOnly()) return false;
    Prompts::current().warning(
        &main_, QString::fromUtf8(main_.viewOnly() ? kServerReadOnlyText
                                                   : folder::ReadOnlyFileSystem::kReason));
    return true;
}

void RecordCommands::openEntry(store::RecordKind kind, bool add) {
    if (!entry_ || entry_->isVisible()) return;
    if (refuseWhenReadOnly()) return;
    const int row = main_.selectedRow();
    if (!add) {
        if (row < 1) return;
        try {
            if (!storedBehindRow(row, QStringLiteral("一覧の内容が記録ファイルと一致しないため、"
                                                     "修正できません。一覧を読み直します。")))
                return;
        } catch (const std::exception& e) {
            reportError(e, &main_);
            return;
        }
    }
    // The expense list also shows refuelling and maintenance records; each opens as its
    // own kind, taken from the record (an expense item may be named like either kind).
    if (!add && tabKind(main_.currentTab()) == store::RecordKind::Expense &&
        row <= main_.listModel()->recordCount()) {
        const auto own = static_cast<store::RecordKind>(main_.listModel()->record(row).kind());
        if (own == store::RecordKind::Refuelling || own == store::RecordKind::Maintenance ||
            own == store::RecordKind::Expense)
            kind = own;
    }
    entry_->setWindowTitle(QString::fromStdString(store::recordKindName(kind)) +
                           (add ? QStringLiteral("－追加") : QStringLiteral("－修正")));
    entry_->show();
}

void RecordCommands::AddClick() { openEntry(tabKind(main_.currentTab()), true); }

void RecordCommands::EditClick() {
    if (main_.selectedRow() < 1 || !listHasRecords()) return;
    openEntry(tabKind(main_.currentTab()), false);
}

void RecordCommands::ComboGrid1DblClick() {
    if (listHasRecords())
        EditClick();
    else
        AddClick();
}

void RecordCommands::DeleteClick() {
    const int row = main_.selectedRow();
    if (row < 1 || !listHasRecords() || refuseWhenReadOnly()) return;
    if (!Prompts::current().question(&main_, QStringLiteral("削除"),
                                     QStringLiteral("本当に削除してもよろしいですか？"),
                                     PromptIcon::Exclamation))
        return;
    const QString refusal = QStringLiteral(
        "一覧の内容が記録ファイルと一致しないため、削除しませんでした。一覧を読み直します。");
    // The data set announces the deleted record; the list follows it in place.
    AfterChange after(&main_, QStringLiteral("記録を削除しました。"), QStringLiteral("一覧の更新"));
    try {
        const std::optional<store::StoredRecord> stored = storedBehindRow(row, refusal);
        if (!stored) return;
        main_.dataStore().deleteRecord(*stored, store::newSaveKey());
    } catch (const store::RecordChangedError& e) {
        // Changed by someone else between reading and deleting: nothing was deleted.
        Prompts::current().warning(&main_, QString::fromStdString(e.reason()));
        DataSetEvents::announce(store::DataSetChange::changedElsewhere());
    } catch (const std::exception& e) {
        reportError(e, &main_);  // the data set is out of reach or refused: nothing was deleted
    }
}

}  // namespace quil::ui
