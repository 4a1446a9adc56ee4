// The record file reader and every changing operation of the store, with the k-th file
// system call failing. The input is a record file (any bytes: partial records, damaged
// fields) and a few control bytes. Whatever fails, the file afterwards is either exactly
// as before or exactly as after the same operation run without a failure, every other
// record is unchanged, and a partial last record is never lost.
#include <cstdint>
#include <cstring>

#include "FuzzSupport.h"
#include "store/ItemStore.h"
#include "store/RecordStore.h"

using namespace quil::store;
using namespace quil::fuzz;

namespace {

struct Control {
    std::uint8_t op = 0;      // append/insert, edit, delete, item append
    std::uint8_t failAt = 0;  // 0: no failure
    std::uint8_t position = 0;
    double date = 0;
};

// Runs the operation; returns false when it raised StoreError.
bool run(const Control& c, const std::string& dir) {
    try {
        DataRecord r;
        r.setStamp(1);
        r.setDate(c.date);
        switch (c.op % 4) {
            case 0: RecordStore(dir).save(r, std::nullopt); break;
            case 1: RecordStore(dir).save(r, c.position); break;
            case 2: RecordStore(dir).markDeleted(c.position); break;
            default: {
                ItemRecord item;
                item.setName("fuzz");
                ItemStore(dir).append(item);
                break;
            }
        }
        return true;
    } catch (const StoreError&) {
        return false;
    }
}

std::string fileOf(const Control& c) { return c.op % 4 == 3 ? kItemFileName : kRecordFileName; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 11) return 0;
    Control c;
    c.op = data[0];
    c.failAt = data[1];
    c.position = data[2];
    std::memcpy(&c.date, data + 3, 8);
    if (c.date != c.date) c.date = 0;  // NaN sorts nowhere; the dialog never stores one
    const std::string file(reinterpret_cast<const char*>(data + 11), size - 11);
    const std::string name = fileOf(c);

    // Reading any file never crashes and counts whole records only.
    const std::string ref = freshFolder("ref");
    writeBytes(ref + name, file);
    RecordStore(ref).scan([](std::int64_t, const DataRecord& r) { (void)r.remarks(); });
    for (const auto& item : ItemStore(ref).readAll()) (void)item.name();

    const bool refOk = run(c, ref);
    const auto after = readBytes(ref + name);

    const std::string dir = freshFolder("faulty");
    writeBytes(dir + name, file);
    FailingFileSystem faulty(c.failAt % 24);
    FileSystem::setCurrent(&faulty);
    const bool ok = run(c, dir);
    FileSystem::setCurrent(nullptr);
    const auto got = readBytes(dir + name);

    if (!faulty.fired()) {
        QUIL_FUZZ_CHECK(ok == refOk && got == after,
                        "an operation without a failure is repeatable");
        return 0;
    }
    QUIL_FUZZ_CHECK(got == file || got == after, "old or new state");
    QUIL_FUZZ_CHECK(!readBytes(dir + kTempFileName), "no temporary file left");
    // A partial last record lives on, in the file or in its side file.
    const std::size_t recordSize = name == kItemFileName ? ItemRecord::Size : DataRecord::Size;
    const std::string tail = file.substr(file.size() - file.size() % recordSize);
    if (!tail.empty() && got != file) {
        const auto side = readBytes(dir + name + ".tail");
        QUIL_FUZZ_CHECK(side && *side == tail, "the partial record is kept");
    }
    if (c.op % 4 == 2 && got != file) {
        // A delete changes its own record and no other.
        for (std::size_t off = 0; off + recordSize <= file.size(); off += recordSize)
            if (off / recordSize != c.position)
                QUIL_FUZZ_CHECK(got->compare(off, recordSize, file, off, recordSize) == 0,
                                "other records unchanged");
    }
    return 0;
}
