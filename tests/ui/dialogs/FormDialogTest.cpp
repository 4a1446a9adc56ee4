// The shared scaffolding of the dialogs: FormShow on every opening the program makes (not
// when the window system shows a dialog again), the OK/CANCEL pair, the placement.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QTest>

#include "ui/dialogs/FormDialog.h"
#include "ui/dialogs/MainWindowPlacement.h"
#include "ui/dialogs/OkCancelButtons.h"

namespace quil::ui {
namespace {

class CountingDialog : public FormDialog {
public:
    using FormDialog::FormDialog;
    int opened = 0;
    int shownAfter = -1;  // `opened` as formShown saw it
    void FormShow() override { ++opened; }
    void formShown() override { shownAfter = opened; }
};

TEST(FormDialog, EveryOpeningRunsFormShowButARestoreDoesNot) {
    CountingDialog dialog;
    dialog.show();
    EXPECT_EQ(dialog.opened, 1);
    EXPECT_EQ(dialog.shownAfter, 1) << "formShown runs after FormShow";
    // A minimised window restored: Qt shows it again with a spontaneous show event.
    QWindowStateChangeEvent restored(Qt::WindowMinimized);
    QApplication::sendEvent(&dialog, &restored);
    EXPECT_EQ(dialog.opened, 1);
    dialog.hide();
    dialog.show();
    EXPECT_EQ(dialog.opened, 2);
    dialog.close();
}

TEST(FormDialog, OkAndCancelAreNamedAndEnterPressesTheFocusedOne) {
    QWidget parent;
    QPushButton* ok = nullptr;
    QPushButton* cancel = nullptr;
    makeOkCancelButtons(&parent, ok, cancel);
    ASSERT_TRUE(ok && cancel);
    EXPECT_EQ(ok->objectName(), QStringLiteral("Button1"));
    EXPECT_EQ(cancel->text(), QStringLiteral("&CANCEL"));
    EXPECT_FALSE(ok->autoDefault());
    int pressed = 0;
    QObject::connect(cancel, &QPushButton::clicked, [&] { ++pressed; });
    parent.show();
    cancel->setFocus();
    QTest::keyClick(cancel, Qt::Key_Return);
    EXPECT_EQ(pressed, 1);
}

TEST(FormDialog, PlacedBesideTheMainWindowOrLeftAlone) {
    QWidget main;
    main.move(200, 120);
    QWidget window;
    window.move(7, 9);
    placeBesideMainWindow(window, nullptr, kBesideMain);
    EXPECT_EQ(window.pos(), QPoint(7, 9));
    placeBesideMainWindow(window, &main, kFurtherBesideMain);
    EXPECT_EQ(window.pos(), QPoint(300, 170));
}

}  // namespace
}  // namespace quil::ui
