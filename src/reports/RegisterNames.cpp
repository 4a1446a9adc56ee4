#include "reports/RegisterNames.h"

#include "reports/DataSetItems.h"
#include "store/ItemStore.h"

namespace quil::alcohol {

RegisterNames RegisterNames::load(const std::string& dataFolder) {
    return load(*store::openFolderStore(dataFolder));
}

RegisterNames RegisterNames::load(store::DataStore& data) {
    return fromItems(analysis::itemsByPosition(data));
}

RegisterNames RegisterNames::fromItems(const std::vector<store::ItemRecord>& items) {
    RegisterNames n;
    n.userNames_.resize(items.size());
    n.vehicleNames_.resize(items.size());
    for (std::size_t p = 0; p < items.size(); ++p) {
        const store::ItemRecord& item = items[p];
        const int position = static_cast<int>(p);
        if (item.kind() == static_cast<std::int16_t>(store::ItemKind::User)) {
            n.userNames_[p] = item.name();
            if (!item.deleted()) n.drivers_.push_back({position, n.userNames_[p]});
        } else if (item.kind() == static_cast<std::int16_t>(store::ItemKind::Vehicle)) {
            n.vehicleNames_[p] = alcohol::vehicleLabel(
                item.name(), plateText(item.plateRegion(), item.plateClass(), item.plateKana(),
                                       item.plateSerial1(), item.plateSerial2()));
            if (!item.deleted()) n.vehicles_.push_back({position, n.vehicleNames_[p]});
        }
    }
    return n;
}

namespace {
std::string nameIn(const std::vector<std::string>& names, int position) {
    if (position < 0 || position >= static_cast<int>(names.size()) || names[position].empty())
        return store::kOtherName;
    return names[position];
}
}  // namespace

std::string RegisterNames::driverName(int position) const { return nameIn(userNames_, position); }

std::string RegisterNames::vehicleLabel(int position) const {
    return nameIn(vehicleNames_, position);
}

CsvNames RegisterNames::csvNames(const std::vector<Detector>& detectors) const {
    CsvNames names;
    // Live items first (a name read back finds the live item before a deleted one of the
    // same name), then every other named position, so checks of deleted users and vehicles
    // are written and read too.
    auto add = [](const std::vector<PickEntry>& live, const std::vector<std::string>& all,
                  std::vector<std::pair<int, std::string>>& out) {
        for (const PickEntry& e : live) out.emplace_back(e.position, e.label);
        for (int p = 0; p < static_cast<int>(all.size()); ++p) {
            bool isLive = false;
            for (const PickEntry& e : live) isLive = isLive || e.position == p;
            if (!all[p].empty() && !isLive) out.emplace_back(p, all[p]);
        }
    };
    add(drivers_, userNames_, names.drivers);
    add(vehicles_, vehicleNames_, names.vehicles);
    for (const Detector& d : detectors) names.detectors.emplace_back(d.id, detectorLabel(d));
    return names;
}

std::string detectorLabel(const Detector& detector) {
    return detector.serial.empty() ? detector.name : detector.name + " (" + detector.serial + ")";
}

}  // namespace quil::alcohol
