#pragma once
// Exporting the records of one list tab as CSV from the data files, for the command-line
// tool: the filter comes from its options instead of the settings file.

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "store/CsvWriter.h"
#include "store/ListFilter.h"

namespace quil::folder {

// An option that names nothing in the data set (an unknown vehicle or user).
class OptionError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct ListOptions {
    store::ListTab tab = store::ListTab::Driving;
    std::optional<store::DateTime> from, to;  // days, both included
    std::vector<std::string> vehicles;        // names; empty means every live vehicle
    std::vector<std::string> users;           // names; empty means every live user
};

// The filter of the options: live vehicles and users of those names (all of them when
// none is named), dated from `from` to `to`. Throws OptionError for a name that no live
// vehicle or user carries.
store::ListFilter toolListFilter(const std::vector<store::ItemRecord>& items,
                                 const ListOptions& options);

using Progress = std::function<void(std::int64_t done, std::int64_t total)>;
using Sink = std::function<void(std::string_view bytes)>;

// Scans Quil.qud once and hands the CSV of the records the filter takes to `sink` in
// pieces of about 256 KB. Returns the number of rows written.
std::int64_t exportListCsv(const std::string& dataFolder, const ListOptions& options,
                           store::TextEncoding encoding, const Sink& sink,
                           const Progress& progress = {});

}  // namespace quil::folder
