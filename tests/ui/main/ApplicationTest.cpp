// The application object: Japanese for Qt's own texts whatever the desktop's locale,
// captions that read exactly as the windows set them, a font that draws every character the
// data files can hold (drawn with FreeType's default stem darkening), and the program's icons.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <csignal>

#include <signal.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCalendarWidget>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTreeView>
#include <QCoreApplication>
#include <QDateEdit>
#include <QGuiApplication>
#include <QFontInfo>
#include <QFontMetrics>
#include <QImage>
#include <QLocale>
#include <QMainWindow>
#include <QPainter>
#include <QProxyStyle>
#include <QStyle>
#include <QStyleFactory>
#include <QToolBar>
#include <memory>

#include "TestSupport.h"
#include "store/Codec.h"
#include "store/Settings.h"
#include "ui/dialogs/FileChoice.h"
#include "ui/main/ProgramIcons.h"
#include "ui/main/RecordListColumns.h"
#include "ui/main/QuilApplication.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_DRIVER_H
#include FT_MODULE_H

FT_Library qt_getFreetype();  // exported by Qt Gui, declared in a private header

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

// The file dialogs too: Qt's own buttons and labels, the folders' type and the dates of the
// file list (the suite also runs under LC_ALL=C: quil_japanese_under_c_locale).
TEST(Application, FileDialogsAndQuestionBoxesAreJapanese) {
    quil::testing::TempDir dir;
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(dir.file("写真"))));
    QFileDialog dialog(nullptr, QStringLiteral("開く"), QString::fromStdString(dir.path()));
    quil::ui::prepareFileDialog(dialog);
    dialog.show();
    auto* list = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
    ASSERT_NE(list, nullptr);
    QAbstractItemModel* model = list->model();
    ASSERT_TRUE(QTest::qWaitFor([&] { return model->rowCount(list->rootIndex()) == 1; }, 5000));
    EXPECT_EQ(model->index(0, 0, list->rootIndex()).data().toString(), QStringLiteral("写真"));
    EXPECT_EQ(model->index(0, 2, list->rootIndex()).data().toString(), QStringLiteral("フォルダー"));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d{4}/\\d{2}/\\d{2} \\d{1,2}:\\d{2}$"))
                    .match(model->index(0, 3, list->rootIndex()).data().toString())
                    .hasMatch())
        << model->index(0, 3, list->rootIndex()).data().toString().toStdString();
    QStringList headers;
    for (int c = 0; c < 4; ++c) headers << model->headerData(c, Qt::Horizontal).toString();
    EXPECT_EQ(headers, (QStringList{QStringLiteral("名前"), QStringLiteral("サイズ"),
                                    QStringLiteral("タイプ"), QStringLiteral("更新日")}));
    auto* buttons = dialog.findChild<QDialogButtonBox*>();
    ASSERT_NE(buttons, nullptr);
    EXPECT_EQ(buttons->button(QDialogButtonBox::Open)->text(), QStringLiteral("開く(&O)"));
    EXPECT_EQ(buttons->button(QDialogButtonBox::Cancel)->text(), QStringLiteral("キャンセル"));
    dialog.close();

    QMessageBox question(QMessageBox::Question, QStringLiteral("確認"), QStringLiteral("?"),
                         QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(question.button(QMessageBox::Yes)->text(), QStringLiteral("はい(&Y)"));
    EXPECT_EQ(question.button(QMessageBox::No)->text(), QStringLiteral("いいえ(&N)"));
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

TEST(Application, TheFontDrawsEveryCharacterOfTheDataFiles) {
    if (!quil::ui::QuilApplication::hasJapaneseFont()) GTEST_SKIP() << "no Japanese font";
    // One Japanese family is named; a character it lacks is still drawn by a fallback font.
    const QFont font = QGuiApplication::font();
    EXPECT_EQ(font.families().size(), 1);
    EXPECT_EQ(QFontInfo(font).family(), font.family());
    const QFontMetrics metrics(font);
    int checked = 0;
    QString missing;
    auto check = [&](const std::string& cp932) {
        const QString text = QString::fromStdString(quil::store::fromCp932(cp932));
        if (text.size() != 1 || text[0].isSpace() || text[0].category() == QChar::Other_Control)
            return;
        if (text[0].unicode() >= 0xE000 && text[0].unicode() <= 0xF8FF) return;  // user-defined
        if (text[0] == QChar::ReplacementCharacter) return;  // a code no character has
        ++checked;
        if (!metrics.inFont(text[0])) missing += text;
    };
    for (int b = 0x21; b <= 0xDF; ++b)
        if (b < 0x7F || b >= 0xA1) check(std::string(1, char(b)));
    for (int hi = 0x81; hi <= 0xFC; ++hi) {
        if (hi >= 0xA0 && hi < 0xE0) continue;
        for (int lo = 0x40; lo <= 0xFC; ++lo)
            if (lo != 0x7F) check(std::string{char(hi), char(lo)});
    }
    EXPECT_GT(checked, 7000);
    EXPECT_EQ(missing.toStdString(), "");
}

TEST(Application, DatesFitTheRecordListsDateColumn) {
    if (!quil::ui::QuilApplication::hasJapaneseFont()) GTEST_SKIP() << "no Japanese font";
    // The list's columns have the widths they always had; a font whose digits are wider
    // cuts the dates short.
    const QFontMetrics metrics(QGuiApplication::font());
    for (const quil::store::ListTab tab : quil::store::kListTabs) {
        SCOPED_TRACE(int(tab));
        ASSERT_EQ(quil::ui::columnTitle(tab, 2), QStringLiteral("年月日"));
        const int width = quil::ui::builtInColumnWidth(tab, 2);
        for (const char* date : {"2004/04/01", "2038/08/28", "9999/12/31"})
            EXPECT_LE(metrics.horizontalAdvance(QString::fromLatin1(date)) + 4, width - 1) << date;
    }
}

TEST(Application, EveryProgramIconIsMadeAtTheSizeAsked) {
    for (const char* name : {"quil", "driving", "refuelling", "maintenance", "expense", "summary",
                             "graph", "schedule", "print", "help"}) {
        SCOPED_TRACE(name);
        const QIcon icon = quil::ui::programIcon(name, 32);
        ASSERT_FALSE(icon.isNull());
        const QImage image = icon.pixmap(32, 32).toImage();
        EXPECT_EQ(image.size(), QSize(32, 32));
        // Not blank: some pixels are drawn, and the corners stay see-through.
        bool drawn = false;
        for (int y = 0; y < 32 && !drawn; ++y)
            for (int x = 0; x < 32 && !drawn; ++x) drawn = qAlpha(image.pixel(x, y)) > 128;
        EXPECT_TRUE(drawn);
    }
    EXPECT_EQ(quil::ui::programIcon("quil", 64).pixmap(64, 64).size(), QSize(64, 64));
    EXPECT_TRUE(quil::ui::programIcon("no-such-icon").isNull());
}

TEST(Application, ABarTooNarrowForItsButtonsShowsAnExtensionArrow) {
    for (auto which : {QStyle::SP_ToolBarHorizontalExtensionButton,
                       QStyle::SP_ToolBarVerticalExtensionButton}) {
        const QIcon icon = QApplication::style()->standardIcon(which);
        ASSERT_FALSE(icon.isNull());
        const QImage image = icon.pixmap(16, 16).toImage();
        int drawn = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) drawn += qAlpha(image.pixel(x, y)) > 64;
        EXPECT_GT(drawn, 10);
        EXPECT_LT(drawn, 16 * 16 / 2);
    }
    // Other standard icons still come from the desktop's style.
    EXPECT_FALSE(QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning).isNull());
}

