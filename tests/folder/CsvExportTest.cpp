// The CSV export of large record files: read and formatted in chunks by two threads, it
// must give the bytes one formatter gives over the filtered records in file order, stop
// cleanly when the sink fails, and report progress up to the total.

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <stdexcept>

#include "SampleDataSet.h"
#include "folder/CsvExport.h"
#include "store/Codec.h"
#include "store/ListCsv.h"

using namespace quil::folder;
using namespace quil::store;
using namespace quil::testing;

namespace {

class CsvExport : public ::testing::Test {
protected:
    TempDir dir;
    std::int64_t records = 0;

    void SetUp() override { writeSampleItems(dir.dir()); }

    // `n` records in date order: every kind, vehicle and user of the sample set (the
    // deleted vehicle and positions no item has among them), some deleted, remarks that
    // need quoting. Records [8192, 16384) are all of vehicle 13, so with it filtered out
    // two whole chunks of the file take nothing.
    void writeRecords(std::int64_t n) {
        std::mt19937 rnd(12345);
        std::ofstream out(dir.file("Quil.qud"), std::ios::binary | std::ios::trunc);
        const int vehicles[] = {0, 7, 13, 99};
        const int users[] = {1, 8, -1};
        const char* remarks[] = {"", "備考", "カンマ,あり", "引用\"符", "改行\r\nあり", "ｶﾅ"};
        for (std::int64_t i = 0; i < n; ++i) {
            const bool hiddenStretch = i >= 8192 && i < 16384;
            DataRecord r = sampleRecord(int(rnd() % 4), 45000.0 + double(i) / 37.0,
                                        hiddenStretch ? 13 : vehicles[rnd() % 4],
                                        users[rnd() % 3]);
            r.setDeleted(rnd() % 9 == 0);
            r.setDistance1(double(rnd() % 100000) / 10.0);
            r.setDistance2(r.distance1() + double(rnd() % 5000) / 10.0);
            r.setPrice(std::int32_t(rnd() % 200000) - 1000);
            r.setTax(std::int32_t(rnd() % 20000));
            r.setItem(std::int16_t(int(rnd() % 16) - 1));
            r.setPlace(std::int16_t(int(rnd() % 14) - 1));
            r.setReturnTime(r.date() + double(rnd() % 100) / 100.0);
            r.setRemarks(remarks[rnd() % 6]);
            if (rnd() % 3 == 0) r.setDestination("駅前,本町");
            out.write(reinterpret_cast<const char*>(&r), DataRecord::Size);
        }
        records = n;
    }

    static std::string exported(const std::string& folder, const ListOptions& o, TextEncoding e,
                                std::int64_t* rows = nullptr) {
        std::string out;
        const std::int64_t n = exportListCsv(folder, o, e, [&](std::string_view b) { out += b; });
        if (rows) *rows = n;
        return out;
    }

    // What one formatter writes for the records the filter takes, in file order.
    std::string expected(const ListOptions& o, TextEncoding e, std::int64_t* rows) const {
        const auto items = ItemStore(dir.dir()).readAll();
        const ListFilter filter = toolListFilter(items, o);
        ListCsv csv(o.tab, ItemNames(items), e);
        csv.header();
        std::string out;
        RecordStore(dir.dir()).scan([&](std::int64_t, const DataRecord& r) {
            if (filter.takes(r)) csv.row(r);
            out += csv.pending();
            csv.clear();
        });
        out += csv.pending();
        *rows = csv.rowCount();
        return out;
    }
};

}  // namespace

TEST_F(CsvExport, ALargeFileGivesTheRowsOfOneFormatterInFileOrder) {
    writeRecords(4096 * 5 + 123);  // chunks of 4096 records and a short last one
    std::vector<ListOptions> options;
    for (const ListTab tab : kListTabs) {
        ListOptions o;
        o.tab = tab;
        options.push_back(o);
        o.vehicles = {"車両1", "軽トラ"};  // vehicle 13 out: two chunks take nothing
        o.users = {"山田"};
        options.push_back(o);
        o.from = 45000.0 + 5000.0 / 37.0;
        o.to = 45000.0 + 19000.0 / 37.0;
        options.push_back(o);
    }
    for (const ListOptions& o : options) {
        for (TextEncoding e : {TextEncoding::Cp932, TextEncoding::Utf8}) {
            SCOPED_TRACE(::testing::Message() << "tab " << int(o.tab) << ", " << o.vehicles.size()
                                              << " vehicles, encoding " << int(e));
            std::int64_t rows = -1, expectedRows = -2;
            const std::string want = expected(o, e, &expectedRows);
            EXPECT_EQ(exported(dir.dir(), o, e, &rows), want);
            EXPECT_EQ(rows, expectedRows);
            EXPECT_GT(rows, 0);
        }
    }
    // A UTF-8 file starts with a byte-order mark (Excel needs it); a CP932 one does not.
    EXPECT_EQ(exported(dir.dir(), options[0], TextEncoding::Utf8).substr(0, 3), "\xEF\xBB\xBF");
    EXPECT_NE(exported(dir.dir(), options[0], TextEncoding::Cp932).substr(0, 3), "\xEF\xBB\xBF");
}

TEST_F(CsvExport, AFailingSinkStopsTheExportAndItsErrorReachesTheCaller) {
    writeRecords(4096 * 12);
    ListOptions o;
    o.tab = ListTab::Expense;
    for (int failAt : {1, 2, 5, 9}) {
        SCOPED_TRACE(failAt);
        int calls = 0;
        std::string out;
        EXPECT_THROW(exportListCsv(dir.dir(), o, TextEncoding::Cp932,
                                   [&](std::string_view b) {
                                       if (++calls == failAt) throw std::runtime_error("full");
                                       out += b;
                                   }),
                     std::runtime_error);
        EXPECT_EQ(calls, failAt);  // nothing is handed on after the failure
    }
}

TEST_F(CsvExport, ProgressRisesToTheRecordCount) {
    writeRecords(4096 * 40 + 7);
    ListOptions o;
    o.tab = ListTab::Driving;
    std::vector<std::pair<std::int64_t, std::int64_t>> seen;
    exportListCsv(
        dir.dir(), o, TextEncoding::Utf8, [](std::string_view) {},
        [&](std::int64_t done, std::int64_t total) { seen.emplace_back(done, total); });
    ASSERT_GE(seen.size(), 3u);
    for (std::size_t i = 0; i < seen.size(); ++i) {
        EXPECT_EQ(seen[i].second, records);
        EXPECT_LE(seen[i].first, records);
        if (i > 0) {
            EXPECT_GE(seen[i].first, seen[i - 1].first);
        }
    }
    EXPECT_EQ(seen.back().first, records);
}

TEST_F(CsvExport, NoRecordFileGivesTheTitleRowAlone) {
    ListOptions o;
    o.tab = ListTab::Refuelling;
    std::int64_t rows = -1;
    EXPECT_EQ(exported(dir.dir(), o, TextEncoding::Cp932, &rows),
              toCp932("No,年月日,車両,使用者,給油量,税抜金額,消費税,スタンド名,備考\r\n"));
    EXPECT_EQ(rows, 0);
}
