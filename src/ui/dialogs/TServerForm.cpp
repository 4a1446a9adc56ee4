#include "ui/dialogs/TServerForm.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>

#include "server/PgConnection.h"
#include "server/ServerSchema.h"
#include "server/ServerTransfer.h"
#include "store/Settings.h"
#include "ui/components/QtText.h"
#include "ui/dialogs/DataFolderHost.h"
#include "ui/dialogs/ErrorReport.h"
#include "ui/dialogs/MainContext.h"
#include "ui/dialogs/MainWindowPlacement.h"
#include "ui/dialogs/OkCancelButtons.h"
#include "ui/dialogs/Prompts.h"
#include "ui/dialogs/WaitCursor.h"

namespace quil::ui {

using server::SchemaState;

TServerForm::TServerForm(MainContext& context, DataFolderHost& host, QWidget* parent)
    : QDialog(parent), context_(context), host_(host) {
    setObjectName(QStringLiteral("serverform"));
    setWindowTitle(QStringLiteral("保存先の設定－サーバー"));
    auto* label = new QLabel(
        QStringLiteral("サーバー（PostgreSQL）の接続先を設定して下さい。\n"
                       "例: service=quil　または　host=server dbname=quil user=yamada\n"
                       "パスワードはここに書かず、パスワードファイル（~/.pgpass）に書いて下さい。"),
        this);
    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setMinimumWidth(420);
    TestButton = new QPushButton(QStringLiteral("接続テスト(&T)"), this);
    TestButton->setObjectName(QStringLiteral("TestButton"));
    FolderButton = new QPushButton(QStringLiteral("データフォルダーに戻す(&F)"), this);
    FolderButton->setObjectName(QStringLiteral("FolderButton"));
    StatusBar1 = new QStatusBar(this);
    StatusBar1->setSizeGripEnabled(false);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(Edit1);
    auto* row = new QHBoxLayout;
    row->addWidget(TestButton);
    row->addWidget(FolderButton);
    row->addStretch();
    layout->addLayout(row);
    layout->addLayout(makeOkCancelRow(this, Button1, Button2));
    layout->addWidget(StatusBar1);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    connect(TestButton, &QPushButton::clicked, this, &TServerForm::TestButtonClick);
    connect(FolderButton, &QPushButton::clicked, this, &TServerForm::FolderButtonClick);
    connect(Button1, &QPushButton::clicked, this, &TServerForm::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &QWidget::close);
    placeBesideMainWindow(*this, parent, kFurtherBesideMain);
}

void TServerForm::Open() {
    Edit1->setText(qs(store::Settings(context_.programFolder()).serverConninfo()));
    FolderButton->setVisible(host_.onServerDataSet());
    StatusBar1->clearMessage();
    show();
    raise();
}

std::string TServerForm::chosenConninfo() {
    const std::string conninfo = utf8(Edit1->text().trimmed());
    if (conninfo.empty()) {
        Prompts::current().warning(this, QStringLiteral("接続先を入力して下さい。"));
        return {};
    }
    if (server::conninfoHasPassword(conninfo)) {
        Prompts::current().warning(
            this, QStringLiteral("接続先にパスワードを書かないで下さい（設定ファイルに残ります）。"
                                 "パスワードはパスワードファイル（~/.pgpass）に書いて下さい。"));
        return {};
    }
    return conninfo;
}

void TServerForm::TestButtonClick() {
    const std::string conninfo = chosenConninfo();
    if (conninfo.empty()) return;
    QString text;
    try {
        WaitCursor wait;
        server::PgConnection c(conninfo);
        const SchemaState s = server::inspectSchema(c);
        switch (s.is) {
            case SchemaState::Is::Current:
            case SchemaState::Is::Older:
                text = QStringLiteral("接続できました。データセットがあります（形式 %1）。")
                           .arg(s.version);
                break;
            case SchemaState::Is::Empty:
                text = QStringLiteral("接続できました。データベースは空です。");
                break;
            case SchemaState::Is::Foreign:
                text = QStringLiteral(
                    "接続できましたが、このデータベースはクイル台帳のデータセットではありません。");
                break;
            case SchemaState::Is::Newer:
                text =
                    QStringLiteral(
                        "接続できましたが、データセットは新しいプログラムのものです（形式 %1）。")
                        .arg(s.version);
                break;
        }
    } catch (const std::exception& e) {
        text = qs(e.what());
    }
    StatusBar1->showMessage(text);
    StatusBar1->setToolTip(text);
}

void TServerForm::Button1Click() {
    const std::string conninfo = chosenConninfo();
    if (conninfo.empty()) return;
    try {
        SchemaState state;
        {
            WaitCursor wait;
            server::PgConnection c(conninfo);
            state = server::inspectSchema(c);
            if (state.is == SchemaState::Is::Empty) {
                // An empty database takes the data set in use, when there is a folder's.
                if (context_.dataFolder().empty()) {
                    Prompts::current().warning(this, QStringLiteral("このデータベースは空です。"));
                    return;
                }
                if (!Prompts::current().question(
                        this, QStringLiteral("保存先の設定"),
                        QStringLiteral("サーバーのデータベースは空です。今のデータを送って、"
                                       "これからはサーバーで使いますか？\n"
                                       "（データフォルダーのデータはそのまま残ります）"),
                        PromptIcon::Question))
                    return;
                server::initializeSchema(c);
                server::pushFolder(c, context_.dataFolder());
            } else if (!Prompts::current().question(
                           this, QStringLiteral("保存先の設定"),
                           QStringLiteral("このサーバーのデータセットを開きますか？\n"
                                          "（今のデータフォルダーのデータはそのまま残ります）"),
                           PromptIcon::Question)) {
                return;
            }
        }
        if (beforeSwitch) beforeSwitch();
        if (!host_.useServer(conninfo)) return;
        store::Settings(context_.programFolder()).setServerConninfo(conninfo);
        close();
    } catch (const std::exception& e) {
        reportError(e, this);  // nothing was changed: the data set in use stays
    }
}

void TServerForm::FolderButtonClick() {
    store::Settings(context_.programFolder()).setServerConninfo("");
    Prompts::current().notice(this,
                              QStringLiteral("次に起動したときから、データフォルダーのデータを"
                                             "開きます。"));
    close();
}

}  // namespace quil::ui
