#include "ui/dialogs/FormDialog.h"

#include <QShowEvent>

namespace quil::ui {

void FormDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous()) return;
    FormShow();
    formShown();
}

}  // namespace quil::ui
