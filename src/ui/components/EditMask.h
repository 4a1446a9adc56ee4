#pragma once
// Edit masks are kept in the form the stored windows use ("!99/99/00;1;_"); Qt's input
// masks use other letters for the same ideas. This converts one to the other.

#include <QString>

namespace quil::ui {

// The Qt input mask for an edit mask: 0 digit required, 9 digit optional, # digit or sign,
// L/l letter, A/a letter or digit, C/c any character (upper case = required), > < case
// conversion, \ literal, other characters literal; ";<save>;<blank>" sets the blank
// character. Empty in, empty out.
QString toQtInputMask(const QString& editMask);

}  // namespace quil::ui
