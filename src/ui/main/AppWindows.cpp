#include "ui/main/AppWindows.h"

namespace quil::ui {

AppWindows::AppWindows(const std::string& programFolder, MainformOptions options)
    : Mainform(std::make_unique<TMainform>(programFolder, options)) {
    if (Mainform->IsDuplicate()) return;
}

AppWindows::~AppWindows() = default;

}  // namespace quil::ui
