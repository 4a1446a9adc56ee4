#pragma once
// What the two windows of a server's accounts (利用者とその権限, 運転者のログイン) share:
// they open only over a server data set, list the accounts in a table and ask the server on
// a connection of their own for each step.

#include <QString>
#include <functional>

class QDialog;
class QTableWidget;
class QWidget;

namespace quil::server {
class PgConnection;
}

namespace quil::ui {

class MainContext;

// Whole rows, one at a time, not edited in place, no row numbers, the last column stretched.
void setUpAccountTable(QTableWidget& table, int minWidth, int minHeight);

// Shows `window` over a server data set once `reload` has read its accounts; on a data folder
// only says `folderText` over the main window.
void openOverServer(QDialog& window, MainContext& context, const QString& folderText,
                    const std::function<bool()>& reload);

// Runs `work` on a new connection to the data set's server, under the wait cursor. Returns
// false when it fails, after showing the server's message over `parent`.
bool askServer(QWidget* parent, MainContext& context,
               const std::function<void(server::PgConnection&)>& work);

}  // namespace quil::ui
