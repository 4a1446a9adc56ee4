#include "ui/windows/TWebAccountForm.h"

#include <sodium.h>

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <map>
#include <set>
#include <vector>

#include "server/PgConnection.h"
#include "server/ServerAccounts.h"
#include "server/WebAccounts.h"
#include "store/DataStore.h"
#include "ui/components/NamedButton.h"
#include "ui/components/QtText.h"
#include "ui/dialogs/MainContext.h"
#include "ui/dialogs/MainWindowPlacement.h"
#include "ui/dialogs/Prompts.h"
#include "ui/dialogs/ServerWrites.h"
#include "ui/dialogs/WaitCursor.h"
#include "ui/windows/ServerAccountWindow.h"

namespace quil::ui {

namespace {

const QString kTitle = QStringLiteral("運転者のログイン");

// The columns of the login table; the login's item also keeps whether it is disabled and
// whether its driver must be confirmed.
enum LoginColumn { LoginNameColumn, DriverColumn, StateColumn, LoginColumnCount };

// A typed password, wiped from memory when it is no longer needed.
class TypedPassword {
public:
    explicit TypedPassword(const QLineEdit* edit) : text_(utf8(edit->text())) {}
    ~TypedPassword() { sodium_memzero(text_.data(), text_.size()); }
    TypedPassword(const TypedPassword&) = delete;
    TypedPassword& operator=(const TypedPassword&) = delete;
    const std::string& text() const { return text_; }

private:
    std::string text_;
};

// What the window says of a failed change: a refusal of the server in its own words (the
// data set's name adds nothing beside a field), anything else as it comes.
QString refusalText(const std::exception& e) {
    if (const auto* s = dynamic_cast<const server::ServerError*>(&e)) return qs(s->reason());
    return qs(e.what());
}

// Another person sits at the login's user position now (a restore, import or renaming):
// the login is refused until an administrator confirms it.
bool needsConfirmation(const server::DriverAccount& a) { return a.driverLive && !a.confirmed; }

QString stateText(const server::DriverAccount& a) {
    if (a.disabled) return QStringLiteral("無効");
    if (needsConfirmation(a)) return QStringLiteral("使用者の確認待ち");
    if (a.locked) return QStringLiteral("ロック中");
    if (a.mustChangePassword) return QStringLiteral("初回のパスワード変更待ち");
    return QStringLiteral("有効");
}

QString driverText(const server::DriverAccount& a) {
    if (needsConfirmation(a))
        return QStringLiteral("%1（作成時は %2）").arg(qs(a.driverName), qs(a.boundName));
    if (a.driverLive) return qs(a.driverName);
    if (a.driverName.empty()) return QStringLiteral("（位置 %1 の使用者はいません）").arg(a.driver);
    return QStringLiteral("%1（削除された使用者）").arg(qs(a.driverName));
}

}  // namespace

// --- TWebAccountDialog ---

TWebAccountDialog::TWebAccountDialog(QWidget* parent, const std::vector<Driver>& drivers,
                                     Submit submit)
    : QDialog(parent), submit_(std::move(submit)) {
    setObjectName(QStringLiteral("WebAccountAddDialog"));
    setWindowTitle(QStringLiteral("運転者のログインの追加"));
    LoginEdit = new QLineEdit(this);
    LoginEdit->setObjectName(QStringLiteral("LoginEdit"));
    LoginEdit->setMaxLength(32);
    DriverBox = new QComboBox(this);
    DriverBox->setObjectName(QStringLiteral("DriverBox"));
    for (const Driver& d : drivers) DriverBox->addItem(d.name, d.position);
    build({});
}

TWebAccountDialog::TWebAccountDialog(QWidget* parent, const QString& login, Submit submit)
    : QDialog(parent), submit_(std::move(submit)), login_(login) {
    setObjectName(QStringLiteral("WebPasswordDialog"));
    setWindowTitle(QStringLiteral("パスワードの再設定"));
    build(login);
}

QLabel* TWebAccountDialog::problemLabel(const char* name) {
    auto* label = new QLabel(this);
    label->setObjectName(QString::fromLatin1(name));
    label->setStyleSheet(QStringLiteral("color: #c00000;"));
    label->setWordWrap(true);
    label->hide();
    return label;
}

void TWebAccountDialog::build(const QString& login) {
    PasswordEdit = new QLineEdit(this);
    PasswordEdit->setObjectName(QStringLiteral("PasswordEdit"));
    PasswordEdit->setEchoMode(QLineEdit::Password);
    AgainEdit = new QLineEdit(this);
    AgainEdit->setObjectName(QStringLiteral("AgainEdit"));
    AgainEdit->setEchoMode(QLineEdit::Password);
    PasswordProblem = problemLabel("PasswordProblem");
    AgainProblem = problemLabel("AgainProblem");
    ServerProblem = problemLabel("ServerProblem");

    auto* fields = new QFormLayout;
    if (LoginEdit) {
        LoginProblem = problemLabel("LoginProblem");
        fields->addRow(QStringLiteral("ログイン名(&L):"), LoginEdit);
        fields->addRow(QString(), LoginProblem);
        fields->addRow(QStringLiteral("運転者(&D):"), DriverBox);
        fields->addRow(QStringLiteral("最初のパスワード(&W):"), PasswordEdit);
    } else {
        fields->addRow(QStringLiteral("ログイン名:"), new QLabel(login, this));
        fields->addRow(QStringLiteral("新しいパスワード(&W):"), PasswordEdit);
    }
    fields->addRow(QString(), PasswordProblem);
    fields->addRow(QStringLiteral("もう一度(&G):"), AgainEdit);
    fields->addRow(QString(), AgainProblem);

    auto* note = new QLabel(
        QStringLiteral("英字・数字と「_」「.」「-」のログイン名、8 文字以上のパスワード。"
                       "運転者は最初のログインでパスワードを自分のものに変えます。"),
        this);
    if (!LoginEdit)
        note->setText(
            QStringLiteral("運転者は次のログインでパスワードを自分のものに変えます。"
                           "ログインの失敗によるロックも解けます。"));
    note->setWordWrap(true);

    OkButton = newButton(this, "OK", "OkButton");
    OkButton->setDefault(true);
    auto* cancel = newButton(this, "キャンセル", "CancelButton");
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OkButton);
    buttons->addWidget(cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addWidget(ServerProblem);
    layout->addWidget(note);
    layout->addLayout(buttons);
    setMinimumWidth(420);

    connect(OkButton, &QPushButton::clicked, this, &TWebAccountDialog::OkClick);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    // Nothing typed stays behind when the dialog closes, either way.
    connect(this, &QDialog::finished, this, [this] {
        PasswordEdit->clear();
        AgainEdit->clear();
    });
}

void TWebAccountDialog::OkClick() {
    const auto say = [](QLabel* label, const std::string& problem) {
        label->setText(qs(problem));
        label->setVisible(!problem.empty());
        return problem.empty();
    };
    ServerProblem->hide();
    QWidget* wrong = nullptr;
    std::string login = utf8(login_);
    if (LoginEdit) {
        login = server::normalizedWebLogin(utf8(LoginEdit->text()));
        if (!say(LoginProblem, server::webLoginProblem(login))) wrong = LoginEdit;
    }
    const TypedPassword password(PasswordEdit);
    if (!say(PasswordProblem, server::passwordProblem(password.text())) && !wrong)
        wrong = PasswordEdit;
    const bool same = PasswordEdit->text() == AgainEdit->text();
    if (!say(AgainProblem, same ? std::string() : "2 つのパスワードが一致しません。") && !wrong)
        wrong = AgainEdit;
    if (wrong) {
        wrong->setFocus();
        return;
    }
    const int driver = DriverBox ? DriverBox->currentData().toInt() : 0;
    if (const QString refused = submit_(login, driver, password.text()); !refused.isEmpty()) {
        ServerProblem->setText(refused);
        ServerProblem->show();
        return;
    }
    accept();
}

// --- TWebAccountForm ---

TWebAccountForm::TWebAccountForm(MainContext& context, QWidget* parent)
    : ServerAccountWindow(
          context, parent,
          QStringLiteral("運転者のログインは、サーバーのデータセットで使う機能です。"
                         "運転者がスマートフォンから記録するには、データをサーバーに"
                         "置いてください。")) {
    setObjectName(QStringLiteral("WebAccountForm"));
    setWindowTitle(kTitle);
    LoginTable = new QTableWidget(0, LoginColumnCount, this);
    LoginTable->setObjectName(QStringLiteral("LoginTable"));
    LoginTable->setHorizontalHeaderLabels(
        {QStringLiteral("ログイン名"), QStringLiteral("運転者"), QStringLiteral("状態")});
    setUpAccountTable(*LoginTable, 520, 220);
    LoginTable->setColumnWidth(LoginNameColumn, 140);
    LoginTable->setColumnWidth(DriverColumn, 180);

    AddButton = newButton(this, "追加(&A)...", "AddButton");
    PasswordButton = newButton(this, "パスワードの再設定(&P)...", "PasswordButton");
    DisableButton = newButton(this, "無効にする(&D)", "DisableButton");
    EnableButton = newButton(this, "有効にする(&E)", "EnableButton");
    ConfirmButton = newButton(this, "使用者を確認(&C)...", "ConfirmButton");
    auto* close = newButton(this, "閉じる", "CloseButton");
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b :
         {AddButton, PasswordButton, DisableButton, EnableButton, ConfirmButton, close})
        buttons->addWidget(b);

