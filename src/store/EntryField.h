#pragma once
// The inputs of a record's entry: what an entry's check refers to when it refuses, and
// what the CSV import reads a list column into.

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

}  // namespace quil::store
