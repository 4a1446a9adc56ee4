#pragma once
// What the two windows of a server's accounts (利用者とその権限, 運転者のログイン) share:
// they open only over a server data set, list the accounts in a table and ask the server on
// a connection of their own for each step.

#include <QDialog>
#include <QString>
#include <functional>

class QLabel;
class QPushButton;
class QTableWidget;

namespace quil::server {
class PgConnection;
}

namespace quil::ui {

class MainContext;

// Whole rows, one at a time, not edited in place, no row numbers, the last column stretched.
void setUpAccountTable(QTableWidget& table, int minWidth, int minHeight);

// Runs `work` on a new connection to the data set's server, under the wait cursor. Returns
// false when it fails, after showing the server's message over `parent`.
bool askServer(QWidget* parent, MainContext& context,
               const std::function<void(server::PgConnection&)>& work);

// The base of the two windows: the buttons both have, and how they open.
class ServerAccountWindow : public QDialog {
    Q_OBJECT
public:
    // Shows the window over a server data set; on a data folder only says why it cannot.
    void Open();
    // Reads the accounts again; false (and a message) when the server cannot be asked.
    virtual bool reload() = 0;

    QPushButton* AddButton = nullptr;
    QPushButton* PasswordButton = nullptr;
    QPushButton* DisableButton = nullptr;
    QPushButton* EnableButton = nullptr;
    QLabel* NoteLabel = nullptr;

public Q_SLOTS:
    virtual void AddClick() = 0;
    virtual void PasswordClick() = 0;
    virtual void DisableClick() = 0;
    virtual void EnableClick() = 0;

protected:
    // `folderText` is what Open says over a data folder.
    ServerAccountWindow(MainContext& context, QWidget* parent, QString folderText);
    // Connects the four buttons to their slots, a change of the selection in `table` to
    // showSelected, and `close` to closing the window.
    void connectButtons(QTableWidget* table, QPushButton* close);
    // Enables the buttons for the selected account.
    virtual void showSelected() = 0;

    MainContext& context_;

private:
    QString folderText_;
};

}  // namespace quil::ui
