#pragma once
// Reads a legacy (ミルテ台帳) data set and builds the items and records of the new one in
// memory: the vehicles, the three item lists and the fixed entries, then the driving,
// refuelling, maintenance and expense records of every vehicle, and the log lines.

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "folder/DataSetFiles.h"
#include "store/FileSystem.h"
#include "store/Records.h"

namespace quil::folder::legacy {

// The legacy data set cannot be converted (an invalid registration date): nothing is written.
class LegacyDataError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The user cancelled the import.
struct ImportCancelled {};

class LegacyConverter {
public:
    // `folder` ends with '/'. `stamp` goes into every record, `today` stands in for invalid
    // dates and is the creation date of the items.
    LegacyConverter(std::string folder, double stamp, double today, int currentYear,
                    store::FileSystem& fs);

    // Builds the item list; raises LegacyDataError for an invalid registration date.
    void convertItems();
    // Records to be read by convertRecords, for progress.
    std::int64_t countRecords();
    // The four passes; calls `progress` now and then (may throw ImportCancelled).
    void convertRecords(const ImportProgress& progress);

    const std::vector<store::ItemRecord>& items() const { return items_; }
    // Every record in the order of the record file: ascending (date, vehicle, user); of
    // equal keys, those of a later pass first, then in the order they were read.
    std::vector<store::DataRecord> sortedRecords() const;
    // Errlog.txt as UTF-8 lines.
    std::vector<std::string> logLines() const;
    int problemCount() const { return static_cast<int>(problems_.size()); }

private:
    struct Vehicle {
        int firstYear = 0;
    };
    // Whole records of a legacy file, nullopt when it is missing; a partial tail is ignored.
    std::optional<std::string> readFile(const std::string& name, std::size_t recordSize);
    std::vector<int> convertList(const char* file, store::ItemKind kind, int dataSetVersion);
    store::DataRecord newRecord(store::RecordKind kind, int vehicle) const;
    // A record of a dated legacy file, as its log lines name it: the kind of data, the file,
    // the vehicle and the year, month and day the record gives.
    struct RecordAt {
        const char* label;
        const std::string& file;
        int vehicle;
        int y, m, d;
    };
    // The date of a legacy record, or today with a log line when it forms no calendar date.
    double recordDate(const RecordAt& at);
    // The item position of a 1-based list entry; −1 for none, −1 and a log line beyond the list.
    std::int16_t mapped(const std::vector<int>& map, int number, const RecordAt& at);
    void tick(const ImportProgress& progress, std::int64_t n);

    // One pass over vehicle n's file of dated records, `prefix` + ".d" + n (gas, mente,
    // kane): every record of `size` bytes becomes a record of `kind` dated from its year,
    // month and day, which `fill(bytes, record, at)` completes. The number of records read.
    template <typename Fill>
    std::int64_t datedPass(const char* prefix, int n, std::size_t size, store::RecordKind kind,
                           const char* label, Fill fill);
    // Each pass converts the files of vehicle n and returns the number of records read.
    std::int64_t drivingPass(int n);
    std::int64_t refuellingPass(int n);
    std::int64_t maintenancePass(int n);
    std::int64_t expensePass(int n);

    std::string folder_;
    double stamp_;
    double today_;
    int currentYear_;
    store::FileSystem& fs_;
    std::vector<store::ItemRecord> items_;
    std::vector<Vehicle> vehicles_;
    std::vector<int> maintenanceMap_, stationMap_, expenseMap_;
    int user_ = -1;
    std::vector<std::vector<store::DataRecord>> passes_{4};
    std::vector<std::string> problems_;
    std::int64_t done_ = 0, total_ = 0, reported_ = 0;
};

}  // namespace quil::folder::legacy
