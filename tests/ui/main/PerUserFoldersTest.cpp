// An installed copy: settings in the per-user configuration folder, the data set in the
// per-user data folder, the same first-run files as a portable copy.
#include <filesystem>

#include "MainTestSupport.h"
#include "store/Date.h"

using namespace quil::store;
using namespace quil::testing;

namespace {

class PerUserFolders : public MainWindowTest {
protected:
    std::string dataDir() const { return dir() + "userdata/"; }

    void startPerUser() {
        std::filesystem::create_directories(dataDir());
        quil::ui::MainformOptions options{false};
        options.defaultDataFolder = dataDir();
        main = std::make_unique<quil::ui::TMainform>(dir(), options);
        main->show();
        QApplication::processEvents();
    }
};

}  // namespace

TEST_F(PerUserFolders, FirstRunSeedsTheDataSetInTheDataFolderAndSavesIt) {
    setClockForTesting([] { return encodeDate(2026, 4, 1) + 0.5; });
    startPerUser();
    EXPECT_EQ(main->dataFolder(), dataDir());
    EXPECT_EQ(ini("Dir", "Dir"), dataDir());
    EXPECT_EQ(ini("Item", "Time1"), "2026");
    EXPECT_EQ(ini("ViewItem", "Car"), "1");
    EXPECT_EQ(ItemStore(dataDir()).readAll().size(), 7u);
    EXPECT_FALSE(std::filesystem::exists(tmp.file("Quil.qui")));

    // The next start finds the same data set through the saved folder.
    main.reset();
    startPerUser();
    EXPECT_EQ(main->dataFolder(), dataDir());
    EXPECT_EQ(main->Edit2->text(), QStringLiteral("車両1"));
}

TEST_F(PerUserFolders, AVanishedSavedFolderFallsBackToTheDataFolderNotTheSettingsFolder) {
    startPerUser();
    main.reset();
    IniFile(tmp.file("Quil.ini")).writeText("Dir", "Dir", dir() + "gone/");
    startPerUser();
    EXPECT_EQ(main->dataFolder(), dataDir());
    EXPECT_FALSE(std::filesystem::exists(tmp.file("Quil.qui")));
}
