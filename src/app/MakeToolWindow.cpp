#include "app/MakeToolWindow.h"

#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "ext/ExtDatabase.h"
#include "ui/printing/Tpriansform.h"
#include "server/FolderPaperStore.h"
#include "server/ServerPaperStore.h"
#include "store/FileSystem.h"
#include "ui/dialogs/MainContext.h"
#include "ui/dialogs/Prompts.h"
#include "ui/dialogs/TDataInputForm.h"
#include "ui/dialogs/TItemForm.h"
#include "ui/main/AppWindows.h"
#include "ui/tools/AnalysisWindows.h"
#include "ui/tools/OdometerWarning.h"
#include "ui/tools/alcohol/AlcoholWindows.h"
#include "ui/tools/alcohol/TAlcoholCheckForm.h"
#include "ui/tools/papers/PaperWindows.h"
#include "ui/windows/TAboutBox.h"
#include "ui/windows/TAccountForm.h"
#include "ui/windows/TCalForm.h"
#include "ui/windows/PlaceholderForm.h"
#include "ui/windows/TOpForm.h"
#include "ui/windows/TWebAccountForm.h"

namespace quil::ui {

namespace {

// Fuel economy, graphs, maintenance schedule and odometer checks (ツール menu), the overdue
// notice in the status bar, and the odometer question before a record is saved; then the
// alcohol-check register's ツール entries, its toolbar button after the vehicle log's own and
// its count in the status bar.
void addExtensions(ToolWindowHost& host, AppWindows& w) {
    MainContext& context = host.toolContext();
    QWidget* main = context.mainWidget();
    // A QuilExt.db of another data set is set aside when it is first opened; say so once the
    // open that found it is over.
    ext::ExtDatabase::setSetAsideHandler([main](const std::string&, const std::string& to) {
        const QString name = QString::fromStdString(store::fileNameOf(to));
        QTimer::singleShot(0, main, [main, name] {
            Prompts::current().notice(
                main, QStringLiteral("QuilExt.db（アルコールチェック記録簿や点検・整備の周期）は"
                                     "このデータのものではないため使わずに、%1 として残しました。")
                          .arg(name));
        });
    });
    host.addToolsCommand(QStringLiteral("集計表(&S)..."), QStringLiteral("CalForm1"),
                         [f = w.CalForm] {
                             f->show();
                             f->raise();
                         });

    analysis::AnalysisHost tools;
    tools.context = &context;
    tools.mainWindow = main;
    tools.statusBar = host.toolStatusBar();
    tools.addToolsCommand = [&host](const QString& caption, const QString& name,
                                    std::function<void()> f) {
        return host.addToolsCommand(caption, name, std::move(f));
    };
    tools.openRecord = [&host](std::int64_t position, store::RecordKind kind) {
        host.openRecordAt(position, kind);
    };
    tools.readOnly = [&context] { return context.dataSetReadOnly(); };
    w.Analysis = new analysis::AnalysisWindows(std::move(tools), main);
    w.DataInputForm->setSaveCheck([&context](QWidget* dialog, const store::DataRecord& record,
                                             std::optional<std::int64_t> editPosition) {
        return analysis::OdometerWarning::confirm(dialog, context, record, editPosition);
    });
    QTimer::singleShot(0, w.Analysis, [windows = w.Analysis] { windows->refreshNotice(); });

    w.Alcohol = new alcohol::AlcoholWindows(context, w.Mainform.get());
    for (const auto& c : w.Alcohol->commands()) host.addToolsCommand(c.caption, c.name, c.run);
    host.addToolBarSection({w.Alcohol->toolBarAction()});

    // Licences and vehicle papers: 期限一覧 and the entry windows, the status-bar count, and
    // the warnings beside a chosen driver or vehicle in both entry dialogs.
    // Their store: QuilExt.db of a data folder, the tables of a server data set.
    papers::PaperStores paperStores{
        [](const std::string& folder) -> std::unique_ptr<papers::PaperStore> {
            return std::make_unique<server::FolderPaperStore>(folder);
        },
        server::openServerPaperStore};
    w.Papers = new papers::PaperWindows(context, w.Mainform.get(), std::move(paperStores));
    for (const auto& c : w.Papers->commands()) host.addToolsCommand(c.caption, c.name, c.run);
    w.DataInputForm->setChoiceWarning(w.Papers->choiceWarning());
    w.Alcohol->entryForm->setChoiceWarning(w.Papers->choiceWarning());
    // Deleting a user or vehicle with entries asks first; the entries stay in the history.
    w.ItemForm->setDeleteQuestion(w.Papers->deleteQuestion());

    // The accounts of a server data set, last: an administrator's occasional work.
    auto* accounts = new TAccountForm(context, main);
    host.addToolsCommand(QStringLiteral("利用者とその権限(&U)..."), QStringLiteral("Accounts1"),
                         [accounts] { accounts->Open(); });
    // The drivers' logins to the web page of a server data set, beside them.
    auto* webAccounts = new TWebAccountForm(context, main);
    host.addToolsCommand(QStringLiteral("運転者のログイン(&W)..."), QStringLiteral("WebAccounts1"),
                         [webAccounts] { webAccounts->Open(); });
}

}  // namespace

void makeToolWindow(ToolWindowHost& host, AppWindows& w, ToolWindow which) {
    QWidget* main = host.toolContext().mainWidget();
    switch (which) {
        case ToolWindow::AboutBox:
            w.AboutBox = new TAboutBox(main);
            host.setAboutBox(w.AboutBox);
            return;
        case ToolWindow::PrintForm:
            w.priansform = new Tpriansform(main, host.printedGrid(), host.printedTabs());
            host.setPrintDialog(w.priansform);
            return;
        case ToolWindow::UserSettings:
            w.OpForm = new TOpForm(main);
            host.setUserSettingsDialog(w.OpForm);
            return;
        case ToolWindow::Summary: w.CalForm = new TCalForm(host.toolContext(), main); return;
        case ToolWindow::Graph: w.Graphform = new TGraphform(main); return;
        case ToolWindow::Schedule: w.SkeForm = new TSkeForm(main); return;
        case ToolWindow::ItemSchedule: w.MISkeForm = new TMISkeForm(main); return;
        case ToolWindow::Extensions: addExtensions(host, w); return;
    }
}

}  // namespace quil::ui