    NoteLabel = new QLabel(
        QStringLiteral("運転者がスマートフォンからアルコールチェックと運転の記録を入力する"
                       "ためのログインです。変更できるのは管理者だけです。同じ接続元から 5 回"
                       "続けて失敗すると、そのログインはその接続元から 15 分使えなくなります。"
                       "復元・取り込み・名前の変更で使用者の位置に別の人が入ると、そのログインは"
                       "「使用者を確認」するまで使えません。"),
        this);
    NoteLabel->setWordWrap(true);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(LoginTable);
    layout->addLayout(buttons);
    layout->addWidget(NoteLabel);

    connectButtons(LoginTable, close);
    connect(ConfirmButton, &QPushButton::clicked, this, &TWebAccountForm::ConfirmClick);
    showSelected();
    placeBesideMainWindow(*this, context_.mainWidget(), kBesideMain);
}

bool TWebAccountForm::reload() {
    std::vector<server::DriverAccount> accounts;
    if (!askServer(this, context_,
                   [&](server::PgConnection& c) { accounts = server::WebAccounts(c).list(); }))
        return false;
    const QString selected = selectedLogin();
    LoginTable->setRowCount(0);
    for (const server::DriverAccount& a : accounts) {
        const int row = LoginTable->rowCount();
        LoginTable->insertRow(row);
        auto* login = new QTableWidgetItem(qs(a.login));
        login->setData(Qt::UserRole, a.disabled);
        login->setData(Qt::UserRole + 1, needsConfirmation(a));
        LoginTable->setItem(row, LoginNameColumn, login);
        auto* driver = new QTableWidgetItem(driverText(a));
        if (needsConfirmation(a)) {
            driver->setForeground(Qt::darkRed);
            driver->setToolTip(
                QStringLiteral(
                    "このログインは %1 のために作られましたが、今その位置の使用者は %2 です。"
                    "確認するまでログインできません。")
                    .arg(qs(a.boundName), qs(a.driverName)));
        } else if (!a.driverLive) {
            driver->setForeground(Qt::darkRed);
            driver->setToolTip(
                QStringLiteral("このログインの使用者はもういません。無効にしてください。"));
        }
        LoginTable->setItem(row, DriverColumn, driver);
        LoginTable->setItem(row, StateColumn, new QTableWidgetItem(stateText(a)));
        if (qs(a.login) == selected) LoginTable->selectRow(row);
    }
    showSelected();
    return true;
}

