// The vehicle and user display filter: ticks from the mask, the full-length mask on OK and
// the main window refreshed.

#include <QPushButton>

#include "ItemDialogsFixture.h"
#include "ui/dialogs/TItemForm.h"
#include "ui/dialogs/TViewItemForm.h"

namespace quil::itemtest {
namespace {

class ViewItemFormTest : public ItemDialogTest {
protected:
    std::unique_ptr<ui::TViewItemForm> form;

    void SetUp() override {
        ItemDialogTest::SetUp();
        form = std::make_unique<ui::TViewItemForm>(main, &main.window);
    }
    void open(const char* caption) {
        form->setWindowTitle(u(caption));
        form->show();
    }
    std::vector<bool> ticks() const {
        std::vector<bool> t;
        for (int i = 0; i < form->CheckListBox1()->count(); ++i)
            t.push_back(form->CheckListBox1()->item(i)->checkState() == Qt::Checked);
        return t;
    }
    void toggle(int row) {
        QListWidgetItem* item = form->CheckListBox1()->item(row);
        item->setCheckState(item->checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
    }
    void pressOk() { QTest::mouseClick(form->Button1(), Qt::LeftButton); }
    void threeVehicles() {
        addItem(ItemKind::Vehicle, "車両A");
        addItem(ItemKind::User, "山田");
        addItem(ItemKind::Vehicle, "車両B");
        addItem(ItemKind::Vehicle, "廃車", /*deleted=*/true);
        addItem(ItemKind::Vehicle, "車両C");
    }
};

TEST_F(ViewItemFormTest, TicksFollowTheMaskAndOkWritesIt) {
    threeVehicles();
    settings().setCarMask("101");
    open("表示－車両");
    EXPECT_EQ(form->pos(), main.window.pos() + QPoint(100, 50));
    EXPECT_EQ(entries(form->CheckListBox1()), (QStringList{u("車両A"), u("車両B"), u("車両C")}));
    EXPECT_EQ(ticks(), (std::vector<bool>{true, false, true}));

    toggle(2);
    pressOk();
    EXPECT_EQ(settings().carMask(), "100");
    EXPECT_EQ(settings().driverMask(), "");
    EXPECT_EQ(main.summaries, 1);
    EXPECT_EQ(main.reloads, 1);
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(prompts.boxes().empty());
}

TEST_F(ViewItemFormTest, OnlyOnesTickAndOkWritesOneCharacterPerEntry) {
    threeVehicles();
    for (const auto& [mask, expected] : std::vector<std::pair<const char*, const char*>>{
             {"1", "100"},         // too short: the vehicles without a character are unticked
             {"", "000"},          // missing
             {"x1", "010"},        // only "1" ticks
             {"11111", "111"}}) {  // too long: the extra characters are dropped
        settings().setCarMask(mask);
        open("表示－車両");
        pressOk();
        EXPECT_EQ(settings().carMask(), expected) << mask;
    }
    EXPECT_EQ(main.reloads, 4);
}

TEST_F(ViewItemFormTest, AnyOtherCaptionFiltersUsers) {
    addItem(ItemKind::Vehicle, "車両A");
    settings().setCarMask("1");
    settings().setDriverMask("1");
    open("表示－使用者");  // no live users
    EXPECT_EQ(form->CheckListBox1()->count(), 0);
    pressOk();
    EXPECT_EQ(settings().driverMask(), "");
    EXPECT_EQ(settings().carMask(), "1");

    addItem(ItemKind::User, "山田");
    addItem(ItemKind::User, "佐藤");
    open("表示－使用者");
    EXPECT_EQ(entries(form->CheckListBox1()), (QStringList{u("山田"), u("佐藤")}));
    toggle(1);
    pressOk();
    EXPECT_EQ(settings().driverMask(), "01");
}

TEST_F(ViewItemFormTest, CancelWritesNothing) {
    threeVehicles();
    settings().setCarMask("101");
    open("表示－車両");
    toggle(0);
    QTest::mouseClick(form->Button2(), Qt::LeftButton);
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(settings().carMask(), "101");
    EXPECT_EQ(main.reloads, 0);
    EXPECT_EQ(main.summaries, 0);
}

TEST_F(ViewItemFormTest, AVehicleDeletedWhileTheFilterIsOpenTakesItsCharacterAlong) {
    threeVehicles();
    settings().setCarMask("101");
    open("表示－車両");
    toggle(1);  // 車両B ticked: 111

    // The editor deletes 車両A meanwhile (mask 101 -> 01).
    ui::TItemForm editor(main, &main.window);
    editor.setWindowTitle(u("設定－車両"));
    editor.show();
    editor.ListBox1()->setCurrentRow(0);
    prompts.answerQuestion(true);
    QTest::mouseClick(editor.Button3(), Qt::LeftButton);
    ASSERT_EQ(settings().carMask(), "01");

    pressOk();
    EXPECT_EQ(settings().carMask(), "11");  // 車両B and 車両C as ticked, not shifted
}

}  // namespace
}  // namespace quil::itemtest
