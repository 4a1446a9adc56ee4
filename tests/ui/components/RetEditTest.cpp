// Enter moves the focus on through the window's tab order.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>

#include "ui/components/TRetComboBox.h"
#include "ui/components/TRetEdit.h"

using namespace quil::ui;

namespace {

class EnterAdvancing : public ::testing::Test {
protected:
    void SetUp() override {
        auto* layout = new QVBoxLayout(&form);
        auto* group = new QGroupBox(&form);  // a panel in between: the form still decides
        auto* inner = new QVBoxLayout(group);
        edit1 = new TRetEdit(group);
        combo = new TRetComboBox(group);
        combo->setEditable(true);
        combo->addItems({QStringLiteral("一"), QStringLiteral("二")});
        inner->addWidget(edit1);
        inner->addWidget(combo);
        disabled = new TRetEdit(&form);
        disabled->setEnabled(false);
        hidden = new TRetEdit(&form);
        hidden->setVisible(false);
        noTab = new QCheckBox(&form);
        noTab->setFocusPolicy(Qt::ClickFocus);
        edit2 = new TRetEdit(&form);
        layout->addWidget(group);
        layout->addWidget(disabled);
        layout->addWidget(hidden);
        layout->addWidget(noTab);
        layout->addWidget(edit2);
        form.show();
        form.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
        QApplication::setActiveWindow(&form);
    }
    QWidget* focused() const { return QApplication::focusWidget(); }

    QWidget form;
    TRetEdit* edit1 = nullptr;
    TRetComboBox* combo = nullptr;
    TRetEdit* disabled = nullptr;
    TRetEdit* hidden = nullptr;
    QCheckBox* noTab = nullptr;
    TRetEdit* edit2 = nullptr;
};

}  // namespace

TEST_F(EnterAdvancing, EnterMovesOnSkippingControlsThatCannotTakeTheFocusAndWraps) {
    edit1->setFocus();
    ASSERT_EQ(focused(), edit1);
    QTest::keyClick(edit1, Qt::Key_Return);
    EXPECT_EQ(focused(), combo);
    QTest::keyClick(combo, Qt::Key_Enter);
    EXPECT_EQ(focused(), edit2);  // disabled, hidden and non-tab-stop controls skipped
    QTest::keyClick(edit2, Qt::Key_Return);
    EXPECT_EQ(focused(), edit1);  // the last control wraps to the first
}

TEST_F(EnterAdvancing, CtrlMAdvancesToo) {
    edit1->setFocus();
    QTest::keyClick(edit1, Qt::Key_M, Qt::ControlModifier);
    EXPECT_EQ(focused(), combo);
}

TEST_F(EnterAdvancing, KeyPressHandlerNeverSeesEnterButSeesOtherCharacters) {
    QString seen;
    QObject::connect(edit1, &TRetEdit::OnKeyPress, [&](QObject* sender, QChar& key) {
        EXPECT_EQ(sender, edit1);
        seen += key;
    });
    bool returnPressed = false;
    QObject::connect(edit1, &QLineEdit::returnPressed, [&] { returnPressed = true; });
    edit1->setFocus();
    QTest::keyClicks(edit1, QStringLiteral("ab"));
    QTest::keyClick(edit1, Qt::Key_Return);
    EXPECT_EQ(seen, QStringLiteral("ab"));
    EXPECT_EQ(edit1->text(), QStringLiteral("ab"));
    EXPECT_FALSE(returnPressed);  // the control itself never got the key
}

TEST_F(EnterAdvancing, WithoutReturnNextEnterReachesTheControl) {
    edit1->setReturnNext(false);
    combo->setReturnNext(false);
    QString seen;
    QObject::connect(edit1, &TRetEdit::OnKeyPress, [&](QObject*, QChar& key) { seen += key; });
    bool returnPressed = false;
    QObject::connect(edit1, &QLineEdit::returnPressed, [&] { returnPressed = true; });
    edit1->setFocus();
    QTest::keyClick(edit1, Qt::Key_Return);
    EXPECT_EQ(seen, QStringLiteral("\r"));
    EXPECT_TRUE(returnPressed);
    EXPECT_EQ(focused(), edit1);
    combo->setFocus();
    combo->setEditText(QStringLiteral("三"));
    QTest::keyClick(combo, Qt::Key_Return);
    EXPECT_EQ(focused(), combo);
    EXPECT_EQ(combo->count(), 3);  // the editable combo box took Enter and added its text
}

TEST_F(EnterAdvancing, AHandlerMayDiscardACharacter) {
    QObject::connect(edit1, &TRetEdit::OnKeyPress, [](QObject*, QChar& key) {
        if (key == u'x') key = QChar();
    });
    edit1->setFocus();
    QTest::keyClicks(edit1, QStringLiteral("axb"));
    EXPECT_EQ(edit1->text(), QStringLiteral("ab"));
}

TEST(EnterAdvancingAlone, AControlThatIsItsOwnWindowKeepsTheFocusAndDropsEnter) {
    TRetEdit alone;
    alone.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&alone));
    alone.setText(QStringLiteral("x"));
    QTest::keyClick(&alone, Qt::Key_Return);
    EXPECT_EQ(alone.text(), QStringLiteral("x"));
    EXPECT_EQ(focusNextControl(&alone), nullptr);
}
