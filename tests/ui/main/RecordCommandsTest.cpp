// Add, edit and delete from the main window, with a stand-in for the entry dialog.
#include <QHeaderView>
#include <QLineEdit>
#include <QTabBar>
#include <QTimer>

#include "MainTestSupport.h"
#include "store/Date.h"
#include "ui/dialogs/TDataInputForm.h"
#include "ui/main/RecordCommands.h"

using namespace quil::store;
using namespace quil::testing;

namespace {

class Commands : public MainWindowTest {
protected:
    QWidget entry;  // shows the caption the command gave it

    void SetUp() override {
        writeRecords<ItemRecord>(tmp.file("Quil.qui"),
                                 {item(ItemKind::Vehicle, "A"), item(ItemKind::User, "B")});
        Settings s(dir());
        s.writeFirstRun(2003);
        s.setPeriodKind(PeriodKind::All);
    }
    void withRecords(std::vector<DataRecord> records) {
        writeRecords<DataRecord>(tmp.file("Quil.qud"), records);
    }
    quil::ui::TMainform& startWithEntry() {
        start();
        main->setEntryDialog(&entry);
        return *main;
    }
    void select(int row) {
        main->ComboGrid1->selectRow(row);
        main->ComboGrid1Click();
    }
};

}  // namespace

TEST_F(Commands, ToolbarAndMenuOpenTheEntryDialogInAddMode) {
    startWithEntry();
    main->action(QStringLiteral("ToolButton2"))->trigger();
    EXPECT_TRUE(entry.isVisible());
    EXPECT_EQ(entry.windowTitle(), QStringLiteral("給油記録－追加"));
    // Nothing happens while the dialog is open.
    main->action(QStringLiteral("Input3"))->trigger();
    EXPECT_EQ(entry.windowTitle(), QStringLiteral("給油記録－追加"));
    entry.hide();
    main->action(QStringLiteral("Input3"))->trigger();
    EXPECT_EQ(entry.windowTitle(), QStringLiteral("出費記録－追加"));
}

TEST_F(Commands, EditNeedsASelectedRowAndTheExpenseTabTakesTheKindFromColumn5) {
    auto fuel = makeRecord(10, 0, 1, 100, 1);
    auto exp = makeRecord(11, 0, 1, 100, 3);
    withRecords({fuel, exp});
    startWithEntry();
    main->TabControl1->setCurrentIndex(3);
    main->commands()->EditClick();
    EXPECT_FALSE(entry.isVisible()) << "no row clicked";
    select(1);
    main->commands()->EditClick();
    EXPECT_EQ(entry.windowTitle(), QStringLiteral("給油記録－修正"));
    entry.hide();
    select(2);
    main->commands()->EditClick();
    EXPECT_EQ(entry.windowTitle(), QStringLiteral("出費記録－修正"));
}

TEST_F(Commands, AnExpenseWhoseItemIsNamedLikeAnotherKindStaysAnExpense) {
    writeRecords<ItemRecord>(
        tmp.file("Quil.qui"),
        {item(ItemKind::Vehicle, "A"), item(ItemKind::User, "B"),
         item(ItemKind::ExpenseItem, "給油代金"), item(ItemKind::ExpenseItem, "点検・整備費")});
    auto named = [](int item) {
        auto r = makeRecord(10 + item, 0, 1, 100, 3);
        r.setItem(static_cast<std::int16_t>(item));
        r.setPlace(-1);
        return r;
    };
    withRecords({named(2), named(3), makeRecord(20, 0, 1, 100, 2)});
    startWithEntry();
    main->TabControl1->setCurrentIndex(3);
    ASSERT_EQ(cell(5, 1), QStringLiteral("給油代金"));
    ASSERT_EQ(cell(5, 2), QStringLiteral("点検・整備費"));
    const char* expected[] = {"出費記録－修正", "出費記録－修正", "点検・整備記録－修正"};
    for (int row = 1; row <= 3; ++row) {
        select(row);
        main->commands()->EditClick();
        EXPECT_EQ(entry.windowTitle(), QString::fromUtf8(expected[row - 1])) << row;
        entry.hide();
    }
}

