// The settings file writer and reader: over any existing file, a value written under a
// key reads back as written, and every other key that read a value before still reads it.
#include <cstdint>

#include "FuzzSupport.h"
#include "store/IniFile.h"

using namespace quil::store;
using namespace quil::fuzz;

namespace {

// What a written value reads back as: one line, trimmed, without enclosing quotes.
bool readsBackAsWritten(const std::string& v) {
    if (v.empty()) return true;
    for (char c : v)
        if (c == '\r' || c == '\n' || c == '\0' || static_cast<unsigned char>(c) >= 0x80)
            return false;  // line breaks and non-ASCII bytes are outside this check
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; };
    if (blank(v.front()) || blank(v.back())) return false;
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::size_t valueLength = std::min<std::size_t>(size - 1, data[0] % 32);
    const std::string value(reinterpret_cast<const char*>(data + 1), valueLength);
    const std::string file(reinterpret_cast<const char*>(data + 1 + valueLength),
                           size - 1 - valueLength);
    const std::string dir = freshFolder("ini");
    writeBytes(dir + "Quil.ini", file);
    IniFile ini(dir + "Quil.ini");

    static const char* const sections[] = {"Location", "Dir", "Item", "ViewItem", "TabWidth"};
    static const char* const keys[] = {"Top", "Width", "Dir", "Time", "Time5", "Car", "03"};
    std::vector<std::pair<std::pair<const char*, const char*>, std::string>> before;
    for (const char* s : sections)
        for (const char* k : keys)
            if (ini.hasKey(s, k)) before.push_back({{s, k}, ini.readText(s, k, "")});

    const char* section = sections[data[0] % 5];
    const char* key = keys[(data[0] / 5) % 7];
    try {
        ini.writeText(section, key, value);
    } catch (const StoreError&) {
        QUIL_FUZZ_CHECK(readBytes(dir + "Quil.ini") == file, "a refused write changes nothing");
        return 0;
    }
    if (readsBackAsWritten(value))
        QUIL_FUZZ_CHECK(ini.readText(section, key, "<none>") == value, "round trip");
    for (const auto& [where, text] : before) {
        if (std::string(where.first) == section && std::string(where.second) == key) continue;
        QUIL_FUZZ_CHECK(ini.readText(where.first, where.second, "<none>") == text,
                        "other keys keep their values");
    }
    return 0;
}
