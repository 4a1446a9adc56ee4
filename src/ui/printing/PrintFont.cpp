#include "ui/printing/PrintFont.h"

#include <QFontDatabase>
#include <QHash>
#include <QRawFont>
#include <QtEndian>
#include <algorithm>
#include <cstdint>
#include <map>
#include <set>
#include <vector>

#include "store/Codec.h"

namespace quil::ui {

namespace {

quint16 u16(const QByteArray& b, qsizetype at) {
    return at + 2 <= b.size() ? qFromBigEndian<quint16>(b.constData() + at) : 0;
}
quint32 u32(const QByteArray& b, qsizetype at) {
    return at + 4 <= b.size() ? qFromBigEndian<quint32>(b.constData() + at) : 0;
}
void put16(QByteArray& b, quint16 v) {
    b.append(char(v >> 8));
    b.append(char(v));
}
void put32(QByteArray& b, quint32 v) {
    put16(b, quint16(v >> 16));
    put16(b, quint16(v));
}

using CodeMap = std::map<char32_t, quint16>;  // code point → glyph

void readFormat12(const QByteArray& t, qsizetype at, CodeMap& map) {
    const quint32 groups = u32(t, at + 12);
    for (quint32 g = 0; g < groups; ++g) {
        const qsizetype e = at + 16 + qsizetype(g) * 12;
        if (e + 12 > t.size()) return;
        const quint32 first = u32(t, e), last = std::min<quint32>(u32(t, e + 4), 0x10FFFF);
        const quint32 glyph = u32(t, e + 8);
        for (quint32 c = first; c <= last && glyph + (c - first) <= 0xFFFF; ++c)
            if (glyph + (c - first) != 0) map[char32_t(c)] = quint16(glyph + (c - first));
    }
}

void readFormat4(const QByteArray& t, qsizetype at, CodeMap& map) {
    const int segments = u16(t, at + 6) / 2;
    const qsizetype ends = at + 14, starts = ends + 2 * segments + 2;
    const qsizetype deltas = starts + 2 * segments, offsets = deltas + 2 * segments;
    for (int s = 0; s < segments; ++s) {
        const quint16 first = u16(t, starts + 2 * s), last = u16(t, ends + 2 * s);
        const quint16 delta = u16(t, deltas + 2 * s), offset = u16(t, offsets + 2 * s);
        for (quint32 c = first; c <= last && c != 0xFFFF; ++c) {
            quint16 glyph = 0;
            if (offset == 0) {
                glyph = quint16(c + delta);
            } else {
                const quint16 g = u16(t, offsets + 2 * s + offset + 2 * (c - first));
                glyph = g == 0 ? 0 : quint16(g + delta);
            }
            if (glyph != 0) map[char32_t(c)] = glyph;
        }
    }
}

// The font's Unicode map: the full one (format 12) when there is one, else the BMP one.
CodeMap readCmap(const QByteArray& t) {
    CodeMap map;
    qsizetype full = -1, bmp = -1;
    const int count = u16(t, 2);
    for (int i = 0; i < count; ++i) {
        const quint16 platform = u16(t, 4 + 8 * i), encoding = u16(t, 6 + 8 * i);
        const qsizetype at = u32(t, 8 + 8 * i);
        const quint16 format = u16(t, at);
        const bool unicode = platform == 0 || (platform == 3 && (encoding == 1 || encoding == 10));
        if (!unicode) continue;
        if (format == 12) full = at;
        if (format == 4) bmp = at;
    }
    if (full >= 0)
        readFormat12(t, full, map);
    else if (bmp >= 0)
        readFormat4(t, bmp, map);
    return map;
}

// Every code point that CP932 text decodes to: the characters the program stores.
const std::set<char32_t>& cp932CodePoints() {
    static const std::set<char32_t> points = [] {
        std::set<char32_t> out;
        auto add = [&](const std::string& cp932) {
            const QString s = QString::fromStdString(store::fromCp932(cp932));
            const auto ucs = s.toUcs4();
            if (ucs.size() == 1 && ucs[0] != 0xFFFD) out.insert(char32_t(ucs[0]));
        };
        for (int b = 0x20; b <= 0xDF; ++b)
            if (b < 0x7F || b >= 0xA1) add(std::string(1, char(b)));
        for (int lead = 0x81; lead <= 0xFC; ++lead) {
            if (!store::isCp932LeadByte(static_cast<unsigned char>(lead))) continue;
            for (int trail = 0x40; trail <= 0xFC; ++trail)
                if (trail != 0x7F) add(std::string{char(lead), char(trail)});
        }
        return out;
    }();
    return points;
}

// Keeps one code point per glyph: the lowest of those CP932 text holds, else the lowest.
CodeMap keepOnePerGlyph(const CodeMap& map) {
    const auto& preferred = cp932CodePoints();
    std::map<quint16, char32_t> kept;  // glyph → code point
    for (const auto& [c, glyph] : map) {
        const auto it = kept.find(glyph);
        if (it == kept.end()) {
            kept.emplace(glyph, c);
        } else if (!preferred.count(it->second) && preferred.count(c)) {
            it->second = c;  // map is in code point order: the first of each kind is lowest
        }
    }
    CodeMap out;
    for (const auto& [glyph, c] : kept) out.emplace(c, glyph);
    return out;
}

// A 'cmap' of one Unicode subtable in format 12.
QByteArray writeCmap(const CodeMap& map) {
    std::vector<std::array<quint32, 3>> groups;
    for (const auto& [c, glyph] : map) {
        if (!groups.empty() && groups.back()[1] + 1 == c &&
            groups.back()[2] + (groups.back()[1] - groups.back()[0]) + 1 == glyph) {
            groups.back()[1] = c;
        } else {
            groups.push_back({quint32(c), quint32(c), quint32(glyph)});
        }
    }
    QByteArray t;
    put16(t, 0);  // version
    // One subtable, listed as Unicode (full repertoire) and as Windows (UCS-4): FreeType
    // makes up a Unicode map from glyph names for a CFF font that has neither a
    // Unicode-platform nor a Windows BMP subtable, and Qt would take that one.
    put16(t, 2);
    put16(t, 0);   // Unicode
    put16(t, 4);   // full repertoire
    put32(t, 20);  // at the end of this header
    put16(t, 3);   // Windows
    put16(t, 10);  // UCS-4
    put32(t, 20);
    put16(t, 12);
    put16(t, 0);
    put32(t, quint32(16 + 12 * groups.size()));
    put32(t, 0);  // language
    put32(t, quint32(groups.size()));
    for (const auto& g : groups)
        for (quint32 v : g) put32(t, v);
    return t;
}

// A 'name' table naming the family and its style (Windows, English, UTF-16).
QByteArray writeName(const QString& family, const QString& style) {
    const std::pair<quint16, QString> names[] = {
        {1, family},
        {2, style},
        {4, family + QLatin1Char(' ') + style},
        {6, QString(family + style).remove(QLatin1Char(' '))}};
    QByteArray strings;
    QByteArray t;
    put16(t, 0);
    put16(t, quint16(std::size(names)));
    put16(t, quint16(6 + 12 * std::size(names)));
    for (const auto& [id, text] : names) {
        QByteArray utf16;
        for (QChar ch : text) put16(utf16, ch.unicode());
        put16(t, 3);
        put16(t, 1);
        put16(t, 0x409);
        put16(t, id);
        put16(t, quint16(utf16.size()));
        put16(t, quint16(strings.size()));
        strings += utf16;
    }
    return t + strings;
}

// An sfnt file of the given tables (tag → data).
QByteArray writeSfnt(quint32 version, const std::map<QByteArray, QByteArray>& tables) {
    const auto count = quint16(tables.size());
    quint16 power = 1, log2 = 0;
    while (power * 2 <= count) {
        power = quint16(power * 2);
        ++log2;
    }
    QByteArray out;
    put32(out, version);
    put16(out, count);
    put16(out, quint16(power * 16));
    put16(out, log2);
    put16(out, quint16(count * 16 - power * 16));
    quint32 offset = quint32(12 + 16 * count);
    for (const auto& [tag, data] : tables) {
        out += tag;
        quint32 sum = 0;
        for (qsizetype i = 0; i < data.size(); i += 4) {
            quint32 word = 0;
            for (int k = 0; k < 4; ++k)
                word = (word << 8) | quint8(i + k < data.size() ? data[i + k] : 0);
            sum += word;
        }
        put32(out, sum);
        put32(out, offset);
        put32(out, quint32(data.size()));
        offset += quint32((data.size() + 3) / 4 * 4);
    }
    for (const auto& [tag, data] : tables) {
        out += data;
        out.append((4 - data.size() % 4) % 4, '\0');
    }
    return out;
}

// The family of the print copy of `raw`'s font, or empty when it cannot be made.
QString makeCopy(const QRawFont& raw) {
    const QByteArray cmap = oneCodePointPerGlyph(raw.fontTable("cmap"));
    if (cmap.isEmpty()) return {};
    static const char* const kTags[] = {"BASE", "CFF ", "CFF2", "GDEF", "GPOS", "GSUB", "JSTF",
                                        "MATH", "OS/2", "VORG", "cvt ", "fpgm", "gasp", "glyf",
                                        "hdmx", "head", "hhea", "hmtx", "kern", "loca", "maxp",
                                        "post", "prep", "vhea", "vmtx", "VDMX", "LTSH", "PCLT"};
    std::map<QByteArray, QByteArray> tables;
    for (const char* tag : kTags) {
        const QByteArray data = raw.fontTable(tag);
        if (!data.isEmpty()) tables.emplace(QByteArray(tag, 4), data);
    }
    const bool cff = tables.count("CFF ") || tables.count("CFF2");
    if (!tables.count("head") || !tables.count("maxp") || (!cff && !tables.count("glyf")))
        return {};
    const QString family = QStringLiteral("Quil Print ") + raw.familyName();
    tables["cmap"] = cmap;
    tables["name"] = writeName(family, raw.styleName());
    const QByteArray sfnt = writeSfnt(cff ? 0x4F54544F /* OTTO */ : 0x00010000, tables);
    const int id = QFontDatabase::addApplicationFontFromData(sfnt);
    const QStringList families = QFontDatabase::applicationFontFamilies(id);
    return families.isEmpty() ? QString() : families.front();
}

}  // namespace

QByteArray oneCodePointPerGlyph(const QByteArray& cmap) {
    const CodeMap map = readCmap(cmap);
    if (map.empty()) return {};
    return writeCmap(keepOnePerGlyph(map));
}

QFont printFont(const QFont& font) {
    QFont out(font);
    out.setStyleStrategy(QFont::StyleStrategy(font.styleStrategy() | QFont::PreferNoShaping));
    // One copy per face (family and style) for the whole run.
    static QHash<QString, QString> copies;
    auto copyOf = [](const QRawFont& raw) -> QString {
        if (!raw.isValid()) return {};
        const QString key = raw.familyName() + QLatin1Char('\n') + raw.styleName();
        auto it = copies.find(key);
        if (it == copies.end()) it = copies.insert(key, makeCopy(raw));
        return *it;
    };
    // The font's own face, and the face its Japanese text falls back to when that is
    // another (a Latin font chosen for the list).
    QStringList families;
    for (const QRawFont& raw :
         {QRawFont::fromFont(font), QRawFont::fromFont(font, QFontDatabase::Japanese)}) {
        const QString copy = copyOf(raw);
        if (!copy.isEmpty() && !families.contains(copy)) families << copy;
    }
    if (families.isEmpty()) return out;
    out.setFamilies(families + font.families());
    return out;
}

}  // namespace quil::ui
