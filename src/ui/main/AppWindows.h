#pragma once
// Every window of the program, created once, in the order the program has always created
// them, the main window first; the main window is told which ones it opens.

#include <memory>
#include <string>

#include "ui/main/TMainform.h"

namespace quil::alcohol {
class AlcoholWindows;
}
namespace quil::papers {
class PaperWindows;
}
namespace quil::analysis {
class AnalysisWindows;
}

namespace quil::ui {

class TAboutBox;
class TItemForm;
class TViewItemForm;
class TViewTimeForm;
class Tdirsetform;
class TDataInputForm;
class Tpriansform;
class TOpForm;
class TCalForm;
class TGraphform;
class TSkeForm;
class TCarform;
class TMISkeForm;

// When the windows besides the main window are made: all with it, or right after its
// first paint (the program: the list is on screen sooner; their order stays the same).
enum class WindowCreation { AllAtOnce, AfterFirstPaint };

class AppWindows {
public:
    explicit AppWindows(const std::string& programFolder, MainformOptions options = {},
                        WindowCreation creation = WindowCreation::AllAtOnce);
    ~AppWindows();
    AppWindows(const AppWindows&) = delete;
    AppWindows& operator=(const AppWindows&) = delete;

    std::unique_ptr<TMainform> Mainform;
    // The other windows are children of the main window and live as long as it does;
    // all are null for a second copy, which creates nothing.
    TAboutBox* AboutBox = nullptr;
    TItemForm* ItemForm = nullptr;
    TViewItemForm* ViewItemForm = nullptr;
    TViewTimeForm* ViewTimeForm = nullptr;
    Tdirsetform* Dirsetform = nullptr;
    TDataInputForm* DataInputForm = nullptr;
    Tpriansform* priansform = nullptr;
    TOpForm* OpForm = nullptr;
    TCalForm* CalForm = nullptr;
    TGraphform* Graphform = nullptr;
    TSkeForm* SkeForm = nullptr;
    TCarform* Carform = nullptr;
    TMISkeForm* MISkeForm = nullptr;
    // The analysis windows of the ツール menu (made on first use) and the overdue notice.
    analysis::AnalysisWindows* Analysis = nullptr;
    // The alcohol-check register's windows (ツール menu, toolbar, status bar).
    alcohol::AlcoholWindows* Alcohol = nullptr;
    // 期限一覧 and the entry windows of licences and papers (the ツール menu).
    papers::PaperWindows* Papers = nullptr;

private:
    // Every window but the main window, once.
    void createWindows();
};

}  // namespace quil::ui
