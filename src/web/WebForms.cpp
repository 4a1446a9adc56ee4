#include "web/WebForms.h"

#include <charconv>

#include "reports/CheckEntry.h"
#include "store/Codec.h"
#include "store/EntryParse.h"
#include "store/RecordEntry.h"
#include "web/Html.h"

namespace quil::web {

namespace {

using store::trimmed;

const std::string& field(const FormValues& form, const std::string& name) {
    static const std::string none;
    const auto it = form.find(name);
    return it == form.end() ? none : it->second;
}

// The id of a choice of `choices` named by `text`, or nullopt with the refusal in `errors`.
std::optional<std::int64_t> choice(const std::string& text,
                                   const std::vector<server::WebChoice>& choices,
                                   const std::string& name, const std::string& what,
                                   FormErrors& errors) {
    if (text.empty()) {
        errors[name] = what + "を選んでください。";
        return std::nullopt;
    }
    std::int64_t id = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), id);
    if (ec == std::errc() && end == text.data() + text.size())
        for (const server::WebChoice& c : choices)
            if (c.id == id) return id;
    errors[name] = "一覧にない" + what + "です。選び直してください。";
    return std::nullopt;
}

void checkText(const FormValues& form, const std::string& name, std::size_t maxChars,
               std::size_t maxBytes, FormErrors& errors) {
    const std::string problem = textProblem(field(form, name), maxChars, maxBytes);
    if (!problem.empty()) errors[name] = problem;
}

// The day of a date field, refused when empty, malformed, after today or a year back.
std::optional<store::DateTime> checkDate(const FormValues& form, store::DateTime now,
                                         FormErrors& errors) {
    const std::string text = trimmed(field(form, "date"));
    if (text.empty()) {
        errors["date"] = "日付を入力してください。";
        return std::nullopt;
    }
    const auto day = parseFormDate(text);
    if (!day) {
        errors["date"] = "正しい日付を入力して下さい！";
        return std::nullopt;
    }
    const store::DateTime today = store::dateOnly(now);
    if (*day > today) {
        errors["date"] = "明日以降の日付は入力できません。";
        return std::nullopt;
    }
    if (*day < today - 366) {
        errors["date"] = "1年以上前の日付は入力できません。事務所に届けてください。";
        return std::nullopt;
    }
    return day;
}

std::optional<ClockTime> checkTime(const FormValues& form, const std::string& name,
                                   FormErrors& errors) {
    const std::string text = trimmed(field(form, name));
    if (text.empty()) {
        errors[name] = "時刻を入力してください。";
        return std::nullopt;
    }
    const auto t = parseFormTime(text);
    if (!t) errors[name] = "正しい時間を入力して下さい！";
    return t;
}

// An odometer reading: required, a number from 0 to kMaxOdometer.
std::optional<double> checkOdometer(const FormValues& form, const std::string& name,
                                    const std::string& what, FormErrors& errors) {
    const std::string text = trimmed(field(form, name));
    if (text.empty()) {
        errors[name] = what + "の距離計 (km) を入力してください。";
        return std::nullopt;
    }
    const auto value = store::parseDecimal(text);
    if (!value) return std::nullopt;  // the entry's own check says so, in its words
    if (*value < 0 || *value > kMaxOdometer) {
        errors[name] = "距離計は 0 から 9999999.9 までの数で入力してください。";
        return std::nullopt;
    }
    return value;
}

// A phone's clock may run a little ahead of the server's.
constexpr store::DateTime kClockGrace = 5.0 / (24 * 60);

// Refuses a time of `day` later than `now` (with the grace) beside its field.
void checkNotLater(std::optional<store::DateTime> day, std::optional<ClockTime> t,
                   const std::string& name, store::DateTime now, FormErrors& errors) {
    if (!day || !t || errors.count(name)) return;
    if (*day + store::encodeTime(t->hour, t->minute) > now + kClockGrace)
        errors[name] = "今より後の時刻は入力できません。";
}

