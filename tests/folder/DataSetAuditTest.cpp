// The tool's check and dump: every broken fixture is reported, a sound data set is not.

#include "folder/DataSetAudit.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "SampleDataSet.h"

using namespace quil::folder;
using namespace quil::store;
using namespace quil::testing;

namespace {

class DataSetAudit : public ::testing::Test {
protected:
    TempDir tmp;
    const DateTime today = encodeDate(2024, 6, 1);
    void place(const std::string& fixture, const std::string& as) {
        std::filesystem::copy_file(std::string(QUIL_TEST_DATA) + "/store/" + fixture, tmp.file(as),
                                   std::filesystem::copy_options::overwrite_existing);
    }
    std::string problems() {
        std::string all;
        for (const auto& p : auditDataSet(tmp.dir(), today)) all += p + "\n";
        return all;
    }
};

}  // namespace

TEST_F(DataSetAudit, ASoundDataSetHasNoProblem) {
    writeSampleItems(tmp.dir());
    EXPECT_EQ(problems(), "");  // no record file yet
    RecordStore store(tmp.dir());
    DataRecord fuel = sampleRecord(1, encodeDate(2024, 1, 1), 0, 1);
    fuel.setPlace(9);
    store.save(fuel, std::nullopt);
    DataRecord drive = sampleRecord(0, encodeDate(2024, 6, 1) + 0.9, 7, 8);
    drive.setItem(3);
    store.save(drive, std::nullopt);
    DataRecord gone = sampleRecord(3, encodeDate(2024, 2, 1), 13, 1);  // deleted vehicle
    gone.setDeleted(true);
    store.save(gone, std::nullopt);
    EXPECT_EQ(problems(), "");
}

TEST_F(DataSetAudit, FindsEachBrokenFixture) {
    struct Case {
        const char* qui;
        const char* qud;  // nullptr: no record file
        const char* expected;
    };
    const Case cases[] = {
        {"bad-signature.qui", nullptr, "Quil.qui 位置 0: 署名が QI ではありません。"},
        {"newer-version.qui", nullptr, "Quil.qui 位置 0: 版 102 は 101 ではありません。"},
        {"unknown-kind.qui", nullptr, "種類 42 は不明です。"},
        {"half-character.qui", "bad-signature.qud", "Quil.qud 位置 0: 署名が QD ではありません。"},
        {"half-character.qui", "format100-single.qud",
         "Quil.qud: 版 100 の古い形式です（プログラムの起動時に変換されます）。"},
        {"half-character.qui", "truncated-record.qud",
         "Quil.qud: 大きさ 612 バイトは 256 の倍数ではありません。"},
        {"half-character.qui", "short-header.qud", "Quil.qud: 大きさ 10 バイト"},
        {"other-stamp.qui", "length-beyond-field.qud",
         "Quil.qud 位置 0: データセットの日時が Quil.qui と異なります。"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.qui) + " " + (c.qud ? c.qud : ""));
        std::filesystem::remove(tmp.file("Quil.qud"));
        place(c.qui, "Quil.qui");
        if (c.qud) place(c.qud, "Quil.qud");
        EXPECT_NE(problems().find(c.expected), std::string::npos) << problems();
    }
    std::filesystem::remove(tmp.file("Quil.qui"));
    EXPECT_EQ(problems(), "Quil.qui: ファイルがありません。\n");
}

TEST_F(DataSetAudit, FindsOrderReferenceAndFutureProblems) {
    writeSampleItems(tmp.dir());
    DataRecord late = sampleRecord(1, encodeDate(2024, 3, 1), 0, 1);
    DataRecord early = sampleRecord(1, encodeDate(2024, 2, 1), 0, 1);  // out of order
    DataRecord refs = sampleRecord(2, encodeDate(2024, 3, 2), 99, 0);  // no item 99; 0 is a vehicle
    refs.setItem(10);  // a shop, not a maintenance item
    refs.setPlace(-1);
    DataRecord future = sampleRecord(3, encodeDate(2024, 6, 2), 0, 1);
    writeRecords(tmp.file("Quil.qud"), std::vector<DataRecord>{late, early, refs, future});
    EXPECT_EQ(problems(),
              "Quil.qud 位置 1: 日付・車両・使用者の順が前の記録より前です。\n"
              "Quil.qud 位置 2: 車両 99 の項目はありません。\n"
              "Quil.qud 位置 2: 使用者 0 は使用者ではありません。\n"
              "Quil.qud 位置 2: 項目 10 は点検・整備項目名ではありません。\n"
              "Quil.qud 位置 3: 日付 2024/06/02 は未来です。\n");
}

TEST_F(DataSetAudit, DumpShowsEveryItemAndRecordWithDeletedOnesMarked) {
    writeSampleItems(tmp.dir());
    DataRecord r = sampleRecord(3, encodeDate(2024, 2, 1), 13, 8);
    r.setPrice(500);
    r.setItem(12);
    r.setDeleted(true);
    RecordStore(tmp.dir()).save(r, std::nullopt);
    std::vector<std::string> lines;
    dumpDataSet(tmp.dir(), [&](const std::string& l) { lines.push_back(l); });
    ASSERT_EQ(lines.size(), 15u);
    EXPECT_EQ(lines[13].rfind("項目 13 [削除] 車両 「旧車」", 0), 0u) << lines[13];
    EXPECT_EQ(lines[14],
              "記録 0 [削除] 出費記録 2024/02/01 00:00 車両 「旧車」 使用者 「山田」 税抜金額 500 "
              "消費税 0 項目 「駐車場代」 店 「その他」 備考 「」");
}
