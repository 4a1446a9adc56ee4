#pragma once
// What the dialogs share when they write through the data set's store (MainContext::dataStore):
// the refusal of a change on a data set this user may only view, and the master lists as
// read from the store, each item with the version it had when read.

#include <vector>

#include "store/DataStore.h"
#include "store/ItemStore.h"
#include "store/Records.h"

class QWidget;

namespace quil::ui {

class MainContext;

// Shown when a change is asked of a data set this user may only view.
inline constexpr const char* kServerReadOnlyText =
    "このデータセットは閲覧の権限で開いているため、変更はできません。";

// True, after the warning, when this user may only view the data set
// (MainContext::viewOnly): the dialog writes nothing.
bool refusesChanges(const MainContext& context, QWidget* over);

// The items as the item file holds them: index = position (a gap reads as no item).
std::vector<store::ItemRecord> itemsByPosition(const std::vector<store::StoredItem>& items);

// The live items of a kind in position order, as ItemStore::listLive gives them for a folder.
std::vector<store::ItemEntry> liveItems(const std::vector<store::StoredItem>& items,
                                        store::ItemKind kind);

// The item at `position` as read, or nullptr.
const store::StoredItem* findItem(const std::vector<store::StoredItem>& items, int position);

}  // namespace quil::ui
