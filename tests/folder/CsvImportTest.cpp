// CSV export and import through the data files: round trips, files as a spreadsheet
// writes them, the refusals (line, column, message) and all-or-nothing under I/O faults.

#include <gtest/gtest.h>

#include <filesystem>

#include "CrashingFileSystem.h"
#include "SampleDataSet.h"
#include "folder/CsvExport.h"
#include "folder/CsvImport.h"
#include "folder/FileCopy.h"
#include "store/Codec.h"
#include "store/CsvReader.h"
#include "store/RecordEntry.h"

using namespace quil::folder;
using namespace quil::store;
using namespace quil::testing;

namespace {

class CsvImport : public ::testing::Test {
protected:
    TempDir from, to;
    void SetUp() override {
        writeSampleItems(from.dir());
        writeSampleItems(to.dir());
    }
    // A record as the entry dialog builds it.
    static DataRecord entry(EntryInput in) {
        in.stamp = kSampleStamp;
        auto r = buildEntryRecord(in);
        EXPECT_TRUE(std::holds_alternative<DataRecord>(r));
        return std::get<DataRecord>(r);
    }
    static std::string exportText(const std::string& dir, ListOptions o,
                                  TextEncoding e = TextEncoding::Utf8) {
        std::string out;
        exportListCsv(dir, o, e, [&](std::string_view b) { out += b; });
        return out;
    }
    std::string recordBytes(const TempDir& d) { return readBytes(d.file("Quil.qud")).value_or(""); }
};

EntryInput input(int kind, int y, unsigned m, unsigned d, int vehicle, int user) {
    EntryInput in;
    in.kind = static_cast<RecordKind>(kind);
    in.day = encodeDate(y, m, d);
    in.vehicle = vehicle;
    in.user = user;
    in.third = -1;
    in.shop = -1;
    in.startHour = in.startMinute = in.endHour = in.endMinute = "0";
    in.value1 = "0.0";
    in.value2 = in.value3 = "0";
    return in;
}

}  // namespace

TEST_F(CsvImport, ExportThenImportIntoAnEmptyDataSetGivesTheSameRecords) {
    for (int kind = 0; kind < 4; ++kind) {
        SCOPED_TRACE(kind);
        std::filesystem::remove(from.file("Quil.qud"));
        std::filesystem::remove(to.file("Quil.qud"));
        RecordStore store(from.dir());
        EntryInput a = input(kind, 2024, 5, 1, 0, 1);
        a.startHour = "8", a.startMinute = "30", a.endHour = "17", a.endMinute = "5";
        a.value1 = "12345.6", a.value2 = kind == 0 ? "12400.0" : "1500",
        a.value3 = kind == 0 ? "本社, \"倉庫\"" : "120";
        a.third = kind == 0 ? 3 : kind == 1 ? 9 : kind == 2 ? 4 : 12;
        a.shop = 11;  // "B,商会": a name with a comma
        a.remarks = "一行目\r\n二行目, \"引用\"";
        EntryInput b = input(kind, 2024, 5, 1, 7, 8);  // same day, other vehicle: sorts after
        b.remarks = "～㍑－";
        EntryInput c = input(kind, 2023, 12, 31, 0, 1);
        store.save(entry(a), std::nullopt);
        store.save(entry(b), std::nullopt);
        store.save(entry(c), std::nullopt);

        ListOptions o;
        o.tab = *listTabOf(kind);
        const std::string csv = exportText(from.dir(), o, TextEncoding::Cp932);
        const ImportResult r =
            importListCsv(to.dir(), *listTabOf(kind), CsvReader::decode(csv, TextEncoding::Cp932));
        ASSERT_FALSE(r.problem) << r.problem->text();
        EXPECT_EQ(r.added, 3);
        EXPECT_EQ(recordBytes(to), recordBytes(from));
    }
}

