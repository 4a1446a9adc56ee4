#pragma once
// Where a window opens: a fixed step right of and below the main window's top-left corner,
// as each window of the program has always opened.

#include <QPoint>

class QWidget;

namespace quil::ui {

inline constexpr QPoint kBesideMain{50, 50};          // the record, vehicle and tool windows
inline constexpr QPoint kFurtherBesideMain{100, 50};  // the lists, display filters, about box

// Moves `window` by `step` from `mainWindow`'s position; without a main window (a test
// showing a window alone) it stays where it is.
void placeBesideMainWindow(QWidget& window, const QWidget* mainWindow, QPoint step);

}  // namespace quil::ui
