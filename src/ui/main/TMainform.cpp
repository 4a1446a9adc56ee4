#include "ui/main/TMainform.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QStatusBar>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <exception>
#include <filesystem>

#include "folder/BackupDestination.h"
#include "folder/DataSet.h"
#include "folder/FileCopy.h"
#include "folder/ReadOnlyFileSystem.h"
#include "store/ChangeWatch.h"
#include "store/DataStore.h"
#include "store/Date.h"
#include "store/ItemStore.h"
#include "store/Period.h"
#include "store/RecordStore.h"
#include "store/Settings.h"
#include "store/StoreError.h"
#include "ui/components/QtText.h"
#include "ui/components/TComboGrid.h"
#include "ui/components/TSingleInstance.h"
#include "ui/dialogs/DataFolderLock.h"
#include "ui/dialogs/DataSetEvents.h"
#include "ui/dialogs/ErrorReport.h"
#include "ui/dialogs/FileChoice.h"
#include "ui/dialogs/Prompts.h"
#include "ui/dialogs/ServerWrites.h"
#include "ui/dialogs/UnsavedInput.h"
#include "ui/main/ListCsvExport.h"
#include "ui/main/PlacementClamp.h"
#include "ui/main/ProgramIcons.h"
#include "ui/main/RecordCommands.h"
#include "ui/main/RecordListColumns.h"
#include "ui/main/RecordListModel.h"
#include "ui/main/ServerWatch.h"

