// ツール → 運転者のログイン on a server data set: an administrator adds a driver's login
// through its dialog, resets its password, disables and enables it, and each change holds
// at the web page's login; typing mistakes are said beside their fields and nothing is
// sent; a clerk gets the server's refusal, and a data folder the reason the window is not
// there.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>

#include "LoginRole.h"
#include "PgTestCluster.h"
#include "SampleDataSet.h"
#include "ServerTestData.h"
#include "TempDir.h"
#include "app/MakeToolWindow.h"
#include "app/ServerParts.h"
#include "server/ServerDataSet.h"
#include "server/ServerSchema.h"
#include "server/ServerTransfer.h"
#include "server/WebAccounts.h"
#include "ui/dialogs/Prompts.h"
#include "ui/main/AppWindows.h"
#include "ui/main/TMainform.h"
#include "ui/windows/TWebAccountForm.h"

using namespace quil;
using quil::test::addItem;
using quil::test::LoginRole;
using quil::test::ScratchDatabase;
using quil::testing::TempDir;

namespace {

constexpr const char* kPhone = "192.0.2.10";

class WebAccountForm : public ::testing::Test {
protected:
    ScratchDatabase db;
    TempDir program, seed;
    ui::ScriptedPrompts prompts;
    std::unique_ptr<server::PgConnection> c;
    std::unique_ptr<ui::AppWindows> app;
    ui::TWebAccountForm* form = nullptr;
    // The sample's users 使用者1 and 山田, and these two.
    int sato = 0, retired = 0, yamada = 0;

    void SetUp() override {
        quil::testing::writeSampleItems(seed.dir());
        c = std::make_unique<server::PgConnection>(db.conninfo());
        server::initializeSchema(*c);
        server::pushFolder(*c, seed.dir());
        server::ServerDataSet set(db.conninfo());
        sato = addItem(set, store::ItemKind::User, "佐藤");
        retired = addItem(set, store::ItemKind::User, "退職者", true);
        yamada = web().findDriver("山田");
    }
    void TearDown() override {
        app.reset();
        ui::setToolWindowMakerForTesting(nullptr);
    }
    // The web service's side, with cheap hashes for the accounts the tests make themselves
    // (the window hashes at the real cost).
    server::WebAccounts web() {
        server::WebPolicy cheap;
        cheap.hashOps = 1;
        cheap.hashMemory = 64 * 1024;
        return server::WebAccounts(*c, {}, cheap);
    }
    // The whole program over `conninfo` (a data folder when empty), the window opened from
    // its ツール menu.
    ui::TMainform& startProgram(const std::string& conninfo) {
        app.reset();
        ui::setToolWindowMakerForTesting(&ui::makeToolWindow);
        ui::MainformOptions options{false};
        options.server = conninfo;
        options.serverOpeners = ui::programServerOpeners();
        app = std::make_unique<ui::AppWindows>(program.dir(), options);
        app->Mainform->show();
        QApplication::processEvents();
        QAction* entry = app->Mainform->action(QStringLiteral("WebAccounts1"));
        EXPECT_NE(entry, nullptr);
        if (entry) entry->trigger();
        form = app->Mainform->findChild<ui::TWebAccountForm*>(QStringLiteral("WebAccountForm"));
        return *app->Mainform;
    }
    QTableWidget& table() { return *form->LoginTable; }
    // The row of `login` in the list, -1 when it is not listed.
    int rowOf(const QString& login) {
        for (int r = 0; r < table().rowCount(); ++r)
            if (table().item(r, 0)->text() == login) return r;
        return -1;
    }
    QString cell(const QString& login, int column) {
        const int r = rowOf(login);
        return r < 0 ? QStringLiteral("(not listed)") : table().item(r, column)->text();
    }
    // The dialog a button opened (the visible one: a closed one waits for deletion).
    ui::TWebAccountDialog* dialog(const char* name) {
        for (auto* d : form->findChildren<ui::TWebAccountDialog*>(QString::fromLatin1(name)))
            if (d->isVisible()) return d;
        return nullptr;
    }
    static QStringList offered(const ui::TWebAccountDialog& d) {
        QStringList names;
        for (int i = 0; i < d.DriverBox->count(); ++i) names << d.DriverBox->itemText(i);
        return names;
    }
    static void type(ui::TWebAccountDialog& d, const QString& password, const QString& again) {
        d.PasswordEdit->setText(password);
        d.AgainEdit->setText(again);
    }
    std::size_t accountCount() { return web().list().size(); }
};

}  // namespace

