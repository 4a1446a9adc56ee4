#include "reports/DataSetItems.h"

namespace quil::analysis {

std::vector<store::ItemRecord> itemsByPosition(store::DataStore& data) {
    std::vector<store::ItemRecord> out;
    for (store::StoredItem& s : data.items()) {
        if (s.position < 0) continue;
        const auto at = static_cast<std::size_t>(s.position);
        if (out.size() <= at) {
            store::ItemRecord none;
            none.setKind(std::int16_t{0});
            out.resize(at + 1, none);
        }
        out[at] = s.item;
    }
    return out;
}

std::vector<store::ItemEntry> liveItems(const std::vector<store::ItemRecord>& items,
                                        store::ItemKind kind) {
    std::vector<store::ItemEntry> out;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const store::ItemRecord& it = items[i];
        if (!it.deleted() && it.kind() == static_cast<std::int16_t>(kind))
            out.push_back({static_cast<int>(i), it.name()});
    }
    return out;
}

}  // namespace quil::analysis
