#pragma once
// Licences and papers as CSV: one row per entry (history included), names in place of item
// positions, in CP932 like every other CSV of the program or in UTF-8 with a byte-order
// mark. The licence number is personal: its column is written only when asked for, and a
// file without it reads back with empty numbers. Reading takes either encoding, finds users
// and vehicles by name and checks each row by the entry dialogs' rules, so that a file with
// one bad row adds nothing.

#include <string>
#include <string_view>
#include <vector>

#include "papers/PaperEntry.h"
#include "papers/Papers.h"
#include "reports/AlcoholCsv.h"
#include "store/Codec.h"

namespace quil::papers {

using alcohol::CsvNames;

std::string writeLicencesCsv(const std::vector<DriverLicence>& licences, const CsvNames& names,
                             bool withNumbers,
                             store::TextEncoding encoding = store::TextEncoding::Cp932);
std::string writePapersCsv(const std::vector<VehiclePaper>& papers, const CsvNames& names,
                           store::TextEncoding encoding = store::TextEncoding::Cp932);

template <typename Entry>
struct CsvRead {
    std::vector<Entry> entries;  // the rows to add (none when `error` is set)
    std::size_t alreadyStored = 0;  // rows equal to a stored entry, skipped
    std::string error;  // the first fault, "3行目: …"; empty when every row was read
};

// `stored` are the entries kept already: a row equal to one of them is skipped, so a file
// read twice adds nothing the second time; any other duplicate is refused.
CsvRead<DriverLicence> readLicencesCsv(std::string_view bytes, const CsvNames& names,
                                       const std::vector<DriverLicence>& stored,
                                       store::DateTime today);
CsvRead<VehiclePaper> readPapersCsv(std::string_view bytes, const CsvNames& names,
                                    const std::vector<VehiclePaper>& stored,
                                    store::DateTime today);

// The expiry list (what ExpiryEntry holds, with names) as CSV, as quil-tool and the
// window export it.
std::string writeExpiriesCsv(const std::vector<ExpiryEntry>& list, const CsvNames& names,
                             store::TextEncoding encoding = store::TextEncoding::Cp932);
// "期限切れ" or "期限間近".
std::string stateName(ExpiryState state);

}  // namespace quil::papers
