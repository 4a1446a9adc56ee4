// The entry dialog: its lists, Enter moving on, its refusals and what it stores.
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "RegisterFixture.h"
#include "ui/components/TDateEdit.h"
#include "ui/components/TRetComboBox.h"
#include "ui/components/TRetEdit.h"
#include "ui/tools/alcohol/TAlcoholCheckForm.h"

namespace quil::alcohol::test {
namespace {

class CheckFormTest : public RegisterTest {
protected:
    std::unique_ptr<TAlcoholCheckForm> form;
    std::int64_t detector = 0;

    void SetUp() override {
        RegisterTest::SetUp();
        AlcoholStore s(main.folder);
        detector = s.addDetector({0, "検知器A", "SN-001", encodeDate(2024, 1, 1), 0, false});
        s.addDetector({0, "旧型", "", encodeDate(2020, 1, 1), 0, true});
        form = std::make_unique<TAlcoholCheckForm>(main, &main.window);
    }
    bool focusOn(const QWidget* w) const {
        QWidget* f = form->focusWidget();
        return f && (f == w || w->isAncestorOf(f));
    }
    void expectWarning(const char* text) {
        ASSERT_FALSE(prompts.boxes().empty());
        EXPECT_EQ(prompts.last().title, QStringLiteral("警告"));
        EXPECT_EQ(prompts.last().text, QString::fromUtf8(text));
        EXPECT_EQ(prompts.last().icon, ui::PromptIcon::Warning);
    }
    void choose(QComboBox* box, const char* text) {
        const int i = box->findText(QString::fromUtf8(text));
        ASSERT_GE(i, 0) << text;
        box->setCurrentIndex(i);
    }
    void pressOk() { QTest::mouseClick(form->Button1, Qt::LeftButton); }
};

TEST_F(CheckFormTest, AddShowsLiveUsersVehiclesWithPlateAndDetectorsInUse) {
    form->openForAdd();
    EXPECT_EQ(form->windowTitle(), QStringLiteral("アルコールチェック－追加"));
    QStringList drivers, vehicles, detectors;
    for (int i = 0; i < form->driverBox->count(); ++i) drivers << form->driverBox->itemText(i);
    for (int i = 0; i < form->vehicleBox->count(); ++i) vehicles << form->vehicleBox->itemText(i);
    for (int i = 0; i < form->detectorBox->count(); ++i)
        detectors << form->detectorBox->itemText(i);
    EXPECT_EQ(drivers, (QStringList{QStringLiteral("山田"), QStringLiteral("佐藤")}));
    EXPECT_EQ(vehicles, (QStringList{QStringLiteral("営業車1 (品川 300 あ 12-34)"),
                                     QStringLiteral("営業車2")}));
    EXPECT_EQ(detectors, (QStringList{QStringLiteral("(なし)"),
                                      QStringLiteral("検知器A (SN-001)　※点検期限切れ")}));
    // The only detector in use is taken; nobody is chosen for the user.
    EXPECT_EQ(form->detectorBox->currentIndex(), 1);
    // Put in use in January and never inspected: marked, still the one chosen.
    AlcoholStore(main.folder).setSetting(kInspectionDaysKey, "200");
    form->close();
    form->openForAdd();
    EXPECT_EQ(form->detectorBox->itemText(1), QStringLiteral("検知器A (SN-001)"));
    AlcoholStore(main.folder).setSetting(kInspectionDaysKey, "100");
    form->close();
    form->openForAdd();
    EXPECT_EQ(form->detectorBox->itemText(1), QStringLiteral("検知器A (SN-001)　※点検期限切れ"));
    EXPECT_EQ(form->driverBox->currentIndex(), -1);
    EXPECT_EQ(form->dateBox->date(), QDate(2024, 5, 10));
    EXPECT_EQ(form->hourBox->currentText(), QStringLiteral("18"));
    EXPECT_TRUE(focusOn(form->dateBox));
}

TEST_F(CheckFormTest, EnterMovesThroughTheFieldsInOrder) {
    form->openForAdd();
    form->activateWindow();
    form->timingBox->setFocus();
    QTest::keyClick(form->timingBox, Qt::Key_Return);
    EXPECT_TRUE(focusOn(form->driverBox));
    form->readingEdit->setFocus();
    QTest::keyClick(form->readingEdit, Qt::Key_Return);
    EXPECT_TRUE(focusOn(form->intoxicatedBox));
}

// A typed date is taken whole: an impossible one is refused with the entry dialog's message
// (never turned into another day), a real one is taken and Enter moves on.
TEST_F(CheckFormTest, ADateTypedIsTakenWholeAndEnterMovesOn) {
    form->openForAdd();
    form->activateWindow();
    form->dateBox->setFocus();
    QTest::keyClicks(form->dateBox, QStringLiteral("2024/02/31"));
    QTest::keyClick(form->dateBox, Qt::Key_Return);
    expectWarning("正しい日付を入力して下さい！");
    EXPECT_TRUE(focusOn(form->dateBox));
    EXPECT_EQ(form->dateBox->text(), QStringLiteral("2024/02/31")) << "left for correcting";
    pressOk();
    expectWarning("正しい日付を入力して下さい！");
    EXPECT_TRUE(stored().empty());

    form->dateBox->setFocus();
    for (int i = 0; i < 10; ++i) QTest::keyClick(form->dateBox, Qt::Key_Backspace);
    QTest::keyClicks(form->dateBox, QStringLiteral("20240229"));
    const std::size_t boxes = prompts.boxes().size();
    QTest::keyClick(form->dateBox, Qt::Key_Return);
    EXPECT_EQ(prompts.boxes().size(), boxes);
    EXPECT_EQ(form->dateBox->date(), QDate(2024, 2, 29));
    EXPECT_TRUE(focusOn(form->hourBox));
}

TEST_F(CheckFormTest, RefusalsNameTheFieldMoveTheFocusThereAndStoreNothing) {
    form->openForAdd();
    pressOk();
    expectWarning("運転者を選んでください。");
    EXPECT_TRUE(focusOn(form->driverBox));
    choose(form->driverBox, "佐藤");
    pressOk();
    expectWarning("車両を選んでください。");
    EXPECT_TRUE(focusOn(form->vehicleBox));
    choose(form->vehicleBox, "営業車2");
    form->checkerBox->setEditText(QString());
    pressOk();
    expectWarning("確認者を入力してください。");
    EXPECT_TRUE(focusOn(form->checkerBox));
    form->checkerBox->setEditText(QStringLiteral("安全 太郎"));
    form->methodBox->setCurrentIndex(static_cast<int>(CheckMethod::Other));
    pressOk();
    expectWarning("確認方法の内容を入力してください。");
    EXPECT_TRUE(focusOn(form->methodTextEdit));
    form->methodBox->setCurrentIndex(static_cast<int>(CheckMethod::VideoCall));
    form->detectorBox->setCurrentIndex(0);
    pressOk();
    expectWarning("アルコール検知器を選んでください。");
    EXPECT_TRUE(focusOn(form->detectorBox));
    form->detectorBox->setCurrentIndex(1);
    form->readingEdit->setText(QStringLiteral("0.2"));
    pressOk();
    expectWarning("測定値が 0.15mg/L 以上です。酒気帯びを「有」にしてください。");
    EXPECT_TRUE(focusOn(form->intoxicatedBox));
    form->intoxicatedBox->setCurrentIndex(1);
    pressOk();
    EXPECT_TRUE(focusOn(form->instructionsEdit));
    form->hourBox->setEditText(QStringLiteral("24"));
    pressOk();
    expectWarning("正しい日付を入力して下さい！");
    EXPECT_TRUE(focusOn(form->dateBox));

    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(stored().empty());
}

TEST_F(CheckFormTest, OkStoresTheCheckClosesAndTellsTheWindows) {
    int saves = 0;
    QObject::connect(form.get(), &TAlcoholCheckForm::saved, [&saves] { ++saves; });
    form->openForAdd();
    form->hourBox->setEditText(QStringLiteral("8"));
    form->minuteBox->setEditText(QStringLiteral("5"));
    choose(form->timingBox, "運転前");
    choose(form->driverBox, "山田");
    choose(form->vehicleBox, "営業車1 (品川 300 あ 12-34)");
    form->checkerBox->setEditText(QStringLiteral("安全 太郎"));
    form->readingEdit->setText(QStringLiteral("0.00"));
    form->remarksEdit->setText(QStringLiteral("異常なし"));
    pressOk();
    EXPECT_TRUE(prompts.boxes().empty()) << prompts.last().text.toStdString();
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(saves, 1);
    const auto checks = stored();
    ASSERT_EQ(checks.size(), 1u);
    EXPECT_EQ(checks[0].when, kToday + encodeTime(8, 5));
    EXPECT_EQ(checks[0].driver, kYamada);
    EXPECT_EQ(checks[0].vehicle, kCarA);
    EXPECT_EQ(checks[0].detector, detector);
    EXPECT_EQ(checks[0].checker, "安全 太郎");
    EXPECT_EQ(checks[0].remarks, "異常なし");

    // The checker is remembered for the next check.
    form->openForAdd();
    EXPECT_EQ(form->checkerBox->currentText(), QStringLiteral("安全 太郎"));
}

TEST_F(CheckFormTest, EditShowsTheStoredCheckAndStoresTheChange) {
    AlcoholCheck c = check(kToday + encodeTime(17, 30), CheckTiming::AfterDrive, kSato, kCarB);
    c.detector = detector;
    c.reading = 0.03;
    c.id = store(c);
    form->openForEdit(c.id);
    EXPECT_EQ(form->windowTitle(), QStringLiteral("アルコールチェック－修正"));
    EXPECT_EQ(form->timingBox->currentText(), QStringLiteral("運転後"));
    EXPECT_EQ(form->driverBox->currentText(), QStringLiteral("佐藤"));
    EXPECT_EQ(form->vehicleBox->currentText(), QStringLiteral("営業車2"));
    EXPECT_EQ(form->readingEdit->text(), QStringLiteral("0.030"));
    EXPECT_EQ(form->minuteBox->currentText(), QStringLiteral("30"));
    form->instructionsEdit->setText(QStringLiteral("睡眠を十分に"));
    pressOk();
    EXPECT_FALSE(form->isVisible());
    const auto checks = stored();
    ASSERT_EQ(checks.size(), 1u);
    EXPECT_EQ(checks[0].instructions, "睡眠を十分に");
    EXPECT_EQ(checks[0].id, c.id);
}

// What the main window asks about before it closes.
TEST_F(CheckFormTest, TypedInputIsUnsavedUntilStoredOrCancelled) {
    EXPECT_FALSE(form->hasUnsavedInput());
    form->openForAdd();
    EXPECT_FALSE(form->hasUnsavedInput()) << "as it opened";
    form->remarksEdit->setText(QStringLiteral("異常なし"));
    EXPECT_TRUE(form->hasUnsavedInput());
    form->close();
    EXPECT_FALSE(form->hasUnsavedInput());
}

// 8, Enter, 5, Enter: the time is 8:05 (the list once completed "5" to "50").
TEST_F(CheckFormTest, ATypedHourAndMinuteAreTakenAsTyped) {
    form->openForAdd();
    form->activateWindow();
    form->hourBox->setFocus();
    for (const char* typed : {"8", "5"}) {
        QTest::keyClick(form->focusWidget(), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(form->focusWidget(), QString::fromLatin1(typed));
        QTest::keyClick(form->focusWidget(), Qt::Key_Return);
    }
    EXPECT_EQ(form->hourBox->currentText(), QStringLiteral("8"));
    EXPECT_EQ(form->minuteBox->currentText(), QStringLiteral("5"));
    EXPECT_TRUE(focusOn(form->timingBox));
    choose(form->driverBox, "山田");
    choose(form->vehicleBox, "営業車1 (品川 300 あ 12-34)");
    form->checkerBox->setEditText(QStringLiteral("安全 太郎"));
    form->readingEdit->setText(QStringLiteral("0.00"));
    pressOk();
    const auto checks = stored();
    ASSERT_EQ(checks.size(), 1u) << (prompts.boxes().empty() ? ""
                                                             : prompts.last().text.toStdString());
    EXPECT_EQ(checks[0].when, kToday + encodeTime(8, 5));
}

TEST_F(CheckFormTest, MinutesShowTwoDigits) {
    AlcoholCheck c = check(kToday + encodeTime(8, 5));
    c.detector = detector;
    form->openForEdit(store(c));
    EXPECT_EQ(form->hourBox->currentText(), QStringLiteral("8"));
    EXPECT_EQ(form->minuteBox->currentText(), QStringLiteral("05"));
}

TEST_F(CheckFormTest, CheckDeletedWhileItsEditIsOpenIsNotSavedIntoIt) {
    AlcoholCheck c = check(kToday + encodeTime(8, 0));
    c.detector = detector;
    const auto id = store(c);
    form->openForEdit(id);
    AlcoholStore(main.folder).markDeleted(id, "管理者", kToday + encodeTime(9, 0));
    form->remarksEdit->setText(QStringLiteral("後から"));
    pressOk();
    expectWarning("修正中のアルコールチェックは削除されたため保存できません。");
    EXPECT_FALSE(form->isVisible());
    const auto checks = stored();
    ASSERT_EQ(checks.size(), 1u);
    EXPECT_EQ(checks[0].remarks, "");
    EXPECT_EQ(checks[0].deletedBy, "管理者");
}

TEST_F(CheckFormTest, EditOfACheckDeletedMeanwhileIsRefused) {
    const auto id = store(check(kToday + encodeTime(8, 0)));
    AlcoholStore(main.folder).markDeleted(id, "管理者", kToday + encodeTime(9, 0));
    form->openForEdit(id);
    expectWarning("このアルコールチェックは削除されています。");
    QApplication::processEvents();
    EXPECT_FALSE(form->isVisible());
}

// Two clerks edit the same check: the one who saves second is told, and overwrites nothing.
TEST_F(CheckFormTest, ACheckChangedByAnotherClerkWhileItsEditIsOpenIsNotOverwritten) {
    AlcoholCheck c = check(kToday + encodeTime(8, 0));
    c.detector = detector;
    c.id = store(c);
    form->openForEdit(c.id);
    AlcoholCheck theirs = c;
    theirs.remarks = "別の事務員";
    AlcoholStore(main.folder).update(theirs);
    form->remarksEdit->setText(QStringLiteral("私の修正"));
    pressOk();
    expectWarning(
        "修正中のアルコールチェックは、ほかの操作で変更されたため保存できません。開き直してください"
        "。");
    EXPECT_TRUE(form->isVisible()) << "what was typed stays on screen";
    const auto checks = stored();
    ASSERT_EQ(checks.size(), 1u);
    EXPECT_EQ(checks[0].remarks, "別の事務員");
}

}  // namespace
}  // namespace quil::alcohol::test
