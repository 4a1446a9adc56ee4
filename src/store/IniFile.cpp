#include "IniFile.h"

#include <cstdint>
#include <exception>
#include <limits>

#include "Codec.h"
#include "FileSystem.h"
#include "StoreError.h"

namespace quil::store {
namespace {

// A settings file this large is not one the program wrote; reading it gives the defaults
// and writing to it is refused rather than risking memory for nothing.
constexpr std::uint64_t kMaxFileSize = 64u * 1024u * 1024u;

constexpr std::string_view kNewLine = "\r\n";

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view trim(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    return s;
}

char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Case-insensitive for ASCII letters only; the two bytes of a CP932 character compare
// exactly, so a second byte that happens to be a letter is not folded.
bool equalNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (isCp932LeadByte(static_cast<unsigned char>(a[i])) && i + 1 < a.size()) {
            if (a[i] != b[i] || a[i + 1] != b[i + 1]) return false;
            ++i;
            continue;
        }
        if (asciiLower(a[i]) != asciiLower(b[i])) return false;
    }
    return true;
}

// Position of the first `c` that is a character of its own, not the second byte of a
// two-byte CP932 character.
std::size_t findChar(std::string_view s, char c) {
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == c) return i;
        if (isCp932LeadByte(static_cast<unsigned char>(s[i]))) ++i;
    }
    return std::string_view::npos;
}

struct Line {
    std::size_t begin = 0;  // first byte
    std::size_t end = 0;    // one past the last byte before the line break
    std::size_t next = 0;   // first byte of the following line (end when there is no break)
};

// Lines end at LF; a CR right before the LF belongs to the line break.
std::vector<Line> splitLines(std::string_view s) {
    std::vector<Line> lines;
    std::size_t pos = 0;
    while (pos < s.size()) {
        std::size_t lf = s.find('\n', pos);
        Line line;
        line.begin = pos;
        if (lf == std::string_view::npos) {
            line.end = line.next = s.size();
        } else {
            line.end = (lf > pos && s[lf - 1] == '\r') ? lf - 1 : lf;
            line.next = lf + 1;
        }
        lines.push_back(line);
        pos = line.next;
    }
    return lines;
}

std::string_view textOf(std::string_view s, const Line& line) {
    return s.substr(line.begin, line.end - line.begin);
}

// The name of a section header line ("[name]"), or nothing for any other line.
std::optional<std::string_view> sectionName(std::string_view line) {
    line = trim(line);
    if (line.empty() || line.front() != '[') return std::nullopt;
    line.remove_prefix(1);
    std::size_t close = findChar(line, ']');
    if (close != std::string_view::npos) line = line.substr(0, close);
    return trim(line);
}

// Where a key is, or would go, in the text of a file.
struct Location {
    std::optional<std::size_t> section;  // header line of the first matching section
    std::optional<std::size_t> key;      // first matching key line inside it
    std::size_t lastContent = 0;         // last non-blank line of the section
    std::size_t keyEnd = 0;              // offset just past the key's name on the key line
    std::size_t valueBegin = 0;          // offset of the value's text on the key line
};

Location locate(std::string_view text, const std::vector<Line>& lines, std::string_view section,
                std::string_view key) {
    Location loc;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string_view line = textOf(text, lines[i]);
        if (auto name = sectionName(line)) {
            if (loc.section) break;  // the first section of that name ends here
            if (equalNoCase(*name, section)) loc.section = loc.lastContent = i;
            continue;
        }
        if (!loc.section) continue;
        if (trim(line).empty()) continue;
        loc.lastContent = i;
        std::size_t eq = line.find('=');
        if (eq == std::string_view::npos) continue;
        std::string_view name = line.substr(0, eq);
        if (!equalNoCase(trim(name), key)) continue;
        std::size_t nameEnd = eq;
        while (nameEnd > 0 && isBlank(line[nameEnd - 1])) --nameEnd;
        loc.key = i;
        loc.keyEnd = lines[i].begin + nameEnd;
        loc.valueBegin = lines[i].begin + eq + 1;
        break;
    }
    return loc;
}

// The file's bytes; nothing when it is missing. Throws StoreError when it exists but
// cannot be read.
std::optional<std::string> loadFile(const std::string& path) {
    FileSystem& fs = FileSystem::current();
    if (!fs.exists(path)) return std::nullopt;
    auto file = fs.open(path, OpenMode::Read);
    std::uint64_t size = file->size();
    if (size > kMaxFileSize) throw StoreError(fileNameOf(path), "ファイルが大きすぎます。");
    std::string bytes(static_cast<std::size_t>(size), '\0');
    bytes.resize(file->readAt(0, bytes.data(), bytes.size()));
    return bytes;
}

// For reading: any failure counts as a missing file, so the caller gets its defaults.
std::string loadForReading(const std::string& path) {
    try {
        return loadFile(path).value_or(std::string());
    } catch (const std::exception&) {
        return {};
    }
}

