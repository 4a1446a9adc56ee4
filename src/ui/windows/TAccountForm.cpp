#include "ui/windows/TAccountForm.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "server/ServerAccounts.h"
#include "ui/components/QtText.h"
#include "ui/dialogs/MainContext.h"
#include "ui/dialogs/MainWindowPlacement.h"
#include "ui/dialogs/Prompts.h"
#include "ui/windows/ServerAccountWindow.h"

namespace quil::ui {

namespace {

// The columns of the account table.
enum AccountColumn { NameColumn, RoleColumn, LoginColumn, AccountColumnCount };

constexpr server::AccountRole kRoles[] = {server::AccountRole::Admin, server::AccountRole::Clerk,
                                          server::AccountRole::Viewer};

}  // namespace

TAccountForm::TAccountForm(MainContext& context, QWidget* parent)
    : ServerAccountWindow(
          context, parent,
          QStringLiteral("利用者の管理は、サーバーのデータセットで使う機能です。"
                         "データフォルダーでは、フォルダーを使える人がデータを使えます。")) {
    setObjectName(QStringLiteral("AccountForm"));
    setWindowTitle(QStringLiteral("利用者とその権限"));
    AccountTable = new QTableWidget(0, AccountColumnCount, this);
    AccountTable->setHorizontalHeaderLabels(
        {QStringLiteral("利用者名"), QStringLiteral("役割"), QStringLiteral("ログイン")});
    setUpAccountTable(*AccountTable, 420, 200);

    NameEdit = new QLineEdit(this);
    NameEdit->setMaxLength(63);
    RoleBox = new QComboBox(this);
    for (server::AccountRole r : kRoles) RoleBox->addItem(qs(server::roleTitle(r)));
    RoleBox->setCurrentIndex(1);  // 事務: what most new accounts are
    PasswordEdit = new QLineEdit(this);
    PasswordEdit->setEchoMode(QLineEdit::Password);
    AgainEdit = new QLineEdit(this);
    AgainEdit->setEchoMode(QLineEdit::Password);
    auto* fields = new QFormLayout;
    fields->addRow(QStringLiteral("利用者名(&N):"), NameEdit);
    fields->addRow(QStringLiteral("役割(&R):"), RoleBox);
    fields->addRow(QStringLiteral("パスワード(&W):"), PasswordEdit);
    fields->addRow(QStringLiteral("もう一度(&G):"), AgainEdit);

    AddButton = new QPushButton(QStringLiteral("追加(&A)"), this);
    RoleButton = new QPushButton(QStringLiteral("役割の変更(&C)"), this);
    PasswordButton = new QPushButton(QStringLiteral("パスワードの変更(&P)"), this);
    DisableButton = new QPushButton(QStringLiteral("無効にする(&D)"), this);
    EnableButton = new QPushButton(QStringLiteral("有効にする(&E)"), this);
    auto* close = new QPushButton(QStringLiteral("閉じる"), this);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b :
         {AddButton, RoleButton, PasswordButton, DisableButton, EnableButton, close})
        buttons->addWidget(b);

    NoteLabel =
        new QLabel(QStringLiteral("変更できるのは管理者だけです。パスワードはサーバーに暗号として"
                                  "送られ、この端末には残りません。"),
                   this);
    NoteLabel->setWordWrap(true);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(AccountTable);
    layout->addLayout(fields);
    layout->addLayout(buttons);
    layout->addWidget(NoteLabel);

    // Named for the tests, which reach the window through the main window's tree.
    const std::pair<QWidget*, const char*> names[] = {{AccountTable, "AccountTable"},
                                                      {NameEdit, "NameEdit"},
                                                      {RoleBox, "RoleBox"},
                                                      {PasswordEdit, "PasswordEdit"},
                                                      {AgainEdit, "AgainEdit"},
                                                      {AddButton, "AddButton"},
                                                      {RoleButton, "RoleButton"},
                                                      {PasswordButton, "PasswordButton"},
                                                      {DisableButton, "DisableButton"},
                                                      {EnableButton, "EnableButton"}};
    for (const auto& [widget, name] : names) widget->setObjectName(QString::fromLatin1(name));

    connectButtons(AccountTable, close);
    connect(RoleButton, &QPushButton::clicked, this, &TAccountForm::RoleClick);
    placeBesideMainWindow(*this, context_.mainWidget(), kBesideMain);
}

