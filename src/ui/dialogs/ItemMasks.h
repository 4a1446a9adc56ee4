#pragma once
// The display masks of vehicles and users (ViewItem/Car, ViewItem/Driver) kept in step with
// the live items of the master list: one character per live item, in position order.

#include <cstddef>
#include <string>
#include <string_view>

#include "store/Records.h"

namespace quil::store {
class Settings;
}

namespace quil::ui {

// The mask cut or padded with '0' to `count` characters. Padding hides nothing that was
// shown: an item beyond the end of a mask is hidden in the record list already.
std::string fitMask(std::string_view mask, std::size_t count);

// The mask after an item was added behind the `countBefore` items listed: the character
// of the new item is `shown` ('1') or hidden ('0').
std::string maskAfterAdd(std::string_view mask, std::size_t countBefore, bool shown);

// The mask after the list entry at `index` was removed, `countAfter` entries remaining.
std::string maskAfterDelete(std::string_view mask, std::size_t countAfter, std::size_t index);

// Whether a kind has a display mask (vehicles and users).
bool hasMask(store::ItemKind kind);
std::string readMask(const store::Settings& settings, store::ItemKind kind);
void writeMask(store::Settings& settings, store::ItemKind kind, std::string_view mask);

}  // namespace quil::ui
