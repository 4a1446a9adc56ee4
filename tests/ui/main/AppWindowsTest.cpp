// The whole program's windows together: commands through the real entry dialog and the
// dialogs the main window opens.
#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QMap>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTabBar>

#include "MainTestSupport.h"
#include "app/MakeToolWindow.h"
#include "store/Date.h"
#include "ui/dialogs/TDataInputForm.h"
#include "ui/dialogs/TItemForm.h"
#include "ui/dialogs/TViewItemForm.h"
#include "ui/dialogs/TViewTimeForm.h"
#include "ui/main/AppWindows.h"
#include "ui/main/RecordCommands.h"
#include "ui/windows/TAboutBox.h"

using namespace quil::store;
using namespace quil::testing;

namespace {

class Program : public MainWindowTest {
protected:
    void SetUp() override {
        writeRecords<ItemRecord>(
            tmp.file("Quil.qui"),
            {item(ItemKind::Vehicle, "軽トラ"), item(ItemKind::User, "山田"),
             item(ItemKind::Purpose, "配達"), item(ItemKind::GasStation, "駅前SS")});
        Settings s(dir());
        s.writeFirstRun(2003);
        s.setPeriodKind(PeriodKind::All);
    }

    quil::ui::TMainform& window() { return *app->Mainform; }
    quil::ui::TDataInputForm& entry() { return *app->DataInputForm; }
    QString gridCell(int col, int row) { return window().ComboGrid1->Cells(col, row); }
    void select(int row) {
        window().ComboGrid1->selectRow(row);
        window().ComboGrid1Click();
    }
    DataRecord driving(double date, int price = 0) {
        auto r = makeRecord(date, 0, 1, price, 0);
        r.setItem(2);
        r.setPlace(-1);
        r.setReserved66(-1);
        return r;
    }
};

}  // namespace

TEST_F(Program, AddingThroughTheEntryDialogSavesAndReloadsTheList) {
    run();
    window().action(QStringLiteral("ToolButton1"))->trigger();
    ASSERT_TRUE(entry().isVisible());
    EXPECT_EQ(entry().windowTitle(), QStringLiteral("走行記録－追加"));
    entry().dateBox()->setDate(QDate(2003, 4, 10));
    entry().startHourList()->setCurrentText(QStringLiteral("8"));
    entry().endHourList()->setCurrentText(QStringLiteral("17"));
    entry().endMinuteList()->setCurrentText(QStringLiteral("30"));
    entry().valueBox1()->setText(QStringLiteral("100.5"));
    entry().valueBox2()->setText(QStringLiteral("150"));
    entry().valueBox3()->setText(QStringLiteral("本社"));
    entry().Button1()->click();
    EXPECT_FALSE(entry().isVisible());
    EXPECT_TRUE(prompts.boxes().empty());

    ASSERT_EQ(RecordStore(dir()).count(), 1);
    const DataRecord r = RecordStore(dir()).read(0);
    EXPECT_EQ(r.date(), encodeDate(2003, 4, 10) + encodeTime(8, 0));
    EXPECT_EQ(r.returnTime(), encodeDate(2003, 4, 10) + encodeTime(17, 30));
    EXPECT_EQ(r.stamp(), 40000.5);
    EXPECT_EQ(gridCell(3, 1), QStringLiteral("08:00 ～ 17:30"));
    EXPECT_EQ(gridCell(9, 1), QStringLiteral("49.5"));
    EXPECT_EQ(gridCell(10, 1), QStringLiteral("本社"));
}

TEST_F(Program, EditsRewriteInPlaceOrMoveTheRecordToItsSortedPlace) {
    const double d = encodeDate(2003, 4, 10);
    writeRecords<DataRecord>(tmp.file("Quil.qud"), {driving(d), driving(d + 2), driving(d + 4)});
    run();
    // In place: row 2 gets a new destination only.
    select(2);
    window().commands()->EditClick();
    ASSERT_TRUE(entry().isVisible());
    EXPECT_EQ(entry().windowTitle(), QStringLiteral("走行記録－修正"));
    EXPECT_EQ(entry().dateBox()->date(), QDate(2003, 4, 12));
    entry().valueBox3()->setText(QStringLiteral("倉庫"));
    entry().Button1()->click();
    EXPECT_EQ(RecordStore(dir()).count(), 3);
    EXPECT_EQ(RecordStore(dir()).read(1).destination(), "倉庫");

    // Moving: row 1 goes after the others; the old version stays, deleted.
    select(1);
    window().commands()->EditClick();
    entry().dateBox()->setDate(QDate(2003, 4, 20));
    entry().Button1()->click();
    ASSERT_EQ(RecordStore(dir()).count(), 4);
    EXPECT_TRUE(RecordStore(dir()).read(0).deleted());
    EXPECT_EQ(RecordStore(dir()).read(3).date(), encodeDate(2003, 4, 20));
    EXPECT_EQ(rowIndex(), (std::vector<std::int32_t>{1, 2, 3}));
    EXPECT_EQ(gridCell(2, 3), QStringLiteral("2003/04/20"));
    // The saved row is the selected one, so the user sees what was stored.
    EXPECT_EQ(window().selectedRow(), 3);
    EXPECT_EQ(gridCell(0, 3), QStringLiteral("⇒"));
}