bool TAccountForm::reload() {
    std::vector<server::Account> accounts;
    if (!askServer(this, context_,
                   [&](server::PgConnection& c) { accounts = server::listAccounts(c); }))
        return false;
    AccountTable->setRowCount(0);
    for (const server::Account& a : accounts) {
        const int row = AccountTable->rowCount();
        AccountTable->insertRow(row);
        auto* name = new QTableWidgetItem(qs(a.name));
        if (a.isCurrentUser) name->setToolTip(QStringLiteral("この端末で使っている利用者です"));
        AccountTable->setItem(row, NameColumn, name);
        AccountTable->setItem(row, RoleColumn, new QTableWidgetItem(qs(server::roleTitle(a.role))));
        AccountTable->setItem(
            row, LoginColumn,
            new QTableWidgetItem(a.canLogIn ? QStringLiteral("可") : QStringLiteral("無効")));
    }
    PasswordEdit->clear();
    AgainEdit->clear();
    return true;
}

void TAccountForm::showSelected() {
    const int row = AccountTable->currentRow();
    if (row < 0) return;
    NameEdit->setText(AccountTable->item(row, NameColumn)->text());
    RoleBox->setCurrentText(AccountTable->item(row, RoleColumn)->text());
}

bool TAccountForm::typedPassword(std::string& password) {
    if (PasswordEdit->text() != AgainEdit->text()) {
        Prompts::current().warning(this, QStringLiteral("2 つのパスワードが一致しません。"));
        AgainEdit->setFocus();
        return false;
    }
    password = utf8(PasswordEdit->text());
    if (const std::string problem = server::passwordProblem(password); !problem.empty()) {
        Prompts::current().warning(this, qs(problem));
        PasswordEdit->setFocus();
        return false;
    }
    return true;
}

template <typename Change>
bool TAccountForm::change(Change&& f, const QString& done) {
    if (!askServer(this, context_, f)) return false;
    reload();
    Prompts::current().notice(this, done);
    return true;
}

void TAccountForm::AddClick() {
    const std::string name = utf8(NameEdit->text().trimmed());
    if (const std::string problem = server::accountNameProblem(name); !problem.empty()) {
        Prompts::current().warning(this, qs(problem));
        NameEdit->setFocus();
        return;
    }
    std::string password;
    if (!typedPassword(password)) return;
    const server::AccountRole role = kRoles[std::max(0, RoleBox->currentIndex())];
    change([&](server::PgConnection& c) { server::addAccount(c, name, password, role); },
           QStringLiteral("%1 を%2として追加しました。").arg(qs(name), RoleBox->currentText()));
}

void TAccountForm::RoleClick() {
    const std::string name = utf8(NameEdit->text().trimmed());
    const server::AccountRole role = kRoles[std::max(0, RoleBox->currentIndex())];
    change([&](server::PgConnection& c) { server::setAccountRole(c, name, role); },
           QStringLiteral("%1 を%2にしました。").arg(qs(name), RoleBox->currentText()));
}

void TAccountForm::PasswordClick() {
    const std::string name = utf8(NameEdit->text().trimmed());
    std::string password;
    if (!typedPassword(password)) return;
    change([&](server::PgConnection& c) { server::setAccountPassword(c, name, password); },
           QStringLiteral("%1 のパスワードを変えました。").arg(qs(name)));
}

void TAccountForm::DisableClick() {
    const std::string name = utf8(NameEdit->text().trimmed());
    if (!Prompts::current().questionDefaultNo(
            this, QStringLiteral("利用者とその権限"),
            QStringLiteral("%1 はログインできなくなります。よろしいですか？").arg(qs(name)),
            PromptIcon::Warning))
        return;
    change([&](server::PgConnection& c) { server::setAccountLogIn(c, name, false); },
           QStringLiteral("%1 を無効にしました。").arg(qs(name)));
}

void TAccountForm::EnableClick() {
    const std::string name = utf8(NameEdit->text().trimmed());
    change([&](server::PgConnection& c) { server::setAccountLogIn(c, name, true); },
           QStringLiteral("%1 を有効にしました。").arg(qs(name)));
}

}  // namespace quil::ui
