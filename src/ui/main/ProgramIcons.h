#pragma once
// The program's icons, each made once from pixels built into the program (see
// ProgramIconData.h): no image file is read or decoded at start-up.

#include <QIcon>

namespace quil::ui {

// The icon made from icons/<name>.png, `size` pixels square; a null icon for an unknown name.
QIcon programIcon(const char* name, int size = 32);

}  // namespace quil::ui
