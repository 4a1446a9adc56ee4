#pragma once
// What the extension windows keep beside the records, behind one interface with two
// implementations: QuilExt.db in a data folder (SQLite, through Qt SQL) and tables of the
// data set on a server (libpq). No Qt here.
//
// Every failure throws an exception derived from std::runtime_error whose message is
// Japanese and ready to show. Each object is opened for one piece of work and let go.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "reports/AlcoholCheck.h"
#include "reports/MaintenanceSchedule.h"
#include "store/ChangeAnnouncer.h"

namespace quil::alcohol {

struct CheckFilter {
    std::optional<store::DateTime> firstDay;  // 00:00 of the first day shown
    std::optional<store::DateTime> lastDay;   // 00:00 of the last day shown
    int driver = -1;                          // -1: every driver
    int vehicle = -1;                         // -1: every vehicle
    bool withDeleted = false;
};

// Setting keys and their defaults.
inline constexpr const char* kCompanyNameKey = "company_name";
inline constexpr const char* kInspectionDaysKey = "inspection_days";
inline constexpr int kDefaultInspectionDays = 30;

// The alcohol-check register: the checks, the detectors and the register's settings
// (company name, inspection interval). Every change is one transaction. Checks are never
// removed: a deleted check stays with who deleted it and when. Each stored change is told to
// the change listener: a check's as AlcoholChecks, a detector's or a setting's as Detectors.
class CheckStore : public store::ChangeAnnouncer {
public:
    virtual ~CheckStore() = default;

    // Stores a new check and returns its id.
    virtual std::int64_t add(const AlcoholCheck& check) = 0;
    // Stores many new checks in one transaction (a CSV import): all or none.
    virtual void addAll(const std::vector<AlcoholCheck>& checks) = 0;
    // Replaces a live check. Throws when it is gone or deleted.
    virtual void update(const AlcoholCheck& check) = 0;
    // Marks a check deleted, keeping it with `who` and `when`. Throws when it is gone or
    // deleted already.
    virtual void markDeleted(std::int64_t id, const std::string& who, store::DateTime when) = 0;
    virtual std::optional<AlcoholCheck> find(std::int64_t id) = 0;
    // Checks in order of their date and time (then id).
    virtual std::vector<AlcoholCheck> load(const CheckFilter& filter) = 0;
    virtual std::int64_t count() = 0;

    // The 確認者 names used so far, the most recent first.
    virtual std::vector<std::string> checkerNames() = 0;

    virtual std::vector<Detector> detectors() = 0;
    virtual std::int64_t addDetector(const Detector& detector) = 0;
    virtual void updateDetector(const Detector& detector) = 0;
    // Removes a detector no check (deleted ones included) refers to; false, and nothing
    // removed, when a check does.
    virtual bool removeDetector(std::int64_t id) = 0;

    virtual std::string setting(const std::string& key, const std::string& defaultValue = {}) = 0;
    virtual void setSetting(const std::string& key, const std::string& value) = 0;
    // The inspection interval in days (the setting, or the default when unset or no number).
    int inspectionDays();
};

}  // namespace quil::alcohol

namespace quil::analysis {

// What the analysis windows keep: the maintenance cycles and the odometer check's daily
// limit. A data set without stored analysis settings has no cycles and the default limit.
// Each stored change is told to the change listener as MaintenanceCycles.
class AnalysisStore : public store::ChangeAnnouncer {
public:
    virtual ~AnalysisStore() = default;
    virtual std::vector<MaintenanceCycle> loadCycles() = 0;
    // Replaces every cycle by `cycles` (inactive ones are dropped) in one transaction.
    virtual void saveCycles(const std::vector<MaintenanceCycle>& cycles) = 0;
    virtual double dailyLimitKm() = 0;
    virtual void setDailyLimitKm(double km) = 0;
};

}  // namespace quil::analysis
