#include "ui/windows/ServerAccountWindow.h"

#include <QDialog>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <exception>

#include "server/PgConnection.h"
#include "ui/components/QtText.h"
#include "ui/components/WholeRowView.h"
#include "ui/dialogs/MainContext.h"
#include "ui/dialogs/Prompts.h"
#include "ui/dialogs/WaitCursor.h"

namespace quil::ui {

void setUpAccountTable(QTableWidget& table, int minWidth, int minHeight) {
    selectWholeRows(table);
    table.verticalHeader()->hide();
    table.horizontalHeader()->setStretchLastSection(true);
    table.setMinimumSize(minWidth, minHeight);
}

ServerAccountWindow::ServerAccountWindow(MainContext& context, QWidget* parent, QString folderText)
    : QDialog(parent), context_(context), folderText_(std::move(folderText)) {}

void ServerAccountWindow::Open() {
    if (context_.serverConninfo().empty()) {
        Prompts::current().notice(context_.mainWidget(), folderText_);
        return;
    }
    if (!reload()) return;
    show();
    raise();
}

void ServerAccountWindow::connectButtons(QTableWidget* table, QPushButton* close) {
    connect(table, &QTableWidget::itemSelectionChanged, this, &ServerAccountWindow::showSelected);
    connect(AddButton, &QPushButton::clicked, this, &ServerAccountWindow::AddClick);
    connect(PasswordButton, &QPushButton::clicked, this, &ServerAccountWindow::PasswordClick);
    connect(DisableButton, &QPushButton::clicked, this, &ServerAccountWindow::DisableClick);
    connect(EnableButton, &QPushButton::clicked, this, &ServerAccountWindow::EnableClick);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
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
