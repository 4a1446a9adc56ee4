#pragma once
// The pieces the pages are made of: form fields with their refusals, a record's lines,
// links, and the figures and dates as a page shows them. Every text goes through h().

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "server/WebRecords.h"
#include "store/Date.h"
#include "web/WebForms.h"

namespace quil::web {

using Options = std::vector<std::pair<std::string, std::string>>;  // value, label

inline constexpr const char* kAlreadyRecorded =
    "このフォームはすでに記録されています。記録されている内容は次のとおりです"
    " (直すときは事務所に届けてください)。";

std::string h(std::string_view text);

// The refusal of field `name`, when there is one.
std::string errorLine(const FormErrors& errors, const std::string& name);
// The form's CSRF token and, when given, its save key.
std::string hiddenFields(const std::string& csrf, const std::string& key);
std::string textField(const std::string& label, const std::string& name, const FormValues& v,
                      const FormErrors& e, const std::string& type = "text",
                      const std::string& extra = {});
std::string radioField(const std::string& legend, const std::string& name, const Options& options,
                       const FormValues& v, const FormErrors& e);
std::string selectField(const std::string& label, const std::string& name, const Options& options,
                        const FormValues& v, const FormErrors& e);
// A pick list's options, after `first` (the empty value) when it is given.
Options choices(const std::vector<server::WebChoice>& list, const std::string& first);
// The name of `id` in `list`, or `otherwise`.
std::string nameOf(const std::vector<server::WebChoice>& list, std::int64_t id,
                   const std::string& otherwise);

std::string backLink();
// The start of a record form titled `title`: its heading, the driver's name and the
// refusal of the form as a whole.
std::string formHead(const std::string& title, const std::string& driverName, const FormErrors& e);
// The end of a record form: its button, then the link to the menu.
std::string formEnd();
// A stored record's page titled `title`: `notice` when one is given, the record's `lines`
// (item()), then the links to its list and to the menu.
std::string recordPage(const std::string& title, const std::string& notice,
                       const std::string& lines);
// One line of a stored record's page.
std::string item(const std::string& term, const std::string& value);

// `v` with at most `decimals` decimals, without trailing zeros.
std::string number(double v, int decimals);
// An odometer reading or a distance in km: the readings are kept to two decimals, so a
// distance is the difference of the readings as shown, never a third rounding of its own.
double km(double reading);
std::string kmText(double value);
std::string dateText(store::DateTime d);
// A date field's value ("2026-12-09") and the time now ("08:05") in the company's time zone.
std::string isoDate(store::DateTime d);
std::string nowTime();

}  // namespace quil::web
