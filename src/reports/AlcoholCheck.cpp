#include "reports/AlcoholCheck.h"

#include <array>
#include <chrono>

namespace quil::alcohol {

namespace {
const std::array<const char*, kCheckTimingCount> kTimingNames = {"運転前", "運転後"};
const std::array<const char*, kCheckMethodCount> kMethodNames = {"対面", "ビデオ通話", "電話",
                                                                 "その他"};
}  // namespace

std::string timingName(CheckTiming timing) {
    const int i = static_cast<int>(timing);
    return i >= 0 && i < kCheckTimingCount ? kTimingNames[i] : "";
}

std::string methodName(CheckMethod method) {
    const int i = static_cast<int>(method);
    return i >= 0 && i < kCheckMethodCount ? kMethodNames[i] : "";
}

std::optional<CheckTiming> timingFromName(const std::string& name) {
    for (int i = 0; i < kCheckTimingCount; ++i)
        if (name == kTimingNames[i]) return static_cast<CheckTiming>(i);
    return std::nullopt;
}

std::optional<CheckMethod> methodFromName(const std::string& name) {
    for (int i = 0; i < kCheckMethodCount; ++i)
        if (name == kMethodNames[i]) return static_cast<CheckMethod>(i);
    return std::nullopt;
}

std::string methodLabel(const AlcoholCheck& check) {
    if (check.method == CheckMethod::Other && !check.methodText.empty())
        return methodName(CheckMethod::Other) + "(" + check.methodText + ")";
    return methodName(check.method);
}

bool inspectionOverdue(const Detector& detector, store::DateTime today, int days) {
    if (detector.retired) return false;
    const store::DateTime since =
        detector.lastInspection > 0 ? detector.lastInspection : detector.inUseSince;
    if (since <= 0) return true;
    return store::dateOnly(today) - store::dateOnly(since) >= days;
}

bool withinRetention(store::DateTime checkTime, store::DateTime today) {
    using namespace std::chrono;
    const store::CivilDate t = store::decodeDate(today);
    year_month_day back{year{t.year - 1}, month{t.month}, day{t.day}};
    if (!back.ok()) back = year{t.year - 1} / month{t.month} / last;
    return store::dateOnly(checkTime) >=
           store::encodeDate(int(back.year()), unsigned(back.month()), unsigned(back.day()));
}

std::string plateText(const std::string& region, const std::string& classNumber,
                      const std::string& kana, const std::string& serial1,
                      const std::string& serial2) {
    std::string plate;
    auto add = [&plate](const std::string& part) {
        if (part.empty()) return;
        if (!plate.empty()) plate += ' ';
        plate += part;
    };
    add(region);
    add(classNumber);
    add(kana);
    if (!serial1.empty() || !serial2.empty()) add(serial1 + "-" + serial2);
    return plate;
}

std::string vehicleLabel(const std::string& name, const std::string& plate) {
    return plate.empty() ? name : name + " (" + plate + ")";
}

}  // namespace quil::alcohol