TEST_F(WebAccountForm, AnAdministratorAddsALoginThatLogsInAndMustChangeItsFirstPassword) {
    const LoginRole admin(db.conninfo(), server::kAdminRole);
    startProgram(admin.conninfo());
    ASSERT_NE(form, nullptr);
    ASSERT_TRUE(form->isVisible()) << prompts.last().text.toStdString();
    EXPECT_EQ(table().rowCount(), 0);
    EXPECT_FALSE(form->PasswordButton->isEnabled()) << "nothing selected";

    form->AddButton->click();
    ui::TWebAccountDialog* d = dialog("WebAccountAddDialog");
    ASSERT_NE(d, nullptr);
    // The live users, not the one who left.
    EXPECT_EQ(offered(*d), (QStringList{QStringLiteral("使用者1"), QStringLiteral("山田"),
                                        QStringLiteral("佐藤")}));
    EXPECT_EQ(d->PasswordEdit->echoMode(), QLineEdit::Password);
    EXPECT_EQ(d->AgainEdit->echoMode(), QLineEdit::Password);

    // Each mistake beside its field, all at once; nothing reaches the server.
    d->LoginEdit->setText(QStringLiteral("山田"));
    type(*d, QStringLiteral("short"), QStringLiteral("short"));
    d->OkButton->click();
    EXPECT_TRUE(d->LoginProblem->isVisible());
    EXPECT_EQ(d->LoginProblem->text().toStdString(), server::webLoginProblem("山田"));
    EXPECT_TRUE(d->PasswordProblem->text().contains(QStringLiteral("8 文字以上")));
    EXPECT_FALSE(d->AgainProblem->isVisible());
    d->LoginEdit->setText(QStringLiteral(" Yamada.T "));
    type(*d, QStringLiteral("first-pass-1"), QStringLiteral("first-pass-2"));
    d->OkButton->click();
    EXPECT_FALSE(d->LoginProblem->isVisible());
    EXPECT_FALSE(d->PasswordProblem->isVisible());
    EXPECT_EQ(d->AgainProblem->text(), QStringLiteral("2 つのパスワードが一致しません。"));
    EXPECT_TRUE(d->isVisible());
    EXPECT_EQ(accountCount(), 0u);

    d->DriverBox->setCurrentText(QStringLiteral("山田"));
    type(*d, QStringLiteral("first-pass-1"), QStringLiteral("first-pass-1"));
    d->OkButton->click();
    EXPECT_FALSE(d->isVisible()) << d->ServerProblem->text().toStdString();
    EXPECT_TRUE(d->PasswordEdit->text().isEmpty()) << "no password stays in the closed dialog";
    EXPECT_TRUE(prompts.last().text.contains(QStringLiteral("yamada.t を 山田 のログイン")))
        << prompts.last().text.toStdString();
    // Listed at once, with its driver and state.
    EXPECT_EQ(cell(QStringLiteral("yamada.t"), 1), QStringLiteral("山田"));
    EXPECT_EQ(cell(QStringLiteral("yamada.t"), 2), QStringLiteral("初回のパスワード変更待ち"));

    const server::LoginResult in = web().logIn("Yamada.T", "first-pass-1", kPhone);
    ASSERT_TRUE(in.ok()) << in.message;
    EXPECT_TRUE(in.mustChangePassword);
    ASSERT_EQ(web().list().size(), 1u);
    EXPECT_EQ(web().list()[0].driver, yamada);

    // The driver chose his own password: the list says the login is simply in use.
    web().changeOwnPassword(in.token, "first-pass-1", "his-own-pass-2", kPhone);
    ASSERT_TRUE(form->reload());
    EXPECT_EQ(cell(QStringLiteral("yamada.t"), 2), QStringLiteral("有効"));
}

