// The version box, the user settings dialog and the placeholder windows.

#include <gtest/gtest.h>

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "StandInMain.h"
#include "ui/components/TRetEdit.h"
#include "ui/windows/TAboutBox.h"
#include "ui/windows/TAccountForm.h"
#include "ui/windows/PlaceholderForm.h"
#include "ui/windows/TOpForm.h"
#include "ui/windows/TWebAccountForm.h"

namespace quil::ui {
namespace {

class MinorDialogsTest : public ::testing::Test {
protected:
    QWidget mainWindow;
    void SetUp() override { mainWindow.move(120, 80); }

    // Shows the dialog, clicks `button` and expects it hidden, not destroyed.
    static void expectClosesOn(QDialog& dialog, QPushButton* button) {
        dialog.show();
        ASSERT_TRUE(dialog.isVisible());
        QTest::mouseClick(button, Qt::LeftButton);
        EXPECT_FALSE(dialog.isVisible());
    }
};

TEST_F(MinorDialogsTest, AboutBoxShowsNameAndVersionAndClosesOnOk) {
    TAboutBox box(&mainWindow);
    EXPECT_EQ(box.windowTitle(), QStringLiteral("バージョン情報"));
    EXPECT_EQ(box.pos(), mainWindow.pos() + QPoint(100, 50));
    EXPECT_EQ(box.size(), QSize(252, 216));
    EXPECT_EQ(box.ProductName()->text(), QStringLiteral("クイル台帳"));
    EXPECT_EQ(box.Version()->text(), QStringLiteral("Version 0.21a"));
    EXPECT_FALSE(box.Comments()->text().isEmpty());
    // The build's own version (the project's version) shows too, clear of the other texts.
    EXPECT_TRUE(box.BuildVersion()->text().endsWith(QStringLiteral(" " QUIL_BUILD_VERSION)));
    EXPECT_FALSE(box.BuildVersion()->geometry().intersects(box.Version()->geometry()));
    EXPECT_FALSE(box.BuildVersion()->geometry().intersects(box.Comments()->geometry()));
    EXPECT_FALSE(box.ProgramIcon()->pixmap().isNull());
    box.show();
    EXPECT_EQ(box.OKButton()->y(), 127);
    EXPECT_EQ(box.frameGeometry().height(), 200);
    EXPECT_EQ(box.minimumSize(), box.maximumSize());  // fixed border
    expectClosesOn(box, box.OKButton());
    EXPECT_EQ(box.parentWidget(), &mainWindow);
}

TEST_F(MinorDialogsTest, TheServersAccountWindowsOpenBesideTheMainWindow) {
    testing::StandInMain main;
    main.window.move(120, 80);
    const TAccountForm accounts(main, &main.window);
    const TWebAccountForm logins(main, &main.window);
    EXPECT_EQ(accounts.pos(), main.window.pos() + QPoint(50, 50));
    EXPECT_EQ(logins.pos(), main.window.pos() + QPoint(50, 50));
}

TEST_F(MinorDialogsTest, UserSettingsKeepTheEditedTextsAndStoreNothing) {
    TOpForm form(&mainWindow);
    EXPECT_EQ(form.windowTitle(), QStringLiteral("ユーザー設定"));
    EXPECT_EQ(form.size(), QSize(343, 265));
    EXPECT_EQ(form.pos(), mainWindow.pos() + QPoint(50, 50));
    EXPECT_EQ(form.GroupBox1()->title(), QStringLiteral("期間"));
    EXPECT_NE(qobject_cast<TRetEdit*>(form.RetEdit1()), nullptr);
    EXPECT_NE(qobject_cast<TRetEdit*>(form.RetEdit2()), nullptr);
    QStringList labels;
    for (QLabel* l : form.GroupBox1()->findChildren<QLabel*>()) labels << l->text();
    EXPECT_EQ(labels, (QStringList{QStringLiteral("上期"), QStringLiteral("～"),
                                   QStringLiteral("下期"), QStringLiteral("～")}));
    EXPECT_EQ(form.RetEdit1()->text(), QStringLiteral("4/1"));
    EXPECT_EQ(form.RetEdit2()->text(), QStringLiteral("10/1"));
    EXPECT_EQ(form.Button1()->text(), QStringLiteral("&OK"));
    EXPECT_EQ(form.Button2()->text(), QStringLiteral("&CANCEL"));

    form.show();
    form.RetEdit1()->setText(QStringLiteral("5/1"));
    form.RetEdit2()->setText(QStringLiteral("11/1"));
    expectClosesOn(form, form.Button1());
    form.show();
    EXPECT_EQ(form.RetEdit1()->text(), QStringLiteral("5/1"));
    EXPECT_EQ(form.RetEdit2()->text(), QStringLiteral("11/1"));
    expectClosesOn(form, form.Button2());
}

TEST_F(MinorDialogsTest, PlaceholderWindowsHaveTheirCaptionsSizesAndButtons) {
    TGraphform graph(&mainWindow);
    TSkeForm schedule(&mainWindow);
    TMISkeForm cycles(&mainWindow);
    EXPECT_EQ(graph.windowTitle(), QStringLiteral("グラフ"));
    EXPECT_EQ(graph.size(), QSize(334, 268));
    EXPECT_EQ(schedule.windowTitle(), QStringLiteral("点検・整備予定一覧"));
    EXPECT_EQ(schedule.size(), QSize(536, 348));
    EXPECT_EQ(cycles.windowTitle(), QStringLiteral("点検・整備周期一覧"));
    EXPECT_EQ(cycles.size(), QSize(688, 453));
    EXPECT_TRUE(cycles.findChildren<QWidget*>().isEmpty());
    for (PlaceholderForm* form :
         {static_cast<PlaceholderForm*>(&graph), static_cast<PlaceholderForm*>(&schedule)}) {
        EXPECT_EQ(form->pos(), mainWindow.pos() + QPoint(50, 50));
        EXPECT_EQ(form->minimumSize(), form->maximumSize());
        EXPECT_EQ(form->Button1()->text(), QStringLiteral("&OK"));
        EXPECT_EQ(form->Button2()->text(), QStringLiteral("&CANCEL"));
        expectClosesOn(*form, form->Button1());
        expectClosesOn(*form, form->Button2());
    }
}

}  // namespace
}  // namespace quil::ui
