#include "ui/toolwindows/MakeToolWindow.h"

#include <QStatusBar>
#include <QTabBar>
#include <QTimer>
#include <QToolBar>
#include <functional>
#include <utility>

#include "alcohol/AlcoholWindows.h"
#include "analysis/TAboutBox.h"
#include "analysis/TCalForm.h"
#include "analysis/TGraphform.h"
#include "analysis/TMISkeForm.h"
#include "analysis/TOpForm.h"
#include "analysis/TSkeForm.h"
#include "analysis/Tpriansform.h"
#include "ext/ExtDatabase.h"
#include "insight/InsightTools.h"
#include "insight/OdometerWarning.h"
#include "store/FileSystem.h"
#include "ui/components/TComboGrid.h"
#include "ui/dialogs/Prompts.h"
#include "ui/dialogs/TDataInputForm.h"
#include "ui/main/AppWindows.h"
#include "ui/main/RecordCommands.h"
#include "ui/main/RecordListModel.h"

namespace quil::ui {

namespace {

// Fuel economy, graphs, maintenance schedule and odometer checks (ツール menu), the overdue
// notice in the status bar, and the odometer question before a record is saved; then the
// alcohol-check register's ツール entries, its toolbar button after the specified ones and
// its count in the status bar.
void addExtensions(AppWindows& w) {
    TMainform* main = w.Mainform.get();
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
    main->addToolsCommand(QStringLiteral("集計表(&S)..."), QStringLiteral("CalForm1"),
                          [f = w.CalForm] {
                              f->show();
                              f->raise();
                          });

    insight::InsightHost host;
    host.context = main;
    host.mainWindow = main;
    host.statusBar = main->statusBar();
    host.addToolsCommand = [main](const QString& caption, const QString& name,
                                  std::function<void()> f) {
        return main->addToolsCommand(caption, name, std::move(f));
    };
    host.openRecord = [main](std::int64_t position, int kind) {
        if (kind >= 0 && kind < main->TabControl1->count())
            main->TabControl1->setCurrentIndex(kind);
        const RecordListModel* list = main->listModel();
        for (int row = 1; list && row <= list->recordCount(); ++row) {
            if (list->position(row) != position) continue;
            main->ComboGrid1->selectRow(row);
            main->ComboGrid1Click();
            main->commands()->EditClick();
            return;
        }
        Prompts::current().notice(main, QStringLiteral("この記録はメイン画面の一覧に表示されて"
                                                       "いません。表示期間と表示車両を確かめて"
                                                       "ください。"));
    };
    host.readOnly = [main] { return main->dataSetReadOnly(); };
    w.Insight = new insight::InsightTools(std::move(host), main);
    w.DataInputForm->setSaveCheck([main](QWidget* dialog, const store::DataRecord& record,
                                         std::optional<std::int64_t> editPosition) {
        return insight::OdometerWarning::confirm(dialog, main->dataFolder(), record, editPosition);
    });
    QTimer::singleShot(0, w.Insight, [tools = w.Insight] { tools->refreshNotice(); });

    w.Alcohol = new alcohol::AlcoholWindows(*main, main);
    for (const auto& c : w.Alcohol->commands()) main->addToolsCommand(c.caption, c.name, c.run);
    main->ToolBar1->addSeparator();
    main->ToolBar1->addAction(w.Alcohol->toolBarAction());
}

}  // namespace

void makeToolWindow(AppWindows& w, ToolWindow which) {
    TMainform* main = w.Mainform.get();
    switch (which) {
        case ToolWindow::AboutBox:
            w.AboutBox = new TAboutBox(main);
            main->setAboutBox(w.AboutBox);
            return;
        case ToolWindow::PrintForm:
            w.priansform = new Tpriansform(main, main->ComboGrid1, main->TabControl1);
            main->setPrintDialog(w.priansform);
            return;
        case ToolWindow::UserSettings:
            w.OpForm = new TOpForm(main);
            main->setUserSettingsDialog(w.OpForm);
            return;
        case ToolWindow::Summary: w.CalForm = new TCalForm(*main, main); return;
        case ToolWindow::Graph: w.Graphform = new TGraphform(main); return;
        case ToolWindow::Schedule: w.SkeForm = new TSkeForm(main); return;
        case ToolWindow::ItemSchedule: w.MISkeForm = new TMISkeForm(main); return;
        case ToolWindow::Extensions: addExtensions(w); return;
    }
}

}  // namespace quil::ui
