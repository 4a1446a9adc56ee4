#pragma once
// A window for a feature that has a place in the menus but no function yet: a caption,
// a fixed size, and optionally "&OK" and "&CANCEL" buttons that both close it.

#include "ui/dialogs/OkCancelForm.h"

namespace quil::ui {

class PlaceholderForm : public OkCancelForm {
    Q_OBJECT
public Q_SLOTS:
    // OK closes it too.
    void Button1Click() override;

protected:
    // Placed 50 pixels right of and below the main window's top-left corner.
    PlaceholderForm(QWidget* mainWindow, const QString& caption, QSize clientSize,
                    bool withButtons);
    // Nothing to read afresh.
    void FormShow() override {}
};

}  // namespace quil::ui
