// The display period dialog: the controls per period kind, the stored period read back,
// what OK writes to Quil.ini, and the years and parts it refuses.

#include <QButtonGroup>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>

#include "ItemDialogsFixture.h"
#include "ui/dialogs/TViewTimeForm.h"

namespace quil::itemtest {
namespace {

class ViewTimeFormTest : public ItemDialogTest {
protected:
    std::unique_ptr<ui::TViewTimeForm> form;

    void SetUp() override {
        ItemDialogTest::SetUp();
        form = std::make_unique<ui::TViewTimeForm>(main, &main.window);
    }
    void open() { form->show(); }
    // Clicks the button's circle (a radio button takes clicks on its circle and text only).
    void choose(store::PeriodKind kind) {
        QRadioButton* b = form->periodButton(kind);
        QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(6, b->height() / 2));
        ASSERT_EQ(form->selectedKind(), kind);
    }
    void pressOk() { QTest::mouseClick(form->Button1(), Qt::LeftButton); }
    std::string iniText() const {
        std::ifstream in(main.folder + "Quil.ini", std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
};

TEST_F(ViewTimeFormTest, ShowsTheStoredKindWithItsControls) {
    open();  // no settings: kind 1, the current year
    EXPECT_EQ(form->windowTitle(), u("表示期間"));
    EXPECT_EQ(form->pos(), main.window.pos() + QPoint(100, 50));
    EXPECT_EQ(form->selectedKind(), store::PeriodKind::Year);
    EXPECT_EQ(form->Edit1()->text(), u("2024"));
    EXPECT_EQ(form->Label1()->text(), u("年"));
    EXPECT_TRUE(form->Edit1()->isVisible());
    EXPECT_FALSE(form->ComboBox1()->isVisible());

    const struct {
        store::PeriodKind kind;
        const char* label;
        QStringList parts;
    } kinds[] = {
        {store::PeriodKind::FiscalYear, "年度", {}},
        {store::PeriodKind::FiscalHalf, "年度", {u("上期"), u("下期")}},
        {store::PeriodKind::Quarter, "年", {u("1/4期"), u("2/4期"), u("3/4期"), u("4/4期")}},
        {store::PeriodKind::Month,
         "年",
         {u("1月"), u("2月"), u("3月"), u("4月"), u("5月"), u("6月"), u("7月"), u("8月"), u("9月"),
          u("10月"), u("11月"), u("12月")}},
        {store::PeriodKind::Year, "年", {}},
    };
    for (const auto& k : kinds) {
        choose(k.kind);
        EXPECT_EQ(form->Label1()->text(), u(k.label)) << store::storedNumber(k.kind);
        EXPECT_EQ(form->ComboBox1()->isVisible(), !k.parts.isEmpty())
            << store::storedNumber(k.kind);
        if (k.parts.isEmpty()) continue;
        QStringList shown;
        for (int i = 0; i < form->ComboBox1()->count(); ++i)
            shown << form->ComboBox1()->itemText(i);
        EXPECT_EQ(shown, k.parts) << store::storedNumber(k.kind);
        EXPECT_EQ(form->ComboBox1()->currentIndex(), 0)
            << store::storedNumber(k.kind);  // nothing stored: the first
    }

    // A stored kind 0 selects no button and shows no year.
    form->close();
    settings().setPeriodKind(store::PeriodKind::All);
    open();
    EXPECT_EQ(form->selectedKind(), store::PeriodKind::All);
    EXPECT_FALSE(form->Edit1()->isVisible());
    EXPECT_FALSE(form->ComboBox1()->isVisible());
}

TEST_F(ViewTimeFormTest, SelectingAButtonReadsThePeriodStoredForItsKind) {
    settings().setPeriodKind(store::PeriodKind::Month);
    settings().setStoredPeriod(store::PeriodKind::Month, "200011");
    settings().setStoredPeriod(store::PeriodKind::FiscalHalf, "19991");
    settings().setStoredPeriod(store::PeriodKind::Quarter,
                               "20037");  // no quarter 8: the default period is shown
    settings().setStoredPeriod(store::PeriodKind::FiscalYear,
                               "2005x");  // kinds 1 and 2 ignore what follows the year
    open();
    EXPECT_EQ(form->selectedKind(), store::PeriodKind::Month);
    EXPECT_EQ(form->Edit1()->text(), u("2000"));
    EXPECT_EQ(form->ComboBox1()->currentIndex(), 11);
    EXPECT_EQ(form->ComboBox1()->currentText(), u("12月"));

    choose(store::PeriodKind::FiscalHalf);
    EXPECT_EQ(form->Edit1()->text(), u("1999"));
    EXPECT_EQ(form->ComboBox1()->currentText(), u("下期"));
    choose(store::PeriodKind::Quarter);
    EXPECT_EQ(form->Edit1()->text(), u("2024"));
    EXPECT_EQ(form->ComboBox1()->currentIndex(), 0);
    choose(store::PeriodKind::FiscalYear);
    EXPECT_EQ(form->Edit1()->text(), u("2005"));
    choose(store::PeriodKind::Year);
    EXPECT_EQ(form->Edit1()->text(), u("2024"));  // nothing stored for kind 1
}

TEST_F(ViewTimeFormTest, OkWritesTheKindAndThePeriodOfThatKind) {
    open();
    choose(store::PeriodKind::FiscalYear);
    form->Edit1()->setText(u("2003"));
    pressOk();
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(settings().periodKind(store::PeriodKind::All), store::PeriodKind::FiscalYear);
    EXPECT_EQ(settings().storedPeriod(store::PeriodKind::FiscalYear), "2003");
    EXPECT_EQ(settings().storedPeriod(store::PeriodKind::Year), "");
    EXPECT_EQ(main.periodLabel, u("2003年度　(2003/04/01～2004/03/31)"));
    EXPECT_EQ(main.reloads, 1);
    EXPECT_NE(iniText().find("Time2=2003\r\n"), std::string::npos);

    open();
    EXPECT_EQ(form->selectedKind(), store::PeriodKind::FiscalYear);
    choose(store::PeriodKind::Month);
    form->Edit1()->setText(u("2004"));
    form->ComboBox1()->setCurrentIndex(1);
    pressOk();
    EXPECT_EQ(settings().periodKind(store::PeriodKind::All), store::PeriodKind::Month);
    EXPECT_EQ(settings().storedPeriod(store::PeriodKind::Month), "20041");
    EXPECT_EQ(settings().storedPeriod(store::PeriodKind::FiscalYear), "2003");
    EXPECT_EQ(main.periodLabel, u("2004年2月　(2004/02/01～2004/02/29)"));
    EXPECT_EQ(main.reloads, 2);
    EXPECT_TRUE(prompts.boxes().empty());
}

TEST_F(ViewTimeFormTest, AYearOutsideTheUpDownsRangeIsRefused) {
    settings().setPeriodKind(store::PeriodKind::FiscalHalf);
    settings().setStoredPeriod(store::PeriodKind::FiscalHalf, "20001");
    const std::string before = iniText();
    open();
    for (const char* year : {"99", "991", "1899", "2101"}) {
        prompts.clear();
        form->Edit1()->setText(u(year));
        form->ComboBox1()->setCurrentIndex(0);
        pressOk();
        expectWarning("正しい年を入力して下さい！");
        EXPECT_EQ(form->focusWidget(), form->Edit1()) << year;
    }
    EXPECT_EQ(iniText(), before);
    for (const char* year : {"1900", "2100"}) {
        open();
        choose(store::PeriodKind::FiscalHalf);
        form->Edit1()->setText(u(year));
        form->ComboBox1()->setCurrentIndex(1);
        pressOk();
        EXPECT_FALSE(form->isVisible()) << year;
        EXPECT_EQ(settings().storedPeriod(store::PeriodKind::FiscalHalf), std::string(year) + "1");
    }
}

TEST_F(ViewTimeFormTest, AStoredPeriodThatDoesNotParseShowsAsTheDefaultAndOkMendsIt) {
    settings().setPeriodKind(store::PeriodKind::Month);
    settings().setStoredPeriod(store::PeriodKind::Month, "20x41");
    settings().setStoredPeriod(store::PeriodKind::Quarter, "2003q");
    open();
    EXPECT_EQ(form->Edit1()->text(), u("2024"));
    EXPECT_EQ(form->ComboBox1()->currentText(), u("1月"));
    choose(store::PeriodKind::Quarter);
    EXPECT_EQ(form->Edit1()->text(), u("2024"));
    EXPECT_EQ(form->ComboBox1()->currentText(), u("1/4期"));
    choose(store::PeriodKind::Month);
    pressOk();
    EXPECT_TRUE(prompts.boxes().empty());
    EXPECT_EQ(settings().storedPeriod(store::PeriodKind::Month), "20240");
    EXPECT_EQ(main.periodLabel, u("2024年1月　(2024/01/01～2024/01/31)"));
}

TEST_F(ViewTimeFormTest, AYearThatWouldNotReadBackIsRefused) {
    settings().setPeriodKind(store::PeriodKind::Quarter);
    settings().setStoredPeriod(store::PeriodKind::Quarter, "20012");
    const std::string before = iniText();
    open();
    for (const char* year : {"２０２４", "20o4", "", " 2024", "-1", "20241"}) {
        prompts.clear();
        form->Edit1()->setText(u(year));
        form->Button1()->setFocus();
        pressOk();
        expectWarning("正しい年を入力して下さい！");
        EXPECT_EQ(form->focusWidget(), form->Edit1()) << year;
        EXPECT_TRUE(form->isVisible()) << year;
    }
    // Year 0 is no year, and 9999 is past the last a period can reach. (With a part index
    // after it, "0" reads back as a year: "02".)
    choose(store::PeriodKind::Year);
    for (const char* year : {"0", "0000", "9999"}) {
        prompts.clear();
        form->Edit1()->setText(u(year));
        pressOk();
        expectWarning("正しい年を入力して下さい！");
    }
    EXPECT_EQ(iniText(), before);
    EXPECT_EQ(main.reloads, 0);
    EXPECT_EQ(main.periodLabels, 0);
}

TEST_F(ViewTimeFormTest, APartTypedOverIsRefusedUnlessItNamesAnEntry) {
    settings().setPeriodKind(store::PeriodKind::Month);
    settings().setStoredPeriod(store::PeriodKind::Month, "20012");
    const std::string before = iniText();
    open();
    for (const char* typed : {"13月", "", "3"}) {
        prompts.clear();
        form->ComboBox1()->setEditText(u(typed));
        pressOk();
        expectWarning("期間を一覧から選択して下さい！");
        EXPECT_TRUE(form->ComboBox1()->isAncestorOf(form->focusWidget()) ||
                    form->focusWidget() == form->ComboBox1())
            << typed;
    }
    EXPECT_EQ(iniText(), before);

    // Text typed exactly as an entry is that entry.
    prompts.clear();
    form->ComboBox1()->setEditText(u("3月"));
    pressOk();
    EXPECT_TRUE(prompts.boxes().empty());
    EXPECT_EQ(settings().storedPeriod(store::PeriodKind::Month), "20012");
    EXPECT_EQ(main.reloads, 1);

    // A stored part no entry has (no 13th month) is no period: the default one is shown.
    settings().setStoredPeriod(store::PeriodKind::Month, "200112");
    open();
    EXPECT_EQ(form->Edit1()->text(), u("2024"));
    EXPECT_EQ(form->ComboBox1()->currentIndex(), 0);
}

TEST_F(ViewTimeFormTest, TheUpDownControlStepsWithin1900To2100) {
    open();
    form->Edit1()->setText(u("2099"));
    QTest::mouseClick(form->upButton(), Qt::LeftButton);
    QTest::mouseClick(form->upButton(), Qt::LeftButton);
    EXPECT_EQ(form->Edit1()->text(), u("2100"));  // no wrap
    form->Edit1()->setText(u("1901"));
    QTest::keyClick(form->Edit1(), Qt::Key_Down);
    QTest::keyClick(form->Edit1(), Qt::Key_Down);
    EXPECT_EQ(form->Edit1()->text(), u("1900"));
    // A box holding no number steps from the last position.
    form->Edit1()->setText(u("abc"));
    QTest::mouseClick(form->upButton(), Qt::LeftButton);
    EXPECT_EQ(form->Edit1()->text(), u("1901"));
    form->Edit1()->setText(u("99"));  // below the range: steps from 1900
    QTest::keyClick(form->Edit1(), Qt::Key_Up);
    EXPECT_EQ(form->Edit1()->text(), u("1901"));
}

TEST_F(ViewTimeFormTest, KindZeroStoresOnlyTheKindAndCancelNothing) {
    settings().setPeriodKind(store::PeriodKind::All);
    settings().setStoredPeriod(store::PeriodKind::Year, "2010");
    open();
    pressOk();
    EXPECT_EQ(settings().periodKind(store::PeriodKind::Year), store::PeriodKind::All);
    EXPECT_EQ(iniText().find("Time0"), std::string::npos);
    EXPECT_EQ(main.periodLabel, u("全て"));
    EXPECT_EQ(main.reloads, 1);

    open();
    choose(store::PeriodKind::FiscalHalf);
    QTest::mouseClick(form->Button2(), Qt::LeftButton);
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(settings().periodKind(store::PeriodKind::Year), store::PeriodKind::All);
    EXPECT_EQ(main.reloads, 1);
}

}  // namespace
}  // namespace quil::itemtest
