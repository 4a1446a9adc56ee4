// The main window's controls, menus, toolbar and their layout.
#include <QAction>
#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QResizeEvent>
#include <QStatusBar>
#include <QTabBar>
#include <QToolBar>
#include <QUrl>

#include "store/ListColumns.h"
#include "ui/components/QtText.h"
#include "ui/components/TComboGrid.h"
#include "ui/dialogs/Prompts.h"
#include "ui/dialogs/Tdirsetform.h"
#include "ui/main/ProgramIcons.h"
#include "ui/main/RecordCommands.h"
#include "ui/main/RecordListColumns.h"
#include "ui/main/RecordListModel.h"
#include "ui/main/TMainform.h"

namespace quil::ui {

void TMainform::createWidgets() {
    auto* central = new QWidget(this);
    setCentralWidget(central);
    auto makeRow = [&](QPushButton*& button, QLineEdit*& edit, const char* caption,
                       const char* name, const char* editName) {
        button = new QPushButton(qs(caption), central);
        button->setObjectName(qs(name));
        edit = new QLineEdit(central);
        edit->setObjectName(qs(editName));
        edit->setReadOnly(true);
        edit->setFocusPolicy(Qt::ClickFocus);
    };
    makeRow(Button1, Edit1, "期間", "Button1", "Edit1");
    makeRow(Button2, Edit2, "車両", "Button2", "Edit2");
    makeRow(Button3, Edit3, "使用者", "Button3", "Edit3");

    TabControl1 = new QTabBar(central);
    TabControl1->setObjectName(QStringLiteral("TabControl1"));
    TabControl1->setExpanding(false);
    for (const store::ListTab t : store::kListTabs) TabControl1->addTab(tabTitle(t));
    connect(TabControl1, &QTabBar::currentChanged, this, &TMainform::TabControl1Change);

    model_ = new RecordListModel(this);
    ComboGrid1 = new TComboGrid(model_, central);
    ComboGrid1->setObjectName(QStringLiteral("ComboGrid1"));
    ComboGrid1->setFixedCols(store::kListRowNumberColumn + 1);  // the marker and row number
    ComboGrid1->setFixedRows(1);
    ComboGrid1->setOptions(goRowSelect | goRangeSelect | goColSizing);
    ComboGrid1->setContextMenuPolicy(Qt::CustomContextMenu);
    // The alignments every tab starts from, from the column tables.
    for (int c = 0; c < columnSlots(); ++c)
        ComboGrid1->CellKind(c).setAlignment(baseColumnAlignment(c));
    connect(ComboGrid1, &QAbstractItemView::clicked, this, &TMainform::ComboGrid1Click);
    // Moving through the list with the keys, or pressing the right button on a row before
    // the pop-up menu, selects that row just as a click does.
    connect(ComboGrid1, &TComboGrid::OnUserMove, this, &TMainform::ComboGrid1Click);

    commands_ = std::make_unique<RecordCommands>(*this);
    connect(ComboGrid1, &TComboGrid::OnDblClick, this, [this] { commands_->ComboGrid1DblClick(); });

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    auto addPopup = [&](const char* caption, const char* name, void (RecordCommands::*slot)()) {
        QAction* a = PopupMenu1->addAction(qs(caption));
        a->setObjectName(qs(name));
        connect(a, &QAction::triggered, this, [this, slot] { (commands_.get()->*slot)(); });
    };
    addPopup("追加(&A)", "PopAdd", &RecordCommands::AddClick);
    addPopup("修正(&E)", "PopEdit", &RecordCommands::EditClick);
    addPopup("削除(&D)", "PopDelete", &RecordCommands::DeleteClick);
    connect(ComboGrid1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& p) { PopupMenu1->popup(ComboGrid1->viewport()->mapToGlobal(p)); });

    statusBar()->setObjectName(QStringLiteral("StatusBar1"));
    layoutControls();
}

