// The program's command line, read before any display is needed.
#include "ui/main/CommandLine.h"

#include <gtest/gtest.h>

using namespace quil::ui;
using Action = CommandLine::Action;

TEST(CommandLine, HelpAndVersionAnswerWhateverElseIsGiven) {
    EXPECT_EQ(parseCommandLine({"--help"}).action, Action::Help);
    EXPECT_EQ(parseCommandLine({"--per-user", "-h"}).action, Action::Help);
    EXPECT_EQ(parseCommandLine({"--version"}).action, Action::Version);
    EXPECT_NE(usageText().find("--per-user"), std::string::npos);
    EXPECT_EQ(versionText(), "quil (クイル台帳) " QUIL_BUILD_VERSION "\n");
}

TEST(CommandLine, ThePerUserOptionAndQtsOwnOptionsStartTheProgram) {
    EXPECT_EQ(parseCommandLine({}).action, Action::Start);
    EXPECT_FALSE(parseCommandLine({}).perUser);
    const CommandLine line =
        parseCommandLine({"-platform", "offscreen", "--per-user", "--style", "Fusion", "-reverse"});
    EXPECT_EQ(line.action, Action::Start);
    EXPECT_TRUE(line.perUser);
}

TEST(CommandLine, UnknownOptionsStrayWordsAndMissingValuesAreRefused) {
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"--bogus"}, {"-x"}, {"--per-user", "file.qud"}, {"-platform"}, {"--per-user=1"}}) {
        const CommandLine line = parseCommandLine(args);
        EXPECT_EQ(line.action, Action::Refuse) << args.back();
        EXPECT_FALSE(line.problem.empty()) << args.back();
    }
    EXPECT_EQ(parseCommandLine({"--bogus"}).problem, "不明なオプションです: --bogus");
}
