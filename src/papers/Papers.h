#pragma once
// Driver licences (per user) and vehicle papers (per vehicle): 車検, 自賠責保険, 任意保険
// and dated entries of the office's own (リース満了 …), and the one place where their
// expiry is judged. No Qt: the desktop windows, quil-tool and the drivers' page share it.
//
// An entry names its user or vehicle by item position, as the alcohol-check register does,
// so it stays when the item is deleted. A renewal is a new entry; the one it replaces is
// kept, marked renewed, in the history.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "store/Date.h"

namespace quil::papers {

struct DriverLicence {
    std::int64_t id = 0;  // 0: not stored yet
    int driver = -1;      // item position of a user
    std::string number;   // 12 digits, or empty (not known / not shown to this reader)
    std::string kinds;    // 普通・準中型 …
    std::string conditions;  // 眼鏡等, AT限定 …
    store::DateTime expiry = 0;
    store::DateTime seenOn = 0;  // the day the office last saw it; 0: never
    std::string seenBy;
    std::string remarks;
    bool renewed = false;  // replaced by a newer entry; kept as history
    friend bool operator==(const DriverLicence&, const DriverLicence&) = default;
};

// The kinds of vehicle papers; the values are stored.
enum class PaperKind : int { Inspection = 0, Compulsory = 1, Voluntary = 2, Other = 3 };
inline constexpr int kPaperKindCount = 4;

std::string kindName(PaperKind kind);  // "車検", "自賠責保険", "任意保険", "その他"
std::optional<PaperKind> kindFromName(const std::string& name);
std::optional<PaperKind> kindOf(int stored);

struct VehiclePaper {
    std::int64_t id = 0;
    int vehicle = -1;  // item position of a vehicle
    PaperKind kind = PaperKind::Inspection;
    std::string title;    // what an entry of kind Other is (リース満了); empty for the others
    std::string insurer;  // 任意保険
    std::string number;   // 自賠責's certificate number, 任意保険's policy number
    store::DateTime expiry = 0;
    std::string remarks;
    bool renewed = false;
    friend bool operator==(const VehiclePaper&, const VehiclePaper&) = default;
};

// What a paper is called in lists: its kind's name, or for Other its title.
std::string paperLabel(const VehiclePaper& paper);
// Two papers of a vehicle are the same paper (one renews the other) when kind and, for
// Other, title are the same.
bool samePaper(const VehiclePaper& a, const VehiclePaper& b);

// ---- Expiry ----
// An entry is valid through its expiry day and lapsed from the day after.
enum class ExpiryState { Valid, Lapsing, Lapsed };

// Days from `today` to `expiry` (negative once past), by calendar day whatever the time.
int daysUntil(store::DateTime expiry, store::DateTime today);
// Lapsed when the expiry day is before today; lapsing when it lies from today up to and
// including today + withinDays; valid otherwise.
ExpiryState expiryState(store::DateTime expiry, store::DateTime today, int withinDays);

// The same day `months` later, on the month's last day where it has no such day
// (2024-02-29 + 12 → 2025-02-28, 01-31 + 1 → 02-28/29): what a renewal proposes.
store::DateTime addMonths(store::DateTime day, int months);

inline constexpr int kDefaultWithinDays = 30;

struct ExpiryEntry {
    enum class Of { Licence, Paper } of = Of::Licence;
    int position = -1;  // the user's or the vehicle's item position
    std::int64_t id = 0;
    std::string what;  // "運転免許証", or the paper's label
    store::DateTime expiry = 0;
    int days = 0;  // daysUntil(expiry, today)
    ExpiryState state = ExpiryState::Valid;
};

// The current entries (those not renewed) that have lapsed or lapse within `withinDays`,
// by expiry day, then licences before papers, then position and id.
std::vector<ExpiryEntry> expiryList(const std::vector<DriverLicence>& licences,
                                    const std::vector<VehiclePaper>& papers,
                                    store::DateTime today, int withinDays);
bool anyLapsed(const std::vector<ExpiryEntry>& list);

}  // namespace quil::papers
