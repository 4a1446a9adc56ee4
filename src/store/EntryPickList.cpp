#include "EntryPickList.h"

#include "Records.h"

namespace quil::store {

int EntryPickList::ownEntry() const {
    if (!own) return -1;
    for (std::size_t i = 0; i < positions.size(); ++i)
        if (positions[i] == own->reference) return static_cast<int>(i);
    if (offersOther && own->reference < 0) return static_cast<int>(positions.size());
    return -1;
}

std::optional<int> EntryPickList::requiredReference(int entry, const std::string& text) const {
    if (entry >= 0 && static_cast<std::size_t>(entry) < positions.size())
        return positions[static_cast<std::size_t>(entry)];
    if (entry < 0 && own && text == own->name) return own->reference;
    return std::nullopt;
}

std::optional<int> EntryPickList::optionalReference(int entry, const std::string& text) const {
    if (entry >= 0) {
        if (static_cast<std::size_t>(entry) < positions.size())
            return positions[static_cast<std::size_t>(entry)];
        return -1;
    }
    if (own && text == own->name) return own->reference;
    if (text.empty() || text == kOtherName) return -1;
    return std::nullopt;
}

}  // namespace quil::store