TEST_F(Commands, DoubleClickEditsWhenTheListHasRecordsAndAddsOtherwise) {
    startWithEntry();
    main->commands()->ComboGrid1DblClick();
    EXPECT_EQ(entry.windowTitle(), QStringLiteral("走行記録－追加"));
}

TEST_F(Commands, ADoubleClickOnTheFixedCellsTitlesOrBlankAreaActsAsOnARow) {
    withRecords({makeRecord(10, 0, 1, 1, 0), makeRecord(11, 0, 1, 2, 0)});
    startWithEntry();
    select(1);
    auto* grid = main->ComboGrid1;
    const int rowH = grid->RowHeights(1);
    struct Place {
        const char* name;
        QWidget* widget;
        QPoint at;
    } places[] = {
        {"fixed column", grid->verticalHeader()->viewport(), QPoint(5, rowH / 2)},
        {"title row", grid->horizontalHeader()->viewport(), QPoint(grid->ColWidths(1) / 2, 5)},
        {"below the rows", grid->viewport(), QPoint(10, grid->viewport()->height() - 5)},
    };
    for (const Place& p : places) {
        entry.setWindowTitle(QString());
        QTest::mouseDClick(p.widget, Qt::LeftButton, {}, p.at);
        EXPECT_EQ(entry.windowTitle(), QStringLiteral("走行記録－修正")) << p.name;
        entry.hide();
    }
}

TEST_F(Commands, DeleteAsksAndMarksExactlyTheRecordBehindTheRow) {
    auto a = makeRecord(10, 0, 1, 1, 0), b = makeRecord(11, 0, 1, 2, 0),
         c = makeRecord(12, 0, 1, 3, 1);
    withRecords({a, c, b});
    startWithEntry();
    main->commands()->DeleteClick();
    EXPECT_TRUE(prompts.boxes().empty()) << "no row selected: nothing asked";

    select(2);
    main->commands()->DeleteClick();  // answered No
    ASSERT_EQ(prompts.boxes().size(), 1u);
    EXPECT_EQ(prompts.last().title, QStringLiteral("削除"));
    EXPECT_EQ(prompts.last().text, QStringLiteral("本当に削除してもよろしいですか？"));
    EXPECT_EQ(prompts.last().icon, quil::ui::PromptIcon::Exclamation);
    EXPECT_FALSE(RecordStore(dir()).read(2).deleted());

    prompts.answerQuestion(true);
    main->commands()->DeleteClick();
    EXPECT_TRUE(RecordStore(dir()).read(2).deleted());
    EXPECT_FALSE(RecordStore(dir()).read(0).deleted());
    EXPECT_EQ(rows(), 2);
    EXPECT_EQ(main->selectedRow(), 0);

    // The last record: the list is empty, a double click adds.
    select(1);
    prompts.answerQuestion(true);
    main->commands()->DeleteClick();
    EXPECT_EQ(cell(1, 1), QString());
    main->commands()->ComboGrid1DblClick();
    EXPECT_EQ(entry.windowTitle(), QStringLiteral("走行記録－追加"));
}

TEST_F(Commands, DeleteRefusesWhenTheFileNoLongerMatchesTheList) {
    withRecords({makeRecord(10, 0, 1, 1, 0), makeRecord(11, 0, 1, 2, 0)});
    startWithEntry();
    select(1);
    // Another data set arrives under the list (a restore, say).
    withRecords({makeRecord(20, 0, 1, 9, 0), makeRecord(21, 0, 1, 8, 0)});
    prompts.answerQuestion(true);
    main->commands()->DeleteClick();
    EXPECT_EQ(prompts.last().title, QStringLiteral("警告"));
    EXPECT_FALSE(RecordStore(dir()).read(0).deleted());
    EXPECT_EQ(cell(2, 1), QStringLiteral("1900/01/19"));
}