// Replaces the file by `bytes` in one step: a temporary file beside it is written and
// synced, then renamed over it. On failure the temporary file is removed and the original
// is untouched.
void replaceFile(const std::string& path, std::string_view bytes) {
    FileSystem& fs = FileSystem::current();
    const std::string temp = path + ".tmp";
    try {
        writeNewFile(fs, temp, bytes);
        fs.rename(temp, path);
        try {
            fs.syncFolder(folderOf(path));
        } catch (const StoreError&) {
            // The new file is in place; only its durability across a crash is unsure.
        }
    } catch (const StoreError& e) {
        try {
            fs.remove(temp);
        } catch (const StoreError&) {
            // The original file is intact; a leftover temporary file is harmless.
        }
        throw StoreError(fileNameOf(path), e.reason());
    }
}

std::string singleLine(std::string_view value) {
    std::string out(value);
    for (char& c : out)
        if (c == '\r' || c == '\n') c = ' ';
    return out;
}

// Sets key = value in `text` (all CP932).
void apply(std::string& text, std::string_view section, std::string_view key,
           std::string_view value) {
    const std::vector<Line> lines = splitLines(text);
    const Location loc = locate(text, lines, section, key);
    std::string keyLine = std::string(key) + "=" + std::string(value);

    if (loc.key) {
        // Keep the line's own spelling of the key, its indentation and its line break.
        const Line& line = lines[*loc.key];
        text.replace(loc.keyEnd, line.end - loc.keyEnd, "=" + std::string(value));
        return;
    }
    if (loc.section) {
        const Line& last = lines[loc.lastContent];
        if (last.next == last.end)  // last line of the file, without a line break
            text.insert(last.end, std::string(kNewLine) + keyLine + std::string(kNewLine));
        else
            text.insert(last.next, keyLine + std::string(kNewLine));
        return;
    }
    if (!lines.empty()) {
        if (lines.back().next == lines.back().end) text += kNewLine;
        if (!trim(textOf(text, lines.back())).empty()) text += kNewLine;
    }
    text +=
        "[" + std::string(section) + "]" + std::string(kNewLine) + keyLine + std::string(kNewLine);
}

// A value enclosed in a pair of double or single quotes stands for the text inside them.
std::string_view unquote(std::string_view v) {
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        return v.substr(1, v.size() - 2);
    return v;
}

std::string lookup(const std::string& path, std::string_view section, std::string_view key,
                   bool& found) {
    const std::string text = loadForReading(path);
    const std::string sectionBytes = toCp932(section);
    const std::string keyBytes = toCp932(key);
    const std::vector<Line> lines = splitLines(text);
    const Location loc = locate(text, lines, sectionBytes, keyBytes);
    found = loc.key.has_value();
    if (!found) return {};
    const Line& line = lines[*loc.key];
    return fromCp932(
        unquote(trim(std::string_view(text).substr(loc.valueBegin, line.end - loc.valueBegin))));
}

}  // namespace

std::string IniFile::readText(std::string_view section, std::string_view key,
                              std::string_view defaultValue) const {
    bool found = false;
    std::string value = lookup(path_, section, key, found);
    return found ? value : std::string(defaultValue);
}

int IniFile::readInteger(std::string_view section, std::string_view key, int defaultValue) const {
    bool found = false;
    std::string value = lookup(path_, section, key, found);
    if (!found) return defaultValue;
    return parseIniInteger(value).value_or(defaultValue);
}

bool IniFile::hasKey(std::string_view section, std::string_view key) const {
    bool found = false;
    lookup(path_, section, key, found);
    return found;
}

void IniFile::writeText(std::string_view section, std::string_view key, std::string_view value) {
    writeAll({Entry{std::string(section), std::string(key), std::string(value)}});
}

void IniFile::writeInteger(std::string_view section, std::string_view key, int value) {
    writeText(section, key, std::to_string(value));
}

void IniFile::writeAll(const std::vector<Entry>& entries) {
    std::optional<std::string> old = loadFile(path_);
    std::string text = old.value_or(std::string());
    for (const Entry& e : entries)
        apply(text, toCp932(e.section), toCp932(e.key), toCp932(singleLine(e.value)));
    if (old && *old == text) return;  // nothing changes; leave the file alone
    // A read-only settings file stays so: replacing it would make a new, writable one.
    if (old && FileSystem::current().isReadOnly(path_))
        throw StoreError(fileNameOf(path_), "書き込み禁止のファイルです。");
    replaceFile(path_, text);
}

std::optional<int> parseIniInteger(std::string_view text) {
    text = trim(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    unsigned base = 10;
    if (!text.empty() && text.front() == '$') {
        base = 16;
        text.remove_prefix(1);
    } else if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) return std::nullopt;

    const std::uint64_t limit = base == 16 ? 0xFFFFFFFFu : (negative ? 2147483648u : 2147483647u);
    std::uint64_t v = 0;
    for (char c : text) {
        unsigned digit = 0;
        if (c >= '0' && c <= '9')
            digit = static_cast<unsigned>(c - '0');
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = static_cast<unsigned>(c - 'a' + 10);
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = static_cast<unsigned>(c - 'A' + 10);
        else
            return std::nullopt;
        v = v * base + digit;
        if (v > limit) return std::nullopt;
    }
    // Two's complement arithmetic on the 32-bit pattern: "-2147483648" and "$FFFFFFFF" both fit.
    std::uint32_t bits = static_cast<std::uint32_t>(v);
    if (negative) bits = ~bits + 1u;
    return static_cast<std::int32_t>(bits);
}

}  // namespace quil::store
