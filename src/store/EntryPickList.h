#pragma once
// One pick list of the record entry (vehicles, users, the kind's third list, shops): the
// names it offers with their item positions, and what a choice in it refers to.

#include <optional>
#include <string>
#include <vector>

namespace quil::store {

struct EntryPickList {
    // Edit mode: the record's own reference and that item's name as shown.
    struct Own {
        int reference = -1;
        std::string name;
    };

    std::vector<std::string> names;  // the entries in order, UTF-8
    std::vector<int> positions;      // the item position behind each entry
    bool offersOther = false;        // a trailing entry "その他" (reference −1) follows
    std::optional<Own> own;

    // The entry to select for the record's own item, found by its position (names may
    // repeat, and an item may even be called "その他"); the trailing "その他" for −1 when the
    // list offers it; −1 (nothing selected) for an item since deleted.
    int ownEntry() const;

    // A vehicle or user: `entry` is the chosen entry (−1 none), `text` the list's text. The
    // chosen entry's item position; the own reference while the list still shows the own
    // item's name with nothing chosen; nullopt when the text names no entry.
    std::optional<int> requiredReference(int entry, const std::string& text) const;
    // The third list or the shop list: as above, and −1 for the trailing "その他", for an
    // empty text or for the text "その他" when no entry is chosen.
    std::optional<int> optionalReference(int entry, const std::string& text) const;
};

struct EntryPickLists {
    EntryPickList vehicles, users, thirds, shops;
};

}  // namespace quil::store
