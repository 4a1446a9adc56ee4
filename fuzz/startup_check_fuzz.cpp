// The start-up check and conversion over arbitrary pairs of data files, with the k-th
// file system call failing. A data set the check refuses is left alone; a conversion
// either completes, keeping both originals byte for byte under their dated names, or
// fails and leaves both files exactly as they were.
#include <cstdint>

#include "FuzzSupport.h"
#include "folder/DataSet.h"
#include "store/Date.h"
#include "store/ItemStore.h"
#include "store/RecordStore.h"

using namespace quil::store;
using namespace quil::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    static const bool clockFixed = [] {
        setClockForTesting([] { return encodeDate(2026, 1, 2); });
        return true;
    }();
    (void)clockFixed;
    const int failAt = data[0] % 16;
    const std::size_t split = std::min<std::size_t>(size - 2, std::size_t(data[1]) * 8);
    const std::string qui(reinterpret_cast<const char*>(data + 2), split);
    const std::string qud(reinterpret_cast<const char*>(data + 2 + split), size - 2 - split);

    const std::string dir = freshFolder("startup");
    if (data[0] & 0x80) writeBytes(dir + kItemFileName, qui);  // else: no item file
    if (!qud.empty() || (data[0] & 0x40)) writeBytes(dir + kRecordFileName, qud);
    const auto quiBefore = readBytes(dir + kItemFileName);
    const auto qudBefore = readBytes(dir + kRecordFileName);

    quil::folder::DataSetCheck check;
    try {
        check = quil::folder::checkDataSet(dir);
    } catch (const StoreError&) {
        QUIL_FUZZ_CHECK(false, "the check reads plain files without raising");
    }
    if (!check.ok) {
        QUIL_FUZZ_CHECK(!check.message.empty(), "a refusal says why");
        QUIL_FUZZ_CHECK(readBytes(dir + kItemFileName) == quiBefore &&
                            readBytes(dir + kRecordFileName) == qudBefore,
                        "a refused data set is left alone");
        return 0;
    }
    if (!check.convertRecords && !check.convertItems) return 0;

    FailingFileSystem faulty(failAt);
    FileSystem::setCurrent(&faulty);
    bool converted = false;
    bool half = false;
    try {
        convertOlderFormat(dir);
        converted = true;
    } catch (const HalfConvertedError&) {
        half = true;
    } catch (const StoreError&) {
    }
    FileSystem::setCurrent(nullptr);
    QUIL_FUZZ_CHECK(!half, "a single failure is always undone");
    QUIL_FUZZ_CHECK(converted || faulty.fired(), "only an injected failure stops a conversion");
    if (!converted) {
        QUIL_FUZZ_CHECK(readBytes(dir + kItemFileName) == quiBefore &&
                            readBytes(dir + kRecordFileName) == qudBefore,
                        "a failed conversion changes nothing");
        return 0;
    }
    if (check.convertRecords) {
        QUIL_FUZZ_CHECK(readBytes(dir + kRecordFileName + ".100-20260102") == qudBefore,
                        "the original record file is kept");
        const auto now = readBytes(dir + kRecordFileName);
        QUIL_FUZZ_CHECK(now && now->size() == qudBefore->size() / 192 * 256,
                        "one new record for each old one");
        for (std::size_t off = 0; off < now->size(); off += 256)
            QUIL_FUZZ_CHECK(static_cast<std::uint8_t>((*now)[off + 70]) <= 100,
                            "remarks length within its field");
    }
    if (check.convertItems)
        QUIL_FUZZ_CHECK(readBytes(dir + kItemFileName + ".100-20260102") == quiBefore,
                        "the original item file is kept");
    return 0;
}