TEST_F(Program, StoringAnotherKindReloadsTheCurrentTabSoDeletesHitTheRightRecord) {
    const double d = encodeDate(2003, 4, 10);
    writeRecords<DataRecord>(tmp.file("Quil.qud"), {driving(d, 1), driving(d + 1, 2)});
    run();
    EXPECT_EQ(rowIndex(), (std::vector<std::int32_t>{0, 1}));
    window().action(QStringLiteral("ToolButton2"))->trigger();
    EXPECT_EQ(entry().windowTitle(), QStringLiteral("給油記録－追加"));
    entry().dateBox()->setDate(QDate(2003, 4, 9));
    entry().valueBox1()->setText(QStringLiteral("30.5"));
    entry().valueBox2()->setText(QStringLiteral("4000"));
    entry().valueBox3()->setText(QStringLiteral("200"));
    entry().Button1()->click();
    ASSERT_TRUE(prompts.boxes().empty()) << prompts.last().text.toStdString();
    // The refuelling record went to the front; the driving rows moved up one place.
    EXPECT_EQ(RecordStore(dir()).read(0).kind(), 1);
    EXPECT_EQ(rowIndex(), (std::vector<std::int32_t>{1, 2}));
    select(2);
    prompts.answerQuestion(true);
    window().commands()->DeleteClick();
    EXPECT_TRUE(RecordStore(dir()).read(2).deleted());
    EXPECT_EQ(RecordStore(dir()).read(2).price(), 2);
    EXPECT_FALSE(RecordStore(dir()).read(0).deleted());
}

TEST_F(Program, MenusAndButtonsOpenTheirDialogsOnceWithTheirCaptions) {
    run();
    window().action(QStringLiteral("Setting3"))->trigger();
    EXPECT_TRUE(app->ItemForm->isVisible());
    EXPECT_EQ(app->ItemForm->windowTitle(), QStringLiteral("設定－スタンド名"));
    window().action(QStringLiteral("Setting6"))->trigger();  // open already: nothing
    EXPECT_EQ(app->ItemForm->windowTitle(), QStringLiteral("設定－スタンド名"));
    app->ItemForm->hide();
    window().action(QStringLiteral("Setting6"))->trigger();
    EXPECT_EQ(app->ItemForm->windowTitle(), QStringLiteral("設定－使用目的"));

    window().Button3->click();
    EXPECT_EQ(app->ViewItemForm->windowTitle(), QStringLiteral("表示－使用者"));
    window().Button1->click();
    EXPECT_TRUE(app->ViewTimeForm->isVisible());
    window().action(QStringLiteral("About1"))->trigger();
    EXPECT_TRUE(app->AboutBox->isVisible());
}

// Every menu of the finished program, the ツール menu with the entries each window adds
// included, gives each of its entries its own access key, so Alt+letter reaches every one.
TEST_F(Program, EveryMenuGivesEachEntryItsOwnAccessKey) {
    run();
    for (QAction* menuAction : window().menuBar()->actions()) {
        QMenu* menu = menuAction->menu();
        ASSERT_NE(menu, nullptr);
        QMap<QChar, QString> keys;
        for (QAction* a : menu->actions()) {
            const QString text = a->text();
            const qsizetype amp = text.indexOf(QLatin1Char('&'));
            if (a->isSeparator() || amp < 0 || amp + 1 >= text.size()) continue;
            const QChar key = text.at(amp + 1).toUpper();
            EXPECT_FALSE(keys.contains(key))
                << menuAction->text().toStdString() << ": " << text.toStdString() << " and "
                << keys.value(key).toStdString();
            keys.insert(key, text);
        }
    }
    EXPECT_GT(window().ToolsMenu->actions().size(), 5);
}

TEST_F(Program, TheProgramMakesTheOtherWindowsRightAfterTheListIsFirstPainted) {
    app = std::make_unique<quil::ui::AppWindows>(dir(), quil::ui::MainformOptions{false},
                                                 quil::ui::WindowCreation::AfterFirstPaint);
    EXPECT_EQ(app->DataInputForm, nullptr);
    app->Mainform->show();
    for (int i = 0; i < 20 && !app->DataInputForm; ++i) QTest::qWait(10);
    ASSERT_NE(app->DataInputForm, nullptr);
    EXPECT_NE(app->MISkeForm, nullptr);
    window().action(QStringLiteral("ToolButton1"))->trigger();
    EXPECT_TRUE(entry().isVisible());
    EXPECT_EQ(entry().windowTitle(), QStringLiteral("走行記録－追加"));
}

TEST_F(Program, WithoutTheToolsModuleTheListAndTheEntryDialogStillWorkAndTheUserIsTold) {
    // No libquil_tools.so lies beside the test program: the program looks for it as it
    // would for a broken installation.
    quil::ui::setToolWindowMakerForTesting(nullptr);
    run();
    quil::ui::setToolWindowMakerForTesting(&quil::ui::makeToolWindow);
    ASSERT_EQ(prompts.boxes().size(), 1u);
    EXPECT_EQ(prompts.boxes()[0].title, QStringLiteral("警告"));
    EXPECT_TRUE(prompts.boxes()[0].text.contains(QStringLiteral("libquil_tools.so")));
    EXPECT_TRUE(prompts.boxes()[0].text.contains(QStringLiteral("見つかりません")));
    EXPECT_EQ(app->priansform, nullptr);
    EXPECT_EQ(app->CalForm, nullptr);
    EXPECT_EQ(app->Alcohol, nullptr);
    // The print command has no dialog to open and does nothing.
    window().action(QStringLiteral("ToolButton9"))->trigger();

    window().action(QStringLiteral("ToolButton1"))->trigger();
    ASSERT_TRUE(entry().isVisible());
    entry().dateBox()->setDate(QDate(2003, 4, 10));
    entry().valueBox1()->setText(QStringLiteral("100"));
    entry().valueBox2()->setText(QStringLiteral("150"));
    entry().Button1()->click();
    EXPECT_FALSE(entry().isVisible());
    EXPECT_EQ(RecordStore(dir()).count(), 1);
    EXPECT_EQ(gridCell(9, 1), QStringLiteral("50.0"));
}