// The program draws the main window's toolbar itself (as filled rows rather than lines);
// it looks exactly as the desktop's style draws it.
TEST(Application, TheMainWindowsToolbarLooksAsTheDesktopStyleDrawsIt) {
    // Two rows of toolbars: the first row ends differently from the last.
    QMainWindow window;
    window.resize(640, 200);
    QToolBar* first = window.addToolBar(QStringLiteral("first"));
    first->addAction(QStringLiteral("走行"));
    window.addToolBarBreak();
    QToolBar* last = window.addToolBar(QStringLiteral("last"));
    last->addAction(QStringLiteral("給油"));
    window.show();
    QApplication::processEvents();

    auto* program = qobject_cast<QProxyStyle*>(QApplication::style());
    ASSERT_TRUE(program);
    const QString desktop = program->baseStyle()->name();
    std::unique_ptr<QStyle> plain(QStyleFactory::create(desktop));
    ASSERT_TRUE(plain) << desktop.toStdString();
    for (QToolBar* bar : {first, last}) {
        SCOPED_TRACE(bar->windowTitle().toStdString());
        const QImage ours = bar->grab().toImage();
        bar->setStyle(plain.get());
        QApplication::processEvents();
        const QImage theirs = bar->grab().toImage();
        bar->setStyle(nullptr);
        ASSERT_EQ(ours.size(), theirs.size());
        int differ = 0;
        for (int y = 0; y < ours.height(); ++y)
            for (int x = 0; x < ours.width(); ++x)
                if (ours.pixel(x, y) != theirs.pixel(x, y) && differ++ < 3)
                    ADD_FAILURE() << x << "," << y << ": " << std::hex << ours.pixel(x, y)
                                  << " vs " << theirs.pixel(x, y);
        EXPECT_EQ(differ, 0) << desktop.toStdString();
    }
}

