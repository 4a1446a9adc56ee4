#pragma once
// The one report of an exception that ended a command. The application's event guard
// (QuilApplication::notify) calls it for whatever a handler lets through; a window that must
// first put itself back in order (close a dialog that lost its record, finish saving
// settings on exit) catches, restores that state and calls it itself. Either way the user
// sees the same box.

#include <QString>
#include <exception>

class QWidget;

namespace quil::ui {

// The program's name: the main window's caption and the title of every error report.
QString programName();

// Takes away a wait cursor a failed command may have left, then shows the error's text
// under the program's name with the error icon, over `over` (the active window when null).
void reportError(const std::exception& error, QWidget* over = nullptr);

}  // namespace quil::ui
