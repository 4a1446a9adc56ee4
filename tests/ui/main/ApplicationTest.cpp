// The application object: Japanese for Qt's own texts whatever the desktop's locale, and
// captions that read exactly as the windows set them.
#include <gtest/gtest.h>

#include <QCalendarWidget>
#include <QCoreApplication>
#include <QDateEdit>
#include <QGuiApplication>
#include <QLocale>

TEST(Application, QtsOwnTextsAndTheCalendarAreJapanese) {
    // The standard buttons of every message box.
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "&Yes"), QStringLiteral("はい(&Y)"));
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"),
              QStringLiteral("キャンセル"));
    EXPECT_EQ(QLocale().language(), QLocale::Japanese);
    // The calendar a date box pops up.
    QDateEdit date;
    date.setCalendarPopup(true);
    ASSERT_NE(date.calendarWidget(), nullptr);
    EXPECT_EQ(date.calendarWidget()->locale().monthName(2), QStringLiteral("2月"));
    EXPECT_EQ(date.calendarWidget()->locale().dayName(1, QLocale::ShortFormat),
              QStringLiteral("月"));
}

TEST(Application, NoDisplayNameIsAppendedToTheCaptions) {
    // A display name of its own would be appended to every caption by the window system;
    // without one it simply follows the application name.
    const QString name = QCoreApplication::applicationName();
    EXPECT_EQ(name, QStringLiteral("クイル台帳"));
    QCoreApplication::setApplicationName(QStringLiteral("probe"));
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), QStringLiteral("probe"));
    QCoreApplication::setApplicationName(name);
}
