// The detector register window.
#include <QCheckBox>
#include <QLabel>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>

#include "RegisterFixture.h"
#include "ui/components/TDateEdit.h"
#include "ui/components/TRetEdit.h"
#include "ui/tools/alcohol/TDetectorForm.h"

namespace quil::alcohol::test {
namespace {

class DetectorFormTest : public RegisterTest {};

TEST_F(DetectorFormTest, AddsAndChangesDetectorsAndWarnsOfOverdueInspections) {
    TDetectorForm form(main, &main.window);
    form.show();
    EXPECT_EQ(form.daysBox->value(), kDefaultInspectionDays);

    form.addDetector();
    EXPECT_EQ(prompts.last().text, QStringLiteral("検知器の名前を入力してください。"));
    EXPECT_TRUE(form.detectors().empty());

    form.nameEdit->setText(QStringLiteral("検知器A"));
    form.serialEdit->setText(QStringLiteral("SN-001"));
    form.inUseBox->setDate(QDate(2024, 1, 1));
    form.inspectionBox->setDate(QDate(2024, 4, 1));
    ASSERT_TRUE(form.addDetector());
    ASSERT_EQ(form.detectors().size(), 1u);
    EXPECT_EQ(form.detectors()[0].lastInspection, encodeDate(2024, 4, 1));
    EXPECT_EQ(form.table->item(0, 4)->text(), QStringLiteral("点検期限切れ"));  // 39 days
    EXPECT_EQ(form.warningLabel->text(),
              QStringLiteral("30日以上点検していない検知器が1台あります。"));

    form.table->selectRow(0);
    EXPECT_EQ(form.nameEdit->text(), QStringLiteral("検知器A"));
    form.inspectionBox->setDate(QDate(2024, 5, 9));
    ASSERT_TRUE(form.updateSelected());
    EXPECT_EQ(form.table->item(0, 4)->text(), QStringLiteral("使用中"));
    EXPECT_TRUE(form.warningLabel->text().isEmpty());

    form.inspectionBox->setDate(QDate(2023, 12, 1));  // before it was put in use
    EXPECT_FALSE(form.updateSelected());
    EXPECT_EQ(prompts.last().text, QStringLiteral("最終点検日が使用開始日より前です。"));
    EXPECT_EQ(AlcoholStore(main.folder).detectors()[0].lastInspection, encodeDate(2024, 5, 9));
}

TEST_F(DetectorFormTest, AnExactDuplicateIsRefusedAndAnUnusedDetectorCanBeDeleted) {
    TDetectorForm form(main, &main.window);
    form.show();
    form.nameEdit->setText(QStringLiteral("検知器A"));
    form.serialEdit->setText(QStringLiteral("SN-001"));
    ASSERT_TRUE(form.addDetector());
    EXPECT_FALSE(form.addDetector());
    EXPECT_EQ(prompts.last().text,
              QStringLiteral("同じ名前と製造番号の検知器が登録されています。"));
    ASSERT_EQ(form.detectors().size(), 1u);
    form.serialEdit->setText(QStringLiteral("SN-002"));  // a second one of the same model
    ASSERT_TRUE(form.addDetector());
    ASSERT_EQ(form.detectors().size(), 2u);
    // Changing the second into the first is refused too.
    form.table->selectRow(1);
    form.serialEdit->setText(QStringLiteral("SN-001"));
    EXPECT_FALSE(form.updateSelected());
    EXPECT_EQ(AlcoholStore(main.folder).detectors()[1].serial, "SN-002");

    // The first is used by a check (even a deleted one): it stays.
    AlcoholCheck c = check(kToday + encodeTime(8, 0));
    c.detector = form.detectors()[0].id;
    AlcoholStore(main.folder).markDeleted(store(c), "x", kToday);
    prompts.answerQuestion(true);
    form.table->selectRow(0);
    EXPECT_FALSE(form.removeSelected());
    EXPECT_TRUE(prompts.last().text.startsWith(
        QStringLiteral("この検知器を使ったアルコールチェックがあるため削除できません。")));
    EXPECT_EQ(AlcoholStore(main.folder).detectors().size(), 2u);
    // The second, entered by mistake, goes after the question.
    prompts.answerQuestion(false);
    form.table->selectRow(1);
    EXPECT_FALSE(form.removeSelected());
    EXPECT_EQ(AlcoholStore(main.folder).detectors().size(), 2u);
    prompts.answerQuestion(true);
    EXPECT_TRUE(form.removeSelected());
    ASSERT_EQ(AlcoholStore(main.folder).detectors().size(), 1u);
    EXPECT_EQ(AlcoholStore(main.folder).detectors()[0].serial, "SN-001");
}

TEST_F(DetectorFormTest, AnImpossibleDateIsRefusedAndEnterMovesOn) {
    TDetectorForm form(main, &main.window);
    form.show();
    form.activateWindow();
    form.nameEdit->setText(QStringLiteral("検知器A"));
    form.inUseBox->setFocus();
    QTest::keyClicks(form.inUseBox, QStringLiteral("2024/02/31"));
    QTest::keyClick(form.inUseBox, Qt::Key_Return);
    EXPECT_EQ(prompts.last().text, QStringLiteral("正しい日付を入力して下さい！"));
    EXPECT_EQ(form.focusWidget(), form.inUseBox);
    EXPECT_EQ(form.inUseBox->text(), QStringLiteral("2024/02/31"));
    EXPECT_FALSE(form.addDetector());
    EXPECT_EQ(prompts.last().text, QStringLiteral("正しい日付を入力して下さい！"));
    EXPECT_TRUE(form.detectors().empty());
    for (int i = 0; i < 10; ++i) QTest::keyClick(form.inUseBox, Qt::Key_Backspace);
    QTest::keyClicks(form.inUseBox, QStringLiteral("2024/02/29"));
    QTest::keyClick(form.inUseBox, Qt::Key_Return);
    EXPECT_NE(form.focusWidget(), form.inUseBox) << "Enter leaves the date box";
    ASSERT_TRUE(form.addDetector());
    EXPECT_EQ(form.detectors()[0].inUseSince, encodeDate(2024, 2, 29));
}

}  // namespace
}  // namespace quil::alcohol::test
