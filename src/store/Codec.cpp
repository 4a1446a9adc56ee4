#include "Codec.h"

#include <iconv.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <stdexcept>

namespace quil::store {
namespace {

// One converter per direction and thread; iconv_open is far too slow to call per string.
class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {
        if (cd_ == reinterpret_cast<iconv_t>(-1))
            throw std::runtime_error(std::string("文字コード変換を準備できません: ") + from +
                                     " → " + to);
    }
    ~Converter() { iconv_close(cd_); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts `in`; on an unconvertible input sequence calls `bad(in, out)`, which must
    // consume at least one input byte and may append a replacement.
    template <typename OnBad>
    std::string run(std::string_view in, OnBad bad) {
        std::string out;
        out.reserve(in.size() * 2 + 8);
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        char* src = const_cast<char*>(in.data());
        std::size_t left = in.size();
        char buf[512];
        while (left > 0) {
            char* dst = buf;
            std::size_t room = sizeof buf;
            std::size_t r = iconv(cd_, &src, &left, &dst, &room);
            out.append(buf, static_cast<std::size_t>(dst - buf));
            if (r == static_cast<std::size_t>(-1)) {
                if (errno == E2BIG) continue;
                // EILSEQ or EINVAL (incomplete sequence at the end): skip and replace.
                std::string_view rest(src, left);
                std::size_t used = bad(rest, out);
                src += used;
                left -= used;
                iconv(cd_, nullptr, nullptr, nullptr, nullptr);
            }
        }
        return out;
    }

private:
    iconv_t cd_;
};

Converter& decoder() {
    thread_local Converter c("UTF-8", "CP932");
    return c;
}

Converter& encoder() {
    thread_local Converter c("CP932", "UTF-8");
    return c;
}

std::size_t utf8SequenceLength(unsigned char b) {
    if (b < 0x80) return 1;
    if ((b & 0xE0) == 0xC0) return 2;
    if ((b & 0xF0) == 0xE0) return 3;
    if ((b & 0xF8) == 0xF0) return 4;
    return 1;
}

}  // namespace

std::string fromCp932(std::string_view cp932) {
    // Plain ASCII needs no conversion; most settings values are digits.
    bool ascii = true;
    for (unsigned char c : cp932) ascii = ascii && c < 0x80;
    if (ascii) return std::string(cp932);
    return decoder().run(cp932, [](std::string_view rest, std::string& out) {
        out += "\xEF\xBF\xBD";  // U+FFFD
        // A lead byte with a byte of the trail range is one unknown character of two bytes;
        // a lone lead byte (a character cut in half) is one byte.
        auto lead = static_cast<unsigned char>(rest[0]);
        if (isCp932LeadByte(lead) && rest.size() >= 2) {
            auto trail = static_cast<unsigned char>(rest[1]);
            if ((trail >= 0x40 && trail <= 0x7E) || (trail >= 0x80 && trail <= 0xFC))
                return std::size_t{2};
        }
        return std::size_t{1};
    });
}

std::string toCp932(std::string_view utf8) {
    bool ascii = true;
    for (unsigned char c : utf8) ascii = ascii && c < 0x80;
    if (ascii) return std::string(utf8);
    return encoder().run(utf8, [](std::string_view rest, std::string& out) {
        out += '?';
        std::size_t n = utf8SequenceLength(static_cast<unsigned char>(rest[0]));
        return n <= rest.size() ? n : rest.size();
    });
}

std::optional<std::string> toCp932Exact(std::string_view utf8) {
    bool exact = true;
    std::string out = encoder().run(utf8, [&exact](std::string_view rest, std::string&) {
        exact = false;
        return rest.size();
    });
    if (!exact) return std::nullopt;
    return out;
}

std::size_t cp932CutLength(std::string_view cp932, std::size_t limit) {
    std::size_t i = 0;
    while (i < cp932.size()) {
        std::size_t n = isCp932LeadByte(static_cast<unsigned char>(cp932[i])) ? 2 : 1;
        if (i + n > limit || i + n > cp932.size()) break;
        i += n;
    }
    return i;
}

std::string toCp932Cut(std::string_view utf8, std::size_t limit) {
    std::string s = toCp932(utf8);
    s.resize(cp932CutLength(s, limit));
    return s;
}

namespace {

// Per byte: 0 a character by itself, 1 the first of two, 2 never a first byte.
constexpr std::array<std::uint8_t, 256> kFirstByte = [] {
    std::array<std::uint8_t, 256> t{};
    for (int b = 0; b < 256; ++b)
        t[std::size_t(b)] = b < 0x80 || (b >= 0xA1 && b <= 0xDF)             ? 0
                            : isCp932LeadByte(static_cast<unsigned char>(b)) ? 1
                                                                             : 2;
    return t;
}();
constexpr std::array<bool, 256> kSecondByte = [] {
    std::array<bool, 256> t{};
    for (int b = 0x40; b <= 0xFC; ++b) t[std::size_t(b)] = b != 0x7F;
    return t;
}();

}  // namespace

bool isWholeCp932(std::string_view cp932) {
    bool below = false;
    return isWholeCp932(cp932, 0, below);
}

bool isWholeCp932(std::string_view cp932, unsigned char limit, bool& below) {
    const auto* p = reinterpret_cast<const unsigned char*>(cp932.data());
    const auto* end = p + cp932.size();
    bool low = false;
    while (p < end) {
        const std::uint8_t kind = kFirstByte[*p];
        if (kind == 0) {
            low |= *p < limit;
            ++p;
            continue;
        }
        if (kind == 2 || end - p < 2 || !kSecondByte[p[1]]) return false;
        p += 2;
    }
    below = low;
    return true;
}

std::size_t cp932Length(std::string_view utf8) { return toCp932(utf8).size(); }

}  // namespace quil::store
