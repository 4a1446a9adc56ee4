#pragma once
// The up-down control of a year box: two small stacked arrow buttons filling `host`, which
// repeat while held and never take the focus from the box beside them.

#include <utility>

class QToolButton;
class QWidget;

namespace quil::ui {

// Returns the up and the down button.
std::pair<QToolButton*, QToolButton*> addUpDownArrows(QWidget* host);

}  // namespace quil::ui
