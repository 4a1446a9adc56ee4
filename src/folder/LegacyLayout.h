#pragma once
// Field access over the fixed-size records of a legacy (ミルテ台帳) data set: little-endian
// numbers, 4-byte floats and short strings (a length byte, then Shift-JIS text), read
// without trusting a length byte.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "store/Codec.h"

namespace quil::folder::legacy {

class LegacyBytes {
public:
    LegacyBytes(const char* data, std::size_t size) : p_(data), n_(size) {}

    std::int32_t i32(std::size_t off) const { return get<std::int32_t>(off); }
    std::int16_t i16(std::size_t off) const { return get<std::int16_t>(off); }
    float f32(std::size_t off) const { return get<float>(off); }
    std::uint8_t byte(std::size_t off) const { return static_cast<std::uint8_t>(p_[off]); }
    // The short string at `off` holding at most `max` bytes; a larger length byte is
    // clamped, so nothing is read past the field.
    std::string_view str(std::size_t off, std::size_t max) const {
        const std::size_t len = std::min<std::size_t>(byte(off), max);
        return {p_ + off + 1, len};
    }

private:
    template <typename T>
    T get(std::size_t off) const {
        T v;
        std::memcpy(&v, p_ + off, sizeof(T));
        return v;
    }
    const char* p_;
    std::size_t n_;
};

// Stores raw CP932 bytes as a short string of at most `max` at `off` of a record's bytes,
// cut at a character boundary; the rest of the field is zeroed.
inline void putShortString(std::uint8_t* record, std::size_t off, std::size_t max,
                           std::string_view cp932) {
    const std::size_t len = store::cp932CutLength(cp932, max);
    record[off] = static_cast<std::uint8_t>(len);
    std::memcpy(record + off + 1, cp932.data(), len);
    std::memset(record + off + 1 + len, 0, max - len);
}

// `s` cut to at most `limit` bytes at a character boundary.
inline std::string cutCp932(std::string_view s, std::size_t limit) {
    return std::string(s.substr(0, store::cp932CutLength(s, limit)));
}

// Consumption tax included in a legacy maintenance amount, by the rate of the day:
// 0 % before 1988-04-01, 3 % up to 1997-03-31, 5 % after; rounded with halves to even.
std::int32_t includedTax(std::int32_t amount, int year, int month, int day);

}  // namespace quil::folder::legacy
