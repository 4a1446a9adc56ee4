#pragma once
// The windows whose code needs Qt's print and SQL modules (the print dialog, the summary
// table, the user settings and the other windows of the analysis menu, the about box, the
// analysis tools and the alcohol-check register) are made by the module libquil_tools.so.
// The program loads it right after the main window's first paint, so that no start-up
// loads and relocates those Qt modules before the list is on screen.

#include <QString>

namespace quil::ui {

class AppWindows;

// One step of the window creation, in the order the program has always created them.
enum class ToolWindow {
    AboutBox,   // before the entry dialogs
    PrintForm,  // after the entry dialog
    UserSettings,
    Summary,
    Graph,
    Schedule,      // TSkeForm
    ItemSchedule,  // TMISkeForm, after the vehicle form
    Extensions,    // the ツール menu's windows, last
};

// The module's entry point, extern "C" under kToolWindowsSymbol: makes `which` for the
// main window of `windows`, stores it in `windows` and hands it to the main window.
using ToolWindowMaker = void (*)(AppWindows& windows, ToolWindow which);
inline constexpr char kToolWindowsSymbol[] = "quil_make_tool_window";
inline constexpr char kToolModuleFile[] = "libquil_tools.so";

struct ToolWindowsLoad {
    ToolWindowMaker make = nullptr;
    QString error;  // why there is no maker, in the program's words
};

// Loads the module (once; it stays loaded).
ToolWindowsLoad loadToolWindows();
// Replaces the module with `make` (null restores it): the tests link the windows in.
void setToolWindowMakerForTesting(ToolWindowMaker make);

}  // namespace quil::ui