TEST_F(CsvImport, ReadsWhatASpreadsheetWrites) {
    // CP932 with CRLF, columns moved, No and 走行距離 dropped, a quoted name and remarks
    // with a line break, a date without leading zeros.
    const std::string sheet =
        "年月日,時間,車両,使用者,使用区分,出庫距離,入庫距離,行き先,備考\r\n"
        "2024/5/1,08:30 ～ 17:05,軽トラ,山田,配達,100.5,150,\"駅前, 本町\",\"朝\r\n夕\"\r\n"
        "2024-05-02,9:00 ～ 9:45,車両1,使用者1,,0,0,,\r\n";
    for (bool utf8 : {false, true}) {
        SCOPED_TRACE(utf8);
        std::filesystem::remove(to.file("Quil.qud"));
        const std::string bytes = utf8 ? sheet : toCp932(sheet);
        const ImportResult r =
            importListCsv(to.dir(), ListTab::Driving, CsvReader::decode(bytes, std::nullopt));
        ASSERT_FALSE(r.problem) << r.problem->text();
        const auto records = readRecords(to.file("Quil.qud"));
        ASSERT_EQ(records.size(), 2u);
        EXPECT_EQ(records[0].vehicle(), 7);
        EXPECT_EQ(records[0].user(), 8);
        EXPECT_EQ(records[0].item(), 2);
        EXPECT_EQ(records[0].date(), encodeDate(2024, 5, 1) + encodeTime(8, 30));
        EXPECT_EQ(records[0].returnTime(), encodeDate(2024, 5, 1) + encodeTime(17, 5));
        EXPECT_EQ(records[0].distance1(), 100.5);
        EXPECT_EQ(records[0].destination(), "駅前, 本町");
        EXPECT_EQ(records[0].remarks(), "朝\r\n夕");
        EXPECT_EQ(records[1].item(), -1);  // an empty purpose is "その他"
    }
}

TEST_F(CsvImport, ARefusedRowNamesLineColumnAndMessageAndWritesNothing) {
    RecordStore(to.dir()).save(entry(input(1, 2024, 1, 1, 0, 1)), std::nullopt);
    const std::string before = recordBytes(to);
    const std::string head = "No,年月日,車両,使用者,給油量,税抜金額,消費税,スタンド名,備考\n";
    const std::string good = "1,2024/06/01,車両1,使用者1,30.5,4000,400,駅前SS,\n";
    struct Case {
        std::string row;
        int column;
        const char* message;
    };
    const Case cases[] = {
        {"2,2024/02/30,車両1,使用者1,1,1,1,,\n", 2, "正しい日付を入力して下さい！"},
        {"2,2024/06/01,無い車,使用者1,1,1,1,,\n", 3, "車両を選択して下さい！"},
        {"2,2024/06/01,旧車,使用者1,1,1,1,,\n", 3, "車両を選択して下さい！"},  // deleted
        {"2,2024/06/01,車両1,山田太郎,1,1,1,,\n", 4, "使用者を選択して下さい！"},
        {"2,2024/06/01,車両1,使用者1,1,\"1,00\",1,,\n", 6, "正しい金額を入力して下さい！"},
        {"2,2024/06/01,車両1,使用者1,1,\"1000,000\",1,,\n", 6, "正しい金額を入力して下さい！"},
        {"2,2024/06/01,車両1,使用者1,1,12.5,1,,\n", 6, "正しい金額を入力して下さい！"},
        {"2,2024/06/01,車両1,使用者1,1,1,x,,\n", 7, "正しい消費税額を入力して下さい！"},
        {"2,2024/06/01,車両1,使用者1,abc,1,1,,\n", 5, "正しい給油量を入力して下さい！"},
        {"2,2024/06/01,車両1,使用者1,1,1,1,無いSS,\n", 8, "項目を選択して下さい！"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.row);
        const ImportResult r =
            importListCsv(to.dir(), ListTab::Refuelling, head + good + c.row + good);
        ASSERT_TRUE(r.problem);
        EXPECT_EQ(r.problem->line, 3u);
        EXPECT_EQ(r.problem->column, c.column);
        EXPECT_EQ(r.problem->message, c.message);
        EXPECT_EQ(recordBytes(to), before);
    }
    // The first failing check wins, in the entry dialog's order: the date before the price.
    const ImportResult r =
        importListCsv(to.dir(), ListTab::Refuelling, head + "1,x,車両1,使用者1,1,x,1,,\n");
    EXPECT_EQ(r.problem->text(), "行 2, 列 2 (年月日): 正しい日付を入力して下さい！");
    // Whole-file refusals: a missing column, an unclosed quote, no header at all.
    EXPECT_EQ(importListCsv(to.dir(), ListTab::Refuelling, "年月日,車両\n").problem->message,
              "列「使用者」がありません。");
    EXPECT_EQ(
        importListCsv(to.dir(), ListTab::Refuelling, head + good + "1,\"2024\n").problem->line, 3u);
    EXPECT_TRUE(importListCsv(to.dir(), ListTab::Refuelling, "").problem);
    EXPECT_EQ(recordBytes(to), before);
    EXPECT_FALSE(quil::folder::stagingLeftovers(to.dir()));
}

