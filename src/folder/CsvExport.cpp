#include "folder/CsvExport.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <limits>
#include <optional>
#include <thread>

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


// Records read at a time: 1 MiB, still in the processor's cache while their rows are
// formatted.
constexpr std::int64_t kChunkRecords = 4096;
// Chunks formatted ahead of the one being written.
constexpr std::int64_t kSlots = 4;

// The export split over two threads. Each thread takes the next chunk of the record file
// still to do, reads it, keeps the records the filter takes and formats them into a slot of
// its own; the calling thread also hands the slots to the sink, in file order, so the sink
// and the progress are called on it alone. Rows are numbered on across chunks: a chunk's
// formatting waits only for the previous chunk's filter. Each thread formats the records it
// has read, so they stay in its own processor's cache.
//
// The threads meet a few times a chunk, mostly when the other is already past the point
// waited for: they wait on one counter of events, which costs no system call unless a
// thread really has to sleep.
class ChunkedExport {
public:
    ChunkedExport(BinaryFile& file, std::int64_t records, const ListFilter& filter,
                  const ItemNames& names, ListTab tab, TextEncoding encoding)
        : file_(file),
          records_(records),
          chunks_((records + kChunkRecords - 1) / kChunkRecords),
          filter_(filter),
          rowsBefore_(std::size_t(chunks_ + 1), 0),
          slots_{{ListCsv(tab, names, encoding)},
                 {ListCsv(tab, names, encoding)},
                 {ListCsv(tab, names, encoding)},
                 {ListCsv(tab, names, encoding)}},
          header_(tab, names, encoding) {}

    // Writes the header and every row; returns the number of rows.
    std::int64_t run(const Sink& sink, const Progress& progress) {
        header_.header();
        sink(header_.pending());
        {
            std::thread helper;
            if (chunks_ > 1 && std::thread::hardware_concurrency() > 1)
                helper = std::thread([this] { helperLoop(); });
            // Stops and joins the helper on every way out, a failing sink included.
            struct Join {
                ChunkedExport& e;
                std::thread& t;
                ~Join() {
                    e.stop_.store(true);
                    e.signal();
                    if (t.joinable()) t.join();
                }
            } join{*this, helper};
            handOn(sink, progress);
        }
        if (error_) std::rethrow_exception(error_);
        return rowsBefore_[std::size_t(chunks_)];
    }

private:
    // A formatter on cache lines of its own: the two threads write theirs on every row.
    struct alignas(64) Slot {
        ListCsv csv;
        std::atomic<std::int64_t> ready{-1};  // the chunk formatted into csv, or -1
    };
    struct Reader {
        std::vector<DataRecord> records = std::vector<DataRecord>(std::size_t(kChunkRecords));
        std::vector<std::uint32_t> taken;
    };

    // Formats chunks until the next one to hand on is ready, and hands them to the sink in
    // file order.
    void handOn(const Sink& sink, const Progress& progress) {
        Reader reader;
        for (std::int64_t k = 0; k < chunks_;) {
            Slot& slot = slots_[std::size_t(k % kSlots)];
            if (slot.ready.load(std::memory_order_acquire) == k) {
                sink(slot.csv.pending());
                slot.csv.clear();
                slot.ready.store(-1, std::memory_order_relaxed);
                written_.store(++k, std::memory_order_release);
                signal();
                if (progress && k % 16 == 0)
                    progress(std::min(records_, k * kChunkRecords), records_);
                continue;
            }
            const unsigned seen = events_.load(std::memory_order_acquire);
            if (const auto claimed = claim()) {
                if (!formatChunk(*claimed, reader)) break;
                continue;
            }
            if (stop_.load()) break;
            if (slot.ready.load(std::memory_order_acquire) != k)
                events_.wait(seen, std::memory_order_acquire);
        }
    }

    void signal() {
        events_.fetch_add(1, std::memory_order_release);
        events_.notify_all();
    }

