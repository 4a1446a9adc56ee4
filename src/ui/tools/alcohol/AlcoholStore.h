#pragma once
// The alcohol-check register in QuilExt.db: the checks, the detectors and the register's
// settings (company name, inspection interval). Each object opens its own connection for
// one piece of work; every change is one transaction. Checks are never removed: a deleted
// check stays with who deleted it and when.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "reports/AlcoholCheck.h"

namespace quil::ext {
class ExtDatabase;
}

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

class AlcoholStore {
public:
    // Opens (creating when needed) QuilExt.db in `dataFolder` and brings the register's
    // tables up to date. Throws ext::ExtError.
    explicit AlcoholStore(const std::string& dataFolder);
    ~AlcoholStore();
    AlcoholStore(const AlcoholStore&) = delete;
    AlcoholStore& operator=(const AlcoholStore&) = delete;

    // Stores a new check and returns its id.
    std::int64_t add(const AlcoholCheck& check);
    // Stores many new checks in one transaction (a CSV import): all or none.
    void addAll(const std::vector<AlcoholCheck>& checks);
    // Replaces a live check. Throws ext::ExtError when it is gone or deleted.
    void update(const AlcoholCheck& check);
    // Marks a check deleted, keeping it with `who` and `when`. Throws ext::ExtError when
    // it is gone or deleted already.
    void markDeleted(std::int64_t id, const std::string& who, store::DateTime when);
    std::optional<AlcoholCheck> find(std::int64_t id);
    // Checks in order of their date and time.
    std::vector<AlcoholCheck> load(const CheckFilter& filter);
    std::int64_t count();

    // The 確認者 names used so far, the most recent first.
    std::vector<std::string> checkerNames();

    std::vector<Detector> detectors();
    std::int64_t addDetector(const Detector& detector);
    void updateDetector(const Detector& detector);
    // Removes a detector no check (deleted ones included) refers to; false, and nothing
    // removed, when a check does.
    bool removeDetector(std::int64_t id);

    std::string setting(const std::string& key, const std::string& defaultValue = {});
    void setSetting(const std::string& key, const std::string& value);
    int inspectionDays();

private:
    // Refuses, with ext::ExtError, every change while the data folder is open read-only
    // (another computer holds it): SQLite writes past the file-system seam that refuses
    // the other files' changes.
    void checkWritable() const;

    std::unique_ptr<ext::ExtDatabase> db_;
};

}  // namespace quil::alcohol
