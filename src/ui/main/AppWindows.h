#pragma once
// Every window of the program, created once, in the order the program has always created
// them, the main window first; the main window is told which ones it opens.

#include <memory>
#include <string>

#include "ui/main/TMainform.h"

namespace quil::ui {

class AppWindows {
public:
    explicit AppWindows(const std::string& programFolder, MainformOptions options = {});
    ~AppWindows();
    AppWindows(const AppWindows&) = delete;
    AppWindows& operator=(const AppWindows&) = delete;

    std::unique_ptr<TMainform> Mainform;
    // The dialogs are children of the main window and live as long as it does.
};

}  // namespace quil::ui