TEST(Application, QtsFreeTypeKeepsItsDefaultOfNoStemDarkeningAfterTextIsDrawn) {
    // Qt reads the property when it makes a font engine; the program's setting must still
    // be in force once text has been laid out and drawn with the program's font.
    QImage image(200, 40, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(QApplication::font());
    painter.drawText(QPointF(4, 24), QStringLiteral("走行記録 2004/04/01"));
    painter.end();
    FT_Bool noStemDarkening = false;
    ASSERT_EQ(FT_Property_Get(qt_getFreetype(), "cff", "no-stem-darkening", &noStemDarkening), 0);
    EXPECT_TRUE(noStemDarkening);
}

// The real program, asked to stop (logout, shutdown, Ctrl+C): it ends as after a close,
// its settings saved and the data folder's lock released, instead of being killed.
TEST(Application, AStopSignalEndsTheProgramAsACloseDoes) {
    for (const char* how : {"terminate", "hangup", "interrupt"}) {
        SCOPED_TRACE(how);
        quil::testing::TempDir home;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), QString::fromStdString(home.file("config")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), QString::fromStdString(home.file("data")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), QString::fromStdString(home.dir()));
        QProcess program;
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(QUIL_PROGRAM), {QStringLiteral("--per-user")});
        ASSERT_TRUE(program.waitForStarted(10000));
        const QString lock = QString::fromStdString(home.file("data/quil/Quil.lck"));
        QElapsedTimer waited;
        waited.start();
        while (!QFileInfo::exists(lock) && waited.elapsed() < 20000) QThread::msleep(20);
        ASSERT_TRUE(QFileInfo::exists(lock)) << "the program never took its data folder";
        QThread::msleep(200);  // past the first paint
        const int signal = std::string(how) == "terminate" ? SIGTERM
                           : std::string(how) == "hangup"  ? SIGHUP
                                                           : SIGINT;
        ::kill(static_cast<pid_t>(program.processId()), signal);
        ASSERT_TRUE(program.waitForFinished(20000));
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program.exitCode(), 0);
        EXPECT_FALSE(QFileInfo::exists(lock)) << "a lock left behind refuses restores for 5 min";
        EXPECT_FALSE(quil::store::Settings(home.file("config/quil/")).exeFolder().empty())
            << "the exit state is saved as after a close";
    }
}