namespace quil::ui {

using namespace quil::store;

namespace {

int currentYear() { return decodeDate(today()).year; }

}  // namespace

TMainform::TMainform(std::string programFolder, MainformOptions options, QWidget* parent)
    : QMainWindow(parent),
      programFolder_(std::move(programFolder)),
      helpFolder_(options.helpFolder.empty() ? programFolder_ : options.helpFolder),
      serverOpeners_(options.serverOpeners) {
    setObjectName(QStringLiteral("Mainform"));
    setWindowTitle(programName());
    setWindowIcon(programIcon("quil", 64));
    setMinimumSize(590, 300);
    // The data folder first: its lock (a file synced to disk) is then taken on another
    // thread while the window's widgets, actions and menus are made and the window is shown.
    openDataFolder(options);
    createWidgets();
    createActions();
    createMenus();
    ListCsvExport::install(this);
    // The list and the summaries follow every change of the data set. Listening first, the
    // list has followed before any other window hears of a change.
    DataSetEvents::listen(this, [this](const DataSetChange& c) { followChange(c); });
}

void TMainform::followChange(const DataSetChange& c) {
    if (!listSetUp_) return;  // nothing shown yet: the first showing reads the data set
    completeList();           // a change follows the whole list
    using What = DataSetChange::What;
    switch (c.what) {
        case What::RecordSaved:
        case What::RecordDeleted: followRecordChange(c); return;
        case What::RecordsChanged:
            if (server_ && c.serverId)
                followRecordChange(c);
            else
                reloadList();
            return;
        case What::ItemsChanged:
            // The list keeps the item names it loaded with.
            refreshSummaries();
            reloadList();
            return;
        case What::ExtensionChanged: return;
        case What::FolderChanged:
        case What::Replaced:
            refreshSummaries();
            reloadList();
            // An open display filter lists the names of the data set it opened with: it
            // opens again over the new one.
            for (QWidget* w : {viewItemForm_.data(), viewTimeForm_.data()})
                if (w && w->isVisible()) {
                    w->hide();
                    w->show();
                }
            return;
    }
}

void TMainform::openDataFolder(const MainformOptions& options) {
    if (options.singleInstance) {
        SingleInstance1 = new TSingleInstance(this);
        SingleInstance1->setUniqueName(QStringLiteral("Ident1864"));
        SingleInstance1->setDupInstAction(diActivateFirst);
        SingleInstance1->setErrorMessage(QStringLiteral("すでに起動されています"));
        SingleInstance1->setMainWindow(this);
        if (!SingleInstance1->Loaded()) {
            // Another copy runs: it has been asked to come forward. Touch no file.
            duplicate_ = true;
            return;
        }
    }

    // A settings file that cannot be written keeps its values for this run; say so once.
    Settings::setWriteFailureHandler([this](const std::string& file, const std::string& reason) {
        Prompts::current().warning(this, qs(file + " に書き込めません（" + reason +
                                            "）。設定は終了するまで有効ですが、保存されません。"));
    });
    settingsReport_.emplace();
    keepFileFoldersIn(programFolder_);

    // Settings, data folder and the item master file.
    Settings settings(programFolder_);
    const bool firstRun = !settings.exists();
    const std::string savedDir = settings.dataFolder();
    const std::string savedExeDir = settings.exeFolder();
    const WindowPlacement stored = settings.placement();
    const WindowPlacement place = clampPlacement(stored, availableAreaFor(stored), minimumSize());
    // Location holds the outer bounds, frame included; the frame is known once the window
    // is shown, where the size is set again (see showEvent).
    move(place.left, place.top);
    outerSize_ = QSize(std::max(place.width, 590), std::max(place.height, 300));
    resize(outerSize_);

    // A server data set has no folder: it is reached when the window is first shown. The
    // command line names one, or the settings keep the one chosen last.
    const std::string server = options.server.empty() ? settings.serverConninfo() : options.server;
    if (!server.empty()) {
        serverConninfo_ = server;
        if (firstRun) settings.writeFirstRun(currentYear());
        return;
    }

    // An installed copy keeps its data set apart from its settings.
    const folder::DataFolderChoice choice = folder::chooseStartDataFolder(
        savedDir, savedExeDir, programFolder_, options.defaultDataFolder);
    dataFolder_ = choice.folder;
    missingDataFolder_ = choice.expected;
    // A record file without its item file is a damaged data set: create nothing, change
    // no setting; the first showing says so and ends. A restore or import that a crash cut
    // short is finished by the first showing, once it holds the folder's lock: its files
    // must never be taken for a first run.
    if (folder::swapPending(dataFolder_) || folder::itemFileMissing(dataFolder_)) return;
    if (firstRun) {
        settings.writeFirstRun(currentYear());
        if (!options.defaultDataFolder.empty()) settings.setDataFolder(options.defaultDataFolder);
    }
    ItemStore items(dataFolder_);
    if (!items.exists()) {
        folder::seedItemFile(dataFolder_, settings, correctTwoDigitYear(now()),
                             correctTwoDigitYear(today()));
    }
    auto header = readFileHeader(items.path());
    if (header && !header->empty) stamp_ = header->stamp;
    // Nothing more is written to the data folder before FormShow has its lock.
    pendingAccess_ = std::make_unique<folder::PendingDataFolderLock>(
        folder::DataFolderAccess::startOpening(dataFolder_));
}

TMainform::~TMainform() {
    waitForListTails();
    if (!duplicate_ && !exitSaved_) saveOnExit();
}

TMainform::SettingsReportGuard::~SettingsReportGuard() {
    Settings::setWriteFailureHandler({});
    keepFileFoldersIn({});  // the settings file is this window's
}

void TMainform::setEntryDialog(QWidget* dialog) { commands_->setEntryDialog(dialog); }

store::ListTab TMainform::currentTab() const { return tab_; }

int TMainform::selectedRow() const { return model_->selectedRow(); }

QAction* TMainform::action(const QString& name) const { return findChild<QAction*>(name); }

void TMainform::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!shown_) {
        shown_ = true;
        resize(outerSize_);
        fitFrameToSavedSize();
        if (!duplicate_ && !FormShow()) QTimer::singleShot(0, this, &QWidget::close);
    }
}

void TMainform::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    fitFrameToSavedSize();
}

void TMainform::fitFrameToSavedSize() {
    // The saved size is the outer one, frame included. A window manager adds its frame only
    // after the window is shown (the window moves into it), so the size is set once more when
    // the frame is first known; without that every start would grow by the frame.
    if (!shown_ || frameFitted_) return;
    const QSize frame = frameGeometry().size() - size();
    if (frame.isNull()) return;
    frameFitted_ = true;
    resize(outerSize_ - frame);
}

