#pragma once
// One alcohol check of the register (アルコールチェック記録簿) and the detectors it is
// made with. No Qt here: the store, the detection of missing checks and the CSV form all
// work on these plain values.

#include <cstdint>
#include <optional>
#include <string>

#include "store/Date.h"

namespace quil::alcohol {

// 運転前 / 運転後.
enum class CheckTiming : int { BeforeDrive = 0, AfterDrive = 1 };
// 対面 / ビデオ通話 / 電話 / その他 (with a text).
enum class CheckMethod : int { FaceToFace = 0, VideoCall = 1, Phone = 2, Other = 3 };

inline constexpr int kCheckTimingCount = 2;
inline constexpr int kCheckMethodCount = 4;
// The legal threshold of 酒気帯び (breath alcohol, mg/L); readings at or above it must
// be recorded as 有.
inline constexpr double kIntoxicationThreshold = 0.15;

std::string timingName(CheckTiming timing);  // "運転前", "運転後"
std::string methodName(CheckMethod method);  // "対面", ...
std::optional<CheckTiming> timingFromName(const std::string& name);
std::optional<CheckMethod> methodFromName(const std::string& name);

struct AlcoholCheck {
    std::int64_t id = 0;       // 0: not stored yet
    store::DateTime when = 0;  // date and time of the check
    CheckTiming timing = CheckTiming::BeforeDrive;
    int driver = -1;      // item position of a user
    int vehicle = -1;     // item position of a vehicle
    std::string checker;  // 確認者
    CheckMethod method = CheckMethod::FaceToFace;
    std::string methodText;         // what "その他" means
    std::int64_t detector = 0;      // 0: none
    std::optional<double> reading;  // mg/L
    bool intoxicated = false;       // 酒気帯び 有
    std::string instructions;       // 指示事項
    std::string remarks;
    bool deleted = false;
    std::string deletedBy;
    store::DateTime deletedAt = 0;
    friend bool operator==(const AlcoholCheck&, const AlcoholCheck&) = default;
};

// The method as printed: the method name, or for "その他" its text ("その他" when empty).
std::string methodLabel(const AlcoholCheck& check);

struct Detector {
    std::int64_t id = 0;
    std::string name;
    std::string serial;
    store::DateTime inUseSince = 0;      // 0: not given
    store::DateTime lastInspection = 0;  // 0: never inspected
    bool retired = false;
    friend bool operator==(const Detector&, const Detector&) = default;
};

// Whether a detector's inspection is overdue on `today`: its last inspection (or, never
// inspected, the day it was put in use) lies `days` or more days back. Retired detectors
// are never overdue; a detector with neither date is overdue.
bool inspectionOverdue(const Detector& detector, store::DateTime today, int days);

// Checks must be kept one year: a check made on or after the same calendar day one year
// before `today` is still within that year (29 February falls back to 28 February).
bool withinRetention(store::DateTime checkTime, store::DateTime today);

// The label of a vehicle in the pick lists and the printout: its name, followed by the
// plate in brackets when one is registered ("営業車1 (品川 300 あ 12-34)").
std::string plateText(const std::string& region, const std::string& classNumber,
                      const std::string& kana, const std::string& serial1,
                      const std::string& serial2);
std::string vehicleLabel(const std::string& name, const std::string& plate);

}  // namespace quil::alcohol