QString TWebAccountForm::selectedLogin() const {
    const QList<QTableWidgetItem*> items = LoginTable->selectedItems();
    if (items.isEmpty()) return {};
    return LoginTable->item(items.first()->row(), LoginNameColumn)->text();
}

void TWebAccountForm::showSelected() {
    const QList<QTableWidgetItem*> items = LoginTable->selectedItems();
    const bool any = !items.isEmpty();
    const bool disabled =
        any && LoginTable->item(items.first()->row(), LoginNameColumn)->data(Qt::UserRole).toBool();
    PasswordButton->setEnabled(any);
    DisableButton->setEnabled(any && !disabled);
    EnableButton->setEnabled(any && disabled);
    ConfirmButton->setEnabled(
        any &&
        LoginTable->item(items.first()->row(), LoginNameColumn)->data(Qt::UserRole + 1).toBool());
}

QString TWebAccountForm::change(const std::function<void(server::WebAccounts&)>& f) {
    try {
        WaitCursor wait;
        server::PgConnection c(context_.serverConninfo());
        server::WebAccounts accounts(c);
        f(accounts);
    } catch (const std::exception& e) {
        return refusalText(e);
    }
    reload();
    return {};
}

void TWebAccountForm::changeSelected(const std::function<void(server::WebAccounts&)>& f,
                                     const QString& done) {
    if (const QString refused = change(f); !refused.isEmpty()) {
        Prompts::current().warning(this, refused);
        return;
    }
    Prompts::current().notice(this, done);
}

