// The program with its real libquil_tools.so: this test program is linked as the program is
// and lies beside the module in the build folder, so the windows come from the module the
// program loads, bound to the program's own main window, dialogs and store.
#include <QMenu>
#include <QTest>

#include "MainTestSupport.h"
#include "ui/printing/Tpriansform.h"
#include "ui/main/AppWindows.h"

using namespace quil::store;
using namespace quil::testing;

namespace {

class ToolModule : public MainWindowTest {
protected:
    void SetUp() override {
        writeRecords<ItemRecord>(tmp.file("Quil.qui"),
                                 {item(ItemKind::Vehicle, "軽トラ"), item(ItemKind::User, "山田")});
        writeRecords<DataRecord>(tmp.file("Quil.qud"), {makeRecord(40000.5, 0, 1, 0, 0)});
        Settings s(dir());
        s.writeFirstRun(2009);
        s.setPeriodKind(PeriodKind::All);
    }
};

}  // namespace

TEST_F(ToolModule, TheProgramMakesItsPrintSummaryAndToolWindowsFromTheModule) {
    auto& window = run();
    EXPECT_TRUE(prompts.boxes().empty());
    ASSERT_NE(app->priansform, nullptr);
    ASSERT_NE(app->CalForm, nullptr);
    ASSERT_NE(app->Analysis, nullptr);
    ASSERT_NE(app->Alcohol, nullptr);
    EXPECT_NE(app->AboutBox, nullptr);
    EXPECT_NE(app->OpForm, nullptr);
    EXPECT_NE(app->MISkeForm, nullptr);
    // The module's windows work on the program's own main window.
    window.action(QStringLiteral("ToolButton9"))->trigger();
    EXPECT_TRUE(app->priansform->isVisible());
    app->priansform->close();
    QStringList tools;
    for (QAction* a : window.ToolsMenu->actions()) tools << a->text();
    EXPECT_TRUE(tools.contains(QStringLiteral("集計表(&S)..."))) << tools.join(u' ').toStdString();
    EXPECT_GT(tools.size(), 5);
}
