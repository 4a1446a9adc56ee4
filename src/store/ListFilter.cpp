#include "ListFilter.h"

#include <algorithm>

#include "Settings.h"

namespace quil::store {
namespace {

bool anyLive(const std::vector<ItemRecord>& items, ItemKind kind) {
    return std::any_of(items.begin(), items.end(), [kind](const ItemRecord& it) {
        return !it.deleted() && it.kind() == static_cast<std::int16_t>(kind);
    });
}

}  // namespace

ListFilter::ListFilter(int tab, PeriodFilter period, std::vector<char> vehicles,
                       std::vector<char> users)
    : tab_(listTabOf(tab)),
      period_(period),
      vehicles_(std::move(vehicles)),
      users_(std::move(users)) {
    anyVehicle_ = std::any_of(vehicles_.begin(), vehicles_.end(), [](char c) { return c != 0; });
    anyUser_ = std::any_of(users_.begin(), users_.end(), [](char c) { return c != 0; });
}

ListFilter ListFilter::fromSettings(const Settings& settings, const std::vector<ItemRecord>& items,
                                    int tab) {
    const PeriodFilter period =
        PeriodFilter::load(settings, settings.periodKind(storedNumber(PeriodKind::All)));
    const std::string carMask = settings.carMask();
    const std::string driverMask = settings.driverMask();
    auto vehicles = liveItemSelection(items, ItemKind::Vehicle, [&](std::size_t i, const auto&) {
        return listMaskShows(carMask, i);
    });
    auto users = liveItemSelection(items, ItemKind::User, [&](std::size_t i, const auto&) {
        return listMaskShows(driverMask, i);
    });
    ListFilter f(tab, period, std::move(vehicles), std::move(users));
    // The list stops when no vehicle or user is live at all, whatever the masks say.
    f.anyVehicle_ = anyLive(items, ItemKind::Vehicle);
    f.anyUser_ = anyLive(items, ItemKind::User);
    return f;
}

}  // namespace quil::store
