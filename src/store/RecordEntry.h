#pragma once
// Checking and building the record of an entry: the entry dialog's OK and the CSV import
// both go through here, so both refuse the same input with the same message, in the same
// order, and store the same bytes.

#include <optional>
#include <string>
#include <variant>

#include "Records.h"

namespace quil::store {

// The input an entry's check refers to when it refuses (the dialog focuses the control,
// the import names the column).
enum class EntryField {
    Date,
    StartTime,
    EndTime,
    Vehicle,
    User,
    ThirdList,  // purpose, gas station, maintenance item or expense item by kind
    ShopList,
    Value1,  // departure odometer, quantity or distance by kind
    Value2,  // return odometer or price
    Value3,  // destination or tax
};

// What an entry holds, as typed. References are item positions already looked up in the
// master lists: nullopt when the text names no item (refused), -1 for "その他".
struct EntryInput {
    int kind = 0;  // RecordKind 0..3
    double stamp = 0;
    std::optional<DateTime> day;  // nullopt when no valid date was given
    std::string startHour, startMinute, endHour, endMinute;
    std::optional<int> vehicle, user, third, shop;
    std::string value1, value2, value3, remarks;
    // A decimal field whose text is still the one shown for the stored value (an edit that
    // did not touch it) gives that value itself, not the rounded text read back.
    std::optional<double> unchanged1, unchanged2;
};

struct EntryRefusal {
    EntryField field;
    std::string message;  // UTF-8, shown under "警告"
    friend bool operator==(const EntryRefusal&, const EntryRefusal&) = default;
};

using EntryResult = std::variant<DataRecord, EntryRefusal>;

// The checks in their fixed order (date, vehicle, user, times or price and tax, then the
// fields of the kind); the first failure is returned, otherwise the complete record.
EntryResult buildEntryRecord(const EntryInput& in);

}  // namespace quil::store
