#include "ui/dialogs/MainWindowPlacement.h"

#include <QWidget>

namespace quil::ui {

void placeBesideMainWindow(QWidget& window, const QWidget* mainWindow, QPoint step) {
    if (mainWindow) window.move(mainWindow->pos() + step);
}

}  // namespace quil::ui
