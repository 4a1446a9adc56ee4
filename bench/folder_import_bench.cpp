// The legacy import of 50 vehicles × 20 years of daily driving records plus refuelling,
// maintenance and expense records (about 400,000 records), beside its baseline in the same
// run: reading every legacy file once and writing a record file of the result once.
// The import should take at most three times the baseline.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "TempFolder.h"
#include "folder/DataSetFiles.h"
#include "store/Date.h"
#include "store/Records.h"

using namespace quil::store;

namespace {

constexpr int kVehicles = 50, kFirstYear = 2006, kYears = 20, kOthers = 200;

template <typename T>
void put(std::string& r, std::size_t off, T v) {
    std::memcpy(r.data() + off, &v, sizeof v);
}

void writeFile(const std::string& path, const std::string& bytes) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || ::write(fd, bytes.data(), bytes.size()) < 0) std::abort();
    ::close(fd);
}

// A legacy data set; returns the number of records the import makes of it.
std::int64_t writeLegacy(const std::string& folder) {
    std::string cars;
    for (int n = 1; n <= kVehicles; ++n) {
        std::string r(256, '\0');
        put<std::int32_t>(r, 0, 115);
        r[4] = 2, r[5] = 'V', r[6] = static_cast<char>('0' + n % 10);
        put<std::int32_t>(r, 32, 2000), put<std::int32_t>(r, 36, 1), put<std::int32_t>(r, 40, 1);
        put<std::int32_t>(r, 44, kFirstYear);
        cars += r;
    }
    writeFile(folder + "Car.dat", cars);
    std::string items;
    for (int i = 0; i < 10; ++i) {
        std::string r(128, '\0');
        r[8] = 1, r[9] = static_cast<char>('A' + i);
        items += r;
    }
    for (const char* f : {"mente.dat", "gasstd.dat", "kane.dat"}) writeFile(folder + f, items);

    std::int64_t records = 0;
    for (int n = 1; n <= kVehicles; ++n) {
        const std::string v = std::to_string(n);
        for (int y = kFirstYear; y < kFirstYear + kYears; ++y) {
            std::string days;
            const int count = isValidDate(y, 2, 29) ? 366 : 365;
            for (int i = 0; i < count; ++i) {
                std::string r(64, '\0');
                put<std::int32_t>(r, 0, 115);
                put<float>(r, 4, 1000.0f + static_cast<float>(i));
                put<float>(r, 8, 1010.0f + static_cast<float>(i));
                days += r;
            }
            records += count;
            writeFile(folder + "Run" + std::to_string(y) + ".d" + v, days);
        }
        std::string gas, mente, kane;
        for (int i = 0; i < kOthers; ++i) {
            std::string g(128, '\0'), m(128, '\0'), k(256, '\0');
            for (std::string* r : {&g, &m, &k}) {
                put<std::int32_t>(*r, 4, kFirstYear + i % kYears);
                put<std::int32_t>(*r, 8, 1 + i % 12);
                put<std::int32_t>(*r, 12, 1 + i % 28);
            }
            put<std::int32_t>(g, 32, 1 + i % 10);
            put<std::int32_t>(m, 0, 115);
            put<std::int16_t>(m, 20, static_cast<std::int16_t>(1 + i % 10));
            put<std::int16_t>(k, 16, static_cast<std::int16_t>(1 + i % 10));
            gas += g, mente += m, kane += k;
        }
        writeFile(folder + "gas.d" + v, gas);
        writeFile(folder + "mente.d" + v, mente);
        writeFile(folder + "kane.d" + v, kane);
        records += 3 * kOthers;
    }
    return records;
}

struct Legacy {
    quil::bench::TempFolder place;
    const std::string& folder = place.dir;
    std::int64_t records = writeLegacy(folder);
};

Legacy& legacy() {
    static Legacy l;
    return l;
}

void ImportLegacy(benchmark::State& state) {
    const Legacy& l = legacy();
    const quil::bench::TempFolder data;
    for (auto _ : state)
        if (!quil::folder::importLegacyDataSet(data.dir, l.folder).done()) std::abort();
    state.SetItemsProcessed(state.iterations() * l.records);
}

// Every legacy file read once, and a record file of the result written and synced once.
void ReadOnceWriteOnce(benchmark::State& state) {
    const Legacy& l = legacy();
    const quil::bench::TempFolder data;
    for (auto _ : state) {
        std::size_t bytes = 0;
        for (const auto& e : std::filesystem::directory_iterator(l.folder)) {
            int fd = ::open(e.path().c_str(), O_RDONLY);
            std::string buf(static_cast<std::size_t>(::lseek(fd, 0, SEEK_END)), '\0');
            if (::pread(fd, buf.data(), buf.size(), 0) < 0) std::abort();
            ::close(fd);
            bytes += buf.size();
        }
        benchmark::DoNotOptimize(bytes);
        std::vector<DataRecord> out(static_cast<std::size_t>(l.records));
        int fd = ::open((data.dir + "Quil.qud").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (::write(fd, out.data(), out.size() * DataRecord::Size) < 0) std::abort();
        ::fdatasync(fd);
        ::close(fd);
    }
    state.SetItemsProcessed(state.iterations() * l.records);
}

}  // namespace

BENCHMARK(ReadOnceWriteOnce)->Unit(benchmark::kMillisecond);
BENCHMARK(ImportLegacy)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
