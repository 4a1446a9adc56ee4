// The entry point of libquil_tools.so, which the program loads right after the main
// window's first paint. The module is linked against the program: everything it uses of
// the main window, the dialogs and the store is the program's own copy.

#include <QtGlobal>
#include <type_traits>

#include "app/MakeToolWindow.h"

extern "C" Q_DECL_EXPORT void quil_make_tool_window(quil::ui::ToolWindowHost& host,
                                                    quil::ui::AppWindows& windows,
                                                    quil::ui::ToolWindow which) {
    quil::ui::makeToolWindow(host, windows, which);
}

static_assert(std::is_same_v<decltype(&quil_make_tool_window), quil::ui::ToolWindowMaker>,
              "the entry point is what the program calls");
