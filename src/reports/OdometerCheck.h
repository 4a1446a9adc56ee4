#pragma once
// Odometer checks over each vehicle's live records in date (file) order. The chain of a
// vehicle is its highest reading so far; a record breaks it when
// - a departure reading lies below it (the odometer went backwards),
// - a return reading lies below the departure of the same trip,
// - a reading lies further above it than the daily limit allows (limit × days since the
//   record that set it, at least one day), or a trip covers more than that,
// - a refuelling or maintenance reading lies below it or beyond the limit.
// A refuelling or maintenance reading that breaks the chain does not move it, so one wrong
// reading there is reported once rather than against every later record.
// A refuelling or maintenance record carries no time of day (it sorts at 00:00, before the
// day's trips): its reading belongs to the whole day. The day's trips are checked without
// it, and it is checked once the day is over, against the chain from before the day up to
// the highest reading of the day (or the daily limit).

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "store/DataStore.h"
#include "store/Records.h"

namespace quil::analysis {

inline constexpr double kDefaultDailyLimitKm = 1000;

enum class OdometerProblem {
    DepartureBelowPrevious,
    ReturnBelowDeparture,
    JumpTooLarge,
    ReadingOutOfLine,
};
// The text of a problem for the list: "出庫距離が前回の入庫距離より小さい" …
std::string odometerProblemText(OdometerProblem p);

struct OdometerFinding {
    // The record's position in the file, or its id in a data set (-1: the record being entered).
    std::int64_t position = -1;
    store::DateTime date = 0;
    store::RecordKind kind = store::RecordKind::Driving;
    int vehicle = -1;
    double reading = 0;
    double expectedLow = 0;  // the range the reading was expected in
    double expectedHigh = 0;
    OdometerProblem problem = OdometerProblem::JumpTooLarge;
    // When expectedLow was read: the record that set the chain, or for a trip's own return
    // reading its departure (fromDeparture); and the days the range allowed for (at least 1).
    store::DateTime since = 0;
    double days = 1;
    bool fromDeparture = false;
};

// The findings of one vehicle, in date order.
struct VehicleFindings {
    int vehicle = -1;
    std::vector<OdometerFinding> findings;
};

// The order of the findings of a whole check: by day, and within a day by vehicle, each
// vehicle's in the order its records were checked. A vehicle checked again on its own
// takes the same places among the others'.
bool findingBefore(const OdometerFinding& a, const OdometerFinding& b);
// Walks the findings of several vehicles (`parts`, each in date order, by vehicle) in that
// order: `f` gets each vehicle's findings of one day, [first, last) of part `part`.
void forEachDayInOrder(
    const std::vector<const std::vector<OdometerFinding>*>& parts,
    const std::function<void(std::size_t part, std::size_t first, std::size_t last)>& f);

class OdometerChecker {
public:
    explicit OdometerChecker(double dailyLimitKm = kDefaultDailyLimitKm);
    // Records in file order; deleted ones and those of negative vehicles are skipped.
    void add(std::int64_t position, const store::DataRecord& r);
    // The same for a live record's facts (store::DataStore::scanDrives), `id` its position.
    void add(const store::DriveFacts& r);
    // Whether the check reads a record, deleted or not (a drive, or a refuelling or maintenance
    // with a reading, of a vehicle): a change of records none of which it reads leaves the
    // findings as they are.
    static bool reads(const store::DataRecord& r);
    // Checks the readings still waiting for the end of their day; call after the last add.
    void finish();
    // The findings in the order of findingBefore.
    std::vector<OdometerFinding> findings() const;
    // The same, handed over (the checker has none left): each vehicle's are let go as they
    // are moved.
    std::vector<OdometerFinding> takeFindings();
    // Each vehicle's findings, by vehicle, handed over without a copy.
    std::vector<VehicleFindings> takeFindingsByVehicle();

private:
    struct Link {
        double highest = 0;
        store::DateTime since = 0;  // date of the record that set `highest`
        bool known = false;
    };
    struct DayReading {  // a refuelling or maintenance reading waiting for its day's end
        std::int64_t position;
        store::DateTime date;
        store::RecordKind kind;
        int vehicle;
        double reading;
    };
    struct Chain : Link {
        store::DateTime day = 0;  // the day of `waiting`
        Link dayStart;            // the chain as it was before that day
        std::vector<DayReading> waiting;
        std::vector<OdometerFinding> found;  // in the order checked, by day after finish()
    };
    static double daysSince(const Link& c, store::DateTime date);
    double allowance(const Link& c, store::DateTime date) const;
    void settle(Chain& c);
    void report(const store::DriveFacts& r, double reading, double low, double high,
                OdometerProblem p, store::DateTime since, double days, bool fromDeparture);

    double limit_;
    std::vector<Chain> chains_;
};

// Every finding of a data set's live records in the list's order; a finding's position is
// the record's id (in a data folder its position in the record file).
std::vector<OdometerFinding> checkOdometers(store::DataStore& data,
                                            double dailyLimitKm = kDefaultDailyLimitKm);
// Every finding of the data folder's record file.
std::vector<OdometerFinding> checkOdometers(const std::string& dataFolder,
                                            double dailyLimitKm = kDefaultDailyLimitKm);
// The findings of `vehicles` only (none named: of every vehicle), by vehicle: the data set
// hands over those vehicles' records alone.
std::vector<VehicleFindings> checkOdometersByVehicle(store::DataStore& data, double dailyLimitKm,
                                                     std::vector<std::int16_t> vehicles = {});

// What a new or edited record (`editPosition` is the record it replaces) would break among
// the vehicle's records: findings about the record itself (position -1) and about the next
// reading of the vehicle after it (for a refuelling or maintenance record, the next one on a
// later day). Empty when it carries no reading.
// Both read only the records around the record's place (the data set's form asks its store
// for the vehicle's nearest records) and name records by their position or id.
std::vector<OdometerFinding> checkNewReading(const std::string& dataFolder,
                                             const store::DataRecord& record,
                                             std::optional<std::int64_t> editPosition,
                                             double dailyLimitKm = kDefaultDailyLimitKm);
std::vector<OdometerFinding> checkNewReading(store::DataStore& data,
                                             const store::DataRecord& record,
                                             std::optional<std::int64_t> editId,
                                             double dailyLimitKm = kDefaultDailyLimitKm);

}  // namespace quil::analysis