TEST_F(CsvImport, AnInvalidDataSetIsRefusedBeforeAnythingIsRead) {
    TempDir empty;
    EXPECT_TRUE(importListCsv(empty.dir(), ListTab::Refuelling, "x\n").problem);
    EXPECT_FALSE(std::filesystem::exists(empty.file("Quil.qud")));
}

TEST_F(CsvImport, AnIOErrorAtAnyStepLeavesTheRecordFileAsItWas) {
    RecordStore store(to.dir());
    for (int d = 1; d <= 5; ++d)
        store.save(entry(input(3, 2024, 3, unsigned(d) * 2, 0, 1)), std::nullopt);
    const std::string before = recordBytes(to);
    // One row appends, one goes between existing records (the reordering save).
    const std::string csv =
        "年月日,車両,使用者,項目,税抜金額,消費税,店,備考\n"
        "2024/04/01,車両1,使用者1,駐車場代,500,50,A商会,\n"
        "2024/03/05,車両1,使用者1,駐車場代,700,70,,\n";
    using Op = FaultyFileSystem::Op;
    int faults = 0;
    for (Op op : {Op::Write, Op::Sync, Op::Rename, Op::Open}) {
        for (int k = 1;; ++k) {
            FaultyFileSystem fs(op, k);
            bool threw = false;
            try {
                importListCsv(to.dir(), ListTab::Expense, csv, fs);
            } catch (const StoreError&) {
                threw = true;
            }
            if (!fs.fired()) {
                EXPECT_FALSE(threw);
                break;  // every call of this kind has failed once
            }
            ++faults;
            EXPECT_TRUE(threw);
            EXPECT_EQ(recordBytes(to), before) << "op " << int(op) << " call " << k;
            EXPECT_FALSE(quil::folder::stagingLeftovers(to.dir()));
        }
        // The run without a fault imported the rows: start again from the old file.
        writeBytes(to.file("Quil.qud"), before);
    }
    EXPECT_GT(faults, 6);
}

TEST_F(CsvImport, KeepsARecordCutShortBesideTheFileAndRefusesAReadOnlyFile) {
    RecordStore store(to.dir());
    store.save(entry(input(3, 2024, 3, 2, 0, 1)), std::nullopt);
    const std::string whole = recordBytes(to);
    const std::string cut = whole + std::string(100, 'z');  // a save the power cut short
    writeBytes(to.file("Quil.qud"), cut);
    const std::string csv =
        "年月日,車両,使用者,項目,税抜金額,消費税,店,備考\n"
        "2024/04/01,車両1,使用者1,駐車場代,500,50,A商会,\n";
    const ImportResult r = importListCsv(to.dir(), ListTab::Expense, csv);
    ASSERT_FALSE(r.problem) << r.problem->text();
    EXPECT_EQ(readBytes(to.file("Quil.qud.tail")), std::string(100, 'z'));
    EXPECT_EQ(readRecords(to.file("Quil.qud")).size(), 2u);

    const std::string now = recordBytes(to);
    std::filesystem::permissions(to.file("Quil.qud"), std::filesystem::perms::owner_read |
                                                          std::filesystem::perms::group_read);
    const ImportResult refused = importListCsv(to.dir(), ListTab::Expense, csv);
    ASSERT_TRUE(refused.problem);
    EXPECT_NE(refused.problem->text().find("読み取り専用"), std::string::npos);
    EXPECT_EQ(recordBytes(to), now);
    EXPECT_TRUE(std::filesystem::is_regular_file(to.file("Quil.qud")));
    EXPECT_EQ(std::filesystem::status(to.file("Quil.qud")).permissions() &
                  std::filesystem::perms::owner_write,
              std::filesystem::perms::none);
}

