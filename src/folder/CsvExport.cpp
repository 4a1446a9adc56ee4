#include "folder/CsvExport.h"

#include <algorithm>
#include <limits>

#include "store/ListCsv.h"
#include "store/RecordStore.h"

namespace quil::folder {

using namespace quil::store;

namespace {

std::vector<char> namedItems(const std::vector<ItemRecord>& items, ItemKind kind,
                             const std::vector<std::string>& names, const char* what) {
    std::vector<bool> found(names.size(), false);
    auto chosen = liveItemSelection(items, kind, [&](std::size_t, const ItemRecord& it) {
        if (names.empty()) return true;
        const std::string name = it.name();
        bool hit = false;
        for (std::size_t i = 0; i < names.size(); ++i)
            if (names[i] == name) hit = found[i] = true;
        return hit;
    });
    for (std::size_t i = 0; i < names.size(); ++i)
        if (!found[i])
            throw OptionError(std::string(what) + "「" + names[i] + "」は登録されていません。");
    return chosen;
}

}  // namespace

ListFilter toolListFilter(const std::vector<ItemRecord>& items, const ListOptions& options) {
    PeriodFilter period;
    if (options.from || options.to) {
        const PeriodRange range{options.from.value_or(std::numeric_limits<double>::lowest() / 2),
                                options.to.value_or(std::numeric_limits<double>::max() / 2)};
        period = PeriodFilter(1, range);
    }
    return ListFilter(options.tab, period,
                      namedItems(items, ItemKind::Vehicle, options.vehicles, "車両"),
                      namedItems(items, ItemKind::User, options.users, "使用者"));
}

std::int64_t exportListCsv(const std::string& dataFolder, const ListOptions& options,
                           TextEncoding encoding, const Sink& sink, const Progress& progress) {
    const auto items = ItemStore(dataFolder).readAll();
    const ListFilter filter = toolListFilter(items, options);
    const ItemNames names(items);
    ListCsv csv(options.tab, names, encoding);
    csv.header();
    const RecordStore records(dataFolder);
    const std::int64_t total = records.count();
    records.scan([&](std::int64_t pos, const DataRecord& r) {
        if (filter.takes(r)) csv.row(r);
        if (csv.full()) {
            sink(csv.pending());
            csv.clear();
        }
        if (progress && (pos & 0xFFFF) == 0) progress(pos, total);
    });
    sink(csv.pending());
    csv.clear();
    if (progress) progress(total, total);
    return csv.rowCount();
}

}  // namespace quil::folder
