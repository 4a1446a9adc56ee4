#pragma once
// Fuel economy and costs per vehicle and per month over a period, from the live records of
// the record file in file (date) order.
//
// The rule of the km/L figure:
// - A refuelling fills the tank unless its remarks say "部分給油" or "継ぎ足し" (a partial
//   refuelling).
// - The odometer at a refuelling is its own reading when it has one (records brought over
//   from the older program carry one); otherwise the highest reading of the vehicle in its
//   driving and maintenance records dated up to and including the refuelling's day.
// - Between two full refuellings of a vehicle whose odometers are known, the distance is
//   the difference of the odometers, and the litres are those of every refuelling after
//   the first one up to and including the second (partial ones included). The interval
//   counts in the period and month of the second refuelling.
// - An interval without a known odometer at either end, or with no distance, is not
//   counted; the chain starts again at the next full refuelling with a known odometer.
// The distance of the cost per km is the driven distance (return minus departure reading of
// the driving records), as the summary table counts it.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "store/DataStore.h"
#include "store/ItemStore.h"
#include "store/Period.h"
#include "store/Records.h"

namespace quil::analysis {

// Whether a refuelling record is marked as a partial refuelling, by the record or by its raw
// CP932 remarks.
bool isPartialRefuelling(const store::DataRecord& r);
bool isPartialRemarks(std::string_view remarksRaw);

struct CostFigures {
    double distance = 0;  // km driven
    double litres = 0;    // every refuelling
    std::int64_t refuels = 0;
    std::int64_t fuelCost = 0;  // price + tax
    std::int64_t maintenanceCost = 0;
    std::int64_t expenseCost = 0;
    // The full-to-full intervals that end here.
    double economyDistance = 0;
    double economyLitres = 0;

    std::int64_t totalCost() const { return fuelCost + maintenanceCost + expenseCost; }
    std::optional<double> kmPerLitre() const;
    std::optional<double> costPerKm() const;
    void add(const CostFigures& o);
};

struct VehicleCosts {
    int position = -1;  // item position; -1 for records of no live vehicle
    std::string name;
    CostFigures figures;
};

struct MonthCosts {
    int year = 0;
    unsigned month = 1;
    CostFigures figures;
};

// One full-to-full interval, for the graph of fuel economy over time.
struct EconomyPoint {
    store::DateTime date = 0;  // the refuelling that closes it
    int vehicle = -1;
    double distance = 0;
    double litres = 0;
};

struct FuelReport {
    std::vector<VehicleCosts> vehicles;  // every live vehicle (or the chosen one)
    CostFigures others;                  // records of vehicles that are not live
    bool hasOthers = false;
    CostFigures total;
    std::vector<MonthCosts> months;  // every month of the period, empty ones included
    std::vector<EconomyPoint> points;
};

// The period of the report: `all` spans every record (its months run from the first to the
// last record counted); otherwise records dated first <= day <= last count.
struct ReportPeriod {
    bool all = true;
    store::PeriodRange range;
};

// Builds the report from the sums of the data set's records and from the odometer readings
// and refuellings of each vehicle, or from the records one by one in file order.
class FuelReportBuilder {
public:
    FuelReportBuilder(const std::vector<store::ItemEntry>& liveVehicles, ReportPeriod period,
                      int vehicle = -1);
    // A record, taken in file order: what it adds and what it tells of its vehicle's chain.
    void add(const store::DataRecord& r);
    // The sums of records of the period, grouped by kind and by vehicle or month (or both);
    // what the query this report asks for (sumsQuery) counts.
    void credit(const store::RecordSums& sums);
    store::RecordSumsQuery sumsQuery() const;
    // A vehicle's reading at `date`, and its refuellings, each vehicle's in file order (the
    // readings of a day may come as the day's highest, before the refuellings of the day).
    void noteReading(int vehicle, store::DateTime date, double reading);
    void noteRefuelling(int vehicle, store::DateTime date, double reading, double litres,
                        bool full);
    FuelReport finish();

private:
    struct Pending {
        store::DateTime date;
        double reading;
        double litres;
        bool full;
    };
    struct Chain {
        double highest = 0;       // highest reading so far (0: none)
        store::DateTime day = 0;  // the day (00:00) of the refuellings waiting in `pending`
        std::vector<Pending> pending;
        bool haveFull = false;  // a full refuelling with a known odometer opened the interval
        double fullReading = 0;
        double litres = 0;  // since that refuelling
    };
    // The per-record lookups take the fast path inline; the rest is out of line.
    Chain& chain(int vehicle) {
        const std::size_t i = vehicle < 0 ? 0 : std::size_t(vehicle) + 1;
        return i < chains_.size() ? chains_[i] : newChain(i);
    }
    Chain& newChain(std::size_t index);
    void settle(int vehicle, Chain& c);
    // The waiting refuellings are settled by the first record of a later day (or an earlier
    // one, in a file out of order).
    void settleBefore(int vehicle, Chain& c, store::DateTime date) {
        if (!c.pending.empty() && !(date >= c.day && date < c.day + 1)) settle(vehicle, c);
    }
    static void queue(Chain& c, store::DateTime date, double reading, double litres, bool full);
    // The figures of the vehicle's line and of the month of `date`.
    CostFigures& line(int vehicle) {
        const int l = vehicle >= 0 && std::size_t(vehicle) < lineOf_.size()
                          ? lineOf_[std::size_t(vehicle)]
                          : -1;
        return l >= 0 ? report_.vehicles[std::size_t(l)].figures : otherLine();
    }
    CostFigures& otherLine();
    CostFigures& month(store::DateTime date) {
        return date >= monthStart_ && date < nextMonthStart_ ? months_[monthSlot_] : newMonth(date);
    }
    CostFigures& newMonth(store::DateTime date);

    ReportPeriod period_;
    store::PeriodFilter filter_;
    int only_;
    FuelReport report_;
    std::vector<int> lineOf_;          // item position -> line in report_.vehicles, or -1
    std::vector<Chain> chains_;        // by vehicle position + 1 (index 0: negative positions)
    std::vector<CostFigures> months_;  // from month index firstMonth_ on
    int firstMonth_ = 0;
    // The month of the last date seen: its slot in months_ and its days.
    std::size_t monthSlot_ = 0;
    store::DateTime monthStart_ = 1;
    store::DateTime nextMonthStart_ = 0;
};

// Reads the items and the live records of a data set, in the list's order.
FuelReport computeFuelReport(store::DataStore& data, ReportPeriod period, int vehicle = -1);
// The same over the data folder `dataFolder` (ending with the separator).
FuelReport computeFuelReport(const std::string& dataFolder, ReportPeriod period, int vehicle = -1);

}  // namespace quil::analysis
