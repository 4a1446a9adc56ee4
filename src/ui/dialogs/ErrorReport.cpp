#include "ui/dialogs/ErrorReport.h"

#include <QApplication>
#include <QGuiApplication>

#include "ui/dialogs/Prompts.h"

namespace quil::ui {

QString programName() { return QStringLiteral("クイル台帳"); }

void reportError(const std::exception& error, QWidget* over) {
    while (QGuiApplication::overrideCursor()) QGuiApplication::restoreOverrideCursor();
    Prompts::current().message(over ? over : QApplication::activeWindow(), programName(),
                               QString::fromUtf8(error.what()), PromptIcon::Error);
}

}  // namespace quil::ui
