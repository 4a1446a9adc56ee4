#pragma once
// The maintenance schedule: for each vehicle and each maintenance item with a cycle, when it
// was last done, when it is due again (by date and by odometer) and how much is left.
//
// - Last done: the latest live maintenance record of the vehicle and item; its odometer is
//   the record's reading, or, when it has none, the highest reading of the vehicle up to it.
// - Due date: last done + the cycle's months. Never done: the vehicle's registration date +
//   the first-time months when the cycle has them (車検 36 months for a new car), else + the
//   cycle's months.
// - Due odometer: last done odometer + the cycle's km; never done: the vehicle's odometer at
//   registration + the km.
// - Current odometer: the highest reading in any record of the vehicle (or its odometer at
//   registration when higher).
// - Overdue when the due date has passed or the current odometer has reached the due one;
//   due soon within 30 days or 500 km.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "store/DataStore.h"
#include "store/Date.h"
#include "store/Records.h"

namespace quil::analysis {

struct MaintenanceCycle {
    int item = -1;        // position of the maintenance item
    int months = 0;       // 0: no date cycle
    int km = 0;           // 0: no distance cycle
    int firstMonths = 0;  // 0: the first time follows `months` too
    bool active() const { return months > 0 || km > 0; }
    friend bool operator==(const MaintenanceCycle&, const MaintenanceCycle&) = default;
};

struct ScheduleVehicle {
    int position = -1;
    std::string name;
    store::DateTime registered = 0;  // 0: unknown
    double odometer = 0;             // at registration
};

struct ScheduleItem {
    int position = -1;
    std::string name;
};

enum class DueStatus { Ok = 0, Soon = 1, Overdue = 2 };

inline constexpr int kSoonDays = 30;
inline constexpr double kSoonKm = 500;

struct ScheduleRow {
    int vehicle = -1;
    std::string vehicleName;
    int item = -1;
    std::string itemName;
    std::optional<store::DateTime> lastDate;
    std::optional<double> lastOdometer;
    std::optional<store::DateTime> dueDate;
    std::optional<double> dueOdometer;
    double currentOdometer = 0;
    std::optional<int> daysLeft;
    std::optional<double> kmLeft;
    DueStatus status = DueStatus::Ok;
};

// Collects, in one pass over the records in file order, what the schedule needs.
class ScheduleCollector {
public:
    void add(const store::DataRecord& r);
    // Follow one record saved or deleted after the pass, without reading the file again, and
    // leave what add() over the changed file would have left. `last`: the saved record
    // stands after every other (an appended one). False when only a new pass can tell (the
    // removed reading was among the vehicle's highest ones and too few are known, or a
    // maintenance without a reading of its own depends on the change): the caller then
    // collects again.
    bool insert(const store::DataRecord& r, bool last);
    bool remove(const store::DataRecord& r);

    struct Done {
        store::DateTime date = 0;
        double odometer = 0;       // 0: unknown
        bool fromHighest = false;  // the odometer is the highest reading up to the record
        store::DateTime at = 0;    // the record's date and time
    };
    // What a pass would have left, from the data set's answers: a vehicle's highest readings
    // (highest first, at least the kTop highest or all of them) and how many it has, and
    // the latest maintenance of an item.
    static constexpr std::size_t kTop = 8;
    void setReadings(int vehicle, std::vector<double> highest, std::int64_t readings);
    void setDone(int vehicle, int item, const Done& done);

    // Whether a record enters the schedule at all (an odometer reading, or a maintenance):
    // a change of records none of which does leaves it as it is.
    static bool counts(const store::DataRecord& r);

    double highest(int vehicle) const;
    // The latest maintenance of `item` on `vehicle`, if any.
    std::optional<Done> lastDone(int vehicle, int item) const;

private:
    struct PerVehicle {
        double highest = 0;
        // The highest readings, highest first (at most kTop), and how many readings there are.
        std::vector<double> top;
        std::int64_t readings = 0;
        std::vector<std::optional<Done>> done;  // by item position
    };
    static double readingOf(const store::DataRecord& r);
    static void note(PerVehicle& pv, double reading);
    // The item a maintenance record marks done; nullopt for other records and for a
    // maintenance of no item.
    static std::optional<std::size_t> doneItem(const store::DataRecord& r);
    // Whether a record's reading may change a maintenance whose odometer was taken from the
    // readings before it: the record has a reading and comes before (or with) it.
    static bool feedsDone(const PerVehicle& pv, const store::DataRecord& r);
    std::vector<PerVehicle> vehicles_;  // by vehicle position
};

// The rows, vehicles in the given order and items in the given order within each, for the
// items with an active cycle.
std::vector<ScheduleRow> buildSchedule(const std::vector<ScheduleVehicle>& vehicles,
                                       const std::vector<ScheduleItem>& items,
                                       const std::vector<MaintenanceCycle>& cycles,
                                       const ScheduleCollector& records, store::DateTime today);

// The live vehicles and maintenance items of a data set (of a data folder's item file, of
// the items read already, by position as analysis::itemsByPosition gives them).
std::vector<ScheduleVehicle> scheduleVehicles(const std::vector<store::ItemRecord>& items);
std::vector<ScheduleItem> scheduleItems(const std::vector<store::ItemRecord>& items);
std::vector<ScheduleVehicle> scheduleVehicles(store::DataStore& data);
std::vector<ScheduleItem> scheduleItems(store::DataStore& data);
std::vector<ScheduleVehicle> scheduleVehicles(const std::string& dataFolder);
std::vector<ScheduleItem> scheduleItems(const std::string& dataFolder);

// One pass over the live records of a data set (of a data folder's record file).
ScheduleCollector collectSchedule(store::DataStore& data);
ScheduleCollector collectSchedule(const std::string& dataFolder);

// Reads the data set and builds the schedule (no cycles: no rows, nothing read).
std::vector<ScheduleRow> computeSchedule(store::DataStore& data,
                                         const std::vector<MaintenanceCycle>& cycles,
                                         store::DateTime today);
std::vector<ScheduleRow> computeSchedule(const std::string& dataFolder,
                                         const std::vector<MaintenanceCycle>& cycles,
                                         store::DateTime today);

std::int64_t countOverdue(const std::vector<ScheduleRow>& rows);

}  // namespace quil::analysis
