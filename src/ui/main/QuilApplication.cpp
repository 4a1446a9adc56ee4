#include "ui/main/QuilApplication.h"

#include <QFont>
#include <QFontDatabase>
#include <QPainter>
#include <QPixmap>
#include <QMainWindow>
#include <QProxyStyle>
#include <QStyleOption>
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

#if QUIL_QT_FREETYPE
// FreeType's headers, for the one property the program sets on Qt's FreeType library.
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_DRIVER_H
#include FT_MODULE_H

// Qt's own FreeType library (the calling thread's), which Qt Gui exports but declares in a
// private header only: the build checks that it is there (src/ui/main/CMakeLists.txt).
FT_Library qt_getFreetype();
#endif

namespace quil::ui {
namespace {

// Qt turns FreeType's stem darkening on for CFF fonts, Noto Sans CJK among them, and then
// blends every glyph through gamma tables that it builds at the first text drawn: about 2%
// of the work of an empty start-up to the first paint. At the sizes the program draws its
// Japanese text, it looks the same with FreeType's default (no darkening, plain blending),
// which the program keeps. Done before the first font engine is made, which reads it.
// Without Qt's private qt_getFreetype the program keeps Qt's setting.
void keepFreeTypesDefaultDarkening() {
#if QUIL_QT_FREETYPE
    FT_Bool noStemDarkening = true;
    FT_Property_Set(qt_getFreetype(), "cff", "no-stem-darkening", &noStemDarkening);
#endif
}

// The desktop's style, but with the arrows of the toolbar's and the menu bar's extension
// button (shown when they do not fit) drawn here. The style's own arrows are image files,
// and reading the first image file makes Qt look through every image-format plug-in; the
// toolbar and the menu bar make that button when they are made, at start-up.
class ProgramStyle : public QProxyStyle {
public:
    QIcon standardIcon(StandardPixmap which, const QStyleOption* option,
                       const QWidget* widget) const override {
        if (which == SP_ToolBarHorizontalExtensionButton)
            return extensionIcon(false, widget);
        if (which == SP_ToolBarVerticalExtensionButton) return extensionIcon(true, widget);
        return QProxyStyle::standardIcon(which, option, widget);
    }

    // The main window's toolbar as the Fusion style draws it, but its edge lines drawn as
    // one-pixel fills. The raster engine draws a one-pixel line as a span per pixel and
    // hands a fill of more than 96 spans to helper threads: the toolbar's lines would start
    // the threads and wait for them at the first paint.
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override {
        // Every control the program paints comes through here: the cheap tests go first.
        const auto* bar = element == CE_ToolBar
                              ? qstyleoption_cast<const QStyleOptionToolBar*>(option)
                              : nullptr;
        if (!bar || !(option->state & State_Horizontal) || !isFusion() ||
            bar->toolBarArea != Qt::TopToolBarArea ||
            !(widget && qobject_cast<const QMainWindow*>(widget->parentWidget()))) {
            QProxyStyle::drawControl(element, option, painter, widget);
            return;
        }
        const QRect& r = option->rect;
        QLinearGradient gradient(r.topLeft(), r.bottomLeft());
        gradient.setColorAt(0, option->palette.window().color().lighter(104));
        gradient.setColorAt(1, option->palette.window().color());
        painter->fillRect(r, gradient);
        // Fusion's light and dark shades: the last (or only) row of toolbars ends in a light
        // and a dark line, the others in a dark one; every row starts with a light line.
        const QColor light(255, 255, 255, 90);
        const QColor shadow(0, 0, 0, 60);
        auto row = [&](int y, const QColor& color) {
            painter->fillRect(QRect(r.left(), y, r.width(), 1), color);
        };
        if (bar->positionOfLine == QStyleOptionToolBar::End ||
            bar->positionOfLine == QStyleOptionToolBar::OnlyOne) {
            row(r.bottom(), light);
            row(r.bottom() - 1, shadow);
        } else {
            row(r.bottom(), shadow);
        }
        row(r.top(), light);
    }

private:
    bool isFusion() const {
        return baseStyle()->name().compare(QLatin1String("fusion"), Qt::CaseInsensitive) == 0;
    }

    // Two chevrons pointing the way the bar goes on.
    static QIcon extensionIcon(bool vertical, const QWidget* widget) {
        QPixmap pixmap(16, 16);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        const QPalette palette = widget ? widget->palette() : QGuiApplication::palette();
        p.setPen(QPen(palette.color(QPalette::ButtonText), 1.5));
        for (const qreal at : {4.0, 9.0}) {
            const QPointF chevron[] = {{at, 4.5}, {at + 3.5, 8.0}, {at, 11.5}};
            if (!vertical) {
                p.drawPolyline(chevron, 3);
            } else {
                const QPointF turned[] = {{chevron[0].y(), chevron[0].x()},
                                          {chevron[1].y(), chevron[1].x()},
                                          {chevron[2].y(), chevron[2].x()}};
                p.drawPolyline(turned, 3);
            }
        }
        p.end();
        return QIcon(pixmap);
    }
};

}  // namespace

QuilApplication::QuilApplication(int& argc, char** argv) : QApplication(argc, argv) {
    keepFreeTypesDefaultDarkening();
    // No display name: the window system would append it to every caption, and the
    // captions read exactly as given ("警告", not "警告 — クイル台帳").
    setApplicationName(programName());
    setStyle(new ProgramStyle);
    useJapanese();
    setWindowIcon(programIcon("quil", 64));

    // Every text on screen is Japanese: prefer a Japanese UI font to the desktop's default,
    // whose Latin digits are wider (dates no longer fit the record list's built-in column
    // widths; IPAexGothic's are too) and whose fallback may draw kanji in their Chinese
    // forms. One family is named, the first one installed: with more than one, Qt asks
    // fontconfig for every script's fallback fonts at the first text of each script
    // (several milliseconds at start-up); with one, only when a character is missing.
    QFont ui = font();
    const QStringList installed = QFontDatabase::families();
    for (const QString& family :
         {QStringLiteral("Noto Sans CJK JP"), QStringLiteral("IPAexGothic"),
          QStringLiteral("IPAGothic"), QStringLiteral("VL Gothic")}) {
        if (installed.contains(family)) {
            ui.setFamily(family);
            break;
        }
    }
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