TEST_F(CsvImport, AKillAtAnyStepLeavesTheOldOrTheNewRecordFile) {
    RecordStore store(to.dir());
    for (int d = 1; d <= 3; ++d)
        store.save(entry(input(3, 2024, 3, unsigned(d) * 2, 0, 1)), std::nullopt);
    const std::string before = recordBytes(to);
    const std::string csv =
        "年月日,車両,使用者,項目,税抜金額,消費税,店,備考\n"
        "2024/03/05,車両1,使用者1,駐車場代,700,70,,\n";
    ASSERT_FALSE(importListCsv(to.dir(), ListTab::Expense, csv).problem);
    const std::string after = recordBytes(to);
    int kills = 0;
    for (int k = 1;; ++k) {
        ASSERT_LT(k, 100);
        writeBytes(to.file("Quil.qud"), before);
        CrashingFileSystem dying(k);
        try {
            importListCsv(to.dir(), ListTab::Expense, csv, dying);
        } catch (const StoreError&) {
        }
        if (!dying.crashed()) break;
        ++kills;
        const std::string got = recordBytes(to);
        EXPECT_TRUE(got == before || got == after) << "killed at change " << k;
    }
    EXPECT_GT(kills, 3);
}

TEST_F(CsvImport, RowsMergeWhereRowByRowSavesPutThemAndARerunAddsNothingTwice) {
    RecordStore store(to.dir());
    for (int d = 1; d <= 5; ++d)
        store.save(entry(input(3, 2024, 3, unsigned(d) * 2, 0, 1)), std::nullopt);
    const std::string before = recordBytes(to);
    // Before, between, on the key of and after stored records, two rows of one key and
    // one row twice; the price tells each row's record apart.
    const std::string csv =
        "年月日,車両,使用者,項目,税抜金額,消費税,店,備考\n"
        "2024/04/01,車両1,使用者1,駐車場代,500,0,,\n"
        "2024/03/04,車両1,使用者1,駐車場代,400,0,,\n"
        "2024/03/01,車両1,使用者1,駐車場代,100,0,,\n"
        "2024/03/06,車両1,使用者1,駐車場代,600,0,,\n"
        "2024/03/04,車両1,使用者1,駐車場代,401,0,,\n"
        "2024/03/05,車両1,使用者1,駐車場代,401,0,,\n"
        "2024/03/05,車両1,使用者1,駐車場代,401,0,,\n";
    const std::vector<int> prices = {500, 400, 100, 600, 401, 401, 401};
    const ImportResult first = importListCsv(to.dir(), ListTab::Expense, csv);
    ASSERT_FALSE(first.problem) << first.problem->text();
    EXPECT_EQ(first.added, 7);
    EXPECT_EQ(first.identical, 0);
    const std::string merged = recordBytes(to);

    // The same records saved one at a time, in the rows' order, onto the old file (the
    // three rows priced 401 stand in the file in the rows' order).
    const auto stored = readRecords(to.file("Quil.qud"));
    std::vector<DataRecord> added;
    for (const DataRecord& r : stored)
        if (r.price() >= 100) added.push_back(r);
    ASSERT_EQ(added.size(), prices.size());
    TempDir oneByOne;
    writeBytes(oneByOne.file("Quil.qud"), before);
    std::vector<bool> used(added.size());
    for (const int price : prices)
        for (std::size_t i = 0; i < added.size(); ++i)
            if (!used[i] && added[i].price() == price) {
                used[i] = true;
                RecordStore(oneByOne.dir()).save(added[i], std::nullopt);
                break;
            }
    EXPECT_EQ(readBytes(oneByOne.file("Quil.qud")).value_or(""), merged);

    // Run again (as after a kill once the file was in place): nothing is added twice.
    const ImportResult again = importListCsv(to.dir(), ListTab::Expense, csv);
    ASSERT_FALSE(again.problem);
    EXPECT_EQ(again.added, 0);
    EXPECT_EQ(again.identical, 7);
    EXPECT_EQ(recordBytes(to), merged);
    // A deleted stored record stands for no row; asked to, every row is added again.
    RecordStore(to.dir()).markDeleted(0);
    const ImportResult deleted = importListCsv(to.dir(), ListTab::Expense,
                                               "年月日,車両,使用者,項目,税抜金額,消費税,店,備考\n"
                                               "2024/03/01,車両1,使用者1,駐車場代,100,0,,\n");
    EXPECT_EQ(deleted.added, 1);
    const ImportResult forced = importListCsv(to.dir(), ListTab::Expense, csv,
                                              FileSystem::current(), {}, ImportDuplicates::Add);
    EXPECT_EQ(forced.added, 7);
    EXPECT_EQ(forced.identical, 0);
    EXPECT_EQ(readRecords(to.file("Quil.qud")).size(), stored.size() + 8);
}

