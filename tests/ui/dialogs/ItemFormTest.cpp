// The master list editor: the list per kind, add, modify and delete with what lands in
// Quil.qui and in the display masks of Quil.ini.

#include <QLineEdit>
#include <QPushButton>

#include "ItemDialogsFixture.h"
#include "store/Codec.h"
#include "ui/dialogs/TCarform.h"
#include "ui/dialogs/TItemForm.h"

namespace quil::itemtest {
namespace {

class ItemFormTest : public testing::WithItemEditor<ItemDialogTest> {
protected:
    void click(QPushButton* b) { QTest::mouseClick(b, Qt::LeftButton); }
};

TEST_F(ItemFormTest, ListsTheLiveItemsOfTheCaptionsKindWithTheirPositions) {
    addItem(ItemKind::Vehicle, "車両1");
    addItem(ItemKind::GasStation, "スタンドA");
    addItem(ItemKind::GasStation, "スタンドB", /*deleted=*/true);
    addItem(ItemKind::Shop, "店X");
    addItem(ItemKind::GasStation, "スタンドC");

    open("スタンド名");
    EXPECT_EQ(editor->kind(), ItemKind::GasStation);
    EXPECT_EQ(entries(editor->ListBox1()), (QStringList{u("スタンドA"), u("スタンドC")}));
    EXPECT_EQ(editor->positions(), (std::vector<int>{1, 4}));
    EXPECT_EQ(editor->pos(), main.window.pos() + QPoint(100, 50));

    // A caption that names no kind lists the shops.
    editor->close();
    editor->setWindowTitle(u("設定"));
    editor->show();
    EXPECT_EQ(editor->kind(), ItemKind::Shop);
    EXPECT_EQ(entries(editor->ListBox1()), QStringList{u("店X")});
}

TEST_F(ItemFormTest, AddWritesAFreshItemAtTheEndOfTheFile) {
    open("スタンド名");  // no Quil.qui yet: an empty list
    EXPECT_EQ(editor->ListBox1()->count(), 0);

    prompts.answerInput(u("出光　本町"));
    click(editor->Button1());
    ASSERT_EQ(prompts.boxes().size(), 1u);
    EXPECT_EQ(prompts.last().kind, ui::ScriptedPrompts::Kind::Input);
    EXPECT_EQ(prompts.last().title, u("スタンド名"));
    EXPECT_EQ(prompts.last().text, u("追加するスタンド名を入力して下さい。"));

    const auto b = itemBytes(0);
    ASSERT_EQ(itemFileBytes().size(), 128u);
    EXPECT_EQ(b[0], 2);
    EXPECT_EQ(b[1], 'Q');
    EXPECT_EQ(b[2], 'I');
    EXPECT_EQ(fieldAt<double>(b, 4), main.stamp);
    EXPECT_EQ(fieldAt<std::int16_t>(b, 12), 101);
    EXPECT_EQ(b[14], 0);
    EXPECT_EQ(fieldAt<std::int16_t>(b, 16), 3);
    EXPECT_EQ(fieldAt<std::int16_t>(b, 18), 999);
    // 出光 (0x8F6F 0x8CF5), full-width space 0x8140, 本町 (0x967B 0x92AC)
    EXPECT_EQ(shortStringAt(b, 20), "\x8F\x6F\x8C\xF5\x81\x40\x96\x7B\x92\xAC");
    EXPECT_EQ(fieldAt<double>(b, 60), store::encodeDate(2024, 5, 10));
    for (std::size_t off : {3u, 15u}) EXPECT_EQ(b[off], 0) << off;
    for (std::size_t off = 31; off < 60; ++off) EXPECT_EQ(b[off], 0) << off;
    for (std::size_t off = 68; off < 128; ++off) EXPECT_EQ(b[off], 0) << off;

    EXPECT_EQ(entries(editor->ListBox1()), QStringList{u("出光　本町")});
    EXPECT_EQ(editor->positions(), std::vector<int>{0});
}

TEST_F(ItemFormTest, AddCutsLongNamesAtACharacterBoundaryAndTakesEmptyOnes) {
    open("店");
    // 16 full-width characters are 32 bytes: the first 15 are kept.
    prompts.answerInput(u("あいうえおかきくけこさしすせそた"));
    click(editor->Button1());
    // One byte and 15 full-width characters are 31 bytes: the last would be split, so it goes.
    prompts.answerInput(u("Aあいうえおかきくけこさしすせそ"));
    click(editor->Button1());
    prompts.answerInput(QString());  // OK with an empty box
    click(editor->Button1());
    click(editor->Button1());  // cancelled: nothing

    ASSERT_EQ(itemFileBytes().size(), 3 * 128u);
    EXPECT_EQ(itemBytes(0)[20], 30);
    EXPECT_EQ(itemBytes(1)[20], 29);
    EXPECT_EQ(itemBytes(2)[20], 0);
    EXPECT_EQ(entries(editor->ListBox1()),
              (QStringList{u("あいうえおかきくけこさしすせそ"), u("Aあいうえおかきくけこさしすせ"),
                           QString()}));
}

TEST_F(ItemFormTest, AddingAUserHidesItInTheMask) {
    addItem(ItemKind::User, "山田");
    addItem(ItemKind::User, "佐藤");
    settings().setDriverMask("11");
    open("使用者");

    prompts.answerInput(u("鈴木"));
    click(editor->Button1());
    EXPECT_EQ(settings().driverMask(), "110");
    EXPECT_EQ(entries(editor->ListBox1()).back(), u("鈴木"));

    // A mask longer than the list loses its stale characters; one too short is padded
    // hidden, so the new user never takes over another one's character.
    settings().setDriverMask("1111111");
    prompts.answerInput(u("田中"));
    click(editor->Button1());
    EXPECT_EQ(settings().driverMask(), "1110");
    settings().setDriverMask("1");
    prompts.answerInput(u("高橋"));
    click(editor->Button1());
    EXPECT_EQ(settings().driverMask(), "10000");
    EXPECT_EQ(settings().carMask(), "");
}

TEST_F(ItemFormTest, FiftyEntriesAreTheLimit) {
    for (int i = 0; i < 49; ++i) addItem(ItemKind::Purpose, "用");
    open("使用目的");
    prompts.answerInput(u("五十番目"));
    click(editor->Button1());
    EXPECT_EQ(editor->ListBox1()->count(), 50);
    const auto before = itemFileBytes();

    prompts.clear();
    prompts.answerInput(u("五十一番目"));
    click(editor->Button1());
    ASSERT_EQ(prompts.boxes().size(), 1u);  // no input box
    expectWarning("これ以上登録できません！");
    EXPECT_EQ(itemFileBytes(), before);
    EXPECT_EQ(editor->ListBox1()->count(), 50);

    // Vehicles are held to the same limit before their dialog opens.
    for (int i = 0; i < 50; ++i) addItem(ItemKind::Vehicle, "車");
    editor->close();
    open("車両");
    click(editor->Button1());
    expectWarning("これ以上登録できません！");
    EXPECT_FALSE(carform->isVisible());
}

TEST_F(ItemFormTest, ModifyRenamesTheSelectedItemOnly) {
    addItem(ItemKind::ExpenseItem, "駐車場");
    const int pos = addItem(ItemKind::ExpenseItem, "高速代");
    open("出費項目名");

    click(editor->Button2());
    expectWarning("項目を選択して下さい！");

    select(1);
    const auto before = itemBytes(pos);
    prompts.clear();
    prompts.answerInput(u("高速代"));  // unchanged text
    click(editor->Button2());
    ASSERT_EQ(prompts.boxes().size(), 1u);
    EXPECT_EQ(prompts.last().title, u("出費項目名"));
    EXPECT_EQ(prompts.last().text, u("修正する出費項目名を入力して下さい。"));
    EXPECT_EQ(itemBytes(pos), before);
    EXPECT_EQ(main.reloads, 0);

    prompts.answerInput(u("有料道路代"));
    click(editor->Button2());
    // The main window's list and summaries cache names: they are loaded again.
    EXPECT_EQ(main.reloads, 1);
    EXPECT_EQ(main.summaries, 1);
    auto after = itemBytes(pos);
    EXPECT_EQ(shortStringAt(after, 20), store::toCp932("有料道路代"));
    // Only the name field changed: the order number and every other byte stay.
    for (std::size_t off = 0; off < 128; ++off) {
        if (off < 20 || off > 50) {
            EXPECT_EQ(after[off], before[off]) << off;
        }
    }
    EXPECT_EQ(entries(editor->ListBox1()), (QStringList{u("駐車場"), u("有料道路代")}));

    // A double click on an entry modifies it too.
    prompts.answerInput(u("駐車料金"));
    QListWidget* list = editor->ListBox1();
    const QRect first = list->visualItemRect(list->item(0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, first.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, first.center());
    EXPECT_EQ(store::ItemStore(main.folder).nameAt(0), "駐車料金");
    EXPECT_EQ(list->item(0)->text(), u("駐車料金"));
}

TEST_F(ItemFormTest, DeleteIsRefusedForAnItemAnyRecordNamesEvenADeletedOne) {
    const int used = addItem(ItemKind::GasStation, "スタンドA");
    const int onlyDeleted = addItem(ItemKind::GasStation, "スタンドB");
    const int unused = addItem(ItemKind::GasStation, "スタンドC");
    addRecordReferring(used, ItemKind::GasStation, false);
    addRecordReferring(onlyDeleted, ItemKind::GasStation, true);
    open("スタンド名");
    const auto before = itemFileBytes();

    click(editor->Button3());
    expectWarning("項目を選択して下さい！");
    for (int row : {0, 1}) {
        prompts.clear();
        select(row);
        click(editor->Button3());
        ASSERT_EQ(prompts.boxes().size(), 1u) << row;  // no question asked
        expectWarning("この項目は使用されていますので削除できません。");
    }
    EXPECT_EQ(itemFileBytes(), before);

    // Answering No keeps the item.
    prompts.clear();
    select(2);
    click(editor->Button3());
    ASSERT_EQ(prompts.boxes().size(), 1u);
    EXPECT_EQ(prompts.last().kind, ui::ScriptedPrompts::Kind::Question);
    EXPECT_EQ(prompts.last().title, u("確認"));
    EXPECT_EQ(prompts.last().text, u("「スタンドC」を削除してもよろしいですか？"));
    EXPECT_EQ(prompts.last().icon, ui::PromptIcon::Question);
    EXPECT_EQ(itemFileBytes(), before);
    EXPECT_EQ(main.reloads, 0);

    prompts.answerQuestion(true);
    click(editor->Button3());
    EXPECT_EQ(main.reloads, 1);
    auto after = itemFileBytes();
    ASSERT_EQ(after.size(), before.size());  // marked, never removed
    EXPECT_EQ(after[static_cast<std::size_t>(unused) * 128 + 14], 1);
    after[static_cast<std::size_t>(unused) * 128 + 14] = 0;
    EXPECT_EQ(after, before);
    EXPECT_EQ(entries(editor->ListBox1()), (QStringList{u("スタンドA"), u("スタンドB")}));
    EXPECT_EQ(editor->positions(), (std::vector<int>{used, onlyDeleted}));
}

TEST_F(ItemFormTest, DeletingAVehicleOrUserRemovesItsMaskCharacter) {
    addItem(ItemKind::Vehicle, "車両A");
    const int second = addItem(ItemKind::Vehicle, "車両B");
    addItem(ItemKind::Vehicle, "車両C");
    addItem(ItemKind::User, "山田");
    addItem(ItemKind::User, "佐藤");
    settings().setCarMask("101");
    settings().setDriverMask("01");
    open("車両");

    prompts.answerQuestion(true);
    select(1);
    click(editor->Button3());
    EXPECT_TRUE(store::ItemStore(main.folder).read(second).deleted());
    EXPECT_EQ(settings().carMask(), "11");
    EXPECT_EQ(entries(editor->ListBox1()), (QStringList{u("車両A"), u("車両C")}));

    editor->close();
    open("使用者");
    prompts.answerQuestion(true);
    select(0);
    click(editor->Button3());
    EXPECT_EQ(settings().driverMask(), "1");
    EXPECT_EQ(settings().carMask(), "11");
}

TEST_F(ItemFormTest, VehiclesOpenTheRegistrationDialog) {
    addItem(ItemKind::Vehicle, "車両A");
    const int b = addItem(ItemKind::Vehicle, "車両B");
    open("車両");

    click(editor->Button1());
    EXPECT_TRUE(prompts.boxes().empty());  // no input box for vehicles
    ASSERT_TRUE(carform->isVisible());
    EXPECT_EQ(carform->windowTitle(), u("車両情報の登録"));
    carform->close();

    select(1);
    click(editor->Button2());
    ASSERT_TRUE(carform->isVisible());
    EXPECT_EQ(carform->windowTitle(), u("車両情報の修正"));
    EXPECT_EQ(carform->itemPosition(), b);
    EXPECT_EQ(carform->nameBox()->text(), u("車両B"));

    // While the vehicle dialog is open, another opening or a deletion of a vehicle does
    // nothing: the dialog would otherwise store over the vehicle it no longer shows.
    select(0);
    click(editor->Button2());
    EXPECT_EQ(carform->itemPosition(), b);
    EXPECT_EQ(carform->nameBox()->text(), u("車両B"));
    prompts.answerQuestion(true);
    select(1);
    click(editor->Button3());
    EXPECT_TRUE(prompts.boxes().empty());
    EXPECT_FALSE(store::ItemStore(main.folder).read(b).deleted());
}

}  // namespace
}  // namespace quil::itemtest
