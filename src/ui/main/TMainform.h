#pragma once
// The main window: menus, toolbar, the three filter buttons with their summary boxes, the
// tab control over the record list, the grid pop-up menu and the status bar. It owns the
// program folder, the data folder and the data-set stamp for the whole run.

#include <QMainWindow>
#include <QPointer>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "store/DataSetChange.h"
#include "store/Records.h"
#include "ui/dialogs/DataFolderHost.h"
#include "ui/dialogs/MainContext.h"
#include "ui/main/ToolWindows.h"

namespace quil::folder {
struct DataSetCheck;
}

class QAction;
class QLineEdit;
class QMenu;
class QPushButton;
class QTabBar;
class QThread;
class QTemporaryDir;
class QToolBar;
class QWidget;

namespace quil::folder {
class DataFolderAccess;
struct PendingDataFolderLock;
}  // namespace quil::folder

namespace quil::store {
class WatchedDataStore;
}

namespace quil::ui {

class ServerWatch;

class TComboGrid;
class TSingleInstance;
class Tdirsetform;
class RecordListModel;
class RecordCommands;

struct MainformOptions {
    MainformOptions(bool guardSingleInstance = true) : singleInstance(guardSingleInstance) {}
    // The guard against a second copy; tests that start many windows in one process turn
    // it off.
    bool singleInstance = true;
    // The data folder used when none is saved or the saved one has vanished; empty means the
    // program folder (a portable copy). An installed copy passes the per-user data folder.
    std::string defaultDataFolder;
    // Where the help command looks for quil.hlp; empty means the program folder.
    std::string helpFolder;
    // A server data set's connection string (quil --server); empty for a data folder.
    std::string server;
    // The server's stores and commands, as the program is put together (src/app); without
    // them a server data set is refused with a message.
    ServerOpeners serverOpeners;
};

class TMainform : public QMainWindow,
                  public MainContext,
                  public DataFolderHost,
                  public ToolWindowHost {
    Q_OBJECT
public:
    // `programFolder` ends with '/'. Creation reads (or first creates) the settings file,
    // resolves the data folder and seeds the item file when it is missing, unless another
    // copy of the program is running: then nothing is read or written at all.
    explicit TMainform(std::string programFolder, MainformOptions options = {},
                       QWidget* parent = nullptr);
    ~TMainform() override;

    // True when another copy was running: this one must end at once.
    bool isDuplicate() const { return duplicate_; }
    // True after the first showing found the data set unusable (the window then closes).
    bool startFailed() const { return startFailed_; }

    // Windows the main window opens; created by the program entry after this one.
    void setEntryDialog(QWidget* dialog);
    void setAboutBox(QWidget* box) override { aboutBox_ = box; }
    void setUserSettingsDialog(QWidget* dialog) override { userSettings_ = dialog; }
    void setItemForm(QWidget* form) { itemForm_ = form; }
    void setViewItemForm(QWidget* form) { viewItemForm_ = form; }
    void setViewTimeForm(QWidget* form) { viewTimeForm_ = form; }
    void setDirsetform(Tdirsetform* form) { dirsetform_ = form; }
    void setPrintDialog(QWidget* dialog) override { printDialog_ = dialog; }
    // Adds an entry to the menu "ツール(&T)" (before ヘルプ); returns its action.
    QAction* addToolsCommand(const QString& caption, const QString& name,
                             std::function<void()> command) override;

    // Opens the master list editor for an item kind (1..7), titled "設定－" + kind name.
    void openItemForm(store::ItemKind kind);
    // Opens the display filter dialog titled "表示－車両" (kind 1) or "表示－使用者" (kind 2).
    void openViewItemForm(store::ItemKind kind);
    void openViewTimeForm();
    // Opens the data folder dialog in mode 1 (data folder), 2 (backup), 3 (restore) or
    // 4 (legacy import).
    void ShowFolderDialog(int mode);

    // MainContext
    std::string programFolder() const override { return programFolder_; }
    std::string dataFolder() const override { return dataFolder_; }
    double dataSetStamp() const override { return stamp_; }
    store::ListTab currentTab() const override;
    int selectedRow() const override;
    void reloadList() override { loadList(currentTab()); }
    // After one record was saved or deleted (the change as the data set announced it,
    // isRecord() or a RecordsChanged with its serverId): the list follows it in place,
    // without reading the data set again (read again only when that fails). This program's
    // save is shown selected and in view; another program's leaves the selection on its
    // record.
    void followRecordChange(const store::DataSetChange& change);
    void refreshSummaries() override;
    void showPeriodLabel(const QString& label) override;
    QWidget* mainWidget() override { return this; }

    // DataFolderHost (the data folder dialog announces the change once its command is done)
    void setDataFolder(const std::string& folder) override;
    void setDataSetStamp(double stamp) override;
    // MainContext and DataFolderHost
    bool dataSetReadOnly() const override;
    store::DataStore& dataStore() const override;
    bool viewOnly() const override { return serverReadOnly_; }
    std::string serverConninfo() const override { return serverConninfo_; }
    ServerOpeners serverOpeners() const override;
    std::function<void(const store::DataSetChange&)> storeChangeListener() const override;
    std::int64_t selectedRecordId() const override;
    // The server data set's store; nullptr on a data folder or before it is connected.
    store::DataStore* serverStore() const;
    // Whether the program works on a server data set (quil --server).
    bool onServer() const { return !serverConninfo_.empty(); }
    void adoptDataFolderLock(std::unique_ptr<folder::DataFolderLock> lock) override;
    bool useServer(const std::string& conninfo) override;
    bool onServerDataSet() const override { return onServer(); }

    // ToolWindowHost (MainformToolHost.cpp)
    MainContext& toolContext() override { return *this; }
    void addToolBarSection(const QList<QAction*>& actions) override;
    QStatusBar* toolStatusBar() override;
    void openRecordAt(std::int64_t position, store::RecordKind kind) override;
    TComboGrid* printedGrid() override { return ComboGrid1; }
    QTabBar* printedTabs() override { return TabControl1; }

    // The record list of a tab: set-up, filter, rows and Data.idx.
    void loadList(store::ListTab tab);
    // Writes TabWidth/<tab><column> for every column of the grid.
    void saveColumnWidths(store::ListTab tab);
    // Sets Edit2 (kind 1) or Edit3 (kind 2) from the live items and the mask.
    void displaySummary(store::ItemKind kind);

    // The first showing: checks, conversions, summaries, period label, first load.
    // Returns false when the data set cannot be used (the message has been shown).
    bool FormShow();

    // Controls, for the commands and for tests.
    TComboGrid* ComboGrid1 = nullptr;
    QTabBar* TabControl1 = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;
    QPushButton* Button3 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QLineEdit* Edit2 = nullptr;
    QLineEdit* Edit3 = nullptr;
    QToolBar* ToolBar1 = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QMenu* ToolsMenu = nullptr;
    // The list's model, its rows complete (a server list whose rows after the first screen
    // are still being read is waited for).
    RecordListModel* listModel() const {
        completeList();
        return model_;
    }
    RecordCommands* commands() const { return commands_.get(); }
    // The action of a menu or toolbar command by its object name ("ToolButton1", "Exit1"...).
    QAction* action(const QString& name) const;

public Q_SLOTS:
    void TabControl1Change(int index);
    void ComboGrid1Click();
    void HelpClick();
    // The print dialog, unless it is open already.
    void openPrintDialog();
    void notYetAvailable();

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // What the list and the summaries do after a change of the data set (DataSetEvents).
    void followChange(const store::DataSetChange& change);
    // followRecordChange's two sides: the list of a data folder keeps record positions and
    // Data.idx, the list of a server ids in the server's order. Each gives the row of the
    // record saved (0 for none or a delete).
    int followFolderChange(const store::DataSetChange& change);
    int followServerChange(const store::DataSetChange& change);
    // Selects `row` alone (none when 0), scrolled into view when `inView`.
    void showChangedRow(int row, bool inView);
    // The single-instance check, the settings, the data folder (seeded on a first run) and
    // the start of taking its lock.
    void openDataFolder(const MainformOptions& options);
    void createWidgets();
    void createActions();
    void createMenus();
    void layoutControls();
    void setUpGrid(store::ListTab tab);
    // Scans the record file into the list of the tab just set up, with the wait cursor.
    void takeRecords(store::ListTab tab);
    void setPeriodLabel();
    // What the first showing tells once: a read-only settings file, a saved data folder
    // that could not be used, partial records; and what it mends: broken stored periods,
    // a row index left behind.
    void reportStartNotes(const folder::DataSetCheck& check);
    void saveOnExit();
    // A copy that only reads: says so in the title and status bar, greys out the commands
    // that would write, and keeps its own settings and row index apart from the holder's
    // when they lie in the data folder.
    void enterReadOnly(const QString& reason = {});
    // FormShow on a server data set: connects, checks the data set and shows it.
    bool openServer();
    // Shows the server data set just connected: stamp, title, read-only role, list source,
    // the watch for others' changes.
    void showServer();

    // Removes the settings-write report when the window goes, also when its creation fails
    // (the report must never reach a window that no longer exists).
    struct SettingsReportGuard {
        ~SettingsReportGuard();
    };

    std::optional<SettingsReportGuard> settingsReport_;
    std::string programFolder_;
    std::string helpFolder_;
    std::string dataFolder_;
    std::string missingDataFolder_;  // the saved data folder, when it could not be used
    double stamp_ = 0;
    bool duplicate_ = false;
    bool shown_ = false;
    QSize outerSize_;           // the saved outer size, frame included
    bool frameFitted_ = false;  // the size has been set with the window manager's frame known
    void fitFrameToSavedSize();
    bool startFailed_ = false;
    bool listSetUp_ = false;
    bool exitSaved_ = false;
    store::ListTab tab_ = store::ListTab::Driving;
    TSingleInstance* SingleInstance1 = nullptr;
    RecordListModel* model_ = nullptr;
    std::unique_ptr<RecordCommands> commands_;
    QPointer<QWidget> aboutBox_;
    QPointer<QWidget> userSettings_;
    QPointer<QWidget> itemForm_;
    QPointer<QWidget> viewItemForm_;
    QPointer<QWidget> viewTimeForm_;
    Tdirsetform* dirsetform_ = nullptr;  // a child of this window
    // The data folder's lock, or the read-only access while another computer holds it.
    std::unique_ptr<folder::DataFolderAccess> access_;
    // The lock being taken while the window is laid out and shown, for FormShow.
    std::unique_ptr<folder::PendingDataFolderLock> pendingAccess_;
    QPointer<QWidget> printDialog_;
    // The read-only copy's settings and row index, when its own lie in the held data folder.
    std::unique_ptr<QTemporaryDir> sessionFolder_;
    // A server data set: its connection string, its store once connected, and the watch
    // that brings other programs' changes and follows the connection.
    std::string serverConninfo_;
    ServerOpeners serverOpeners_;
    std::unique_ptr<store::WatchedDataStore> server_;
    // The data folder's store (dataStore), made again for another folder.
    mutable std::unique_ptr<store::DataStore> folderStore_;
    mutable std::string folderStoreDir_;
    // A server list shows its first rows at once; the rest is read on a worker thread with
    // a connection of its own and added when it comes (MainformListTail.cpp).
    struct ListTail;
    static constexpr std::size_t kListHead = 256;  // more rows than a screen shows
    mutable std::shared_ptr<ListTail> listTail_;
    std::vector<QPointer<QThread>> tailThreads_;  // waited for when the window goes
    void readListTail(store::ListTab tab);
    void takeListTail(const std::shared_ptr<ListTail>& tail);
    void completeList() const;
    void waitForListTails();
    ServerWatch* serverWatch_ = nullptr;
    bool serverReadOnly_ = false;  // the user's role only reads
};

}  // namespace quil::ui
