#pragma once
// The windows of libquil_tools.so (see ui/main/ToolWindows.h); the tests link this code in
// and hand makeToolWindow to setToolWindowMakerForTesting.

#include "ui/main/ToolWindows.h"

namespace quil::ui {

void makeToolWindow(AppWindows& windows, ToolWindow which);

}  // namespace quil::ui
