#pragma once
// A small writer of legacy (ミルテ台帳) data sets, from their record layouts, for the
// import tests. Text is given in UTF-8 and stored as CP932, or as raw CP932 bytes.

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "store/Codec.h"

namespace quil::testing {

struct LegacyVehicle {
    std::int32_t version = 115;
    std::string name = "車両";  // raw CP932 when rawName is set
    bool rawName = false;
    std::uint8_t nameLength = 0xFF;  // 0xFF: the name's length
    float odometer = 0;
    std::int32_t year = 2000, month = 4, day = 1;
    std::int32_t firstYear = 2000;
    std::int16_t type = 0;
    std::string region, classNumber, kana, serial1, serial2, remarks;
    std::int32_t n136 = 0, n140 = 0;
};

struct LegacyItem {
    std::string name;
    std::int32_t n52 = 0;
    std::int16_t n56 = 0;
    std::int32_t n60 = 0;
    std::uint8_t n64 = 0;
};

struct LegacyDay {
    std::int32_t version = 115;
    float departure = 0, arrival = 0;
    std::uint8_t flag12 = 0;
    std::string remarks;
    std::uint8_t b54 = 0, b55 = 0;
};

struct LegacyRefuelling {
    std::int32_t year = 2000, month = 1, day = 1;
    float odometer = 0, quantity = 0;
    std::int32_t price = 0, tax = 0, station = 0;
    std::uint8_t b36 = 0, b37 = 0;
    std::string remarks;
};

struct LegacyMaintenance {
    std::int32_t version = 115;
    std::int32_t year = 2000, month = 1, day = 1;
    float odometer = 0;
    std::int16_t item = 0;
    std::int32_t amount = 0, tax = 0;
    std::string textA, textB;  // raw CP932
};

struct LegacyExpense {
    std::int32_t year = 2000, month = 1, day = 1;
    std::int16_t item = 0;
    std::int32_t amount = 0, tax = 0;
    std::string textA, textB, textC;  // raw CP932
};

class LegacyWriter {
public:
    explicit LegacyWriter(std::string folder) : folder_(std::move(folder)) {}

    void vehicles(const std::vector<LegacyVehicle>& vs) {
        std::string out;
        for (const auto& v : vs) {
            std::string r(256, '\0');
            put(r, 0, v.version);
            const std::string name = v.rawName ? v.name : store::toCp932(v.name);
            str(r, 4, name, v.nameLength == 0xFF ? name.size() : v.nameLength);
            put(r, 28, v.odometer);  // written after the name, as the old program did
            put(r, 32, v.year);
            put(r, 36, v.month);
            put(r, 40, v.day);
            put(r, 44, v.firstYear);
            put(r, 56, v.type);
            str(r, 60, store::toCp932(v.region));
            str(r, 71, store::toCp932(v.classNumber));
            str(r, 75, store::toCp932(v.kana));
            str(r, 78, v.serial1);
            str(r, 81, v.serial2);
            str(r, 84, store::toCp932(v.remarks));
            put(r, 136, v.n136);
            put(r, 140, v.n140);
            out += r;
        }
        writeBytes(folder_ + "Car.dat", out);
    }

    void items(const std::string& file, const std::vector<LegacyItem>& items) {
        std::string out;
        for (const auto& i : items) {
            std::string r(128, '\0');
            str(r, 8, store::toCp932(i.name));
            put(r, 52, i.n52);
            put(r, 56, i.n56);
            put(r, 60, i.n60);
            put(r, 64, i.n64);
            out += r;
        }
        writeBytes(folder_ + file, out);
    }

    // Days of one year for vehicle n, the first being 1 January.
    void days(int year, int n, const std::vector<LegacyDay>& days) {
        std::string out;
        for (const auto& d : days) {
            std::string r(64, '\0');
            put(r, 0, d.version);
            put(r, 4, d.departure);
            put(r, 8, d.arrival);
            put(r, 12, d.flag12);
            str(r, 13, store::toCp932(d.remarks));
            put(r, 54, d.b54);
            put(r, 55, d.b55);
            out += r;
        }
        writeBytes(folder_ + "Run" + std::to_string(year) + ".d" + std::to_string(n), out);
    }

    void refuellings(int n, const std::vector<LegacyRefuelling>& rs) {
        std::string out;
        for (const auto& g : rs) {
            std::string r(128, '\0');
            put(r, 4, g.year);
            put(r, 8, g.month);
            put(r, 12, g.day);
            put(r, 16, g.odometer);
            put(r, 20, g.quantity);
            put(r, 24, g.price);
            put(r, 28, g.tax);
            put(r, 32, g.station);
            put(r, 36, g.b36);
            put(r, 37, g.b37);
            str(r, 38, store::toCp932(g.remarks));
            out += r;
        }
        writeBytes(folder_ + "gas.d" + std::to_string(n), out);
    }

    void maintenance(int n, const std::vector<LegacyMaintenance>& ms) {
        std::string out;
        for (const auto& m : ms) {
            std::string r(128, '\0');
            put(r, 0, m.version);
            put(r, 4, m.year);
            put(r, 8, m.month);
            put(r, 12, m.day);
            put(r, 16, m.odometer);
            put(r, 20, m.item);
            put(r, 24, m.amount);
            str(r, 28, m.textA);
            put(r, 72, m.tax);
            str(r, 76, m.textB);
            out += r;
        }
        writeBytes(folder_ + "mente.d" + std::to_string(n), out);
    }

    void expenses(int n, const std::vector<LegacyExpense>& es) {
        std::string out;
        for (const auto& e : es) {
            std::string r(256, '\0');
            put(r, 4, e.year);
            put(r, 8, e.month);
            put(r, 12, e.day);
            put(r, 16, e.item);
            str(r, 20, e.textA);
            put(r, 64, e.amount);
            put(r, 68, e.tax);
            str(r, 80, e.textC);
            str(r, 121, e.textB);
            out += r;
        }
        writeBytes(folder_ + "kane.d" + std::to_string(n), out);
    }

private:
    template <typename T>
    static void put(std::string& r, std::size_t off, T v) {
        std::memcpy(r.data() + off, &v, sizeof v);
    }
    static void str(std::string& r, std::size_t off, const std::string& s) {
        str(r, off, s, s.size());
    }
    static void str(std::string& r, std::size_t off, const std::string& s, std::size_t length) {
        r[off] = static_cast<char>(length);
        std::memcpy(r.data() + off + 1, s.data(), s.size());
    }

    std::string folder_;
};

}  // namespace quil::testing
