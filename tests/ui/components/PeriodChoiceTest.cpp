// The period choice the summary windows and the register's windows share: its captions, the
// period a choice stands for, the year controls, and when it announces a change.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QSignalSpy>
#include <QSpinBox>
#include <QWidget>

#include "store/Date.h"
#include "ui/components/PeriodChoice.h"

using namespace quil::ui;
using quil::store::encodeDate;
using quil::store::PeriodKind;

namespace {

QStringList itemsOf(const QComboBox& box) {
    QStringList items;
    for (int i = 0; i < box.count(); ++i) items << box.itemText(i);
    return items;
}

}  // namespace

TEST(PeriodChoice, FlatListOffersTheSummaryPeriodsAndHidesTheYearForEverything) {
    QWidget form;
    auto* list = new QComboBox(&form);
    auto* year = new QLineEdit(&form);
    auto* arrows = new QWidget(&form);
    PeriodChoice* choice =
        PeriodChoice::flat(list, {year, arrows}, PeriodChoice::YearWhenAll::Hide);
    form.show();
    ASSERT_EQ(list->count(), 21);
    EXPECT_EQ(list->currentText(), QStringLiteral("年"));
    EXPECT_EQ(list->itemText(4), QStringLiteral("年度　下期"));
    EXPECT_EQ(list->itemText(8), QStringLiteral("年4/4期"));
    EXPECT_EQ(choice->kind(), PeriodKind::Year);
    EXPECT_TRUE(year->isVisible());

    QSignalSpy changed(choice, &PeriodChoice::changed);
    list->setCurrentIndex(0);
    EXPECT_EQ(choice->kind(), PeriodKind::All);
    EXPECT_FALSE(choice->range(2024));
    EXPECT_FALSE(year->isVisible());
    EXPECT_FALSE(arrows->isVisible());
    list->setCurrentIndex(7);  // 年3/4期
    EXPECT_TRUE(year->isVisible() && arrows->isVisible());
    EXPECT_EQ(choice->kind(), PeriodKind::Quarter);
    EXPECT_EQ(choice->subIndex(), 2);
    EXPECT_EQ(choice->range(2024)->first, encodeDate(2024, 7, 1));
    EXPECT_EQ(choice->range(2024)->last, encodeDate(2024, 9, 30));
    EXPECT_EQ(changed.count(), 2);

    choice->choose(PeriodKind::FiscalHalf, 1);  // the window's own choice: not announced
    EXPECT_EQ(list->currentText(), QStringLiteral("年度　下期"));
    EXPECT_EQ(changed.count(), 2);
}

TEST(PeriodChoice, FlatListCanGreyTheYearInstead) {
    QWidget form;
    auto* list = new QComboBox(&form);
    auto* year = new QSpinBox(&form);
    PeriodChoice* choice = PeriodChoice::flat(list, {year}, PeriodChoice::YearWhenAll::Disable);
    form.show();
    EXPECT_TRUE(year->isEnabled());
    list->setCurrentIndex(0);
    EXPECT_FALSE(year->isEnabled());
    EXPECT_TRUE(year->isVisible());
    choice->choose(PeriodKind::Month, 11);
    EXPECT_TRUE(year->isEnabled());
    EXPECT_EQ(list->currentText(), QStringLiteral("年12月"));
}

// The six kinds in one box, the chosen kind's parts in another: the part box shows only
// for kinds with parts and keeps the part's place where the new kind has it.
TEST(PeriodChoice, KindAndPartBoxesOfferTheKindsAndTheirParts) {
    QWidget form;
    auto* kinds = new QComboBox(&form);
    auto* parts = new QComboBox(&form);
    auto* year = new QSpinBox(&form);
    PeriodChoice* choice =
        PeriodChoice::kindAndPart(kinds, parts, {year}, PeriodChoice::YearWhenAll::Hide);
    form.show();
    EXPECT_EQ(itemsOf(*kinds),
              (QStringList{QStringLiteral("全て"), QStringLiteral("年"), QStringLiteral("年度"),
                           QStringLiteral("半期"), QStringLiteral("4半期"), QStringLiteral("月")}));
    EXPECT_EQ(choice->kind(), PeriodKind::All);
    EXPECT_FALSE(parts->isVisible());
    EXPECT_FALSE(year->isVisible());

    QSignalSpy changed(choice, &PeriodChoice::changed);
    kinds->setCurrentIndex(5);
    EXPECT_EQ(parts->count(), 12);
    EXPECT_TRUE(parts->isVisible() && year->isVisible());
    parts->setCurrentIndex(10);
    EXPECT_EQ(changed.count(), 2);
    kinds->setCurrentIndex(4);  // quarters: the 11th month's place is past the last quarter
    EXPECT_EQ(itemsOf(*parts), (QStringList{QStringLiteral("1/4期"), QStringLiteral("2/4期"),
                                            QStringLiteral("3/4期"), QStringLiteral("4/4期")}));
    EXPECT_EQ(choice->subIndex(), 3);
    kinds->setCurrentIndex(3);
    EXPECT_EQ(itemsOf(*parts), (QStringList{QStringLiteral("上期"), QStringLiteral("下期")}));
    EXPECT_EQ(choice->subIndex(), 1);
    EXPECT_EQ(choice->range(2024)->first, encodeDate(2024, 10, 1));
    EXPECT_EQ(choice->range(2024)->last, encodeDate(2025, 3, 31));
    kinds->setCurrentIndex(2);
    EXPECT_FALSE(parts->isVisible());
    EXPECT_EQ(choice->subIndex(), 0);

    const int before = int(changed.count());
    choice->choose(PeriodKind::Month, 4);
    EXPECT_EQ(kinds->currentText(), QStringLiteral("月"));
    EXPECT_EQ(parts->currentText(), QStringLiteral("5月"));
    EXPECT_EQ(changed.count(), before);
}