TEST_F(CsvImport, ExportTakesTheListsRowsForItsOptions) {
    RecordStore store(from.dir());
    store.save(entry(input(1, 2024, 1, 10, 0, 1)), std::nullopt);
    store.save(entry(input(3, 2024, 2, 10, 7, 8)), std::nullopt);
    store.save(entry(input(2, 2024, 3, 10, 0, 8)), std::nullopt);
    DataRecord gone = entry(input(3, 2024, 3, 11, 0, 1));
    gone.setDeleted(true);
    store.save(gone, std::nullopt);
    auto lines = [&](ListOptions o) {
        std::vector<std::string> out;
        std::optional<CsvParseError> e;
        for (const CsvRow& row : CsvReader::parse(exportText(from.dir(), o), e))
            out.push_back(row.fields[1] + "|" + row.fields[4]);
        return out;
    };
    ListOptions o;
    o.tab = ListTab::Expense;  // every record with a cost, deleted ones left out
    EXPECT_EQ(lines(o), (std::vector<std::string>{"年月日|項目", "2024/01/10|給油代金",
                                                  "2024/02/10|その他", "2024/03/10|点検・整備費"}));
    o.from = encodeDate(2024, 2, 10);
    o.to = encodeDate(2024, 3, 9);
    EXPECT_EQ(lines(o).size(), 2u);
    o = ListOptions{};
    o.tab = ListTab::Expense;
    o.users = {"山田"};
    EXPECT_EQ(lines(o).size(), 3u);
    o.vehicles = {"車両1", "軽トラ"};
    EXPECT_EQ(lines(o).size(), 3u);
    o.vehicles = {"無い車"};
    EXPECT_THROW(exportText(from.dir(), o), OptionError);
    // The file Excel opens as it is: CP932 with CRLF, the title row first.
    o = ListOptions{};
    o.tab = ListTab::Refuelling;
    const std::string cp932 = exportText(from.dir(), o, TextEncoding::Cp932);
    EXPECT_EQ(cp932, toCp932("No,年月日,車両,使用者,給油量,税抜金額,消費税,スタンド名,備考\r\n"
                             "1,2024/01/10,車両1,使用者1,0.0,0,0,その他,\r\n"));
}

