#pragma once
// The checking and building behind the alcohol-check entry dialog, without widgets: the
// dialog hands over what its fields hold and shows the refusal this returns, moving the
// focus to the field it names.

#include <cstdint>
#include <optional>
#include <string>

#include "reports/AlcoholCheck.h"

namespace quil::alcohol {

// The fields a refusal can point at.
enum class EntryField {
    None,
    Date,
    Driver,
    Vehicle,
    Checker,
    MethodText,
    Detector,
    Reading,
    Intoxicated,
    Instructions
};

struct CheckInput {
    std::optional<store::DateTime> day;  // nullopt: the date box holds no date
    unsigned hour = 0;
    unsigned minute = 0;
    CheckTiming timing = CheckTiming::BeforeDrive;
    int driver = -1;
    int vehicle = -1;
    std::string checker;
    CheckMethod method = CheckMethod::FaceToFace;
    std::string methodText;
    std::int64_t detector = 0;
    std::string readingText;
    bool intoxicated = false;
    std::string instructions;
    std::string remarks;
};

struct EntryResult {
    std::optional<AlcoholCheck> check;  // set when the input is accepted
    EntryField field = EntryField::None;
    std::string message;  // the refusal, in the program's words
};

// The day from which every check must use a detector.
store::DateTime detectorRequiredFrom();

// Checks the input in field order and builds the check (id 0, live). `now` refuses
// checks dated after today.
EntryResult buildCheck(const CheckInput& input, store::DateTime now);

}  // namespace quil::alcohol
