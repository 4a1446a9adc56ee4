#pragma once
// Enter (or Return) on a focused push button presses it, as on Windows, without making
// any button the dialog's default: the fields keep Enter for moving on.

class QAbstractButton;

namespace quil::ui {

// Makes Enter and Return press `button` while it has the focus.
void EnterPressesButton(QAbstractButton* button);

}  // namespace quil::ui
