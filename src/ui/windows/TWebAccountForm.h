#pragma once
// 運転者のログイン (ツール menu): the drivers' logins to the web page of a server data set,
// each with its user item and its state, and, for an administrator, adding one, setting a
// new password (to be changed at the next login), disabling and enabling it, and confirming
// one whose user position now holds another person. The server
// decides who may: a refusal is shown as it comes. On a data folder the window says that
// it belongs to a server data set and does not open.

#include <functional>
#include <string>

#include "ui/windows/ServerAccountWindow.h"

class QComboBox;
class QLineEdit;

namespace quil::server {
class WebAccounts;
}

namespace quil::ui {

// The small dialog of 追加 (login name, driver, first password twice) and of
// パスワードの再設定 (the password twice). A problem is said under its field; what the
// server refuses is said under the fields, and the dialog stays open to be put right.
class TWebAccountDialog : public QDialog {
    Q_OBJECT
public:
    // Runs the change with the typed values; returns the refusal, empty when done.
    using Submit =
        std::function<QString(const std::string& login, int driver, const std::string& password)>;
    struct Driver {
        int position = 0;
        QString name;
    };

    // Adding: `drivers` are the users who may get a login.
    TWebAccountDialog(QWidget* parent, const std::vector<Driver>& drivers, Submit submit);
    // A new password for `login`.
    TWebAccountDialog(QWidget* parent, const QString& login, Submit submit);

    QLineEdit* LoginEdit = nullptr;  // nullptr when setting a password
    QComboBox* DriverBox = nullptr;  // nullptr when setting a password
    QLineEdit* PasswordEdit = nullptr;
    QLineEdit* AgainEdit = nullptr;
    QLabel* LoginProblem = nullptr;
    QLabel* PasswordProblem = nullptr;
    QLabel* AgainProblem = nullptr;
    QLabel* ServerProblem = nullptr;
    QPushButton* OkButton = nullptr;

public Q_SLOTS:
    void OkClick();

private:
    void build(const QString& login);
    QLabel* problemLabel(const char* name);

    Submit submit_;
    QString login_;
};

class TWebAccountForm : public ServerAccountWindow {
    Q_OBJECT
public:
    TWebAccountForm(MainContext& context, QWidget* parent);

    bool reload() override;

    QTableWidget* LoginTable = nullptr;
    QPushButton* ConfirmButton = nullptr;  // for a login whose user position changed hands

public Q_SLOTS:
    void AddClick() override;
    void PasswordClick() override;
    void DisableClick() override;
    void EnableClick() override;
    void ConfirmClick();

private:
    // The login of the selected row; empty when none is selected.
    QString selectedLogin() const;
    void showSelected() override;
    // Runs one change on a connection of its own; the server's refusal as the window says
    // it, empty when done (and then the list is read again).
    QString change(const std::function<void(server::WebAccounts&)>& f);
    // Runs a change of the buttons: a refusal is shown in a box, success in a notice.
    void changeSelected(const std::function<void(server::WebAccounts&)>& f, const QString& done);
};

}  // namespace quil::ui
