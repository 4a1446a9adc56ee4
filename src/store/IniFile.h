#pragma once
// An INI file with the semantics of the Windows profile functions, on a file held in
// CP932: sections and keys match without regard to ASCII case, values are trimmed, the
// first of duplicate sections or keys wins, and there are no escapes (in CP932 the second
// byte of 表 or ソ is a backslash, so a backslash is an ordinary byte).
//
// Nothing is cached: every read opens the file, every write rewrites it at once. Reading
// never fails (a missing or unreadable file gives the default); a write that cannot be
// completed raises StoreError and leaves the file exactly as it was.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quil::store {

class IniFile {
public:
    // One value to write: section, key and value text, all UTF-8.
    struct Entry {
        std::string section;
        std::string key;
        std::string value;
    };

    explicit IniFile(std::string path) : path_(std::move(path)) {}
    const std::string& path() const { return path_; }

    // The trimmed value of the key, or `defaultValue` when the file, section or key is missing.
    std::string readText(std::string_view section, std::string_view key,
                         std::string_view defaultValue) const;
    // The value as an integer (see parseIniInteger), or `defaultValue` when it is missing or
    // not a number.
    int readInteger(std::string_view section, std::string_view key, int defaultValue) const;
    // True when the key is present in the file (even with an empty value).
    bool hasKey(std::string_view section, std::string_view key) const;

    // Rewrites the key's line in place, or adds the key at the end of its section; the
    // section and the file are created when missing. Line breaks in `value` become spaces.
    void writeText(std::string_view section, std::string_view key, std::string_view value);
    void writeInteger(std::string_view section, std::string_view key, int value);
    // Applies the entries in order and replaces the file once, so that either all of them
    // or none of them are in the file.
    void writeAll(const std::vector<Entry>& entries);

private:
    std::string path_;
};

// The integer an INI value stands for: optional blanks, optional sign, then decimal digits
// or a hexadecimal number written "$1F" or "0x1F", within the 32-bit range (hexadecimal up
// to FFFFFFFF, read as the 32-bit pattern). Anything else is not a number.
std::optional<int> parseIniInteger(std::string_view text);

}  // namespace quil::store