bool TMainform::FormShow() {
    if (onServer()) return openServer();
    // A data folder on a shared drive may be in use by another computer.
    const auto askReadOnly = [this](const QString& holder) {
        return Prompts::current().question(
            this, QStringLiteral("警告"),
            holder + QStringLiteral("\n読み取り専用で開きますか？（いいえを選ぶと終了します）"),
            PromptIcon::Warning);
    };
    if (pendingAccess_ && pendingAccess_->lock->folder() == dataFolder_)
        access_ = folder::DataFolderAccess::open(std::move(*pendingAccess_), askReadOnly);
    else
        access_ = folder::DataFolderAccess::open(dataFolder_, askReadOnly);
    pendingAccess_.reset();
    if (!access_) {
        startFailed_ = true;
        return false;
    }
    if (access_->readOnly()) enterReadOnly();
    auto fail = [this](const std::string& message) {
        startFailed_ = true;
        Prompts::current().message(this, QStringLiteral("警告"), qs(message),
                                   PromptIcon::Information);
        return false;
    };
    folder::DataSetCheck check;
    try {
        if (!access_->readOnly()) {
            // What was finished or tidied is said in the status bar; the data set is whole.
            std::string note;
            for (const std::string& name : folder::finishPendingSwaps(dataFolder_))
                note += "中断されていたデータの置き換えを完了しました (" + name + ")。";
            // A backup from this folder a kill cut short, in the folder it was going to.
            for (const std::string& line : folder::finishInterruptedBackups(dataFolder_))
                note += line;
            // Staging folders of ours a kill left before their swap began hold only copies.
            for (const std::string& name : folder::tidyStagingLeftovers(dataFolder_))
                note += "中断された作業の残り (" + name + ") を片付けました。";
            for (const std::string& name : folder::stagingLeftoverNames(dataFolder_))
                note += name + " はこのプログラムが作ったものと確かめられないため、そのままに"
                               "しています。";
            if (!note.empty()) statusBar()->showMessage(qs(note), 60000);
        }
        check = folder::checkDataSet(dataFolder_);
    } catch (const StoreError& e) {
        return fail(e.what());  // an unreadable file: nothing is loaded or written
    }
    if (!check.ok) return fail(check.message);
    stamp_ = check.stamp;
    if (check.convertRecords || check.convertItems) {
        try {
            convertOlderFormat(dataFolder_);
        } catch (const HalfConvertedError& e) {
            return fail("データファイルを新しい形式に変換できませんでした（" +
                        std::string(e.what()) + "）。変換前の記録ファイルは " +
                        fileNameOf(e.kept()) + " に残っています。");
        } catch (const StoreError& e) {
            return fail("データファイルを新しい形式に変換できませんでした（" +
                        std::string(e.what()) + "）。データは変更されていません。");
        }
    }
    reportStartNotes(check);
    displaySummary(ItemKind::Vehicle);
    displaySummary(ItemKind::User);
    setPeriodLabel();
    loadList(ListTab::Driving);
    return true;
}

bool TMainform::dataSetReadOnly() const {
    return (access_ && access_->readOnly()) || serverReadOnly_;
}

store::DataStore* TMainform::serverStore() const { return server_.get(); }

store::DataStore& TMainform::dataStore() const {
    if (server_) return *server_;
    if (!folderStore_ || folderStoreDir_ != dataFolder_) {
        folderStore_ = openFolderStore(dataFolder_);
        folderStore_->setChangeListener(&DataSetEvents::announceStored);
        folderStoreDir_ = dataFolder_;
    }
    return *folderStore_;
}

ServerOpeners TMainform::serverOpeners() const { return serverOpeners_; }

std::function<void(const DataSetChange&)> TMainform::storeChangeListener() const {
    return &DataSetEvents::announceStored;
}

std::int64_t TMainform::selectedRecordId() const {
    // A folder's list leads to its records through the row index it wrote.
    if (!server_) return MainContext::selectedRecordId();
    const int row = model_->selectedRow();
    if (row < 1 || row > model_->recordCount()) return -1;
    return model_->position(row);
}