TEST_F(WebAccountForm, ADriverWithALoginIsNotOfferedAndTheServersRefusalStaysInTheDialog) {
    web().createAccount("sato", sato, "sato-pass-1");
    startProgram(db.conninfo());
    ASSERT_TRUE(form && form->isVisible()) << prompts.last().text.toStdString();
    form->AddButton->click();
    ui::TWebAccountDialog* d = dialog("WebAccountAddDialog");
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(offered(*d), (QStringList{QStringLiteral("使用者1"), QStringLiteral("山田")}));
    d->findChild<QPushButton*>(QStringLiteral("CancelButton"))->click();
    // Two users of one name: told apart by their positions.
    server::ServerDataSet set(db.conninfo());
    const int otherYamada = addItem(set, store::ItemKind::User, "山田");
    form->AddButton->click();
    d = dialog("WebAccountAddDialog");
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(offered(*d),
              (QStringList{QStringLiteral("使用者1"), QStringLiteral("山田（位置 %1）").arg(yamada),
                           QStringLiteral("山田（位置 %1）").arg(otherYamada)}));
    d->DriverBox->setCurrentIndex(1);

    // A login name that is taken: the server says so under the fields, the dialog stays.
    d->LoginEdit->setText(QStringLiteral("SATO"));
    type(*d, QStringLiteral("first-pass-1"), QStringLiteral("first-pass-1"));
    d->OkButton->click();
    ASSERT_TRUE(d->isVisible());
    EXPECT_TRUE(d->ServerProblem->isVisible());
    EXPECT_TRUE(d->ServerProblem->text().contains(QStringLiteral("sato はすでにあります")))
        << d->ServerProblem->text().toStdString();
    EXPECT_TRUE(d->ServerProblem->text().contains(QStringLiteral("何も変更していません")));
    // Meanwhile another administrator gives 山田 a login: this one is refused, not doubled.
    web().createAccount("yamada", yamada, "yamada-pass-1");
    d->LoginEdit->setText(QStringLiteral("yamada2"));
    d->OkButton->click();
    ASSERT_TRUE(d->isVisible());
    EXPECT_TRUE(
        d->ServerProblem->text().contains(QStringLiteral("ログイン yamada がすでにあります")))
        << d->ServerProblem->text().toStdString();
    EXPECT_EQ(accountCount(), 2u);
    d->DriverBox->setCurrentIndex(2);
    d->OkButton->click();
    EXPECT_FALSE(d->isVisible()) << d->ServerProblem->text().toStdString();
    EXPECT_EQ(cell(QStringLiteral("yamada2"), 1), QStringLiteral("山田"));
    EXPECT_EQ(web().list().back().driver, otherYamada);

    form->AddButton->click();
    d = dialog("WebAccountAddDialog");
    ASSERT_NE(d, nullptr);
    d->PasswordEdit->setText(QStringLiteral("typed-pass-1"));
    d->findChild<QPushButton*>(QStringLiteral("CancelButton"))->click();
    EXPECT_FALSE(d->isVisible());
    EXPECT_TRUE(d->PasswordEdit->text().isEmpty()) << "no password stays after a cancel";

    // Every live user has a login: the window says so instead of an empty choice.
    web().createAccount("user1", web().findDriver("使用者1"), "user1-pass-1");
    prompts.clear();
    form->AddButton->click();
    EXPECT_EQ(dialog("WebAccountAddDialog"), nullptr);
    EXPECT_TRUE(prompts.last().text.contains(QStringLiteral("ログインのない使用者がいません")));
}