TEST_F(CsvImport, ATextOrNumberTheRecordCannotHoldAsGivenIsRefusedNamingRowAndColumn) {
    RecordStore(to.dir()).save(entry(input(0, 2024, 1, 1, 0, 1)), std::nullopt);
    const std::string before = recordBytes(to);
    const std::string head = "年月日,時間,車両,使用者,使用区分,出庫距離,入庫距離,行き先,備考\n";
    auto row = [](std::string d1, std::string dest, std::string remarks) {
        return "2024/06/01,08:30 ～ 17:05,車両1,使用者1,," + d1 + ",0," + dest + "," + remarks +
               "\n";
    };
    auto repeat = [](const std::string& s, int n) {
        std::string out;
        for (int i = 0; i < n; ++i) out += s;
        return out;
    };
    const std::string longChars = "長すぎます（全角 50 文字・半角 100 文字まで）。";
    struct Case {
        std::string row;
        int column;
        std::string message;
    };
    const Case cases[] = {
        {row("0", "", repeat("備", 51)), 9, longChars},
        {row("0", "", repeat("x", 101)), 9, longChars},
        {row("0", repeat("行", 21), ""), 8, "長すぎます（全角 20 文字・半角 40 文字まで）。"},
        {row("0", "", "a\xff" "b"), 9, "Shift-JIS (CP932) で記録できない文字があります。"},
        {row("0", "", "絵文字😀"), 9, "Shift-JIS (CP932) で記録できない文字があります。"},
        {row("0", std::string("a\0b", 3), ""), 8, "制御文字は記録できません。"},
        {row("1e308", "", ""), 6,
         "記録できない数値です（絶対値 1,000,000,000 未満、有効数字 15 桁まで）。"},
        {row("1234567.890123456", "", ""), 6,
         "記録できない数値です（絶対値 1,000,000,000 未満、有効数字 15 桁まで）。"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.row);
        const ImportResult r =
            importListCsv(to.dir(), ListTab::Driving, head + row("0", "", "") + c.row);
        ASSERT_TRUE(r.problem);
        EXPECT_EQ(r.problem->line, 3u);
        EXPECT_EQ(r.problem->column, c.column);
        EXPECT_EQ(r.problem->message, c.message);
        EXPECT_EQ(recordBytes(to), before);
    }
    // At the limits, and CP932's own wave dash and litre sign, everything is stored as given.
    std::filesystem::remove(to.file("Quil.qud"));
    const ImportResult r =
        importListCsv(to.dir(), ListTab::Driving,
                      head + row("999999999.9", repeat("行", 20), repeat("備", 49) + "～") +
                          row("-12345.678901", repeat("x", 40), "㍑\t\"x\"" + repeat("y", 94)));
    ASSERT_FALSE(r.problem) << r.problem->text();
    const auto records = readRecords(to.file("Quil.qud"));
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].distance1(), 999999999.9);
    EXPECT_EQ(records[0].destination(), repeat("行", 20));
    EXPECT_EQ(records[0].remarks(), repeat("備", 49) + "～");
    EXPECT_EQ(records[1].distance1(), -12345.678901);
    EXPECT_EQ(records[1].destination(), repeat("x", 40));
    EXPECT_EQ(records[1].remarks(), "㍑\t\"x\"" + repeat("y", 94));
}

TEST_F(CsvImport, EveryBadRowIsReportedUpToAHundredThenCounted) {
    const std::string head = "年月日,車両,使用者,給油量,税抜金額,消費税,スタンド名,備考\n";
    const std::string good = "2024/06/01,車両1,使用者1,30.5,4000,400,駅前SS,\n";
    // Three different faults in rows 3, 5 and 6; the others are good.
    const ImportResult three = importListCsv(to.dir(), ListTab::Refuelling,
                                             head + good + "2024/06/31,車両1,使用者1,1,1,1,,\n" +
                                                 good + "2024/06/01,車両1,使用者1,1,x,1,,\n" +
                                                 "2024/06/01,車両1,使用者1,1,1,1,,,余分\n");
    ASSERT_TRUE(three.problem);
    ASSERT_EQ(three.rowProblems.size(), 3u);
    EXPECT_EQ(three.badRows, 3);
    EXPECT_EQ(three.rowProblems[0].text(), "行 3, 列 1 (年月日): 正しい日付を入力して下さい！");
    EXPECT_EQ(three.rowProblems[1].text(), "行 5, 列 5 (税抜金額): 正しい金額を入力して下さい！");
    EXPECT_EQ(three.rowProblems[2].line, 6u);
    EXPECT_EQ(three.problem->text(), three.rowProblems[0].text());
    EXPECT_FALSE(std::filesystem::exists(to.file("Quil.qud")));

    std::string many = head;
    for (int i = 0; i < 150; ++i) many += "2024/06/01,無い車,使用者1,1,1,1,,\n" + good;
    const ImportResult r = importListCsv(to.dir(), ListTab::Refuelling, many);
    EXPECT_EQ(r.rowProblems.size(), kMaxListedProblems);
    EXPECT_EQ(r.badRows, 150);
    EXPECT_EQ(r.rowProblems.back().line, 2u + 2 * 99);
    EXPECT_EQ(r.added, 0);
    EXPECT_FALSE(std::filesystem::exists(to.file("Quil.qud")));
}

