#include "CsvReader.h"

#include "Codec.h"

namespace quil::store {
namespace {

bool validUtf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t more = 0;
        if (c < 0x80)
            more = 0;
        else if (c >= 0xC2 && c <= 0xDF)
            more = 1;
        else if ((c & 0xF0) == 0xE0)
            more = 2;
        else if (c >= 0xF0 && c <= 0xF4)
            more = 3;
        else
            return false;
        if (i + more >= s.size()) return false;
        for (std::size_t k = 1; k <= more; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        i += more + 1;
    }
    return true;
}

}  // namespace

std::string CsvReader::decode(std::string_view bytes, std::optional<TextEncoding> encoding) {
    constexpr std::string_view kBom = "\xEF\xBB\xBF";
    if (bytes.substr(0, 3) == kBom) return std::string(bytes.substr(3));
    if (!encoding) encoding = validUtf8(bytes) ? TextEncoding::Utf8 : TextEncoding::Cp932;
    return *encoding == TextEncoding::Utf8 ? std::string(bytes) : fromCp932(bytes);
}

std::vector<CsvRow> CsvReader::parse(std::string_view text, std::optional<CsvParseError>& error) {
    std::vector<CsvRow> rows;
    error.reset();
    std::size_t line = 1;
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n) {
        // A blank line (also the end of a last line) holds no row.
        if (text[i] == '\n' || (text[i] == '\r' && i + 1 < n && text[i + 1] == '\n')) {
            i += text[i] == '\r' ? 2 : 1;
            ++line;
            continue;
        }
        CsvRow row;
        row.line = line;
        for (;;) {
            std::string field;
            if (i < n && text[i] == '"') {
                const std::size_t startLine = line;
                ++i;
                for (;;) {
                    if (i >= n) {
                        error = CsvParseError{startLine, "引用符が閉じられていません。"};
                        return rows;
                    }
                    const char c = text[i++];
                    if (c == '"') {
                        if (i < n && text[i] == '"') {
                            field += '"';
                            ++i;
                            continue;
                        }
                        break;
                    }
                    if (c == '\n') ++line;
                    field += c;
                }
                if (i < n && text[i] != ',' && text[i] != '\n' && text[i] != '\r') {
                    error = CsvParseError{line, "引用符の後に余分な文字があります。"};
                    return rows;
                }
            } else {
                while (i < n && text[i] != ',' && text[i] != '\n' &&
                       !(text[i] == '\r' && (i + 1 >= n || text[i + 1] == '\n')))
                    field += text[i++];
            }
            row.fields.push_back(std::move(field));
            if (i < n && text[i] == ',') {
                ++i;
                continue;
            }
            break;
        }
        if (i < n && text[i] == '\r') ++i;
        if (i < n && text[i] == '\n') {
            ++i;
            ++line;
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

}  // namespace quil::store
