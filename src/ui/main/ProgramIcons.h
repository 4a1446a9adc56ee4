#pragma once
// The program's icons, each made once. An icon is decoded when first painted, at the size
// painted, not when it is made: the window icon and the toolbar cost nothing at start-up
// beyond what the first paint shows.

#include <QIcon>

namespace quil::ui {

// The icon ":/icons/<name>.png", drawn `size` pixels square.
QIcon programIcon(const char* name, int size = 32);

}  // namespace quil::ui
