#pragma once
// Fixed-size record kept as its raw bytes, with little-endian field access. Keeping the
// bytes means an operation that changes one field writes every other byte back unchanged.

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <type_traits>

#include "Codec.h"

namespace quil::store {

template <std::size_t N>
class RecordBytes {
public:
    static constexpr std::size_t Size = N;

    RecordBytes() { bytes_.fill(0); }
    explicit RecordBytes(const std::uint8_t* raw) { std::memcpy(bytes_.data(), raw, N); }

    const std::array<std::uint8_t, N>& bytes() const { return bytes_; }
    std::uint8_t* data() { return bytes_.data(); }
    const std::uint8_t* data() const { return bytes_.data(); }

    friend bool operator==(const RecordBytes& a, const RecordBytes& b) {
        return a.bytes_ == b.bytes_;
    }

protected:
    template <typename T>
    T get(std::size_t off) const {
        static_assert(std::is_trivially_copyable_v<T>);
        T v;
        std::memcpy(&v, bytes_.data() + off, sizeof(T));  // the host is little-endian
        return v;
    }
    template <typename T>
    void set(std::size_t off, T v) {
        std::memcpy(bytes_.data() + off, &v, sizeof(T));
    }

    // Raw bytes of the short string at `off` holding at most `max` bytes. A length byte
    // above `max` (a damaged file) is clamped, so nothing reads past the field.
    std::string_view rawString(std::size_t off, std::size_t max) const {
        std::size_t len = std::min<std::size_t>(bytes_[off], max);
        return {reinterpret_cast<const char*>(bytes_.data() + off + 1), len};
    }
    // Stores raw CP932 bytes cut to `max` at a character boundary; the rest of the
    // field is zeroed.
    void setRawString(std::size_t off, std::size_t max, std::string_view cp932) {
        std::size_t len = cp932CutLength(cp932, max);
        bytes_[off] = static_cast<std::uint8_t>(len);
        std::memcpy(bytes_.data() + off + 1, cp932.data(), len);
        std::memset(bytes_.data() + off + 1 + len, 0, max - len);
    }
    std::string text(std::size_t off, std::size_t max) const {
        return fromCp932(rawString(off, max));
    }
    void setText(std::size_t off, std::size_t max, std::string_view utf8) {
        setRawString(off, max, toCp932(utf8));
    }

private:
    std::array<std::uint8_t, N> bytes_;
};

static_assert(std::endian::native == std::endian::little,
              "record fields are read in host order; a big-endian port must swap bytes");

}  // namespace quil::store
