// import-csv of 1,000 expense rows dated all through a data set of 200,000 records, beside
// its baseline in the same run: one rewrite of the record file (read, written beside,
// synced, renamed). The import should take at most twice the baseline, whatever the rows'
// dates.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "TempFolder.h"
#include "folder/CsvImport.h"
#include "store/Date.h"
#include "store/ItemStore.h"
#include "store/Records.h"

using namespace quil::store;

namespace {

constexpr int kStored = 200000, kRows = 1000, kPerDay = 100;
constexpr double kStamp = 45000.5;

struct DataSet {
    quil::bench::TempFolder place;
    const std::string& folder = place.dir;
    std::string records;  // the stored Quil.qud
    std::string csv;

    DataSet() {
        ItemStore items(folder);
        for (const ItemRecord& it : firstRunItems(kStamp, encodeDate(2020, 1, 1))) items.append(it);
        ItemRecord parking;
        parking.setStamp(kStamp);
        parking.setKind(ItemKind::ExpenseItem);
        parking.setName("駐車場代");
        items.append(parking);
        const DateTime first = encodeDate(2020, 1, 1);
        std::vector<DataRecord> stored(kStored);
        for (int i = 0; i < kStored; ++i) {
            DataRecord& r = stored[std::size_t(i)];
            r.setStamp(kStamp);
            r.setKind(RecordKind::Expense);
            r.setDate(first + i / kPerDay);
            r.setPrice(i);
        }
        records.assign(reinterpret_cast<const char*>(stored.data()), stored.size() * DataRecord::Size);
        csv = "年月日,車両,使用者,項目,税抜金額,消費税,店,備考\n";
        for (int i = 0; i < kRows; ++i) {
            csv += formatDate(first + i * (kStored / kPerDay) / kRows) + ",車両1,使用者1,駐車場代," +
                   std::to_string(1000000 + i) + ",0,,\n";
        }
    }
    void reset() const {
        const std::string path = folder + "Quil.qud";
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || ::write(fd, records.data(), records.size()) < 0) std::abort();
        ::close(fd);
    }
};

const DataSet& dataSet() {
    static const DataSet d;
    return d;
}

void ImportCsvRows(benchmark::State& state) {
    const DataSet& d = dataSet();
    for (auto _ : state) {
        state.PauseTiming();
        d.reset();
        state.ResumeTiming();
        const auto r = quil::folder::importListCsv(d.folder, quil::store::ListTab::Expense, d.csv);
        if (r.problem || r.added != kRows) std::abort();
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}

// The record file read, written beside, synced and renamed over itself once.
void RewriteOnce(benchmark::State& state) {
    const DataSet& d = dataSet();
    const std::string path = d.folder + "Quil.qud", temp = d.folder + "rewrite.tmp";
    for (auto _ : state) {
        state.PauseTiming();
        d.reset();
        state.ResumeTiming();
        // In pieces of 1 MiB, as the program reads and writes record files.
        int in = ::open(path.c_str(), O_RDONLY);
        int out = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        std::vector<char> buf(std::size_t(1) << 20);
        for (;;) {
            const ssize_t got = ::read(in, buf.data(), buf.size());
            if (got < 0) std::abort();
            if (got == 0) break;
            if (::write(out, buf.data(), std::size_t(got)) != got) std::abort();
        }
        ::close(in);
        ::fdatasync(out);
        ::close(out);
        std::filesystem::rename(temp, path);
    }
}

}  // namespace

BENCHMARK(RewriteOnce)->Unit(benchmark::kMillisecond);
BENCHMARK(ImportCsvRows)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