    // Waits until `done()`; false when the export stops first.
    template <typename Done>
    bool waitUntil(Done&& done) {
        for (;;) {
            const unsigned seen = events_.load(std::memory_order_acquire);
            if (done()) return true;
            if (stop_.load()) return false;
            events_.wait(seen, std::memory_order_acquire);
        }
    }

    // The next chunk to format, when there is one and a slot for it is free.
    std::optional<std::int64_t> claim() {
        std::int64_t k = next_.load();
        while (k < chunks_ && k < written_.load(std::memory_order_acquire) + kSlots)
            if (next_.compare_exchange_weak(k, k + 1)) return k;
        return std::nullopt;
    }

    // Reads chunk k, numbers its rows on from those of the chunks before and formats them
    // into the chunk's slot. False when the export stops meanwhile.
    bool formatChunk(std::int64_t k, Reader& reader) {
        const std::int64_t first = k * kChunkRecords;
        const std::size_t got = file_.readMany(
            first, std::size_t(std::min(kChunkRecords, records_ - first)), reader.records.data());
        reader.taken.clear();
        for (std::size_t i = 0; i < got; ++i)
            if (filter_.takes(reader.records[i])) reader.taken.push_back(std::uint32_t(i));
        if (!waitUntil([&] { return known_.load(std::memory_order_acquire) >= k; })) return false;
        const std::int64_t before = rowsBefore_[std::size_t(k)];
        rowsBefore_[std::size_t(k + 1)] = before + std::int64_t(reader.taken.size());
        known_.store(k + 1, std::memory_order_release);
        signal();
        Slot& slot = slots_[std::size_t(k % kSlots)];
        slot.csv.setRowCount(before);
        for (const std::uint32_t i : reader.taken) slot.csv.row(reader.records[i]);
        slot.ready.store(k, std::memory_order_release);
        signal();
        return true;
    }

    void helperLoop() {
        try {
            Reader reader;
            while (!stop_.load()) {
                const unsigned seen = events_.load(std::memory_order_acquire);
                if (const auto k = claim()) {
                    if (!formatChunk(*k, reader)) return;
                } else if (next_.load() >= chunks_) {
                    return;
                } else {
                    events_.wait(seen, std::memory_order_acquire);
                }
            }
        } catch (...) {
            error_ = std::current_exception();  // read by the calling thread after the join
            stop_.store(true);
            signal();
        }
    }

    BinaryFile& file_;
    const std::int64_t records_;
    const std::int64_t chunks_;
    const ListFilter& filter_;

    alignas(64) std::atomic<unsigned> events_{0};
    std::atomic<bool> stop_{false};
    std::atomic<std::int64_t> next_{0};     // the first chunk no thread has taken
    std::atomic<std::int64_t> written_{0};  // chunks handed to the sink
    std::atomic<std::int64_t> known_{0};    // chunks whose rows are counted
    std::vector<std::int64_t> rowsBefore_;  // [k]: rows of the chunks before k, for k <= known_
    std::exception_ptr error_;

    Slot slots_[kSlots];
    ListCsv header_;
};

}  // namespace

ListFilter toolListFilter(const std::vector<ItemRecord>& items, const ListOptions& options) {
    PeriodFilter period;
    if (options.from || options.to) {
        const PeriodRange range{options.from.value_or(std::numeric_limits<double>::lowest() / 2),
                                options.to.value_or(std::numeric_limits<double>::max() / 2)};
        period = PeriodFilter::within(range);
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
    const RecordStore records(dataFolder);
    std::int64_t rows = 0, total = 0;
    if (!records.exists()) {
        ListCsv csv(options.tab, names, encoding);
        csv.header();
        sink(csv.pending());
    } else {
        BinaryFile file(records.path(), DataRecord::Size, OpenMode::Read);
        total = file.count();
        rows = ChunkedExport(file, total, filter, names, options.tab, encoding).run(sink, progress);
    }
    if (progress) progress(total, total);
    return rows;
}

}  // namespace quil::folder
