#pragma once
// PostgreSQL's binary COPY format: a header, then per row the field count and each field
// as its length and bytes (integers and doubles in network byte order), then -1. Pushes
// write it; pulls and the long reads of a few columns read it as the server streams it.

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace quil::server {

inline constexpr char kCopyHeader[] = "PGCOPY\n\377\r\n\0\0\0\0\0\0\0\0\0";
inline constexpr std::size_t kCopyHeaderSize = 19;

class CopyRow {
public:
    explicit CopyRow(std::string& out, std::int16_t fields) : out_(out) { be(fields); }
    void int2(std::int16_t v) { field(2), be(v); }
    void int4(std::int32_t v) { field(4), be(v); }
    void int8(std::int64_t v) { field(8), be(v); }
    void float8(double v) {
        std::uint64_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        field(8), be(bits);
    }
    void boolean(bool v) { field(1), out_.push_back(v ? 1 : 0); }
    void bytes(std::string_view v) { field(static_cast<std::int32_t>(v.size())), out_.append(v); }

private:
    void field(std::int32_t size) { be(size); }
    template <typename T>
    void be(T v) {
        auto u = static_cast<std::make_unsigned_t<T>>(v);
        for (int i = int(sizeof(T)) - 1; i >= 0; --i) out_.push_back(char((u >> (8 * i)) & 0xff));
    }
    std::string& out_;
};

// A field's value read as T (an integer or a double) from its bytes in network byte order;
// the caller has checked that there are sizeof(T) of them.
template <typename T>
T copyValue(std::string_view field) {
    std::make_unsigned_t<std::conditional_t<std::is_floating_point_v<T>, std::int64_t, T>> u = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i)
        u = static_cast<decltype(u)>((u << 8) | static_cast<unsigned char>(field[i]));
    T v;
    std::memcpy(&v, &u, sizeof v);
    return v;
}

// Reads a binary COPY as it arrives in chunks, calling `row` with each row's fields (a NULL
// is an empty field), valid during the call only.
class CopyReader {
public:
    using Fields = std::vector<std::string_view>;
    explicit CopyReader(std::function<void(const Fields&)> row) : row_(std::move(row)) {}
    void feed(std::string_view chunk) {
        buf_.append(chunk);
        std::size_t at = 0;
        if (!headerRead_) {
            if (buf_.size() < kCopyHeaderSize) return;
            at = kCopyHeaderSize + std::size_t(u32(kCopyHeaderSize - 4));
            headerRead_ = true;
        }
        while (!done_ && buf_.size() >= at + 2) {
            const auto count = static_cast<std::int16_t>(u16(at));
            if (count == -1) {
                at += 2;
                done_ = true;
                break;
            }
            // The row's fields, read when all of them have arrived.
            std::size_t end = at + 2;
            fields_.clear();
            for (int i = 0; i < count && buf_.size() >= end + 4; ++i) {
                const auto len = static_cast<std::int32_t>(u32(end));
                const std::size_t size = len < 0 ? 0 : std::size_t(len);
                if (buf_.size() < end + 4 + size) break;
                fields_.push_back(std::string_view(buf_).substr(end + 4, size));
                end += 4 + size;
            }
            if (int(fields_.size()) < count) break;
            row_(fields_);
            at = end;
        }
        buf_.erase(0, at);
    }
    bool done() const { return done_; }

private:
    std::uint32_t u32(std::size_t at) const {
        return copyValue<std::uint32_t>(std::string_view(buf_).substr(at, 4));
    }
    std::uint16_t u16(std::size_t at) const {
        return copyValue<std::uint16_t>(std::string_view(buf_).substr(at, 2));
    }
    std::function<void(const Fields&)> row_;
    std::string buf_;
    Fields fields_;
    bool headerRead_ = false;
    bool done_ = false;
};

}  // namespace quil::server
