#include "ui/main/QuilApplication.h"

#include <QFont>
#include <QFontDatabase>
#include <QTimer>
#include <QWidget>
#include <QGuiApplication>
#include <QIcon>

#include "ui/main/ProgramIcons.h"
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <exception>

#include "ui/dialogs/ErrorReport.h"
#include "ui/dialogs/Prompts.h"

namespace quil::ui {

QuilApplication::QuilApplication(int& argc, char** argv) : QApplication(argc, argv) {
    // No display name: the window system would append it to every caption, and the
    // captions read exactly as given ("警告", not "警告 — クイル台帳").
    setApplicationName(programName());
    useJapanese();
    setWindowIcon(programIcon("quil", 64));

    // Every text on screen is Japanese: prefer a Japanese UI font to the desktop's default,
    // whose Latin digits are wider (dates no longer fit the record list's built-in column
    // widths) and whose fallback may draw kanji in their Chinese forms.
    QFont ui = font();
    ui.setFamilies({QStringLiteral("Noto Sans CJK JP"), QStringLiteral("IPAexGothic"),
                    QStringLiteral("IPAGothic"), QStringLiteral("VL Gothic"), ui.family()});
    setFont(ui);
}

void QuilApplication::useJapanese() {
    // Whatever the desktop's locale: Qt's own texts (Yes/No, OK/Cancel, the calendar) in
    // Japanese, and Japanese month and day names and formats in every widget.
    QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
    auto* qtTexts = new QTranslator(this);
    if (qtTexts->load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"),
                      QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        installTranslator(qtTexts);
    else
        delete qtTexts;  // without the translations package the texts stay in English
}

bool QuilApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        reportException(e);
    } catch (...) {
        reportException(std::runtime_error("不明なエラーが発生しました。"));
    }
    return false;
}

void QuilApplication::reportException(const std::exception& e) { reportError(e); }

bool QuilApplication::hasJapaneseFont() {
    return !QFontDatabase::families(QFontDatabase::Japanese).isEmpty();
}

void QuilApplication::warnWithoutJapaneseFont(QWidget* window) {
    if (hasJapaneseFont()) return;
    QTimer::singleShot(0, window, [window] {
        Prompts::current().message(
            window, QStringLiteral("警告"),
            QStringLiteral("日本語のフォントが見つかりません。文字が正しく表示されない"
                           "ことがあります。\n日本語フォント（fonts-noto-cjk など）を"
                           "インストールして下さい。"),
            PromptIcon::Warning);
    });
}

}  // namespace quil::ui
