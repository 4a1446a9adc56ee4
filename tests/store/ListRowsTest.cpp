// List cells in CP932 (the CSV export) are the UTF-8 cells of the list, converted.

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "store/Codec.h"
#include "store/Date.h"
#include "store/ListRows.h"

using namespace quil::store;

namespace {

// The record with its remarks replaced by raw CP932 bytes.
DataRecord withRawRemarks(const DataRecord& r, std::string_view raw) {
    std::array<std::uint8_t, DataRecord::Size> bytes;
    std::memcpy(bytes.data(), r.data(), bytes.size());
    bytes[70] = std::uint8_t(raw.size());
    std::memcpy(bytes.data() + 71, raw.data(), raw.size());
    return DataRecord(bytes.data());
}

}  // namespace

TEST(ListRows, Cp932CellsAreTheListsCellsConverted) {
    std::vector<ItemRecord> items(3);
    items[0].setKind(ItemKind::Vehicle);
    items[0].setName("軽トラ～");
    items[1].setKind(ItemKind::User);
    items[1].setName("山田");
    items[2].setKind(ItemKind::Shop);
    items[2].setName("B,商会");
    const ItemNames names(items);
    DataRecord r;
    r.setDate(encodeDate(2024, 5, 1) + encodeTime(8, 30));
    r.setReturnTime(encodeDate(2024, 5, 1) + encodeTime(17, 5));
    r.setVehicle(0);
    r.setUser(1);
    r.setItem(-1);
    r.setPlace(2);
    r.setDistance1(12345.65);
    r.setDistance2(-0.04);
    r.setPrice(-2147483647 - 1);
    r.setDestination("本社㍑");
    // Whole characters; a character cut in half; a byte outside the code page.
    for (std::string_view raw : {std::string_view("\x82\xa0\x8e\xd4"),
                                 std::string_view("\x82\xa0\x82"), std::string_view("a\xff")}) {
        const DataRecord rec = withRawRemarks(r, raw);
        for (const ListTab tab : kListTabs) {
            const ListRowFormatter utf8(tab, names, TextEncoding::Utf8);
            const ListRowFormatter cp932(tab, names, TextEncoding::Cp932);
            EXPECT_EQ(cp932.title(2), toCp932(utf8.title(2)));
            for (int c = 1; c < listColumnCount(tab); ++c) {
                std::string u, s;
                utf8.appendCell(u, rec, 7, c);
                cp932.appendCell(s, rec, 7, c);
                EXPECT_EQ(s, toCp932(u)) << "tab " << int(tab) << " column " << c;
                EXPECT_EQ(u, listCellText(tab, rec, 7, c, names));
            }
        }
    }
    EXPECT_EQ(listCellText(ListTab::Driving, r, 7, 3, names), "08:30 ～ 17:05");
    EXPECT_EQ(listCellText(ListTab::Driving, r, 7, 7, names), "12345.7");
    EXPECT_EQ(listCellText(ListTab::Driving, r, 7, 8, names), "0.0");  // no negative zero
    EXPECT_EQ(listCellText(ListTab::Refuelling, r, 7, 2, names), "2024/05/01");
    EXPECT_EQ(listCellText(ListTab::Refuelling, r, 7, 6, names), "-2147483648");
    EXPECT_EQ(listCellText(ListTab::Expense, r, 7, 5, names), "その他");
}

TEST(ListRows, OnlyTextColumnsCanHoldCommasOrQuotes) {
    std::vector<ItemRecord> items(1);
    items[0].setName("a,\"b\"\r\n");
    const ItemNames names(items);
    DataRecord r;
    r.setRemarks("x,y");
    r.setDestination("\"z\"");
    for (const ListTab tab : kListTabs) {
        for (int c = 1; c < listColumnCount(tab); ++c) {
            const std::string text = listCellText(tab, r, 1, c, names);
            if (!listColumnIsText(tab, c)) {
                EXPECT_EQ(text.find_first_of(",\"\r\n"), std::string::npos)
                    << "tab " << int(tab) << " column " << c << ": " << text;
            }
        }
    }
    EXPECT_TRUE(listColumnIsText(ListTab::Driving, 4));
    EXPECT_TRUE(listColumnIsText(ListTab::Driving, 10));
    EXPECT_FALSE(listColumnIsText(ListTab::Driving, 9));
    EXPECT_TRUE(listColumnIsText(ListTab::Expense, 5));  // "給油代金" or an expense item's name
    EXPECT_FALSE(listColumnIsText(ListTab::Expense, 7));
}

// One formatter writes many dates in a row, forward through month, year and leap-day
// boundaries, times of day near midnight, then back and at the ends of the range: each
// cell is the date's own text.
TEST(ListRows, DateCellsFollowEveryDateWrittenByOneFormatter) {
    const std::vector<ItemRecord> items;
    const ItemNames names(items);
    for (TextEncoding encoding : {TextEncoding::Utf8, TextEncoding::Cp932}) {
        ListRowFormatter rows(ListTab::Refuelling, names, encoding);
        std::vector<DateTime> dates;
        for (DateTime d = encodeDate(1999, 12, 25); d < encodeDate(2001, 3, 5); d += 0.37)
            dates.push_back(d);
        for (DateTime day : {encodeDate(2024, 2, 28), encodeDate(2024, 2, 29),
                             encodeDate(2100, 2, 28), encodeDate(2000, 2, 29)}) {
            for (DateTime t : {0.0, 1e-10, 0.5, 0.999999999, 0.9999999999})
                dates.push_back(day + t);
        }
        for (DateTime d : {0.0, -0.25, -1.25, 1.0, 0.99999999999, 2958465.0, 2958465.5, 2958466.0,
                           -700000.0, 1e300, 35000.0, 35000.0})
            dates.push_back(d);
        for (DateTime d : dates) {
            DataRecord r;
            r.setDate(d);
            std::string cell;
            rows.appendCell(cell, r, 1, 2);
            EXPECT_EQ(cell, formatDate(d)) << d;
        }
    }
}