std::string twoDigits(unsigned n) {
    return std::string(1, char('0' + n / 10)) + char('0' + n % 10);
}

const char* checkFieldName(alcohol::EntryField f) {
    using F = alcohol::EntryField;
    switch (f) {
        case F::Date: return "date";
        case F::Vehicle: return "vehicle";
        case F::Checker: return "checker";
        case F::MethodText: return "method_text";
        case F::Detector: return "detector";
        case F::Reading: return "reading";
        case F::Intoxicated: return "intoxicated";
        case F::Instructions: return "instructions";
        case F::Driver:
        case F::None: break;
    }
    return "form";
}

const char* driveFieldName(store::EntryField f) {
    using F = store::EntryField;
    switch (f) {
        case F::Date: return "date";
        case F::StartTime: return "start";
        case F::EndTime: return "end";
        case F::Vehicle: return "vehicle";
        case F::ThirdList: return "purpose";
        case F::Value1: return "odometer_start";
        case F::Value2: return "odometer_end";
        case F::Value3: return "destination";
        case F::User:
        case F::ShopList: break;
    }
    return "form";
}

// The check method a radio value names.
std::optional<alcohol::CheckMethod> checkMethod(const std::string& value) {
    if (value == "face") return alcohol::CheckMethod::FaceToFace;
    if (value == "video") return alcohol::CheckMethod::VideoCall;
    if (value == "phone") return alcohol::CheckMethod::Phone;
    if (value == "other") return alcohol::CheckMethod::Other;
    return std::nullopt;
}

}  // namespace

std::string textProblem(const std::string& text, std::size_t maxChars, std::size_t maxCp932Bytes) {
    if (!isValidUtf8(text)) return "文字コードが正しくありません。入力し直してください。";
    std::size_t chars = 0;
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7F) return "改行や制御文字は使えません。";
        std::size_t n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        const std::string one = text.substr(i, n);
        if (!store::toCp932Exact(one))
            return "「" + one + "」は台帳に記録できない文字です。別の文字にしてください。";
        i += n;
        ++chars;
    }
    if (maxChars > 0 && chars > maxChars)
        return std::to_string(maxChars) + "文字以内で入力してください。";
    if (maxCp932Bytes > 0 && store::cp932Length(text) > maxCp932Bytes)
        return "全角" + std::to_string(maxCp932Bytes / 2) + "文字 (半角" +
               std::to_string(maxCp932Bytes) + "文字) 以内で入力してください。";
    return {};
}

std::optional<store::DateTime> parseFormDate(const std::string& text) {
    const auto day = store::parseCalendarDay(text);
    if (!day || store::decodeDate(*day).year < 1900) return std::nullopt;
    return day;
}

std::optional<ClockTime> parseFormTime(const std::string& text) {
    const auto colon = text.find(':');
    if (colon == std::string::npos || colon == 0 || colon > 2 || text.size() != colon + 3)
        return std::nullopt;
    const auto h = store::parseClockField(std::string_view(text).substr(0, colon), 23);
    const auto m = store::parseClockField(std::string_view(text).substr(colon + 1), 59);
    if (!h || !m) return std::nullopt;
    return ClockTime{*h, *m};
}