TEST_F(Commands, AnErrorInACommandIsReportedAndTheProgramGoesOn) {
    withRecords({makeRecord(10, 0, 1, 1, 0)});
    startWithEntry();
    select(1);
    std::filesystem::remove(tmp.file("Data.idx"));
    prompts.answerQuestion(true);
    QTimer::singleShot(0, main.get(), [this] { main->commands()->DeleteClick(); });
    QApplication::processEvents();
    EXPECT_EQ(prompts.last().title, QStringLiteral("クイル台帳"));
    EXPECT_EQ(prompts.last().icon, quil::ui::PromptIcon::Error);
    EXPECT_TRUE(prompts.last().text.startsWith(QStringLiteral("Data.idx")));
    EXPECT_FALSE(RecordStore(dir()).read(0).deleted());
}

TEST_F(Commands, EditRefusesWhenAnOutsideChangeMovedTheRecordBehindTheRow) {
    withRecords({makeRecord(10, 0, 1, 1, 0), makeRecord(11, 0, 1, 2, 0)});
    startWithEntry();
    select(2);
    // Another program inserts an earlier record (of another kind): Data.idx entry 1 now
    // leads to a different record than the one on row 2.
    withRecords(
        {makeRecord(5, 0, 1, 7, 1), makeRecord(10, 0, 1, 1, 0), makeRecord(11, 0, 1, 2, 0)});
    main->commands()->ComboGrid1DblClick();
    EXPECT_FALSE(entry.isVisible()) << "the dialog must not open on another record";
    ASSERT_EQ(prompts.boxes().size(), 1u);
    EXPECT_EQ(prompts.last().title, QStringLiteral("警告"));
    EXPECT_EQ(prompts.last().icon, quil::ui::PromptIcon::Warning);
    EXPECT_EQ(main->selectedRow(), 0) << "the list was loaded again";
    EXPECT_EQ(rowIndex(), (std::vector<std::int32_t>{1, 2}));

    // After the reload the same row opens the right record.
    select(2);
    main->commands()->EditClick();
    EXPECT_TRUE(entry.isVisible());
    EXPECT_EQ(entry.windowTitle(), QStringLiteral("走行記録－修正"));
}

// Closing the main window asks first while an open entry dialog holds typed, unsaved input;
// an entry dialog opened and left as it was asks nothing.
TEST_F(Commands, ClosingAsksWhileAnOpenDialogHoldsTypedInput) {
    auto& window = run();
    window.action(QStringLiteral("ToolButton4"))->trigger();
    quil::ui::TDataInputForm* dialog = app->DataInputForm;
    ASSERT_TRUE(dialog->isVisible());
    EXPECT_FALSE(dialog->hasUnsavedInput());
    dialog->remarksBox()->setText(QStringLiteral("駐車場代"));
    EXPECT_TRUE(dialog->hasUnsavedInput());

    const std::size_t before = prompts.boxes().size();
    prompts.answerQuestion(false);
    EXPECT_FALSE(window.close());
    ASSERT_EQ(prompts.boxes().size(), before + 1);
    EXPECT_EQ(prompts.last().text, QStringLiteral("出費記録－追加 に入力中の内容は保存されていま"
                                                  "せん。終了しますか？"));
    EXPECT_TRUE(prompts.last().defaultNo) << "Enter keeps the input";
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(dialog->remarksBox()->text(), QStringLiteral("駐車場代"));

    prompts.answerQuestion(true);
    EXPECT_TRUE(window.close());
}

TEST_F(Commands, ClosingWithAnUntouchedDialogAsksNothing) {
    auto& window = run();
    window.action(QStringLiteral("ToolButton1"))->trigger();
    ASSERT_TRUE(app->DataInputForm->isVisible());
    const std::size_t before = prompts.boxes().size();
    EXPECT_TRUE(window.close());
    EXPECT_EQ(prompts.boxes().size(), before);
}
