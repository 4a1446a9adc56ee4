#pragma once
// The checking and building behind the licence and paper entry dialogs, without widgets:
// the dialog (or a CSV import) hands over what its fields hold and shows the refusal this
// returns, moving the focus to the field it names. A past expiry is accepted with a
// warning: the entry records a fact, and the list then shows it lapsed.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "papers/Papers.h"

namespace quil::papers {

enum class EntryField { None, Driver, Vehicle, Number, Title, Expiry, SeenOn };

struct LicenceInput {
    int driver = -1;
    std::string number;  // blanks and full-width digits are taken as typed digits
    std::string kinds;
    std::string conditions;
    std::string expiryText;  // yyyy/mm/dd (or yyyy-mm-dd)
    std::string seenOnText;  // may be empty
    std::string seenBy;
    std::string remarks;
};

struct PaperInput {
    int vehicle = -1;
    PaperKind kind = PaperKind::Inspection;
    std::string title;  // required for PaperKind::Other
    std::string insurer;
    std::string number;
    std::string expiryText;
    std::string remarks;
};

template <typename Entry>
struct EntryResult {
    std::optional<Entry> entry;  // set when the input is accepted
    EntryField field = EntryField::None;
    std::string message;  // the refusal
    std::string warning;  // shown beside an accepted entry (a past expiry)
};

// The licence number as stored: ASCII digits, blanks and hyphens removed, full-width digits
// made ASCII; nullopt unless that leaves 12 digits or nothing.
std::optional<std::string> licenceNumber(const std::string& typed);

// Checks in field order. `stored` are the entries already kept (history included); the one
// with id `editing` (0: a new entry) is the entry being changed and not compared with.
EntryResult<DriverLicence> buildLicence(const LicenceInput& input, store::DateTime today,
                                        const std::vector<DriverLicence>& stored,
                                        std::int64_t editing = 0);
EntryResult<VehiclePaper> buildPaper(const PaperInput& input, store::DateTime today,
                                     const std::vector<VehiclePaper>& stored,
                                     std::int64_t editing = 0);

// "有効期限（2026/01/31）が過ぎています。"
std::string lapsedWarning(store::DateTime expiry);

// What the entry dialogs and the drivers' page say of a chosen driver or vehicle: what has
// lapsed of his current licence ("運転免許証の有効期限（2024/05/01）が過ぎています。"), or of
// its current 車検 and 自賠責保険, one sentence each; empty when nothing has.
std::string driverLapsed(const std::vector<DriverLicence>& licences, int driver,
                         store::DateTime today);
std::string vehicleLapsed(const std::vector<VehiclePaper>& papers, int vehicle,
                          store::DateTime today);

}  // namespace quil::papers