CheckForm readCheckForm(const FormValues& form, int driver, const server::WebFormLists& lists,
                        store::DateTime now) {
    FormErrors e;
    alcohol::CheckInput in;
    in.driver = driver;

    const std::string& timing = field(form, "timing");
    if (timing == "before" || timing == "after")
        in.timing = timing == "before" ? alcohol::CheckTiming::BeforeDrive
                                       : alcohol::CheckTiming::AfterDrive;
    else
        e["timing"] = "運転前か運転後かを選んでください。";

    in.day = checkDate(form, now, e);
    if (const auto t = checkTime(form, "time", e)) {
        in.hour = t->hour;
        in.minute = t->minute;
        checkNotLater(in.day, t, "time", now, e);
    }
    if (const auto v = choice(field(form, "vehicle"), lists.vehicles, "vehicle", "車両", e))
        in.vehicle = int(*v);

    if (const auto method = checkMethod(field(form, "method")))
        in.method = *method;
    else
        e["method"] = "確認方法を選んでください。";

    const std::string& detector = field(form, "detector");
    if (detector.empty() || detector == "0")
        in.detector = 0;
    else if (const auto d = choice(detector, lists.detectors, "detector", "検知器", e))
        in.detector = *d;

    const std::string& intoxicated = field(form, "intoxicated");
    if (intoxicated == "no" || intoxicated == "yes")
        in.intoxicated = intoxicated == "yes";
    else
        e["intoxicated"] = "酒気帯びの有無を選んでください。";

    for (const char* name : {"method_text", "checker", "instructions", "remarks"})
        checkText(form, name, kCheckTextChars, 0, e);
    checkText(form, "reading", kReadingChars, 0, e);
    in.checker = field(form, "checker");
    in.methodText = field(form, "method_text");
    in.readingText = field(form, "reading");
    in.instructions = field(form, "instructions");
    in.remarks = field(form, "remarks");

    // The desktop dialog's own checks, with its messages, for what the page let through.
    const alcohol::EntryResult built = alcohol::buildCheck(in, now);
    if (!built.check) {
        const std::string name = checkFieldName(built.field);
        if (!e.count(name)) e[name] = built.message;
    }
    if (!e.empty()) return {std::nullopt, e};
    return {built.check, {}};
}

DriveForm readDriveForm(const FormValues& form, int driver, const server::WebFormLists& lists,
                        store::DateTime now, double dataSetStamp) {
    FormErrors e;
    store::EntryInput in;
    in.kind = store::RecordKind::Driving;
    in.stamp = dataSetStamp;
    in.user = driver;

    in.day = checkDate(form, now, e);
    const auto start = checkTime(form, "start", e);
    const auto end = checkTime(form, "end", e);
    checkNotLater(in.day, start, "start", now, e);
    checkNotLater(in.day, end, "end", now, e);
    if (start && end && !e.count("end") &&
        end->hour * 60 + end->minute < start->hour * 60 + start->minute)
        e["end"] = "帰庫時刻が出庫時刻より前になっています。";
    if (start) {
        in.startHour = std::to_string(start->hour);
        in.startMinute = twoDigits(start->minute);
    }
    if (end) {
        in.endHour = std::to_string(end->hour);
        in.endMinute = twoDigits(end->minute);
    }
    if (const auto v = choice(field(form, "vehicle"), lists.vehicles, "vehicle", "車両", e))
        in.vehicle = int(*v);

    const auto from = checkOdometer(form, "odometer_start", "出庫時", e);
    const auto to = checkOdometer(form, "odometer_end", "入庫時", e);
    if (from && to && *to < *from)
        e["odometer_end"] = "入庫時の距離計が出庫時より小さくなっています。";
    in.value1 = trimmed(field(form, "odometer_start"));
    in.value2 = trimmed(field(form, "odometer_end"));

    const std::string& purpose = field(form, "purpose");
    if (purpose == "-1")
        in.third = -1;  // その他
    else if (const auto p = choice(purpose, lists.purposes, "purpose", "目的", e))
        in.third = int(*p);

    checkText(form, "destination", 0, store::DataRecord::kDestinationBytes, e);
    checkText(form, "remarks", 0, store::DataRecord::kRemarksBytes, e);
    in.value3 = trimmed(field(form, "destination"));
    in.remarks = trimmed(field(form, "remarks"));

    // The entry dialog's checks, with its messages.
    store::EntryResult built = store::buildEntryRecord(in);
    if (const auto* refusal = std::get_if<store::EntryRefusal>(&built)) {
        const std::string name = driveFieldName(refusal->field);
        if (!e.count(name)) e[name] = refusal->message;
    }
    if (!e.empty()) return {std::nullopt, e};
    return {std::get<store::DataRecord>(built), {}};
}

}  // namespace quil::web
