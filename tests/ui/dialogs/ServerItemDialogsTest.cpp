// The master list editor, the vehicle dialog and the display filter on a data set on a
// server: adds, renames and deletes land in the server's master lists, a change of an item
// another clerk changed meanwhile is refused and the list read again, and a user who may
// only read is refused before anything is written.

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include "LoginRole.h"
#include "RecordBuilders.h"
#include "ServerDialogsFixture.h"
#include "store/Settings.h"
#include "ui/dialogs/ServerWrites.h"
#include "ui/dialogs/TCarform.h"
#include "ui/dialogs/TItemForm.h"
#include "ui/dialogs/TViewItemForm.h"

namespace quil::servertest {
namespace {

using What = store::DataSetChange::What;

class ServerItemTest : public testing::WithItemEditor<ServerDialogTest> {
protected:
    static void click(QPushButton* b) { QTest::mouseClick(b, Qt::LeftButton); }
    QStringList entries() const {
        QStringList texts;
        for (int i = 0; i < editor->ListBox1()->count(); ++i)
            texts << editor->ListBox1()->item(i)->text();
        return texts;
    }
    // Another clerk renames the item at `position`.
    void renamedElsewhere(int position, const char* name) {
        store::StoredItem theirs;
        for (const store::StoredItem& s : otherClerk->items())
            if (s.position == position) theirs = s;
        store::ItemRecord renamed = theirs.item;
        renamed.setName(name);
        otherClerk->rewriteItem(theirs, renamed, store::newSaveKey());
    }
    store::Settings settings() const { return store::Settings(main.folder); }
    std::vector<std::string> liveVehicles() {
        std::vector<std::string> names;
        for (const auto& e : ui::liveItems(data->items(), ItemKind::Vehicle))
            names.push_back(e.name);
        return names;
    }
};

TEST_F(ServerItemTest, AddRenameAndDeleteChangeTheServersMasterList) {
    open("使用目的");
    EXPECT_EQ(entries(), (QStringList{u("配達"), u("営業")}));
    EXPECT_EQ(editor->positions(), (std::vector<int>{kDelivery, kSales}));

    prompts.answerInput(u("回送"));
    click(editor->Button1());
    EXPECT_EQ(entries(), (QStringList{u("配達"), u("営業"), u("回送")}));
    const int added = editor->positions().back();
    EXPECT_EQ(added, 14);  // after the 14 sample items
    EXPECT_EQ(itemAt(added).item.name(), "回送");
    EXPECT_EQ(itemAt(added).item.kind(), static_cast<std::int16_t>(ItemKind::Purpose));
    EXPECT_EQ(itemAt(added).item.registered(), store::encodeDate(2024, 5, 10));
    ASSERT_FALSE(heard.empty());
    EXPECT_EQ(heard.back().what, What::ItemsChanged);
    EXPECT_EQ(heard.back().itemKind, ItemKind::Purpose);

    // Renamed twice in a row: the second rename is based on the version the first stored.
    const std::int64_t before = itemAt(kSales).version;
    select(1);
    prompts.answerInput(u("営業回り"));
    click(editor->Button2());
    select(1);
    prompts.answerInput(u("営業2"));
    click(editor->Button2());
    EXPECT_EQ(itemAt(kSales).item.name(), "営業2");
    EXPECT_EQ(itemAt(kSales).version, before + 2);
    EXPECT_EQ(entries()[1], u("営業2"));

    const std::size_t announcements = heard.size();
    select(2);
    prompts.answerQuestion(true);
    click(editor->Button3());
    EXPECT_TRUE(itemAt(added).item.deleted());
    EXPECT_EQ(itemAt(added).item.name(), "回送");  // kept, marked deleted, as in the file
    EXPECT_EQ(entries(), (QStringList{u("配達"), u("営業2")}));
    ASSERT_EQ(heard.size(), announcements + 1);
    EXPECT_EQ(heard.back().what, What::ItemsChanged);
    for (const auto& box : prompts.boxes()) EXPECT_NE(box.icon, ui::PromptIcon::Warning);
}

TEST_F(ServerItemTest, AnItemARecordOnTheServerRefersToIsNotDeleted) {
    store::DataRecord r = testing::entryRecord(1, store::encodeDate(2024, 5, 1), kCar1, kUser1,
                                               testing::kSampleStamp);
    r.setItem(kDelivery);
    data->addRecord(r, store::newSaveKey());
    open("使用目的");
    select(0);
    click(editor->Button3());
    expectWarning("この項目は使用されていますので削除できません。");
    EXPECT_FALSE(itemAt(kDelivery).item.deleted());
    EXPECT_EQ(entries().size(), 2);
}

TEST_F(ServerItemTest, ARenameOfAnItemChangedElsewhereIsRefusedAndTheListReadAgain) {
    open("使用目的");
    renamedElsewhere(kSales, "他の名前");
    select(1);
    prompts.answerInput(u("私の名前"));
    click(editor->Button2());
    expectWarning(store::kItemChangedText);
    EXPECT_EQ(itemAt(kSales).item.name(), "他の名前");
    EXPECT_EQ(entries(), (QStringList{u("配達"), u("他の名前")}));
    // The list read again carries the new version: a rename now goes through.
    select(1);
    prompts.answerInput(u("私の名前"));
    click(editor->Button2());
    EXPECT_EQ(itemAt(kSales).item.name(), "私の名前");
}

TEST_F(ServerItemTest, ADeleteOfAUserChangedElsewhereIsRefusedAndItsMaskKept) {
    settings().setDriverMask("10");
    open("使用者");
    ASSERT_EQ(entries(), (QStringList{u("使用者1"), u("山田")}));
    renamedElsewhere(kYamada, "山田太郎");
    select(1);
    prompts.answerQuestion(true);
    click(editor->Button3());
    expectWarning(store::kItemChangedText);
    EXPECT_FALSE(itemAt(kYamada).item.deleted());
    EXPECT_EQ(itemAt(kYamada).item.name(), "山田太郎");
    EXPECT_EQ(settings().driverMask(), "10");
    EXPECT_EQ(entries(), (QStringList{u("使用者1"), u("山田太郎")}));
}

TEST_F(ServerItemTest, AVehicleAddedThroughTheDialogIsStoredOnceEvenWhenTheAnswerWasLost) {
    LosingAnswers losing(*data);
    main.server = &losing;
    losing.loseAnswers = 1;
    settings().setCarMask("11");
    open("車両");
    click(editor->Button1());
    ASSERT_TRUE(carform->isVisible());
    carform->nameBox()->setText(u("ワゴン"));
    // As on a folder, the error goes on to the application's report (QuilApplication::notify)
    // and the dialog stays open with what was typed.
    EXPECT_THROW(carform->Button1Click(), server::ServerError);
    EXPECT_TRUE(carform->isVisible());
    EXPECT_EQ(carform->nameBox()->text(), u("ワゴン"));

    click(carform->Button1());
    EXPECT_FALSE(carform->isVisible());
    EXPECT_EQ(liveVehicles(), (std::vector<std::string>{"車両1", "軽トラ", "ワゴン"}));
    EXPECT_EQ(entries(), (QStringList{u("車両1"), u("軽トラ"), u("ワゴン")}));
    ASSERT_EQ(losing.keys.size(), 2u);
    EXPECT_EQ(losing.keys[0], losing.keys[1]);
    EXPECT_EQ(settings().carMask().substr(0, 3), "111");
    EXPECT_EQ(heard.back().what, What::ItemsChanged);
    EXPECT_EQ(heard.back().itemKind, ItemKind::Vehicle);
}

TEST_F(ServerItemTest, AnItemAddedAgainAfterItsAnswerWasLostIsStoredOnce) {
    LosingAnswers losing(*data);
    main.server = &losing;
    losing.loseAnswers = 1;
    open("使用目的");
    prompts.answerInput(u("回送"));
    // As on a folder, the error goes on to the application's report.
    EXPECT_THROW(editor->Button1Click(), server::ServerError);
    prompts.answerInput(u("回送"));
    editor->Button1Click();
    EXPECT_EQ(entries(), (QStringList{u("配達"), u("営業"), u("回送")}));
    EXPECT_EQ(ui::liveItems(data->items(), ItemKind::Purpose).size(), 3u);
    ASSERT_EQ(losing.keys.size(), 2u);
    EXPECT_EQ(losing.keys[0], losing.keys[1]);
    // Another name is another item.
    prompts.answerInput(u("試乗"));
    editor->Button1Click();
    EXPECT_EQ(ui::liveItems(data->items(), ItemKind::Purpose).size(), 4u);
    EXPECT_NE(losing.keys[2], losing.keys[0]);
}

TEST_F(ServerItemTest, AVehicleIsChangedAsReadAndRefusedWhenChangedElsewhere) {
    open("車両");
    select(1);
    click(editor->Button2());
    ASSERT_TRUE(carform->isVisible());
    EXPECT_EQ(carform->nameBox()->text(), u("軽トラ"));
    carform->remarksBox()->setText(u("点検済み"));
    click(carform->Button1());
    EXPECT_FALSE(carform->isVisible());
    EXPECT_EQ(itemAt(kTruck).item.remarks(), "点検済み");
    EXPECT_EQ(itemAt(kTruck).item.name(), "軽トラ");

    select(1);
    click(editor->Button2());
    ASSERT_TRUE(carform->isVisible());
    renamedElsewhere(kTruck, "軽トラ改");
    carform->nameBox()->setText(u("私の軽トラ"));
    click(carform->Button1());
    expectWarning(store::kItemChangedText);
    EXPECT_FALSE(carform->isVisible());
    EXPECT_EQ(itemAt(kTruck).item.name(), "軽トラ改");
    EXPECT_EQ(entries(), (QStringList{u("車両1"), u("軽トラ改")}));
}

TEST_F(ServerItemTest, TheDisplayFilterListsTheServersVehiclesAndKeepsItsMaskInQuilIni) {
    settings().setCarMask("11");
    ui::TViewItemForm filter(main, &main.window);
    filter.setWindowTitle(u("表示－車両"));
    filter.show();
    ASSERT_EQ(filter.CheckListBox1()->count(), 2);
    EXPECT_EQ(filter.CheckListBox1()->item(0)->text(), u("車両1"));
    EXPECT_EQ(filter.CheckListBox1()->item(1)->text(), u("軽トラ"));
    EXPECT_EQ(filter.CheckListBox1()->item(1)->checkState(), Qt::Checked);
    filter.CheckListBox1()->item(1)->setCheckState(Qt::Unchecked);
    click(filter.Button1());
    EXPECT_EQ(settings().carMask(), "10");
    EXPECT_EQ(main.reloads, 1);
}

TEST_F(ServerItemTest, AReadOnlyUserIsRefusedBeforeAnythingIsAskedOrWritten) {
    test::LoginRole viewer(db.conninfo(), "quil_viewer");
    auto viewerData = server::openServerStore(viewer.conninfo());
    main.server = viewerData.get();
    main.readOnly = !viewerData->writable();
    ASSERT_TRUE(main.readOnly);
    open("使用目的");
    EXPECT_EQ(entries(), (QStringList{u("配達"), u("営業")}));  // reading is allowed

    click(editor->Button1());
    expectWarning(ui::kServerReadOnlyText);
    select(1);
    click(editor->Button2());
    expectWarning(ui::kServerReadOnlyText);
    click(editor->Button3());
    expectWarning(ui::kServerReadOnlyText);
    EXPECT_TRUE(prompts.inputLimits().empty());  // no name was asked for
    EXPECT_EQ(prompts.boxes().size(), 3u);       // and no question

    // Were the program to let it through, the database refuses the change.
    main.readOnly = false;
    prompts.answerInput(u("回送"));
    EXPECT_THROW(editor->Button1Click(), server::ServerError);
    select(1);
    prompts.answerInput(u("営業2"));
    EXPECT_THROW(editor->Button2Click(), server::ServerError);
    EXPECT_EQ(data->items().size(), 14u);
    EXPECT_EQ(itemAt(kSales).item.name(), "営業");
}

}  // namespace
}  // namespace quil::servertest
