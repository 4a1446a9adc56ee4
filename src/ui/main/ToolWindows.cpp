#include "ui/main/ToolWindows.h"

#include "ui/components/ProgramModule.h"

namespace quil::ui {

namespace {

ToolWindowMaker& testMaker() {
    static ToolWindowMaker make = nullptr;
    return make;
}

}  // namespace

ToolWindowsLoad loadToolWindows() {
    if (ToolWindowMaker make = testMaker()) return {make, {}};
    ToolWindowsLoad load;
    QString error;
    load.make = reinterpret_cast<ToolWindowMaker>(
        loadProgramModule(kToolModuleFile, kToolWindowsSymbol, error));
    if (!load.make)
        load.error = QStringLiteral(
                         "印刷・集計・ツールの部品 (%1) を読み込めませんでした。"
                         "一覧の表示と記録の入力はできますが、印刷、集計表、"
                         "ツールメニューの画面などは使えません。\n%2")
                         .arg(QString::fromLatin1(kToolModuleFile), error);
    return load;
}

void setToolWindowMakerForTesting(ToolWindowMaker make) { testMaker() = make; }

}  // namespace quil::ui
