#include "web/pages/Requests.h"

#include <sodium.h>

#include <algorithm>

namespace quil::web {

std::string cookie(const http::Request& req, const std::string& name) {
    const std::string header = req.get_header_value("Cookie");
    std::size_t pos = 0;
    while (pos < header.size()) {
        std::size_t end = header.find(';', pos);
        if (end == std::string::npos) end = header.size();
        std::string part = header.substr(pos, end - pos);
        const auto first = part.find_first_not_of(' ');
        part = first == std::string::npos ? std::string() : part.substr(first);
        if (part.size() > name.size() && part.compare(0, name.size(), name) == 0 &&
            part[name.size()] == '=')
            return part.substr(name.size() + 1);
        pos = end + 1;
    }
    return {};
}

FormValues formOf(const http::Request& req) {
    FormValues form;
    for (const auto& [name, value] : req.params) form.emplace(name, value);  // the first kept
    return form;
}

std::string fieldOf(const FormValues& form, const std::string& name) {
    const auto it = form.find(name);
    return it == form.end() ? std::string() : it->second;
}

bool isHex(const std::string& s, std::size_t length) {
    return s.size() == length && std::all_of(s.begin(), s.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
           });
}

bool sameSecret(const std::string& a, const std::string& b) {
    return !a.empty() && a.size() == b.size() && sodium_memcmp(a.data(), b.data(), a.size()) == 0;
}

std::string randomHex(std::size_t bytes) {
    std::string raw(bytes, '\0');
    randombytes_buf(raw.data(), raw.size());
    static constexpr char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : raw) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

}  // namespace quil::web
