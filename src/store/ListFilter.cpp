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

ListFilter::ListFilter(ListTab tab, PeriodFilter period, std::vector<char> vehicles,
                       std::vector<char> users)
    : tab_(tab),
      period_(period),
      vehicles_(std::move(vehicles)),
      users_(std::move(users)) {
    anyVehicle_ = std::any_of(vehicles_.begin(), vehicles_.end(), [](char c) { return c != 0; });
    anyUser_ = std::any_of(users_.begin(), users_.end(), [](char c) { return c != 0; });
}

ListFilter ListFilter::fromSettings(const Settings& settings, const std::vector<ItemRecord>& items,
                                    ListTab tab) {
    const PeriodFilter period =
        PeriodFilter::load(settings, settings.periodKind(PeriodKind::All));
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

ListFilter::Query ListFilter::query() const {
    Query q;
    for (std::int16_t k = 0; k <= static_cast<std::int16_t>(RecordKind::Expense); ++k)
        if (kindTaken(k)) q.kinds.push_back(k);
    q.period = period_;
    for (std::size_t i = 0; i < vehicles_.size(); ++i)
        if (vehicles_[i]) q.vehicles.push_back(static_cast<std::int16_t>(i));
    for (std::size_t i = 0; i < users_.size(); ++i)
        if (users_[i]) q.users.push_back(static_cast<std::int16_t>(i));
    return q;
}

}  // namespace quil::store
