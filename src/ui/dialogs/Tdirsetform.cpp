#include "ui/dialogs/Tdirsetform.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QStatusBar>
#include <QStorageInfo>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

#include "folder/DataSetFiles.h"
#include "folder/ReadOnlyFileSystem.h"
#include "store/Codec.h"
#include "store/ItemStore.h"
#include "store/Settings.h"
#include "ui/components/QtText.h"
#include "ui/dialogs/DataFolderHost.h"
#include "ui/dialogs/DataFolderLock.h"
#include "ui/dialogs/DataSetAccess.h"
#include "ui/dialogs/DataSetEvents.h"
#include "ui/dialogs/ErrorReport.h"
#include "ui/dialogs/MainContext.h"
#include "ui/dialogs/MainWindowPlacement.h"
#include "ui/dialogs/OkCancelButtons.h"
#include "ui/dialogs/Prompts.h"
#include "ui/dialogs/ServerWrites.h"
#include "ui/dialogs/TServerForm.h"
#include "ui/dialogs/WaitCursor.h"

namespace quil::ui {
namespace {

struct ModeText {
    const char* caption;
    const char* stem;
};
constexpr ModeText kModes[] = {{"保存先の設定", "保存"},
                               {"データのバックアップ", "データのバックアップ"},
                               {"データの読み込み", "データの読み込み"},
                               {"ミルテ台帳データの読み込み", "データの読み込み"}};

// A status line that is cleared again when the step ends, however it ends.
class StatusText {
public:
    StatusText(QStatusBar* bar, QWidget* dialog, const QString& text) : bar_(bar) {
        bar_->showMessage(text);
        dialog->repaint();
    }
    ~StatusText() { bar_->clearMessage(); }

private:
    QStatusBar* bar_;
};

void plainMessage(QWidget* parent, const QString& text) {
    Prompts::current().message(parent, programName(), text, PromptIcon::Information);
}

}  // namespace

Tdirsetform::Tdirsetform(MainContext& context, DataFolderHost& host, QWidget* parent)
    : QDialog(parent), context_(context), host_(host), lastChosen_(QDir::homePath() + u'/') {
    setObjectName(QStringLiteral("dirsetform"));
    Label1 = new QLabel(this);
    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    DriveComboBox1 = new QComboBox(this);
    DriveComboBox1->setObjectName(QStringLiteral("DriveComboBox1"));
    DirectoryListBox1 = new QTreeView(this);
    DirectoryListBox1->setObjectName(QStringLiteral("DirectoryListBox1"));
    // Folders only, loaded as they are opened: a folder with thousands of others never stalls.
    model_ = new QFileSystemModel(this);
    model_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    model_->setReadOnly(true);
    DirectoryListBox1->setModel(model_);
    for (int c = 1; c < model_->columnCount(); ++c) DirectoryListBox1->hideColumn(c);
    DirectoryListBox1->header()->hide();
    DirectoryListBox1->setMinimumSize(320, 220);
    StatusBar1 = new QStatusBar(this);
    StatusBar1->setSizeGripEnabled(false);
    ServerButton = new QPushButton(QStringLiteral("サーバー(&V)..."), this);
    ServerButton->setObjectName(QStringLiteral("ServerButton"));
    ServerButton->setToolTip(
        QStringLiteral("データをサーバー（PostgreSQL）に置いて、何人でも同時に使います。"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(Edit1);
    layout->addWidget(DriveComboBox1);
    layout->addWidget(DirectoryListBox1);
    layout->addWidget(ServerButton, 0, Qt::AlignLeft);
    layout->addLayout(makeOkCancelRow(this, Button1, Button2));
    layout->addWidget(StatusBar1);
    layout->setSizeConstraint(QLayout::SetFixedSize);  // a fixed dialog border
    connect(ServerButton, &QPushButton::clicked, this, [this] {
        close();
        openServerChoice();
    });

    fillDrives();
    connect(DriveComboBox1, &QComboBox::activated, this, &Tdirsetform::DriveComboBox1Change);
    connect(DirectoryListBox1->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &Tdirsetform::DirectoryListBox1Change);
    connect(Button1, &QPushButton::clicked, this, &Tdirsetform::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &Tdirsetform::Button2Click);
    connect(Edit1, &QLineEdit::returnPressed, this, &Tdirsetform::showTypedFolder);
    connect(model_, &QFileSystemModel::directoryLoaded, this, &Tdirsetform::followLoaded);
    placeBesideMainWindow(*this, parent, kFurtherBesideMain);
}

void Tdirsetform::setDialogsToClose(std::vector<QWidget*> dialogs) {
    dialogsToClose_.assign(dialogs.begin(), dialogs.end());
}

void Tdirsetform::fillDrives() {
    DriveComboBox1->clear();
    for (const QStorageInfo& v : QStorageInfo::mountedVolumes()) {
        if (!v.isValid()) continue;
        const QString root = QDir::fromNativeSeparators(v.rootPath());
        DriveComboBox1->addItem(QDir::toNativeSeparators(root) + QStringLiteral("  ") + v.name(),
                                root);
    }
}

void Tdirsetform::selectDrive(const QString& folder) {
    const QString root = QDir::fromNativeSeparators(QStorageInfo(folder).rootPath());
    int index = DriveComboBox1->findData(root);
    if (index < 0) {
        DriveComboBox1->addItem(QDir::toNativeSeparators(root), root);
        index = DriveComboBox1->count() - 1;
    }
    DriveComboBox1->setCurrentIndex(index);
    model_->setRootPath(root);
    DirectoryListBox1->setRootIndex(model_->index(root));
}

void Tdirsetform::setFolder(const QString& folder) {
    QString f = QDir::fromNativeSeparators(folder);
    if (!QFileInfo(f).isDir()) f = QDir::homePath();
    selectDrive(f);
    const QModelIndex index = model_->index(QDir::cleanPath(f));
    DirectoryListBox1->setCurrentIndex(index);
    DirectoryListBox1->scrollTo(index, QAbstractItemView::PositionAtCenter);
    following_ = QDir::cleanPath(f);
    Edit1->setText(QDir::toNativeSeparators(folder));
}

void Tdirsetform::followLoaded(const QString& loaded) {
    if (following_.isEmpty()) return;
    const QString parent = QFileInfo(following_).absolutePath();
    if (loaded != parent && !parent.startsWith(loaded)) return;
    // Once the folder's own parent is read (and sorted, a moment later), it keeps its row.
    if (loaded == parent) following_.clear();
    QTimer::singleShot(0, this, [this] {
        const QModelIndex current = DirectoryListBox1->currentIndex();
        if (current.isValid())
            DirectoryListBox1->scrollTo(current, QAbstractItemView::PositionAtCenter);
    });
}

void Tdirsetform::showTypedFolder() {
    const QString path = chosenPath();
    if (!path.isEmpty() && QFileInfo(path).isDir()) setFolder(path);
    Button1->setFocus(Qt::TabFocusReason);
}

void Tdirsetform::openServerChoice() {
    if (!serverForm_) {
        serverForm_ = new TServerForm(context_, host_, parentWidget());
        // Dialogs that could still write into the data set in use close before the switch.
        serverForm_->beforeSwitch = [this] { closeDataDialogs(); };
    }
    serverForm_->Open();
}

void Tdirsetform::Open(int mode) {
    if (mode < SetDataFolder || mode > LegacyImport) return;
    ServerButton->setVisible(mode == SetDataFolder);
    const ModeText& m = kModes[mode - 1];
    fillDrives();  // drives come and go while the program runs
    show();
    setWindowTitle(QString::fromUtf8(m.caption));
    Label1->setText(QString::fromUtf8(m.stem) + QStringLiteral("先のパスを設定して下さい。"));
    setFolder(mode == SetDataFolder ? qs(context_.dataFolder()) : lastChosen_);
    StatusBar1->clearMessage();
}

int Tdirsetform::mode() const {
    for (int i = 0; i < 4; ++i)
        if (windowTitle() == QString::fromUtf8(kModes[i].caption)) return i + 1;
    return 0;
}

void Tdirsetform::DriveComboBox1Change(int index) {
    const QString root = DriveComboBox1->itemData(index).toString();
    const QStorageInfo info(root);
    if (!info.isValid() || !info.isReady() || info.bytesAvailable() < 0) {
        // The drive is not ready: back to the drive of the folder tree.
        selectDrive(model_->rootPath());
    } else {
        model_->setRootPath(root);
        DirectoryListBox1->setRootIndex(model_->index(root));
        DirectoryListBox1->setCurrentIndex(model_->index(root));
    }
    DirectoryListBox1Change();
}

void Tdirsetform::DirectoryListBox1Change() {
    const QModelIndex current = DirectoryListBox1->currentIndex();
    Edit1->setText(QDir::toNativeSeparators(current.isValid() ? model_->filePath(current)
                                                              : model_->rootPath()));
}

QString Tdirsetform::chosenPath() const {
    QString path = QDir::fromNativeSeparators(Edit1->text().trimmed());
    if (path.isEmpty() || QDir::isRelativePath(path)) return {};
    if (!path.endsWith(u'/')) path += u'/';
    return path;
}

bool Tdirsetform::ensureFolder(int mode, const QString& path) {
    if (QFileInfo(path).isDir() || (mode != SetDataFolder && mode != Backup)) return true;
    if (!Prompts::current().question(this, QStringLiteral("警告"),
                                     QStringLiteral("フォルダは存在しません。作成しますか？"),
                                     PromptIcon::Warning))
        return false;
    if (QDir().mkpath(path)) return true;
    Prompts::current().warning(this, QStringLiteral("フォルダを作成できませんでした。"));
    return false;
}

bool Tdirsetform::onServer() const { return !context_.serverConninfo().empty(); }

void Tdirsetform::closeDataDialogs() {
    for (const QPointer<QWidget>& d : dialogsToClose_)
        if (d && d->isVisible()) d->close();
}

void Tdirsetform::Button1Click() {
    WaitCursor wait;
    const QString path = chosenPath();
    if (path.isEmpty()) {
        Prompts::current().warning(this, QStringLiteral("フォルダのパスを入力して下さい。"));
        return;
    }
    const int m = mode();
    if (!ensureFolder(m, path)) return;
    if (m != SetDataFolder) lastChosen_ = path;
    if (m != Backup && host_.dataSetReadOnly()) {
        Prompts::current().warning(
            this, QString::fromUtf8(onServer() ? kServerReadOnlyText
                                               : folder::ReadOnlyFileSystem::kReason));
        return;
    }
    bool done = false;
    try {
        switch (m) {
            case SetDataFolder: done = moveTo(path); break;
            case Backup: done = backUpTo(path); break;
            case Restore: done = restoreFrom(path); break;
            case LegacyImport: done = importFrom(path); break;
            default: break;
        }
    } catch (const store::StoreError& e) {
        // The server refused or could not be reached, or no scratch folder could be made:
        // the data set is as it was.
        Prompts::current().warning(this, qs(e.what()));
        return;
    }
    if (done) close();
}

bool Tdirsetform::moveTo(const QString& path) {
    const std::string folder = path.toStdString();
    if (store::fromCp932(store::toCp932(folder)) != folder) {
        Prompts::current().warning(
            this,
            QStringLiteral("このフォルダのパスには設定ファイルに書けない文字が含まれています。"
                           "別のフォルダを選んで下さい。"));
        return false;
    }
    // The new folder must not be in use by another computer either.
    auto lock = std::make_unique<folder::DataFolderLock>(folder);
    if (!folder::sameFolder(folder, context_.dataFolder()) && !lock->tryLock()) {
        Prompts::current().warning(this, QStringLiteral("移動先のフォルダは、") + lock->failure());
        return false;
    }
    closeDataDialogs();
    const auto switchFolder = [&] {
        store::Settings(context_.programFolder()).setDataFolder(folder);
        host_.setDataFolder(folder);
        host_.adoptDataFolderLock(std::move(lock));
    };
    folder::DataSetResult result = withReplaceConsent(
        QStringLiteral("保存先の設定"), path, [&](folder::ReplaceConsent consent) {
            return folder::moveDataSet(context_.dataFolder(), folder, switchFolder,
                                       store::FileSystem::current(), consent);
        });
    if (result.status == folder::DataSetStatus::ReplaceOther) return false;
    if (result.status == folder::DataSetStatus::ReadOnlyFile) {
        Prompts::current().warning(this, qs(result.message));
        return false;
    }
    if (result.status == folder::DataSetStatus::SameFolder) {
        Prompts::current().notice(this, qs(result.message));
        return false;
    }
    if (!result.message.empty()) Prompts::current().warning(this, qs(result.message));
    // Every window shows the data set of the new folder.
    DataSetEvents::announce(store::DataSetChange::of(store::DataSetChange::What::FolderChanged));
    plainMessage(this, QStringLiteral("保存先を") + QDir::toNativeSeparators(path) +
                           QStringLiteral("に変更しました。"));
    return true;
}

folder::DataSetResult Tdirsetform::withReplaceConsent(
    const QString& title, const QString& path,
    const std::function<folder::DataSetResult(folder::ReplaceConsent)>& run) {
    folder::DataSetResult result;
    {
        StatusText status(StatusBar1, this,
                          QStringLiteral("Quil.qudを") + QDir::toNativeSeparators(path) +
                              QStringLiteral("にコピー中"));
        result = run({});
    }
    if (result.status != folder::DataSetStatus::ReplaceOther) return result;
    // Another data set is there: replaced only when the user says so (No is the default).
    if (!Prompts::current().questionDefaultNo(this, title, qs(result.message), PromptIcon::Warning))
        return result;
    StatusText status(StatusBar1, this,
                      QStringLiteral("Quil.qudを") + QDir::toNativeSeparators(path) +
                          QStringLiteral("にコピー中"));
    return run({.otherDataSet = true});
}

bool Tdirsetform::backUpTo(const QString& path) {
    const std::string dest = path.toStdString();
    // A folder another copy of the program is using is no place for a backup: its data set
    // would change under it.
    auto lock = std::make_unique<folder::DataFolderLock>(dest);
    if (!folder::sameFolder(dest, context_.dataFolder()) && !lock->tryLock()) {
        Prompts::current().warning(
            this, QStringLiteral("バックアップ先のフォルダは、") + lock->failure());
        return false;
    }
    const folder::DataSetResult result = withReplaceConsent(
        QStringLiteral("データのバックアップ"), path, [&](folder::ReplaceConsent consent) {
            if (onServer())
                return openOnServer(context_.serverOpeners().backup, context_.serverConninfo(),
                                    dest, consent);
            return folder::backupDataSet(context_.dataFolder(), dest, store::FileSystem::current(),
                                         consent);
        });
    if (result.status == folder::DataSetStatus::ReplaceOther) return false;
    if (!result.done()) {
        if (result.status == folder::DataSetStatus::SameFolder)
            Prompts::current().notice(this, qs(result.message));
        else
            Prompts::current().warning(this, qs(result.message));
        return false;
    }
    plainMessage(this, QStringLiteral("バックアップが完了しました。"));
    return true;
}

bool Tdirsetform::confirmReplace() {
    if (!Prompts::current().question(
            this, QStringLiteral("データの読み込み"),
            QStringLiteral("現在保存中のデータは削除されますがよろしいですか？"),
            PromptIcon::Warning))
        return false;
    closeDataDialogs();
    return true;
}

bool Tdirsetform::restoreFrom(const QString& path) {
    folder::DataSetResult result;
    if (onServer()) {
        if (!confirmReplace()) return true;
        result = openOnServer(context_.serverOpeners().restore, context_.serverConninfo(),
                              path.toStdString());
    } else {
        // The backup is checked first; the question then shows both data sets.
        const std::string source = path.toStdString();
        result = folder::restoreDataSet(context_.dataFolder(), source);
        if (result.status == folder::DataSetStatus::ReplaceOther) {
            if (!Prompts::current().questionDefaultNo(this, QStringLiteral("データの読み込み"),
                                                      qs(result.message), PromptIcon::Warning))
                return true;
            closeDataDialogs();
            result = folder::restoreDataSet(context_.dataFolder(), source,
                                            store::FileSystem::current(), {.otherDataSet = true});
        }
    }
    if (!result.done()) {
        Prompts::current().warning(this, qs(result.message));
        return false;
    }
    afterReplace(result.stamp);
    plainMessage(this, QStringLiteral("読み込みが完了しました。"));
    return true;
}

bool Tdirsetform::importFrom(const QString& path) {
    if (!confirmReplace()) return true;
    folder::DataSetResult result;
    {
        StatusText status(StatusBar1, this, QStringLiteral("車両情報変換中。"));
        QProgressDialog progress(QStringLiteral("ミルテ台帳データを変換しています。"),
                                 QStringLiteral("キャンセル"), 0, 1000, this);
        progress.setWindowModality(Qt::WindowModal);
        progress.setMinimumDuration(500);
        const auto step = [&progress](std::int64_t done, std::int64_t total) {
            progress.setValue(total > 0 ? static_cast<int>(done * 1000 / total) : 0);
            QCoreApplication::processEvents();
            return !progress.wasCanceled();
        };
        if (onServer()) {
            result = openOnServer(context_.serverOpeners().importLegacy, context_.serverConninfo(),
                                  path.toStdString(), context_.programFolder(), step);
        } else {
            result = folder::importLegacyDataSet(context_.dataFolder(), path.toStdString(), step);
        }
    }
    if (result.status == folder::DataSetStatus::Cancelled) {
        Prompts::current().notice(this, qs(result.message));
        return true;
    }
    if (!result.done()) {
        Prompts::current().warning(this, qs(result.message));
        return false;
    }
    // Every imported vehicle is shown, as every vehicle of a new data set would be.
    store::Settings settings(context_.programFolder());
    std::size_t vehicles = 0;
    if (onServer()) {
        for (const store::StoredItem& s : openDataSet(context_)->items())
            if (!s.item.deleted() &&
                s.item.kind() == static_cast<std::int16_t>(store::ItemKind::Vehicle))
                ++vehicles;
    } else {
        vehicles =
            store::ItemStore(context_.dataFolder()).listLive(store::ItemKind::Vehicle).size();
    }
    settings.setCarMask(std::string(vehicles, '1'));
    settings.setDriverMask("1");
    afterReplace(result.stamp);
    QString text = QStringLiteral("読み込みが完了しました。");
    if (result.logLines > 0)
        text += QStringLiteral("\n変換ログに%1件の記録があります：%2")
                    .arg(result.logLines)
                    .arg(QDir::toNativeSeparators(qs(result.logPath)));
    plainMessage(this, text);
    return true;
}

void Tdirsetform::afterReplace(double stamp) {
    host_.setDataSetStamp(stamp);
    // Every window shows the new data set.
    DataSetEvents::announceReplaced();
    StatusBar1->showMessage(QStringLiteral("データ処理完了。"));
}

}  // namespace quil::ui
