#pragma once
// The windows whose code needs Qt's print and SQL modules (the print dialog, the summary
// table, the user settings and the other windows of the analysis menu, the about box, the
// analysis tools and the alcohol-check register) are made by the module libquil_tools.so.
// The program loads it right after the main window's first paint, so that no start-up
// loads and relocates those Qt modules before the list is on screen.

#include <QList>
#include <QString>
#include <cstdint>
#include <functional>

#include "store/Records.h"

class QAction;
class QStatusBar;
class QTabBar;
class QWidget;

namespace quil::ui {

class AppWindows;
class MainContext;
class TComboGrid;

// What the module's windows get from the main window, and all they get: the main window
// implements it, so the code that makes them never reaches into its widgets.
class ToolWindowHost {
public:
    virtual ~ToolWindowHost() = default;
    // Folders, stamp, tab, row, reload; its mainWidget() is the windows' parent.
    virtual MainContext& toolContext() = 0;
    // Adds an entry to the menu "ツール(&T)" (before ヘルプ); returns its action.
    virtual QAction* addToolsCommand(const QString& caption, const QString& name,
                                     std::function<void()> command) = 0;
    // Adds buttons to the toolbar after the vehicle log's own, behind a separator.
    virtual void addToolBarSection(const QList<QAction*>& actions) = 0;
    virtual QStatusBar* toolStatusBar() = 0;
    // Shows the record at a file position (of a record kind) in the entry dialog, or says
    // that the list does not show it.
    virtual void openRecordAt(std::int64_t position, store::RecordKind kind) = 0;
    // What the print dialog prints: the record list's grid and the tabs of the record kinds.
    virtual TComboGrid* printedGrid() = 0;
    virtual QTabBar* printedTabs() = 0;
    // The windows the main window opens from its own commands.
    virtual void setAboutBox(QWidget* box) = 0;
    virtual void setPrintDialog(QWidget* dialog) = 0;
    virtual void setUserSettingsDialog(QWidget* dialog) = 0;
};

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
// main window `host`, stores it in `windows` and hands it to the main window.
using ToolWindowMaker = void (*)(ToolWindowHost& host, AppWindows& windows, ToolWindow which);
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