void TMainform::createActions() {
    struct Tool {
        const char* name;
        const char* icon;
        const char* tip;
        const char* status;
    };
    static const Tool tools[] = {
        {"ToolButton1", "driving", "走行記録", "本日の走行記録を登録します。"},
        {"ToolButton2", "refuelling", "給油記録", "本日の給油記録を登録します。"},
        {"ToolButton3", "maintenance", "点検・整備記録", "本日の点検・整備記録を登録します。"},
        {"ToolButton4", "expense", "出費記録", "本日の出費記録を登録します。"},
        {nullptr, nullptr, nullptr, nullptr},
        {"ToolButton6", "summary", "表集計", "データを集計します。"},
        {"ToolButton7", "graph", "グラフ", "データを集計してグラフ表示します。"},
        {"ToolButton12", "schedule", "点検・整備予定一覧", "点検・整備一覧を表示します。"},
        {nullptr, nullptr, nullptr, nullptr},
        {"ToolButton9", "print", "印刷", "一覧表を印刷します。"},
        {nullptr, nullptr, nullptr, nullptr},
        {"ToolButton11", "help", "ヘルプ", "ヘルプを表示します。"},
    };
    ToolBar1 = addToolBar(QStringLiteral("ToolBar1"));
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setMovable(false);
    ToolBar1->setIconSize(QSize(32, 32));
    for (const Tool& t : tools) {
        if (!t.name) {
            ToolBar1->addSeparator();
            continue;
        }
        QAction* a = ToolBar1->addAction(programIcon(t.icon), qs(t.tip));
        a->setObjectName(qs(t.name));
        a->setToolTip(qs(t.tip));
        a->setStatusTip(qs(t.status));
    }
    for (int k = 0; k < 4; ++k)
        connect(action(QStringLiteral("ToolButton%1").arg(k + 1)), &QAction::triggered, this,
                [this, k] { commands_->openEntry(static_cast<store::RecordKind>(k), true); });
    for (const char* n : {"ToolButton6", "ToolButton7", "ToolButton12"})
        connect(action(qs(n)), &QAction::triggered, this, &TMainform::notYetAvailable);
    connect(action(QStringLiteral("ToolButton9")), &QAction::triggered, this,
            &TMainform::openPrintDialog);
    connect(action(QStringLiteral("ToolButton11")), &QAction::triggered, this,
            &TMainform::HelpClick);
}

void TMainform::createMenus() {
    auto add = [this](QMenu* menu, const char* caption, const char* name) {
        QAction* a = menu->addAction(qs(caption));
        a->setObjectName(qs(name));
        return a;
    };
    QMenu* file = menuBar()->addMenu(qs("ファイル(&F)"));
    // Printing joins in later; until then it says so.
    const char* const folderCommands[][2] = {{"保存先の設定(&S)...", "DirSet1"},
                                             {"バックアップ(&B)...", "Backup1"},
                                             {"データの読み込み(&R)...", "Restore1"},
                                             {"ミルテ台帳データの読み込み(&M)", "Legacy1"}};
    for (int mode = 1; mode <= 4; ++mode)
        connect(add(file, folderCommands[mode - 1][0], folderCommands[mode - 1][1]),
                &QAction::triggered, this, [this, mode] { ShowFolderDialog(mode); });
    action(QStringLiteral("Legacy1"))->setVisible(false);
    file->addSeparator();
    connect(add(file, "印刷(&P)...", "Print1"), &QAction::triggered, this,
            &TMainform::openPrintDialog);
    file->addSeparator();
    connect(add(file, "終了(&X)", "Exit1"), &QAction::triggered, this, &QWidget::close);

    QMenu* input = menuBar()->addMenu(qs("入力(&I)"));
    const char* inputs[] = {"走行記録(&R)...", "給油記録(&G)...", "点検・整備記録(&M)...",
                            "出費記録(&O)..."};
    for (int k = 0; k < 4; ++k)
        connect(add(input, inputs[k], QStringLiteral("Input%1").arg(k).toUtf8().constData()),
                &QAction::triggered, this,
                [this, k] { commands_->openEntry(static_cast<store::RecordKind>(k), true); });

    QMenu* settings = menuBar()->addMenu(qs("設定(&S)"));
    struct Master {
        const char* caption;
        store::ItemKind kind;
    };
    using store::ItemKind;
    static const Master masters[] = {{"車両(&C)...", ItemKind::Vehicle},
                                     {"使用者(&D)...", ItemKind::User},
                                     {"使用目的(&P)", ItemKind::Purpose},
                                     {"スタンド名(&G)...", ItemKind::GasStation},
                                     {"点検・整備項目名(&M)...", ItemKind::MaintenanceItem},
                                     {"出費項目名(&O)...", ItemKind::ExpenseItem},
                                     {"店(&S)...", ItemKind::Shop}};
    for (const Master& m : masters) {
        const ItemKind kind = m.kind;
        const QByteArray name = "Setting" + QByteArray::number(static_cast<int>(kind));
        connect(add(settings, m.caption, name.constData()), &QAction::triggered, this,
                [this, kind] { openItemForm(kind); });
    }
    QAction* user = add(settings, "ユーザー設定(&U)...", "UserSetting1");
    user->setVisible(false);
    connect(user, &QAction::triggered, this, [this] {
        if (userSettings_) userSettings_->show();
    });

    QMenu* analysis = menuBar()->addMenu(qs("解析(&A)"));
    for (const char* c : {"表集計(&T)...", "グラフ集計(&G)...", "点検・整備予定一覧(&M)..."})
        connect(analysis->addAction(qs(c)), &QAction::triggered, this, &TMainform::notYetAvailable);

    // The ツール windows, beyond the vehicle log's own windows and dialogs, open from here
    // (addToolsCommand).
    ToolsMenu = menuBar()->addMenu(qs("ツール(&T)"));
    ToolsMenu->setObjectName(QStringLiteral("ToolsMenu"));

    QMenu* help = menuBar()->addMenu(qs("ヘルプ(&H)"));
    connect(add(help, "ヘルプ(&H)", "Help1"), &QAction::triggered, this, &TMainform::HelpClick);
    connect(add(help, "バージョン情報(&A)...", "About1"), &QAction::triggered, this, [this] {
        if (aboutBox_) aboutBox_->show();
    });

    connect(Button1, &QPushButton::clicked, this, &TMainform::openViewTimeForm);
    connect(Button2, &QPushButton::clicked, this,
            [this] { openViewItemForm(store::ItemKind::Vehicle); });
    connect(Button3, &QPushButton::clicked, this,
            [this] { openViewItemForm(store::ItemKind::User); });
}

