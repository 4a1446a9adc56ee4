#include "ui/dialogs/ServerWrites.h"

#include <QString>

#include "ui/dialogs/MainContext.h"
#include "ui/dialogs/Prompts.h"

namespace quil::ui {

bool refusesChanges(const MainContext& context, QWidget* over) {
    if (!context.viewOnly()) return false;
    Prompts::current().warning(over, QString::fromUtf8(kServerReadOnlyText));
    return true;
}

std::vector<store::ItemRecord> itemsByPosition(const std::vector<store::StoredItem>& items) {
    std::vector<store::ItemRecord> out;
    for (const store::StoredItem& s : items) {
        if (s.position < 0) continue;
        const auto at = static_cast<std::size_t>(s.position);
        if (out.size() <= at) out.resize(at + 1);
        out[at] = s.item;
    }
    return out;
}

std::vector<store::ItemEntry> liveItems(const std::vector<store::StoredItem>& items,
                                        store::ItemKind kind) {
    std::vector<store::ItemEntry> out;
    const std::vector<store::ItemRecord> all = itemsByPosition(items);
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (!all[i].deleted() && all[i].kind() == static_cast<std::int16_t>(kind))
            out.push_back({static_cast<int>(i), all[i].name()});
    }
    return out;
}

const store::StoredItem* findItem(const std::vector<store::StoredItem>& items, int position) {
    for (const store::StoredItem& s : items)
        if (s.position == position) return &s;
    return nullptr;
}

}  // namespace quil::ui