TEST_F(WebAccountForm, DisablingIsConfirmedAndADisabledLoginCannotLogInUntilEnabled) {
    web().createAccount("yamada", yamada, "yamada-pass-1");
    web().createAccount("sato", sato, "sato-pass-1");
    // 佐藤 leaves the company: his login stays, marked.
    c->exec("UPDATE quil_items SET deleted = true WHERE position = $1",
            {server::PgParam::number(sato)});
    startProgram(db.conninfo());
    ASSERT_TRUE(form && form->isVisible()) << prompts.last().text.toStdString();
    EXPECT_EQ(cell(QStringLiteral("sato"), 1), QStringLiteral("佐藤（削除された使用者）"));
    EXPECT_EQ(cell(QStringLiteral("yamada"), 1), QStringLiteral("山田"));

    table().selectRow(rowOf(QStringLiteral("yamada")));
    EXPECT_TRUE(form->DisableButton->isEnabled());
    EXPECT_FALSE(form->EnableButton->isEnabled());
    prompts.answerQuestion(false);
    form->DisableButton->click();
    EXPECT_EQ(prompts.last().kind, ui::ScriptedPrompts::Kind::Question);
    EXPECT_TRUE(prompts.last().text.contains(QStringLiteral("yamada はログインできなくなり")));
    EXPECT_NE(cell(QStringLiteral("yamada"), 2), QStringLiteral("無効")) << "answered no";
    EXPECT_TRUE(web().logIn("yamada", "yamada-pass-1", kPhone).ok());

    prompts.answerQuestion(true);
    form->DisableButton->click();
    EXPECT_EQ(cell(QStringLiteral("yamada"), 2), QStringLiteral("無効"));
    EXPECT_EQ(web().logIn("yamada", "yamada-pass-1", kPhone).outcome,
              server::LoginOutcome::Disabled);
    // Still selected after the list was read again: the other button applies now.
    EXPECT_EQ(rowOf(QStringLiteral("yamada")), table().currentRow());
    EXPECT_FALSE(form->DisableButton->isEnabled());
    ASSERT_TRUE(form->EnableButton->isEnabled());
    form->EnableButton->click();
    EXPECT_EQ(prompts.last().text, QStringLiteral("yamada を有効にしました。"));
    EXPECT_EQ(cell(QStringLiteral("yamada"), 2), QStringLiteral("初回のパスワード変更待ち"));
    EXPECT_TRUE(web().logIn("yamada", "yamada-pass-1", kPhone).ok());
}

TEST_F(WebAccountForm, APasswordResetUnlocksTheLoginAndMustBeChangedAgain) {
    web().createAccount("yamada", yamada, "yamada-pass-1");
    const server::LoginResult first = web().logIn("yamada", "yamada-pass-1", kPhone);
    ASSERT_TRUE(first.ok());
    web().changeOwnPassword(first.token, "yamada-pass-1", "his-own-pass-2", kPhone);
    // He forgets it: five failures lock the login.
    for (int i = 0; i < 5; ++i) web().logIn("yamada", "forgotten-" + std::to_string(i), kPhone);
    ASSERT_EQ(web().logIn("yamada", "his-own-pass-2", kPhone).outcome,
              server::LoginOutcome::Locked);
    startProgram(db.conninfo());
    ASSERT_TRUE(form && form->isVisible()) << prompts.last().text.toStdString();
    EXPECT_EQ(cell(QStringLiteral("yamada"), 2), QStringLiteral("ロック中"));

    table().selectRow(rowOf(QStringLiteral("yamada")));
    form->PasswordButton->click();
    ui::TWebAccountDialog* d = dialog("WebPasswordDialog");
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->LoginEdit, nullptr);
    type(*d, QStringLiteral("given-pass-3"), QStringLiteral("given-pass-4"));
    d->OkButton->click();
    EXPECT_EQ(d->AgainProblem->text(), QStringLiteral("2 つのパスワードが一致しません。"));
    type(*d, QStringLiteral("given-pass-3"), QStringLiteral("given-pass-3"));
    d->OkButton->click();
    ASSERT_FALSE(d->isVisible());
    EXPECT_EQ(cell(QStringLiteral("yamada"), 2), QStringLiteral("初回のパスワード変更待ち"));
    EXPECT_TRUE(prompts.last().text.contains(QStringLiteral("次のログインで変更を求めます")));

    EXPECT_EQ(web().logIn("yamada", "his-own-pass-2", kPhone).outcome,
              server::LoginOutcome::Refused);
    const server::LoginResult again = web().logIn("yamada", "given-pass-3", kPhone);
    ASSERT_TRUE(again.ok()) << again.message;
    EXPECT_TRUE(again.mustChangePassword);
}