bool TMainform::openServer() {
    const auto fail = [this](const std::string& message) {
        startFailed_ = true;
        Prompts::current().message(this, QStringLiteral("警告"), qs(message),
                                   PromptIcon::Information);
        return false;
    };
    try {
        server_ = openOnServer(serverOpeners_.watched, serverConninfo_);
        server_->setChangeListener(&DataSetEvents::announceStored);
        showServer();
    } catch (const StoreError& e) {
        server_.reset();
        return fail(e.what());  // nothing is shown and nothing was written
    }
    displaySummary(ItemKind::Vehicle);
    displaySummary(ItemKind::User);
    setPeriodLabel();
    loadList(ListTab::Driving);
    return true;
}

void TMainform::showServer() {
    const auto items = server_->items();
    stamp_ = items.empty() ? now() : items.front().item.stamp();
    serverReadOnly_ = !server_->writable();
    setWindowTitle(programName() + QStringLiteral(" － ") + qs(server_->where()));
    if (serverReadOnly_) enterReadOnly(QString::fromUtf8(kServerReadOnlyText));
    model_->setServerSource(server_.get());
    delete serverWatch_;
    serverWatch_ = new ServerWatch(*server_, statusBar(), this);
    // From here on the window's requests fail at once when the server is away (the window
    // says so and keeps its input); the watch connects again off the window's thread.
    server_->setFailFast(true);
}

bool TMainform::useServer(const std::string& conninfo) {
    std::unique_ptr<store::WatchedDataStore> store;
    try {
        store = openOnServer(serverOpeners_.watched, conninfo);
    } catch (const StoreError& e) {
        Prompts::current().warning(this, qs(e.what()));
        return false;  // the data folder stays in use
    }
    access_.reset();  // the data folder's lock goes with it
    pendingAccess_.reset();
    dataFolder_.clear();
    serverConninfo_ = conninfo;
    server_ = std::move(store);
    server_->setChangeListener(&DataSetEvents::announceStored);
    showServer();
    DataSetEvents::announce(DataSetChange::of(DataSetChange::What::FolderChanged));
    return true;
}

void TMainform::setDataFolder(const std::string& folder) { dataFolder_ = folder; }

void TMainform::setDataSetStamp(double stamp) { stamp_ = stamp; }

void TMainform::enterReadOnly(const QString& reason) {
    const QString mark = QStringLiteral("読み取り専用");
    setWindowTitle(windowTitle() + QStringLiteral("（") + mark + QStringLiteral("）"));
    auto* label = new QLabel(mark, statusBar());
    label->setObjectName(QStringLiteral("ReadOnlyLabel"));
    label->setToolTip(reason.isEmpty() ? QString::fromUtf8(folder::ReadOnlyFileSystem::kReason)
                                       : reason);
    statusBar()->addPermanentWidget(label);
    // Every command that writes the data set; a backup, the lists and the windows that only
    // read stay.
    for (const char* name :
         {"ToolButton1", "ToolButton2", "ToolButton3", "ToolButton4", "Input0",    "Input1",
          "Input2",      "Input3",      "PopAdd",      "PopEdit",     "PopDelete", "DirSet1",
          "Restore1",    "Legacy1",     "Setting1",    "Setting2",    "Setting3",  "Setting4",
          "Setting5",    "Setting6",    "Setting7"})
        if (QAction* a = action(QString::fromLatin1(name))) a->setEnabled(false);
    // When this copy's settings file and row index lie in the held folder (a copy of the
    // program started from the shared folder), they belong to the holder: this copy works on
    // its own copy of the settings, kept for this run only.
    const auto* readOnly = dynamic_cast<const folder::ReadOnlyFileSystem*>(&FileSystem::current());
    if (readOnly && readOnly->refuses(programFolder_ + std::string(kSettingsFileName))) {
        auto session = std::make_unique<QTemporaryDir>();
        if (!session->isValid()) return;
        const std::string folder = session->path().toStdString() + "/";
        std::error_code ec;
        const std::string ini(kSettingsFileName);
        std::filesystem::copy_file(programFolder_ + ini, folder + ini, ec);
        if (ec) return;  // the settings stay where they are; their writes are refused
        programFolder_ = folder;
        sessionFolder_ = std::move(session);
    }
}