void TWebAccountForm::AddClick() {
    // The users who may get a login: live, and without one (a user has one login at most).
    std::vector<TWebAccountDialog::Driver> drivers;
    try {
        WaitCursor wait;
        std::set<int> withLogin;
        {
            server::PgConnection c(context_.serverConninfo());
            for (const server::DriverAccount& a : server::WebAccounts(c).list())
                withLogin.insert(a.driver);
        }
        const std::vector<store::ItemEntry> users =
            liveItems(context_.dataStore().items(), store::ItemKind::User);
        // Users of the same name are told apart by their position in the list.
        std::map<std::string, int> named;
        for (const store::ItemEntry& e : users) ++named[e.name];
        for (const store::ItemEntry& e : users) {
            if (withLogin.contains(e.position)) continue;
            QString name = qs(e.name);
            if (named[e.name] > 1) name += QStringLiteral("（位置 %1）").arg(e.position);
            drivers.push_back({e.position, name});
        }
    } catch (const std::exception& e) {
        Prompts::current().warning(this, qs(e.what()));
        return;
    }
    if (drivers.empty()) {
        Prompts::current().notice(
            this, QStringLiteral("ログインのない使用者がいません。運転者を「使用者」の一覧に"
                                 "加えてから、ログインを追加してください。"));
        return;
    }
    auto* dialog = new TWebAccountDialog(
        this, drivers, [this](const std::string& login, int driver, const std::string& password) {
            return change(
                [&](server::WebAccounts& a) { a.createAccount(login, driver, password); });
        });
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this, dialog] {
        Prompts::current().notice(
            this, QStringLiteral("%1 を %2 のログインとして追加しました。"
                                 "最初のログインでパスワードの変更を求めます。")
                      .arg(qs(server::normalizedWebLogin(utf8(dialog->LoginEdit->text()))),
                           dialog->DriverBox->currentText()));
    });
    dialog->open();
}

void TWebAccountForm::PasswordClick() {
    const QString login = selectedLogin();
    if (login.isEmpty()) return;
    auto* dialog = new TWebAccountDialog(
        this, login, [this](const std::string& name, int, const std::string& password) {
            return change([&](server::WebAccounts& a) { a.setPassword(name, password); });
        });
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this, login] {
        Prompts::current().notice(
            this, QStringLiteral("%1 のパスワードを設定しました。次のログインで変更を求めます。")
                      .arg(login));
    });
    dialog->open();
}

void TWebAccountForm::DisableClick() {
    const QString login = selectedLogin();
    if (login.isEmpty()) return;
    if (!Prompts::current().questionDefaultNo(
            this, kTitle,
            QStringLiteral("%1 はログインできなくなり、使っている画面からも締め出されます。"
                           "よろしいですか？")
                .arg(login),
            PromptIcon::Warning))
        return;
    changeSelected([&](server::WebAccounts& a) { a.setDisabled(utf8(login), true); },
                   QStringLiteral("%1 を無効にしました。").arg(login));
}

void TWebAccountForm::EnableClick() {
    const QString login = selectedLogin();
    if (login.isEmpty()) return;
    changeSelected([&](server::WebAccounts& a) { a.setDisabled(utf8(login), false); },
                   QStringLiteral("%1 を有効にしました。").arg(login));
}

void TWebAccountForm::ConfirmClick() {
    const QString login = selectedLogin();
    if (login.isEmpty()) return;
    const int row = LoginTable->currentRow();
    const QString now = row < 0 ? QString() : LoginTable->item(row, DriverColumn)->text();
    if (!Prompts::current().questionDefaultNo(
            this, kTitle,
            QStringLiteral("%1 は別の人のために作られたログインです (今の使用者: %2)。"
                           "今の使用者のログインとして使えるようにしますか？")
                .arg(login, now),
            PromptIcon::Warning))
        return;
    changeSelected([&](server::WebAccounts& a) { a.confirmDriver(utf8(login)); },
                   QStringLiteral("%1 を今の使用者のログインとして確認しました。").arg(login));
}

}  // namespace quil::ui
