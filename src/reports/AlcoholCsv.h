#pragma once
// The register as CSV: one row per check with the printed register's columns, names in
// place of item positions, in CP932 like every other CSV of the program, or in UTF-8 with a
// byte-order mark when chosen (a text CP932 cannot hold survives there). Reading takes
// either and finds drivers, vehicles and detectors by name, so an exported register reads
// back as the same checks.

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "reports/AlcoholCheck.h"
#include "store/Codec.h"

namespace quil::alcohol {

// Names of the pick lists: (item position or detector id, name).
struct CsvNames {
    std::vector<std::pair<int, std::string>> drivers;
    std::vector<std::pair<int, std::string>> vehicles;
    std::vector<std::pair<std::int64_t, std::string>> detectors;
};

// The column titles, in order.
const std::vector<std::string>& csvColumns();

std::string writeChecksCsv(const std::vector<AlcoholCheck>& checks, const CsvNames& names,
                           store::TextEncoding encoding = store::TextEncoding::Cp932);

// The rows of the file writeChecksCsv would write (the title is row 1) holding a text CP932
// cannot hold (𠮷, 🍺, ♥ …), at most `most` of them: in CP932 it would become '?'.
std::vector<std::size_t> linesCp932CannotHold(const std::vector<AlcoholCheck>& checks,
                                              const CsvNames& names, std::size_t most = 5);

struct CsvReadResult {
    std::vector<AlcoholCheck> checks;
    // The first fault, "3行目: 運転者「…」が見つかりません。"; empty when all rows were read.
    std::string error;
};

// Reads what writeChecksCsv writes; a fault stops the reading (no check of a faulty file
// is returned) so a half-read file is never taken for the whole.
CsvReadResult readChecksCsv(std::string_view bytes, const CsvNames& names);

}  // namespace quil::alcohol
