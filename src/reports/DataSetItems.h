#pragma once
// The master lists of a data set read through store::DataStore, in the shapes the reports
// take from the item file: a data folder's Quil.qui and a server data set's items alike.

#include <vector>

#include "store/DataStore.h"
#include "store/ItemStore.h"
#include "store/Records.h"

namespace quil::analysis {

// Every item, deleted ones included, at its position (index = position). A position the
// data set holds no item for reads as a new, empty item of no kind.
std::vector<store::ItemRecord> itemsByPosition(store::DataStore& data);

// The live items of a kind in position order, as ItemStore::listLive gives them.
std::vector<store::ItemEntry> liveItems(const std::vector<store::ItemRecord>& items,
                                        store::ItemKind kind);

}  // namespace quil::analysis
