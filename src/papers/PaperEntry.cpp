#include "papers/PaperEntry.h"

#include "store/EntryParse.h"

namespace quil::papers {

namespace {

constexpr const char* kBadDate = "正しい日付を入力して下さい！";

using store::trimmed;

template <typename Entry>
EntryResult<Entry> refuse(EntryField field, std::string message) {
    return {std::nullopt, field, std::move(message), {}};
}

// An accepted entry, with the warning of a past expiry.
template <typename Entry>
EntryResult<Entry> accepted(const Entry& entry, store::DateTime today) {
    EntryResult<Entry> result{entry, EntryField::None, {}, {}};
    if (entry.expiry < store::dateOnly(today)) result.warning = lapsedWarning(entry.expiry);
    return result;
}

std::optional<store::DateTime> day(const std::string& text) {
    return store::parseCalendarDay(trimmed(text));
}

}  // namespace

std::string lapsedWarning(store::DateTime expiry) {
    return "有効期限（" + store::formatDate(expiry) + "）が過ぎています。";
}

namespace {
bool lapsed(store::DateTime expiry, store::DateTime today) {
    return expiryState(expiry, today, 0) == ExpiryState::Lapsed;
}
}  // namespace

std::string driverLapsed(const std::vector<DriverLicence>& licences, int driver,
                         store::DateTime today) {
    std::string out;
    for (const DriverLicence& l : licences)
        if (l.driver == driver && !l.renewed && lapsed(l.expiry, today))
            out += "運転免許証の" + lapsedWarning(l.expiry);
    return out;
}

std::string vehicleLapsed(const std::vector<VehiclePaper>& papers, int vehicle,
                          store::DateTime today) {
    std::string out;
    for (const VehiclePaper& p : papers)
        if (p.vehicle == vehicle && !p.renewed &&
            (p.kind == PaperKind::Inspection || p.kind == PaperKind::Compulsory) &&
            lapsed(p.expiry, today))
            out += paperLabel(p) + "の" + lapsedWarning(p.expiry);
    return out;
}

std::optional<std::string> licenceNumber(const std::string& typed) {
    std::string digits;
    for (std::size_t i = 0; i < typed.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(typed[i]);
        if (c >= '0' && c <= '9') {
            digits += static_cast<char>(c);
        } else if (c == ' ' || c == '\t' || c == '-') {
            continue;
        } else if (c == 0xEF && i + 2 < typed.size() &&
                   static_cast<unsigned char>(typed[i + 1]) == 0xBC &&
                   static_cast<unsigned char>(typed[i + 2]) >= 0x90 &&
                   static_cast<unsigned char>(typed[i + 2]) <= 0x99) {
            digits += static_cast<char>('0' + (static_cast<unsigned char>(typed[i + 2]) - 0x90));
            i += 2;  // ０ … ９ (U+FF10 …)
        } else {
            return std::nullopt;
        }
    }
    if (!digits.empty() && digits.size() != 12) return std::nullopt;
    return digits;
}

EntryResult<DriverLicence> buildLicence(const LicenceInput& in, store::DateTime today,
                                        const std::vector<DriverLicence>& stored,
                                        std::int64_t editing) {
    using R = DriverLicence;
    if (in.driver < 0) return refuse<R>(EntryField::Driver, "運転者を選んでください。");
    const auto number = licenceNumber(in.number);
    if (!number)
        return refuse<R>(EntryField::Number,
                         "免許証番号は12桁の数字で入力してください（わからないときは空欄）。");
    const auto expiry = day(in.expiryText);
    if (!expiry) return refuse<R>(EntryField::Expiry, kBadDate);
    std::optional<store::DateTime> seenOn;
    if (!trimmed(in.seenOnText).empty()) {
        seenOn = day(in.seenOnText);
        if (!seenOn) return refuse<R>(EntryField::SeenOn, kBadDate);
        if (*seenOn > store::dateOnly(today))
            return refuse<R>(EntryField::SeenOn, "明日以降の日付は入力できません。");
    }
    for (const DriverLicence& l : stored) {
        if (l.id == editing && editing != 0) continue;
        if (l.driver == in.driver && l.expiry == *expiry)
            return refuse<R>(EntryField::Expiry,
                             "この運転者の同じ有効期限の免許証がすでに登録されています。");
        if (!number->empty() && l.number == *number && l.driver != in.driver)
            return refuse<R>(EntryField::Number,
                             "この免許証番号はほかの運転者の免許証に登録されています。");
    }
    DriverLicence l;
    l.driver = in.driver;
    l.number = *number;
    l.kinds = trimmed(in.kinds);
    l.conditions = trimmed(in.conditions);
    l.expiry = *expiry;
    l.seenOn = seenOn.value_or(0);
    l.seenBy = trimmed(in.seenBy);
    l.remarks = trimmed(in.remarks);
    return accepted(l, today);
}

EntryResult<VehiclePaper> buildPaper(const PaperInput& in, store::DateTime today,
                                     const std::vector<VehiclePaper>& stored,
                                     std::int64_t editing) {
    using R = VehiclePaper;
    if (in.vehicle < 0) return refuse<R>(EntryField::Vehicle, "車両を選んでください。");
    const std::string title = trimmed(in.title);
    if (in.kind == PaperKind::Other && title.empty())
        return refuse<R>(EntryField::Title, "項目名（リース満了など）を入力してください。");
    const auto expiry = day(in.expiryText);
    if (!expiry) return refuse<R>(EntryField::Expiry, kBadDate);
    VehiclePaper p;
    p.vehicle = in.vehicle;
    p.kind = in.kind;
    p.title = in.kind == PaperKind::Other ? title : std::string();
    p.insurer = trimmed(in.insurer);
    p.number = trimmed(in.number);
    p.expiry = *expiry;
    p.remarks = trimmed(in.remarks);
    for (const VehiclePaper& s : stored) {
        if (s.id == editing && editing != 0) continue;
        if (samePaper(s, p) && s.expiry == p.expiry)
            return refuse<R>(EntryField::Expiry,
                             "この車両の同じ有効期限の" + paperLabel(p) + "がすでに登録されています。");
    }
    return accepted(p, today);
}

}  // namespace quil::papers
