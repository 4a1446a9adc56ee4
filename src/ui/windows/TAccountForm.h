#pragma once
// 利用者とその権限 (ツール menu): the accounts of a server data set with their roles, and,
// for an administrator, adding one, changing its role or password, disabling and enabling
// it. The server decides who may: a refusal is shown as it comes. On a data folder the
// window says that it belongs to a server data set and does not open.

#include "ui/windows/ServerAccountWindow.h"

class QComboBox;
class QLineEdit;

namespace quil::ui {

class TAccountForm : public ServerAccountWindow {
    Q_OBJECT
public:
    TAccountForm(MainContext& context, QWidget* parent);

    bool reload() override;

    QTableWidget* AccountTable = nullptr;
    QLineEdit* NameEdit = nullptr;
    QComboBox* RoleBox = nullptr;
    QLineEdit* PasswordEdit = nullptr;
    QLineEdit* AgainEdit = nullptr;
    QPushButton* RoleButton = nullptr;

public Q_SLOTS:
    void AddClick() override;
    void RoleClick();
    void PasswordClick() override;
    void DisableClick() override;
    void EnableClick() override;

private:
    void showSelected() override;
    // The typed password when both fields agree; empty (and a message) otherwise.
    bool typedPassword(std::string& password);
    // Runs one change on the server, then reads the list again; false when refused.
    template <typename Change>
    bool change(Change&& f, const QString& done);
};

}  // namespace quil::ui