void TMainform::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    fitFrameToSavedSize();
    layoutControls();
}

void TMainform::layoutControls() {
    const int W = frameGeometry().width();
    const int H = frameGeometry().height();
    const int rowHeight = 24;
    const int editWidth = std::max(50, W - 95);
    QPushButton* buttons[] = {Button1, Button2, Button3};
    QLineEdit* edits[] = {Edit1, Edit2, Edit3};
    for (int i = 0; i < 3; ++i) {
        buttons[i]->setGeometry(8, 4 + i * 27, 70, rowHeight);
        edits[i]->setGeometry(84, 4 + i * 27, editWidth, rowHeight);
    }
    const int listTop = 4 + 3 * 27 + 2;
    // The list takes the window's height less what sits above and below it; a hidden tool
    // bar gives its height back, a shown status bar takes its own.
    constexpr int kAboveAndBelowList = 165, kToolBarHeight = 40, kStatusBarHeight = 19;
    int listHeight = H - kAboveAndBelowList +
                     (ToolBar1 && ToolBar1->isHidden() ? kToolBarHeight : 0) -
                     (statusBar()->isVisible() ? kStatusBarHeight : 0);
    // Qt's menu and toolbar take more room than the Windows ones: never run past the bottom.
    listHeight = std::max(60, std::min(listHeight, centralWidget()->height() - listTop - 2));
    const int listWidth = std::max(100, W - 20);
    // The tab control's area: the tabs along its top, the grid inside it, 5 pixels in from
    // each side, 30 pixels shorter than the area.
    TabControl1->setGeometry(8, listTop, listWidth, 26);
    ComboGrid1->setGeometry(8 + 5, listTop + 26, listWidth - 10, listHeight - 30);
}

void TMainform::HelpClick() {
    // quil.hlp is the file looked for; the HTML manual beside it is what a reader wants.
    const QString folder = QString::fromStdString(helpFolder_);
    const QString manual = folder + QStringLiteral("manual/index.html");
    const QString target =
        QFileInfo::exists(folder + QStringLiteral("quil.hlp")) && QFileInfo::exists(manual)
            ? manual
            : folder + QStringLiteral("quil.hlp");
    QDesktopServices::openUrl(QUrl::fromLocalFile(target));
}

void TMainform::ShowFolderDialog(int mode) {
    // On a server data set 保存先の設定 chooses the server (or the way back to a folder);
    // backup, restore and import work on the server's data set.
    if (onServer() && mode == Tdirsetform::SetDataFolder) {
        if (dirsetform_) dirsetform_->openServerChoice();
        return;
    }
    if (dirsetform_) dirsetform_->Open(mode);
}

QAction* TMainform::addToolsCommand(const QString& caption, const QString& name,
                                    std::function<void()> command) {
    QAction* a = ToolsMenu->addAction(caption);
    a->setObjectName(name);
    connect(a, &QAction::triggered, this, std::move(command));
    return a;
}

void TMainform::openPrintDialog() {
    if (printDialog_ && !printDialog_->isVisible()) printDialog_->show();
}

void TMainform::notYetAvailable() {
    Prompts::current().notice(this, qs("申し訳ございませんが、まだ作っていません。m(_ _)m"));
}

}  // namespace quil::ui