void TMainform::adoptDataFolderLock(std::unique_ptr<folder::DataFolderLock> lock) {
    access_ = std::make_unique<folder::DataFolderAccess>(std::move(lock));
}

void TMainform::reportStartNotes(const folder::DataSetCheck& check) {
    Settings settings(programFolder_);
    settings.reportIfReadOnly();
    if (!missingDataFolder_.empty())
        Prompts::current().warning(
            this, qs("保存先のフォルダー " + missingDataFolder_ + " が見つからないか読めません。" +
                     dataFolder_ + " のデータを使います。"));
    for (const auto& [file, bytes] : check.partialTails)
        Prompts::current().warning(
            this, qs(file + " の末尾に不完全な記録（" + std::to_string(bytes) +
                     " バイト）があります。次の保存の前に " + file + ".tail に書き出します。"));
    // A stored period that is no period would stop every list load: use the default one.
    for (const PeriodKind kind : kPeriodKinds) repairStoredPeriod(settings, kind, currentYear());
    // A row index left by a program that was killed belongs to no list.
    FileSystem::current().remove(programFolder_ + kRowIndexFileName);
}

void TMainform::setPeriodLabel() {
    Settings settings(programFolder_);
    const PeriodKind kind = settings.periodKind(PeriodKind::Year);
    const StoredPeriod stored = parseStoredPeriod(kind, settings.storedPeriod(kind), currentYear());
    Edit1->setText(qs(periodLabel(settings, kind, stored.subIndex, stored.yearText)));
}

void TMainform::refreshSummaries() {
    displaySummary(ItemKind::Vehicle);
    displaySummary(ItemKind::User);
}

void TMainform::showPeriodLabel(const QString& label) { Edit1->setText(label); }

namespace {

// Shows a dialog under a caption unless it is open already.
void openWithCaption(QWidget* dialog, const QString& caption) {
    if (!dialog || dialog->isVisible()) return;
    dialog->setWindowTitle(caption);
    dialog->show();
}

}  // namespace

void TMainform::openItemForm(ItemKind kind) {
    openWithCaption(itemForm_, QStringLiteral("設定－") + qs(itemKindName(kind)));
}

void TMainform::openViewItemForm(ItemKind kind) {
    openWithCaption(viewItemForm_, kind == ItemKind::Vehicle ? QStringLiteral("表示－車両")
                                                             : QStringLiteral("表示－使用者"));
}

void TMainform::openViewTimeForm() {
    if (viewTimeForm_ && !viewTimeForm_->isVisible()) viewTimeForm_->show();
}

void TMainform::displaySummary(ItemKind kind) {
    Settings settings(programFolder_);
    std::vector<ItemEntry> live;
    if (server_) {
        live = liveItems(server_->items(), kind);
    } else if (!onServer()) {
        live = ItemStore(dataFolder_).listLive(kind);
    }
    const bool vehicles = kind == ItemKind::Vehicle;
    const std::string mask = vehicles ? settings.carMask("0") : settings.driverMask("0");
    QStringList names;
    for (std::size_t i = 0; i < live.size(); ++i)
        if (filterMaskShows(mask, i)) names << qs(live[i].name);
    QLineEdit* edit = vehicles ? Edit2 : Edit3;
    edit->setText(names.join(QStringLiteral(", ")));
    // None chosen (a Quil.ini from another computer holds only the data folder): the empty
    // box says how to choose, rather than leaving an empty list unexplained.
    edit->setPlaceholderText(
        names.isEmpty() && !live.empty()
            ? (vehicles ? QStringLiteral("［車両］ボタンで表示する車両を選んで下さい。")
                        : QStringLiteral("［使用者］ボタンで表示する使用者を選んで下さい。"))
            : QString());
}

