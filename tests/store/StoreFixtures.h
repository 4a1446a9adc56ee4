#pragma once
// Record files built by hand for the store tests (the records from RecordBuilders.h).

#include <string>
#include <vector>

#include "RecordBuilders.h"
#include "TestSupport.h"
#include "store/Records.h"

namespace quil::testing {

template <typename Record>
std::string bytesOf(const std::vector<Record>& records) {
    std::string s;
    for (const auto& r : records) s.append(reinterpret_cast<const char*>(r.data()), Record::Size);
    return s;
}

template <typename Record>
void writeRecords(const std::string& path, const std::vector<Record>& records) {
    writeBytes(path, bytesOf(records));
}

inline std::vector<store::DataRecord> readRecords(const std::string& path) {
    std::vector<store::DataRecord> out;
    auto bytes = readBytes(path);
    if (!bytes) return out;
    for (std::size_t off = 0; off + 256 <= bytes->size(); off += 256)
        out.emplace_back(reinterpret_cast<const std::uint8_t*>(bytes->data() + off));
    return out;
}

}  // namespace quil::testing
