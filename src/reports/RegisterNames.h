#pragma once
// The names the register shows for item positions: drivers from the user list, vehicles
// from the vehicle list with the plate of their registration. The pick lists hold the live
// items; names are found for every position, deleted items included, as the record list
// names them.

#include <string>
#include <vector>

#include "reports/AlcoholCsv.h"
#include "store/DataStore.h"

namespace quil::alcohol {

struct PickEntry {
    int position = -1;
    std::string label;
};

class RegisterNames {
public:
    RegisterNames() = default;
    // Reads the items of a data set once.
    static RegisterNames load(store::DataStore& data);
    // From every item of a data set, index = position.
    static RegisterNames fromItems(const std::vector<store::ItemRecord>& items);
    // Reads Quil.qui of `dataFolder` once; a missing file has no items.
    static RegisterNames load(const std::string& dataFolder);

    const std::vector<PickEntry>& drivers() const { return drivers_; }
    const std::vector<PickEntry>& vehicles() const { return vehicles_; }
    // "その他" for a position that names no user (or vehicle).
    std::string driverName(int position) const;
    std::string vehicleLabel(int position) const;
    // The names a CSV file is written and read with.
    CsvNames csvNames(const std::vector<Detector>& detectors) const;

private:
    std::vector<PickEntry> drivers_;
    std::vector<PickEntry> vehicles_;
    std::vector<std::string> userNames_;     // by position; empty where not a user
    std::vector<std::string> vehicleNames_;  // by position; empty where not a vehicle
};

// "検知器A (SN-001)", or the name alone without a serial.
std::string detectorLabel(const Detector& detector);

}  // namespace quil::alcohol
