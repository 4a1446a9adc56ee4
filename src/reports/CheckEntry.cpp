#include "reports/CheckEntry.h"

#include "store/EntryParse.h"

namespace quil::alcohol {

namespace {
using store::trimmed;

EntryResult refuse(EntryField field, std::string message) { return {std::nullopt, field, message}; }
}  // namespace

store::DateTime detectorRequiredFrom() { return store::encodeDate(2023, 12, 1); }

EntryResult buildCheck(const CheckInput& in, store::DateTime now) {
    if (!in.day || in.hour > 23 || in.minute > 59)
        return refuse(EntryField::Date, "正しい日付を入力して下さい！");
    const store::DateTime day = store::dateOnly(*in.day);
    if (day > store::dateOnly(now))
        return refuse(EntryField::Date, "明日以降の日付は入力できません。");
    if (in.driver < 0) return refuse(EntryField::Driver, "運転者を選んでください。");
    if (in.vehicle < 0) return refuse(EntryField::Vehicle, "車両を選んでください。");
    const std::string checker = trimmed(in.checker);
    if (checker.empty()) return refuse(EntryField::Checker, "確認者を入力してください。");
    const std::string methodText = trimmed(in.methodText);
    if (in.method == CheckMethod::Other && methodText.empty())
        return refuse(EntryField::MethodText, "確認方法の内容を入力してください。");
    if (in.detector == 0 && day >= detectorRequiredFrom())
        return refuse(EntryField::Detector, "アルコール検知器を選んでください。");
    std::optional<double> reading;
    if (!trimmed(in.readingText).empty()) {
        reading = store::parseDecimal(in.readingText);
        if (!reading || *reading < 0 || *reading > 5)
            return refuse(EntryField::Reading,
                          "測定値は 0 から 5 までの数値(mg/L)で入力してください。");
    }
    if (reading && *reading >= kIntoxicationThreshold && !in.intoxicated)
        return refuse(EntryField::Intoxicated,
                      "測定値が 0.15mg/L 以上です。酒気帯びを「有」にしてください。");
    const std::string instructions = trimmed(in.instructions);
    if (in.intoxicated && instructions.empty())
        return refuse(EntryField::Instructions,
                      "酒気帯びが「有」のときは指示事項(運転中止など)を入力してください。");

    AlcoholCheck c;
    c.when = store::composeDateTime(day, in.hour, in.minute);
    c.timing = in.timing;
    c.driver = in.driver;
    c.vehicle = in.vehicle;
    c.checker = checker;
    c.method = in.method;
    c.methodText = in.method == CheckMethod::Other ? methodText : std::string();
    c.detector = in.detector;
    c.reading = reading;
    c.intoxicated = in.intoxicated;
    c.instructions = instructions;
    c.remarks = trimmed(in.remarks);
    return {c, EntryField::None, {}};
}

}  // namespace quil::alcohol
