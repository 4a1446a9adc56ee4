#include "ui/windows/ServerAccountWindow.h"

#include <QDialog>
#include <QHeaderView>
#include <QTableWidget>
#include <exception>

#include "server/PgConnection.h"
#include "ui/components/QtText.h"
#include "ui/dialogs/MainContext.h"
#include "ui/dialogs/Prompts.h"
#include "ui/dialogs/WaitCursor.h"

namespace quil::ui {

void setUpAccountTable(QTableWidget& table, int minWidth, int minHeight) {
    table.setSelectionBehavior(QAbstractItemView::SelectRows);
    table.setSelectionMode(QAbstractItemView::SingleSelection);
    table.setEditTriggers(QAbstractItemView::NoEditTriggers);
    table.verticalHeader()->hide();
    table.horizontalHeader()->setStretchLastSection(true);
    table.setMinimumSize(minWidth, minHeight);
}

void openOverServer(QDialog& window, MainContext& context, const QString& folderText,
                    const std::function<bool()>& reload) {
    if (context.serverConninfo().empty()) {
        Prompts::current().notice(context.mainWidget(), folderText);
        return;
    }
    if (!reload()) return;
    window.show();
    window.raise();
}

bool askServer(QWidget* parent, MainContext& context,
               const std::function<void(server::PgConnection&)>& work) {
    try {
        WaitCursor wait;
        server::PgConnection c(context.serverConninfo());
        work(c);
    } catch (const std::exception& e) {
        Prompts::current().warning(parent, qs(e.what()));
        return false;
    }
    return true;
}

}  // namespace quil::ui
