// What the main window offers the windows of libquil_tools.so (ToolWindowHost).

#include <QStatusBar>
#include <QTabBar>
#include <QToolBar>

#include "ui/components/TComboGrid.h"
#include "ui/dialogs/Prompts.h"
#include "ui/main/RecordCommands.h"
#include "ui/main/RecordListColumns.h"
#include "ui/main/RecordListModel.h"
#include "ui/main/TMainform.h"

namespace quil::ui {

void TMainform::addToolBarSection(const QList<QAction*>& actions) {
    ToolBar1->addSeparator();
    for (QAction* a : actions) ToolBar1->addAction(a);
}

QStatusBar* TMainform::toolStatusBar() { return statusBar(); }

void TMainform::openRecordAt(std::int64_t position, store::RecordKind kind) {
    TabControl1->setCurrentIndex(tabIndex(store::listTabOf(kind)));
    const RecordListModel* list = listModel();
    for (int row = 1; list && row <= list->recordCount(); ++row) {
        if (list->position(row) != position) continue;
        ComboGrid1->selectRow(row);
        ComboGrid1Click();
        commands()->EditClick();
        return;
    }
    Prompts::current().notice(this, QStringLiteral("この記録はメイン画面の一覧に表示されて"
                                                   "いません。表示期間と表示車両を確かめて"
                                                   "ください。"));
}

}  // namespace quil::ui
