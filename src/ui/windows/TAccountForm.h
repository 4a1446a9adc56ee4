#pragma once
// 利用者とその権限 (ツール menu): the accounts of a server data set with their roles, and,
// for an administrator, adding one, changing its role or password, disabling and enabling
// it. The server decides who may: a refusal is shown as it comes. On a data folder the
// window says that it belongs to a server data set and does not open.

#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace quil::ui {

class MainContext;

class TAccountForm : public QDialog {
    Q_OBJECT
public:
    TAccountForm(MainContext& context, QWidget* parent);

    // Shows the window over a server data set; on a data folder only says why it cannot.
    void Open();
    // Reads the accounts again; false (and a message) when the server cannot be asked.
    bool reload();

    QTableWidget* AccountTable = nullptr;
    QLineEdit* NameEdit = nullptr;
    QComboBox* RoleBox = nullptr;
    QLineEdit* PasswordEdit = nullptr;
    QLineEdit* AgainEdit = nullptr;
    QPushButton* AddButton = nullptr;
    QPushButton* RoleButton = nullptr;
    QPushButton* PasswordButton = nullptr;
    QPushButton* DisableButton = nullptr;
    QPushButton* EnableButton = nullptr;
    QLabel* NoteLabel = nullptr;

public Q_SLOTS:
    void AddClick();
    void RoleClick();
    void PasswordClick();
    void DisableClick();
    void EnableClick();

private:
    void showSelected();
    // The typed password when both fields agree; empty (and a message) otherwise.
    bool typedPassword(std::string& password);
    // Runs one change on the server, then reads the list again; false when refused.
    template <typename Change>
    bool change(Change&& f, const QString& done);

    MainContext& context_;
};

}  // namespace quil::ui
