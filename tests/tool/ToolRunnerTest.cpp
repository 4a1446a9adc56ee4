// quil-tool run in-process: exit codes, help, the data folder and each command's output.

#include "tool/ToolRunner.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "SampleDataSet.h"
#include "store/Codec.h"
#include "store/Settings.h"

using namespace quil::store;
using namespace quil::testing;
using namespace quil::tool;

namespace {

class Tool : public ::testing::Test {
protected:
    TempDir program, data;
    std::string out, err;
    void SetUp() override { writeSampleItems(data.dir()); }
    int run(std::vector<std::string> args, const std::string& input = {}) {
        std::istringstream in(input);
        std::ostringstream o, e;
        ToolRunner runner(program.dir(), in, o, e, false);
        const int code = runner.run(std::move(args));
        out = o.str();
        err = e.str();
        return code;
    }
    std::vector<std::string> withData(std::vector<std::string> args) {
        args.insert(args.begin(), {"--data", data.dir()});
        return args;
    }
};

}  // namespace

TEST_F(Tool, HelpForTheToolAndEachCommand) {
    EXPECT_EQ(run({"--help"}), kExitOk);
    EXPECT_NE(out.find("export-csv"), std::string::npos);
    for (const char* c : {"check", "dump", "export-csv", "import-csv"}) {
        EXPECT_EQ(run({c, "--help"}), kExitOk) << c;
        EXPECT_NE(out.find(std::string("quil-tool [--data FOLDER] ") + c), std::string::npos) << c;
    }
}

TEST_F(Tool, UsageErrorsExitTwoWithAMessage) {
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"frobnicate"},
        {"--verbose", "check"},
        {"--data"},
        {"check", "extra"},
        {"export-csv"},
        {"export-csv", "--kind", "fuel"},
        {"export-csv", "--kind", "driving", "--from", "2024/13/01"},
        {"export-csv", "--kind", "driving", "--encoding", "latin1"},
        {"export-csv", "--kind", "driving", "--kind", "expense"},
        {"export-csv", "--kind", "driving", "--out"},
        {"import-csv", "--kind", "driving"},
        {"import-csv", "--kind", "driving", "a.csv", "b.csv"},
    };
    for (const auto& args : bad) {
        EXPECT_EQ(run(withData(args)), kExitUsage) << (args.empty() ? "" : args[0]);
        EXPECT_NE(err.find("--help"), std::string::npos);
    }
    // A name that is not registered is a usage error too.
    EXPECT_EQ(run(withData({"export-csv", "--kind", "driving", "--vehicle", "無い車"})),
              kExitUsage);
    EXPECT_NE(err.find("「無い車」"), std::string::npos);
}

TEST_F(Tool, IoErrorsExitThree) {
    EXPECT_EQ(run(withData({"import-csv", "--kind", "driving", data.file("none.csv")})), kExitIo);
}

TEST_F(Tool, CheckSaysOkOrListsProblems) {
    EXPECT_EQ(run(withData({"check"})), kExitOk);
    EXPECT_EQ(out, "データフォルダー: " + data.dir() + "\nOK\n");
    DataRecord r = sampleRecord(1, encodeDate(2024, 1, 1), 42, 1);
    RecordStore(data.dir()).save(r, std::nullopt);
    EXPECT_EQ(run(withData({"check"})), kExitProblems);
    EXPECT_EQ(out, "データフォルダー: " + data.dir() +
                       "\nQuil.qud 位置 0: 車両 42 の項目はありません。\n");
}

TEST_F(Tool, TheDataFolderDefaultsToTheOneInTheProgramsSettings) {
    Settings(program.dir()).setDataFolder(data.dir());
    EXPECT_EQ(run({"dump"}), kExitOk);
    EXPECT_NE(out.find("項目 7 車両 「軽トラ」"), std::string::npos);
}

