#include "web/pages/PageParts.h"

#include <cmath>
#include <cstdio>

#include "web/Html.h"
#include "web/pages/Requests.h"

namespace quil::web {

std::string h(std::string_view text) { return escapeHtml(text); }

std::string errorLine(const FormErrors& errors, const std::string& name) {
    const auto it = errors.find(name);
    if (it == errors.end()) return {};
    return "<p class=\"error\" id=\"error-" + name + "\">" + h(it->second) + "</p>\n";
}

std::string hiddenFields(const std::string& csrf, const std::string& key) {
    std::string out = "<input type=\"hidden\" name=\"csrf\" value=\"" + h(csrf) + "\">\n";
    if (!key.empty()) out += "<input type=\"hidden\" name=\"key\" value=\"" + h(key) + "\">\n";
    return out;
}

std::string textField(const std::string& label, const std::string& name, const FormValues& v,
                      const FormErrors& e, const std::string& type, const std::string& extra) {
    return "<label for=\"" + name + "\">" + h(label) + "</label>\n" + errorLine(e, name) +
           "<input type=\"" + type + "\" id=\"" + name + "\" name=\"" + name + "\" value=\"" +
           h(fieldOf(v, name)) + "\"" + extra + ">\n";
}

std::string radioField(const std::string& legend, const std::string& name, const Options& options,
                       const FormValues& v, const FormErrors& e) {
    std::string out = "<fieldset>\n<legend>" + h(legend) + "</legend>\n" + errorLine(e, name);
    const std::string chosen = fieldOf(v, name);
    for (const auto& [value, label] : options)
        out += "<label><input type=\"radio\" name=\"" + name + "\" value=\"" + value + "\"" +
               (chosen == value ? " checked" : "") + ">" + h(label) + "</label>\n";
    return out + "</fieldset>\n";
}

std::string selectField(const std::string& label, const std::string& name, const Options& options,
                        const FormValues& v, const FormErrors& e) {
    std::string out = "<label for=\"" + name + "\">" + h(label) + "</label>\n" +
                      errorLine(e, name) + "<select id=\"" + name + "\" name=\"" + name + "\">\n";
    const std::string chosen = fieldOf(v, name);
    for (const auto& [value, text] : options)
        out += "<option value=\"" + h(value) + "\"" + (chosen == value ? " selected" : "") + ">" +
               h(text) + "</option>\n";
    return out + "</select>\n";
}

Options choices(const std::vector<server::WebChoice>& list, const std::string& first) {
    Options out;
    if (!first.empty()) out.emplace_back("", first);
    for (const auto& c : list) out.emplace_back(std::to_string(c.id), c.name);
    return out;
}

std::string nameOf(const std::vector<server::WebChoice>& list, std::int64_t id,
                   const std::string& otherwise) {
    for (const auto& c : list)
        if (c.id == id) return c.name;
    return otherwise;
}

std::string backLink() { return "<p class=\"back\"><a href=\"/\">メニューに戻る</a></p>\n"; }

std::string formHead(const std::string& title, const std::string& driverName, const FormErrors& e) {
    return "<h1>" + h(title) + "</h1>\n<p>運転者: " + h(driverName) + "</p>\n" +
           errorLine(e, "form");
}

std::string formEnd() {
    return "<button type=\"submit\" id=\"submit\">記録する</button>\n</form>\n" + backLink();
}

std::string recordPage(const std::string& title, const std::string& notice,
                       const std::string& lines) {
    std::string body = "<h1>" + h(title) + "</h1>\n";
    if (!notice.empty()) body += "<p class=\"notice\" id=\"notice\">" + h(notice) + "</p>\n";
    body += "<dl id=\"record\">\n" + lines + "</dl>\n";
    body += "<p class=\"back\"><a href=\"/records\">記録の一覧に戻る</a></p>\n" + backLink();
    return page(title, body);
}

std::string item(const std::string& term, const std::string& value) {
    return "<dt>" + h(term) + "</dt><dd>" + h(value) + "</dd>\n";
}

std::string number(double v, int decimals) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    std::string s = buf;
    if (s.find('.') != std::string::npos) {
        s.erase(s.find_last_not_of('0') + 1);
        if (s.back() == '.') s.pop_back();
    }
    return s;
}

double km(double reading) { return std::round(reading * 100) / 100; }
std::string kmText(double value) { return number(km(value), 2) + " km"; }

std::string dateText(store::DateTime d) { return store::formatDate(d); }

std::string isoDate(store::DateTime d) {
    const store::CivilDate c = store::decodeDate(d);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d-%02u-%02u", c.year, c.month, c.day);
    return buf;
}

std::string nowTime() {
    unsigned hour = 0, minute = 0;
    store::decodeTime(store::now(), hour, minute);
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02u:%02u", hour % 24, minute % 60);
    return buf;
}

}  // namespace quil::web
