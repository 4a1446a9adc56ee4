#include "ui/main/AppWindows.h"

#include <QEvent>
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
#include "folder/Tdirsetform.h"
#include "insight/InsightTools.h"
#include "insight/OdometerWarning.h"
#include "ui/components/TComboGrid.h"
#include "ui/dialogs/Prompts.h"
#include "ui/dialogs/TCarform.h"
#include "ui/dialogs/TDataInputForm.h"
#include "ui/dialogs/TItemForm.h"
#include "ui/dialogs/TViewItemForm.h"
#include "ui/dialogs/TViewTimeForm.h"
#include "ui/main/RecordCommands.h"
#include "ui/main/RecordListModel.h"

namespace quil::ui {

namespace {

// Runs `then` once, right after the first paint of `widget`.
class AfterFirstPaint : public QObject {
public:
    AfterFirstPaint(QWidget* widget, std::function<void()> then)
        : QObject(widget), then_(std::move(then)) {
        widget->installEventFilter(this);
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && then_) {
            watched->removeEventFilter(this);
            QTimer::singleShot(0, watched, std::exchange(then_, {}));
        }
        return false;
    }

private:
    std::function<void()> then_;
};

}  // namespace

AppWindows::AppWindows(const std::string& programFolder, MainformOptions options,
                       WindowCreation creation)
    : Mainform(std::make_unique<TMainform>(programFolder, options)) {
    if (Mainform->isDuplicate()) return;
    if (creation == WindowCreation::AfterFirstPaint) {
        // The first paint needs only the main window; the others follow at once after it.
        new AfterFirstPaint(Mainform->ComboGrid1->viewport(), [this] { createWindows(); });
        return;
    }
    createWindows();
}

void AppWindows::createWindows() {
    if (AboutBox) return;
    TMainform* main = Mainform.get();
    // The order in which the windows have always been created.
    AboutBox = new TAboutBox(main);
    ItemForm = new TItemForm(*main, main);
    ViewItemForm = new TViewItemForm(*main, main);
    ViewTimeForm = new TViewTimeForm(*main, main);
    Dirsetform = new Tdirsetform(*main, *main, main);
    DataInputForm = new TDataInputForm(*main, main);
    priansform = new Tpriansform(main, main->ComboGrid1, main->TabControl1);
    OpForm = new TOpForm(main);
    CalForm = new TCalForm(*main, main);
    Graphform = new TGraphform(main);
    SkeForm = new TSkeForm(main);
    Carform = new TCarform(*main, main);
    MISkeForm = new TMISkeForm(main);

    ItemForm->setCarform(Carform);
    Carform->setItemForm(ItemForm);
    main->setAboutBox(AboutBox);
    main->setItemForm(ItemForm);
    main->setViewItemForm(ViewItemForm);
    main->setViewTimeForm(ViewTimeForm);
    main->setEntryDialog(DataInputForm);
    main->setUserSettingsDialog(OpForm);
    main->setDirsetform(Dirsetform);
    Dirsetform->setDialogsToClose({DataInputForm, ItemForm, Carform});
    main->setPrintDialog(priansform);
    // The ツール menu, one line per window.
    main->addToolsCommand(QStringLiteral("集計表(&S)..."), QStringLiteral("CalForm1"),
                          [f = CalForm] {
                              f->show();
                              f->raise();
                          });

    // Fuel economy, graphs, maintenance schedule and odometer checks (ツール menu), the
    // overdue notice in the status bar, and the odometer question before a record is saved.
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
    Insight = new insight::InsightTools(std::move(host), main);
    DataInputForm->setSaveCheck([main](QWidget* dialog, const store::DataRecord& record,
                                       std::optional<std::int64_t> editPosition) {
        return insight::OdometerWarning::confirm(dialog, main->dataFolder(), record, editPosition);
    });
    QTimer::singleShot(0, Insight, [tools = Insight] { tools->refreshNotice(); });

    // The alcohol-check register: its ツール entries, a toolbar button after the specified
    // ones and its count in the status bar.
    Alcohol = new alcohol::AlcoholWindows(*main, main);
    for (const auto& c : Alcohol->commands()) main->addToolsCommand(c.caption, c.name, c.run);
    main->ToolBar1->addSeparator();
    main->ToolBar1->addAction(Alcohol->toolBarAction());
    Alcohol->watch(main->listModel());
}

AppWindows::~AppWindows() = default;

}  // namespace quil::ui