TEST_F(CsvImport, ReadsThousandsSeparatorsAndBothWaveDashes) {
    const std::string sheet =
        "年月日,時間,車両,使用者,使用区分,出庫距離,入庫距離,行き先,備考\r\n"
        "2024/5/1,08:30 〜 17:05,車両1,使用者1,,\"12,345.6\",\"1,012,400\",,\r\n"
        "2024/5/2,08:30 ～ 9:15,車両1,使用者1,,\"-1,000.5\",0,,\r\n";
    ASSERT_FALSE(importListCsv(to.dir(), ListTab::Driving, sheet).problem);
    const auto records = readRecords(to.file("Quil.qud"));
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].returnTime(), encodeDate(2024, 5, 1) + encodeTime(17, 5));
    EXPECT_EQ(records[0].distance1(), 12345.6);
    EXPECT_EQ(records[0].distance2(), 1012400.0);
    EXPECT_EQ(records[1].returnTime(), encodeDate(2024, 5, 2) + encodeTime(9, 15));
    EXPECT_EQ(records[1].distance1(), -1000.5);
    // Prices and taxes too; a return time cut short names the 時間 column.
    const std::string costs = "年月日,車両,使用者,項目,税抜金額,消費税,店,備考\n"
                              "2024/06/01,車両1,使用者1,駐車場代,\"1,500\",\"-1,200\",,\n";
    ASSERT_FALSE(importListCsv(to.dir(), ListTab::Expense, costs).problem);
    EXPECT_EQ(readRecords(to.file("Quil.qud")).back().price(), 1500);
    EXPECT_EQ(readRecords(to.file("Quil.qud")).back().tax(), -1200);
    const ImportResult cut =
        importListCsv(to.dir(), ListTab::Driving,
                      "年月日,時間,車両,使用者,使用区分,出庫距離,入庫距離,行き先,備考\n"
                      "2024/5/1,08:30 ～ 17:,車両1,使用者1,,0,0,,\n");
    ASSERT_TRUE(cut.problem);
    EXPECT_EQ(cut.problem->text(), "行 2, 列 2 (時間): 正しい時間を入力して下さい！");
}

TEST_F(CsvImport, FormulaLikeTextsAreGuardedOnExportAndComeBackAsTheyWere) {
    RecordStore store(from.dir());
    const char* texts[] = {"=1+2", "+81 3", "-支店", "@SUM(A1)", "\t字下げ", "\r先頭", "'=既に",
                           "'普通", "普通", "A=B"};
    int day = 1;
    for (const char* t : texts) {
        EntryInput in = input(0, 2024, 5, unsigned(day++), 0, 1);
        in.value1 = "-5.5";  // a negative number stays a number
        in.value3 = t;
        in.remarks = t;
        store.save(entry(in), std::nullopt);
    }
    ListOptions o;
    const std::string csv = exportText(from.dir(), o);
    std::optional<CsvParseError> e;
    const auto rows = CsvReader::parse(csv, e);
    ASSERT_EQ(rows.size(), 11u);
    const std::string guarded[] = {"'=1+2", "'+81 3", "'-支店", "'@SUM(A1)", "'\t字下げ",
                                   "'\r先頭", "''=既に", "'普通", "普通", "A=B"};
    for (std::size_t i = 0; i < 10; ++i) {
        EXPECT_EQ(rows[i + 1].fields[9], guarded[i]);
        EXPECT_EQ(rows[i + 1].fields[10], guarded[i]);
        EXPECT_EQ(rows[i + 1].fields[6], "-5.5");
    }
    for (TextEncoding enc : {TextEncoding::Utf8, TextEncoding::Cp932}) {
        std::filesystem::remove(to.file("Quil.qud"));
        const ImportResult r = importListCsv(
            to.dir(), ListTab::Driving, CsvReader::decode(exportText(from.dir(), o, enc), enc));
        ASSERT_FALSE(r.problem) << r.problem->text();
        EXPECT_EQ(recordBytes(to), recordBytes(from));
    }
}