TEST_F(Tool, ImportThenExportToAFile) {
    const std::string csv =
        "年月日,車両,使用者,給油量,税抜金額,消費税,スタンド名,備考\r\n"
        "2024/01/10,軽トラ,山田,30.5,4000,400,駅前SS,\"満タン, 洗車\"\r\n";
    writeBytes(data.file("in.csv"), toCp932(csv));
    EXPECT_EQ(run(withData({"import-csv", "--kind", "refuelling", data.file("in.csv")})), kExitOk);
    EXPECT_EQ(out, "1 件の記録を追加しました。\n");
    // Standard input, a refused row: exit 1, the line and column named, nothing written.
    const auto before = readBytes(data.file("Quil.qud"));
    EXPECT_EQ(run(withData({"import-csv", "--kind", "refuelling", "-"}),
                  "年月日,車両,使用者,給油量,税抜金額,消費税,スタンド名,備考\n"
                  "2024/01/11,軽トラ,山田,30.5,4000,x,駅前SS,\n"),
              kExitProblems);
    EXPECT_EQ(
        err,
        "quil-tool: データフォルダー: " + data.dir() +
            "\n-: 行 2, 列 6 (消費税): 正しい消費税額を入力して下さい！\n何も書き込んでいません。\n");
    EXPECT_EQ(readBytes(data.file("Quil.qud")), before);

    const std::string target = data.file("out.csv");
    EXPECT_EQ(run(withData({"export-csv", "--kind", "refuelling", "--out", target})), kExitOk);
    EXPECT_EQ(readBytes(target),
              toCp932("No,年月日,車両,使用者,給油量,税抜金額,消費税,スタンド名,備考\r\n"
                      "1,2024/01/10,軽トラ,山田,30.5,4000,400,駅前SS,\"満タン, 洗車\"\r\n"));
    EXPECT_EQ(run(withData({"export-csv", "--kind", "expense", "--encoding", "utf-8", "--to",
                            "2024-01-09"})),
              kExitOk);
    EXPECT_EQ(out, "No,年月日,車両,使用者,項目,税抜金額,消費税,店,備考\r\n");
    // An unwritable target: exit 3 and no half file.
    EXPECT_EQ(run(withData({"export-csv", "--kind", "driving", "--out", data.file("no/dir.csv")})),
              kExitIo);
    EXPECT_FALSE(std::filesystem::exists(data.file("no/dir.csv.part")));
}

TEST_F(Tool, BackupThenRestoreBringsTheDataSetBack) {
    RecordStore(data.dir()).save(sampleRecord(1, encodeDate(2024, 1, 1), 0, 1), std::nullopt);
    const auto saved = readBytes(data.file("Quil.qud"));
    TempDir backupFolder;
    EXPECT_EQ(run(withData({"backup", backupFolder.dir()})), kExitOk);
    EXPECT_EQ(readBytes(backupFolder.file("Quil.qud")), saved);
    RecordStore(data.dir()).save(sampleRecord(1, encodeDate(2024, 2, 1), 0, 1), std::nullopt);
    EXPECT_NE(readBytes(data.file("Quil.qud")), saved);

    // While the program holds the data set's lock, the data set is not replaced.
    writeBytes(data.file("Quil.lck"), "1\nquil\nhost\n");
    EXPECT_EQ(run(withData({"restore", backupFolder.dir()})), kExitProblems);
    EXPECT_NE(err.find("Quil.lck"), std::string::npos);
    EXPECT_NE(readBytes(data.file("Quil.qud")), saved);
    std::filesystem::remove(data.file("Quil.lck"));

    EXPECT_EQ(run(withData({"restore", backupFolder.dir()})), kExitOk);
    EXPECT_EQ(readBytes(data.file("Quil.qud")), saved);
    // A folder without a data set is refused with the dialog's message; nothing changes.
    TempDir empty;
    EXPECT_EQ(run(withData({"restore", empty.dir()})), kExitProblems);
    EXPECT_EQ(readBytes(data.file("Quil.qud")), saved);
    EXPECT_EQ(run(withData({"backup", data.dir() + "missing"})), kExitIo);
    EXPECT_EQ(run(withData({"backup"})), kExitUsage);
}

TEST_F(Tool, ImportLegacyRefusesAFolderWithoutLegacyDataAndChangesNothing) {
    const auto items = readBytes(data.file("Quil.qui"));
    TempDir legacy;
    EXPECT_EQ(run(withData({"import-legacy", legacy.dir()})), kExitProblems);
    EXPECT_FALSE(err.empty());
    EXPECT_EQ(readBytes(data.file("Quil.qui")), items);
    EXPECT_EQ(run(withData({"import-legacy", "--help"})), kExitOk);
    EXPECT_NE(out.find("Car.dat"), std::string::npos);
}
