#pragma once
// The base of the made-once dialogs with an OK ("Button1") and a CANCEL ("Button2") button:
// OK runs the dialog's own checks and save; CANCEL closes without writing.

#include "ui/dialogs/FormDialog.h"

class QHBoxLayout;
class QPushButton;

namespace quil::ui {

class OkCancelForm : public FormDialog {
    Q_OBJECT
public:
    QPushButton* Button1() const { return button1_; }
    QPushButton* Button2() const { return button2_; }

public Q_SLOTS:
    virtual void Button1Click() = 0;
    // CANCEL: closes without writing.
    void Button2Click();

protected:
    using FormDialog::FormDialog;

    // Creates the two buttons, connected to the two slots, for a dialog that places them.
    void makeButtons();
    // The same, returned in a row that centres them.
    QHBoxLayout* makeButtonRow();

    QPushButton* button1_ = nullptr;
    QPushButton* button2_ = nullptr;

private:
    void connectButtons();
};

}  // namespace quil::ui