TEST_F(WebAccountForm, AClerkIsShownTheServersRefusalAndADataFolderWhyTheWindowIsNotThere) {
    web().createAccount("yamada", yamada, "yamada-pass-1");
    const LoginRole clerk(db.conninfo(), server::kClerkRole);
    startProgram(clerk.conninfo());
    ASSERT_NE(form, nullptr);
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(prompts.last().text.contains(QStringLiteral("権限がありません")))
        << prompts.last().text.toStdString();
    EXPECT_FALSE(web().list()[0].disabled);

    // An administrator's window stays open while he loses the role: his next change is
    // refused with the server's words, and nothing changes.
    const LoginRole admin(db.conninfo(), server::kAdminRole);
    startProgram(admin.conninfo());
    ASSERT_TRUE(form->isVisible()) << prompts.last().text.toStdString();
    const std::string name = admin.conninfo().substr(admin.conninfo().rfind('=') + 1);
    server::PgConnection superuser(quil::test::adminConninfo());
    superuser.run("REVOKE " + quil::test::dataSetRole(db.conninfo(), "admin") + " FROM " + name);
    superuser.run("GRANT " + quil::test::dataSetRole(db.conninfo(), "clerk") + " TO " + name);
    table().selectRow(rowOf(QStringLiteral("yamada")));
    prompts.answerQuestion(true);
    form->DisableButton->click();
    EXPECT_EQ(prompts.last().icon, ui::PromptIcon::Warning);
    EXPECT_TRUE(prompts.last().text.contains(QStringLiteral("権限がありません")))
        << prompts.last().text.toStdString();
    EXPECT_FALSE(web().list()[0].disabled);
    EXPECT_EQ(cell(QStringLiteral("yamada"), 2), QStringLiteral("初回のパスワード変更待ち"));

    startProgram("");
    ASSERT_NE(form, nullptr);
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(prompts.last().text.contains(QStringLiteral("サーバーのデータセットで使う機能")))
        << prompts.last().text.toStdString();
}

TEST_F(WebAccountForm, ALoginWhosePositionChangedHandsSaysSoAndWorksOnlyOnceConfirmed) {
    web().createAccount("yamada", yamada, "yamada-pass-1");
    // A restore puts 鈴木一郎 where 山田 was.
    c->exec("UPDATE quil_items SET name = '鈴木一郎' WHERE position = $1",
            {server::PgParam::number(yamada)});
    startProgram(db.conninfo());
    ASSERT_TRUE(form && form->isVisible()) << prompts.last().text.toStdString();
    EXPECT_EQ(cell(QStringLiteral("yamada"), 1), QStringLiteral("鈴木一郎（作成時は 山田）"));
    EXPECT_EQ(cell(QStringLiteral("yamada"), 2), QStringLiteral("使用者の確認待ち"));
    EXPECT_FALSE(web().logIn("yamada", "yamada-pass-1", kPhone).ok());

    table().selectRow(rowOf(QStringLiteral("yamada")));
    ASSERT_TRUE(form->ConfirmButton->isEnabled());
    prompts.answerQuestion(false);
    form->ConfirmButton->click();
    EXPECT_TRUE(prompts.last().text.contains(QStringLiteral("鈴木一郎")));
    EXPECT_EQ(cell(QStringLiteral("yamada"), 2), QStringLiteral("使用者の確認待ち"));
    prompts.answerQuestion(true);
    form->ConfirmButton->click();
    EXPECT_EQ(cell(QStringLiteral("yamada"), 1), QStringLiteral("鈴木一郎"));
    EXPECT_FALSE(form->ConfirmButton->isEnabled());
    const server::LoginResult r = web().logIn("yamada", "yamada-pass-1", kPhone);
    ASSERT_TRUE(r.ok()) << r.message;
    EXPECT_EQ(web().checkSession(r.token)->driverName, "鈴木一郎");
}