void TMainform::setUpGrid(ListTab tab) {
    tab_ = tab;
    listSetUp_ = true;
    model_->setUp(tab);
    Settings settings(programFolder_);
    for (int c = 0; c < columnCount(tab); ++c) {
        ComboGrid1->setColWidths(c, settings.tabWidth(tab, c, builtInColumnWidth(tab, c)));
        if (auto a = columnAlignment(tab, c)) ComboGrid1->CellKind(c).setAlignment(*a);
    }
}

void TMainform::loadList(ListTab tab) {
    setUpGrid(tab);
    if (onServer() ? server_ != nullptr : RecordStore(dataFolder_).exists()) takeRecords(tab);
    // A fresh list has no selected row; no row may look selected either, or a delete
    // would seem to ignore the highlighted row.
    ComboGrid1->selectionModel()->clear();
}

void TMainform::takeRecords(ListTab tab) {
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    struct RestoreCursor {
        ~RestoreCursor() { QGuiApplication::restoreOverrideCursor(); }
    } restore;
    if (server_) {
        listTail_.reset();  // a tail still being read belongs to the list replaced now
        try {
            LoadedRecords head = loadServerRecords(programFolder_, *server_, tab, kListHead);
            const bool whole = head.positions.size() < kListHead;
            model_->setRecords(std::move(head));
            if (!whole) readListTail(tab);
        } catch (const StoreError& e) {
            // The server went away: the list stays empty until it is back (ServerWatch
            // reads it again then).
            statusBar()->showMessage(qs(e.what()), 10000);
        }
        return;
    }
    model_->setRecords(loadRecords(programFolder_, dataFolder_, tab));
}

void TMainform::saveColumnWidths(ListTab tab) {
    std::vector<int> widths;
    for (int c = 0; c < ComboGrid1->ColCount(); ++c) widths.push_back(ComboGrid1->ColWidths(c));
    Settings(programFolder_).setTabWidths(tab, widths);
}

void TMainform::TabControl1Change(int index) {
    const std::optional<ListTab> tab = listTabAt(index);
    if (!tab || *tab == tab_) return;
    // The list follows the tab bar even when the old tab's widths cannot be saved; that
    // failure is reported after the switch.
    std::exception_ptr failure;
    try {
        saveColumnWidths(tab_);
    } catch (...) {
        failure = std::current_exception();
    }
    loadList(*tab);
    if (failure) std::rethrow_exception(failure);
}

void TMainform::ComboGrid1Click() {
    int top = -1;
    for (const QModelIndex& i : ComboGrid1->selectionModel()->selectedIndexes())
        if (top < 0 || i.row() < top) top = i.row();
    if (top < 0) top = ComboGrid1->currentIndex().row();
    model_->setSelectedRow(top > 0 ? top : 0);
}

void TMainform::closeEvent(QCloseEvent* event) {
    // What is typed into an open dialog and not saved yet is lost on closing: ask first.
    if (!duplicate_ && !exitSaved_) {
        for (const QWidget* w : findChildren<QWidget*>()) {
            const auto* input = dynamic_cast<const UnsavedInput*>(w);
            if (!input || !input->hasUnsavedInput()) continue;
            // Enter keeps the input: No is the default.
            if (!Prompts::current().questionDefaultNo(
                    this, QStringLiteral("確認"),
                    w->windowTitle() +
                        QStringLiteral(" に入力中の内容は保存されていません。終了しますか？"),
                    PromptIcon::Warning)) {
                event->ignore();
                return;
            }
            break;
        }
    }
    if (!duplicate_ && !exitSaved_) saveOnExit();
    QMainWindow::closeEvent(event);
}

void TMainform::saveOnExit() {
    exitSaved_ = true;
    // A start that found the data set unusable loaded nothing and changes no setting.
    if (startFailed_) return;
    try {
        if (listSetUp_) saveColumnWidths(tab_);
        WindowPlacement place;
        const QRect outer = frameGeometry();
        place.top = outer.y();
        place.left = outer.x();
        place.width = outer.width();
        place.height = outer.height();
        Settings(programFolder_).writeExitState(place);
        FileSystem::current().remove(programFolder_ + kRowIndexFileName);
    } catch (const std::exception& e) {
        // Closing must go on; say what could not be saved.
        reportError(e, this);
    }
}

}  // namespace quil::ui
