#pragma once
// Records and files built by hand for the store tests.

#include <string>
#include <vector>

#include "TestSupport.h"
#include "store/Records.h"

namespace quil::testing {

inline store::DataRecord makeRecord(double date, int vehicle, int user, int price = 0,
                                    int kind = 1) {
    store::DataRecord r;
    r.setStamp(40000.5);
    r.setKind(static_cast<std::int16_t>(kind));
    r.setDate(date);
    r.setVehicle(static_cast<std::int16_t>(vehicle));
    r.setUser(static_cast<std::int16_t>(user));
    r.setPrice(price);
    return r;
}

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
