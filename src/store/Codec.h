#pragma once
// Conversion between UTF-8 (used everywhere in memory) and Windows code page 932
// (Shift-JIS as Windows writes it), the encoding of every data and settings file.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace quil::store {

// The encodings text leaves the program in (CSV files): CP932 as the data files, or UTF-8.
enum class TextEncoding { Cp932, Utf8 };

// CP932 bytes to UTF-8. Bytes that do not form a character (a lone lead byte, a
// half character cut off by an older program) become U+FFFD; nothing is dropped silently.
std::string fromCp932(std::string_view cp932);

// UTF-8 to CP932 bytes. Characters CP932 cannot hold become '?', as Windows does.
std::string toCp932(std::string_view utf8);

// UTF-8 to CP932 bytes, or nullopt when the text is not valid UTF-8 or holds a character
// CP932 cannot hold: for input that must be stored exactly as given.
std::optional<std::string> toCp932Exact(std::string_view utf8);

// True for a byte that starts a two-byte CP932 character.
constexpr bool isCp932LeadByte(unsigned char b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// Length of the longest prefix of `cp932` that is at most `limit` bytes and does not
// end inside a two-byte character.
std::size_t cp932CutLength(std::string_view cp932, std::size_t limit);

// The CP932 form of `utf8`, cut to at most `limit` bytes at a character boundary.
std::string toCp932Cut(std::string_view utf8, std::size_t limit);

// True when every byte of `cp932` belongs to a whole, valid CP932 character (no lone
// lead byte, no byte outside the code page), so the bytes can be copied as they are.
bool isWholeCp932(std::string_view cp932);
// The same test, setting `below` (when whole) to whether a one-byte character lies below
// `limit`: one pass for a text that is copied when whole and searched for a few ASCII
// characters (a CSV field's commas, quotes and line breaks, all below '-').
bool isWholeCp932(std::string_view cp932, unsigned char limit, bool& below);

// Number of CP932 bytes `utf8` takes (edit limits count bytes, not characters).
std::size_t cp932Length(std::string_view utf8);

}  // namespace quil::store
