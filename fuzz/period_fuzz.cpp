// The period parser and the date formatters over arbitrary stored texts and numbers: a
// stored period either parses into a range whose first day is not after its last, with
// dates that format and parse back, or is refused with ConversionError.
#include <cstdint>
#include <cstring>
#include <optional>

#include "FuzzSupport.h"
#include "store/Date.h"
#include "store/NumberFormat.h"
#include "store/Period.h"

using namespace quil::store;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 9) return 0;
    // A stored number -1..5 becomes a kind where it is read; -1 is none and ends here.
    const std::optional<PeriodKind> stored = periodKindOf(data[0] % 7 - 1);
    if (!stored) return 0;
    const PeriodKind kind = *stored;
    double number;
    std::memcpy(&number, data + 1, 8);
    const std::string text(reinterpret_cast<const char*>(data + 9), size - 9);

    try {
        const StoredPeriod p = parseStoredPeriod(kind, text, 2026);
        QUIL_FUZZ_CHECK(p.year >= 1 && p.year <= 9998, "a parsed year is in range");
        const PeriodRange r = periodRange(kind, p.year, p.subIndex);
        QUIL_FUZZ_CHECK(r.first <= r.last, "first day not after the last");
        const std::string first = formatDate(r.first);
        QUIL_FUZZ_CHECK(first.size() == 10 && first[4] == '/' && first[7] == '/', "yyyy/mm/dd");
        const CivilDate d = decodeDate(r.first);
        QUIL_FUZZ_CHECK(encodeDate(d.year, d.month, d.day) == r.first, "a day decodes and encodes");
        PeriodFilter f(kind, r);
        QUIL_FUZZ_CHECK(kind == PeriodKind::All || (f.passes(r.first) && f.passes(r.last)), "both ends pass");
    } catch (const quil::store::ConversionError&) {
    }

    // Formatters take any double without crashing.
    if (number == number && number > -657434.0 && number < 2958466.0) {
        (void)formatDate(number);
        (void)formatTime(number);
        (void)correctTwoDigitYear(number);
    }
    (void)formatOneDecimal(number);
    return 0;
}
