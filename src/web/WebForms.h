#pragma once
// Reading the check and drive forms of the drivers' page: the page's own checks (required,
// too long, not UTF-8, not representable in CP932, control characters, a date or time in the
// future, a date long past, a return before the departure, a choice not offered, odometer
// readings out of range or running backwards) and then the desktop's own rules
// (alcohol::buildCheck, store::buildEntryRecord) with their messages. Each refusal names the form field it belongs to; nothing is built on a refusal.

#include <map>
#include <optional>
#include <string>

#include "reports/AlcoholCheck.h"
#include "server/WebRecords.h"
#include "store/Date.h"
#include "store/Records.h"

namespace quil::web {

// A form's fields by name, as the request brought them (one value each).
using FormValues = std::map<std::string, std::string>;
// The refusals by field name; empty when the form was accepted.
using FormErrors = std::map<std::string, std::string>;

// The longest texts of a check (characters) and of its reading.
inline constexpr std::size_t kCheckTextChars = 100;
inline constexpr std::size_t kReadingChars = 20;
// The highest odometer reading a drive takes (km).
inline constexpr double kMaxOdometer = 9999999.9;

// The problem of one text field, or an empty string: not UTF-8, a control character, a
// character CP932 cannot hold (named), more than `maxChars` characters or `maxCp932Bytes`
// CP932 bytes (0: no such limit).
std::string textProblem(const std::string& text, std::size_t maxChars, std::size_t maxCp932Bytes);

// A date field as the page sends it ("2026-12-09"), or nullopt.
std::optional<store::DateTime> parseFormDate(const std::string& text);
// A time field ("08:05"), as hour and minute.
struct ClockTime {
    unsigned hour = 0, minute = 0;
};
std::optional<ClockTime> parseFormTime(const std::string& text);

struct CheckForm {
    std::optional<alcohol::AlcoholCheck> check;
    FormErrors errors;
};

// The check form of driver `driver` (the session's) on `now` (the company's local time).
CheckForm readCheckForm(const FormValues& form, int driver, const server::WebFormLists& lists,
                        store::DateTime now);

struct DriveForm {
    std::optional<store::DataRecord> drive;
    FormErrors errors;
};

// The drive form of driver `driver`: a driving record whose user is that driver, carrying
// the data set's stamp as the desktop's entries do.
DriveForm readDriveForm(const FormValues& form, int driver, const server::WebFormLists& lists,
                        store::DateTime now, double dataSetStamp);

}  // namespace quil::web
