#pragma once
// Which records a list of one tab takes: live records of the tab's kinds, dated within a
// period, of a chosen vehicle and a chosen user. The record list fills it from the
// settings file (period and display masks); the command-line tool from its options.

#include <optional>
#include <string>
#include <vector>

#include "ListColumns.h"
#include "Period.h"
#include "Records.h"

namespace quil::store {

class Settings;

class ListFilter {
public:
    // Takes nothing.
    ListFilter() = default;
    // `vehicles` and `users` are indexed by item position: non-zero means shown.
    ListFilter(ListTab tab, PeriodFilter period, std::vector<char> vehicles,
               std::vector<char> users);

    // The record list's filter: the period of Item/Time and the display masks of the live
    // vehicles and users. Throws ConversionError when the stored period does not parse.
    static ListFilter fromSettings(const Settings& settings, const std::vector<ItemRecord>& items,
                                   ListTab tab);

    // Whether there is a vehicle and a user to list records of; the record list stops
    // when the data set has no live vehicle or no live user, whatever the masks say.
    bool takesAny() const { return anyVehicle_ && anyUser_; }
    bool takes(const DataRecord& r) const {
        return !r.deleted() && kindTaken(r.kind()) && period_.passes(r.date()) &&
               shown(vehicles_, r.vehicle()) && shown(users_, r.user());
    }

    // The same filter as plain values, for a store that selects the records itself (a
    // server): the kinds, the period (all, or the days first to last) and the positions of
    // the vehicles and users shown.
    struct Query {
        std::vector<std::int16_t> kinds;
        PeriodFilter period;
        std::vector<std::int16_t> vehicles;
        std::vector<std::int16_t> users;
    };
    Query query() const;

private:
    bool kindTaken(std::int16_t kind) const { return tab_ && listTabShows(*tab_, kind); }
    static bool shown(const std::vector<char>& v, int position) {
        return position >= 0 && std::size_t(position) < v.size() && v[std::size_t(position)];
    }

    std::optional<ListTab> tab_;  // none: takes nothing
    PeriodFilter period_;
    std::vector<char> vehicles_;
    std::vector<char> users_;
    bool anyVehicle_ = false;
    bool anyUser_ = false;
};

// Positions of the live items of `kind` (shown[position] != 0), each shown when
// `show(index among live items of the kind, item)` says so.
template <typename Show>
std::vector<char> liveItemSelection(const std::vector<ItemRecord>& items, ItemKind kind,
                                    Show&& show) {
    std::vector<char> out(items.size(), 0);
    std::size_t index = 0;
    for (std::size_t pos = 0; pos < items.size(); ++pos) {
        const ItemRecord& it = items[pos];
        if (it.deleted() || it.kind() != static_cast<std::int16_t>(kind)) continue;
        if (show(index, it)) out[pos] = 1;
        ++index;
    }
    return out;
}

}  // namespace quil::store
