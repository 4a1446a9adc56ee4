#include "ui/dialogs/OkCancelForm.h"

#include "ui/dialogs/OkCancelButtons.h"

namespace quil::ui {

void OkCancelForm::Button2Click() { close(); }

void OkCancelForm::makeButtons() {
    makeOkCancelButtons(this, button1_, button2_);
    connectButtons();
}

QHBoxLayout* OkCancelForm::makeButtonRow() {
    QHBoxLayout* row = makeOkCancelRow(this, button1_, button2_);
    connectButtons();
    return row;
}

void OkCancelForm::connectButtons() {
    connect(button1_, &QPushButton::clicked, this, &OkCancelForm::Button1Click);
    connect(button2_, &QPushButton::clicked, this, &OkCancelForm::Button2Click);
}

}  // namespace quil::ui
