#include "ui/dialogs/FileChoice.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QIdentityProxyModel>
#include <QLocale>
#include <QStandardPaths>
#include <map>

#include "store/Codec.h"
#include "store/Settings.h"
#include "store/StoreError.h"

namespace quil::ui {

namespace {

// This run's choices; they also cover a folder the settings file cannot hold.
std::map<FileKind, QString>& lastFolders() {
    static std::map<FileKind, QString> folders;
    return folders;
}

// The program folder whose Quil.ini keeps the choices across runs, in a section of this
// program's own (FileDialog, a key per kind) that none of the vehicle log's keys shares;
// empty for none.
std::string& settingsFolder() {
    static std::string folder;
    return folder;
}

constexpr std::string_view kSection = "FileDialog";

const char* kindKey(FileKind kind) {
    switch (kind) {
    case FileKind::Csv: return "Csv";
    case FileKind::Pdf: return "Pdf";
    case FileKind::Png: return "Png";
    }
    return "Csv";
}

std::function<QString(const QString&)>& testAnswer() {
    static std::function<QString(const QString&)> answer;
    return answer;
}

QString startFolder(FileKind kind) {
    const auto last = lastFolders().find(kind);
    if (last != lastFolders().end() && QFileInfo(last->second).isDir()) return last->second;
    if (!settingsFolder().empty()) {
        const QString saved = QString::fromStdString(
            store::Settings(settingsFolder()).ini().readText(kSection, kindKey(kind), ""));
        if (!saved.isEmpty() && QFileInfo(saved).isDir()) return saved;
    }
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return !documents.isEmpty() && QFileInfo(documents).isDir() ? documents : QDir::homePath();
}

// Qt's file list writes its dates in the desktop's locale and calls a folder "Folder" (Qt's
// Japanese texts lack the word): both in Japanese here, whatever the desktop's locale.
class JapaneseFileList : public QIdentityProxyModel {
public:
    using QIdentityProxyModel::QIdentityProxyModel;
    // QFileSystemModel's columns: name, size, type, date modified.
    static constexpr int kTypeColumn = 2, kModifiedColumn = 3;
    QVariant data(const QModelIndex& index, int role) const override {
        const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
        if (files && role == Qt::DisplayRole) {
            const QModelIndex source = mapToSource(index);
            if (index.column() == kTypeColumn && files->isDir(source))
                return QStringLiteral("フォルダー");
            if (index.column() == kModifiedColumn)
                return QLocale().toString(files->lastModified(source), QLocale::ShortFormat);
        }
        return QIdentityProxyModel::data(index, role);
    }
};

QString runFileDialog(QWidget* parent, QFileDialog::AcceptMode mode, const QString& title,
                      const QString& start, const QString& filter, QString* selectedFilter) {
    QFileDialog dialog(parent, title, start, filter);
    prepareFileDialog(dialog);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptSave ? QFileDialog::AnyFile
                                                       : QFileDialog::ExistingFile);
    if (selectedFilter && !selectedFilter->isEmpty()) dialog.selectNameFilter(*selectedFilter);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    if (selectedFilter) *selectedFilter = dialog.selectedNameFilter();
    return dialog.selectedFiles().constFirst();
}

QString remembered(FileKind kind, const QString& chosen) {
    rememberFileFolder(kind, chosen);
    return chosen;
}

}  // namespace

void prepareFileDialog(QFileDialog& dialog) {
    // Qt's own dialog: a desktop's native one speaks the desktop's language.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setProxyModel(new JapaneseFileList(&dialog));
}

QString proposedFilePath(FileKind kind, const QString& name) {
    return QDir(startFolder(kind)).filePath(name);
}

void rememberFileFolder(FileKind kind, const QString& path) {
    if (path.isEmpty()) return;
    const QString folder = QFileInfo(path).absolutePath();
    lastFolders()[kind] = folder;
    // Quil.ini is CP932: a folder it cannot name is kept for this run only. A file that
    // cannot be written keeps it for this run too; the main window's settings say so.
    const std::string utf8 = folder.toStdString();
    if (settingsFolder().empty() || !store::toCp932Exact(utf8)) return;
    try {
        store::Settings(settingsFolder()).ini().writeText(kSection, kindKey(kind), utf8);
    } catch (const store::StoreError&) {
    }
}

void keepFileFoldersIn(const std::string& programFolder) {
    settingsFolder() = programFolder;
    lastFolders().clear();
}

QString chooseSaveFile(QWidget* parent, FileKind kind, const QString& title,
                       const QString& proposed, const QString& filter, QString* selectedFilter) {
    if (testAnswer()) return remembered(kind, testAnswer()(proposed));
    return remembered(kind, runFileDialog(parent, QFileDialog::AcceptSave, title, proposed,
                                          filter, selectedFilter));
}

QString chooseOpenFile(QWidget* parent, FileKind kind, const QString& title,
                       const QString& filter) {
    const QString start = startFolder(kind);
    if (testAnswer()) return remembered(kind, testAnswer()(start));
    return remembered(kind,
                      runFileDialog(parent, QFileDialog::AcceptOpen, title, start, filter, nullptr));
}

void setFileDialogForTesting(std::function<QString(const QString&)> answer) {
    testAnswer() = std::move(answer);
}

}  // namespace quil::ui
