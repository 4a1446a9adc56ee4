#pragma once
// The OK and CANCEL buttons the dialogs share: "Button1" and "Button2", never default
// buttons, since Enter belongs to the fields (it moves to the next one); Enter on a
// focused button presses it.

#include <QHBoxLayout>
#include <QPushButton>

namespace quil::ui {

// Creates the two buttons as children of `parent`, for a dialog that places them itself.
void makeOkCancelButtons(QWidget* parent, QPushButton*& ok, QPushButton*& cancel);
// Creates the two buttons as children of `parent` and returns them in a row that centres them.
QHBoxLayout* makeOkCancelRow(QWidget* parent, QPushButton*& ok, QPushButton*& cancel);

}  // namespace quil::ui
