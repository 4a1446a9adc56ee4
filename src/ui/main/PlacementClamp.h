#pragma once
// Keeps a stored window placement usable on the screens there are now.

#include <QRect>

#include "store/Settings.h"

namespace quil::ui {

// The placement (outer bounds, frame included) moved and shrunk into `available` (a
// screen's work area): the size is at most the area's (and at least `minimum`), and the
// whole window lies on the area.
store::WindowPlacement clampPlacement(const store::WindowPlacement& stored, const QRect& available,
                                      const QSize& minimum);

// The work area of the screen that holds the stored window's top-left corner, or of the
// primary screen when none does; an empty rectangle when there is no screen.
QRect availableAreaFor(const store::WindowPlacement& stored);

}  // namespace quil::ui
