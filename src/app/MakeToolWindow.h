#pragma once
// The composition root of libquil_tools.so: makes its windows and wires them to the main
// window through ToolWindowHost alone (see ui/main/ToolWindows.h). The tests link this code
// in and hand makeToolWindow to setToolWindowMakerForTesting.

#include "ui/main/ToolWindows.h"

namespace quil::ui {

void makeToolWindow(ToolWindowHost& host, AppWindows& windows, ToolWindow which);

}  // namespace quil::ui
