#include "ui/dialogs/FileChoice.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStandardPaths>
#include <map>

namespace quil::ui {

namespace {

std::map<FileKind, QString>& lastFolders() {
    static std::map<FileKind, QString> folders;
    return folders;
}

std::function<QString(const QString&)>& testAnswer() {
    static std::function<QString(const QString&)> answer;
    return answer;
}

QString startFolder(FileKind kind) {
    const auto last = lastFolders().find(kind);
    if (last != lastFolders().end() && QFileInfo(last->second).isDir()) return last->second;
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return !documents.isEmpty() && QFileInfo(documents).isDir() ? documents : QDir::homePath();
}

QString remembered(FileKind kind, const QString& chosen) {
    rememberFileFolder(kind, chosen);
    return chosen;
}

}  // namespace

QString proposedFilePath(FileKind kind, const QString& name) {
    return QDir(startFolder(kind)).filePath(name);
}

void rememberFileFolder(FileKind kind, const QString& path) {
    if (!path.isEmpty()) lastFolders()[kind] = QFileInfo(path).absolutePath();
}

QString chooseSaveFile(QWidget* parent, FileKind kind, const QString& title,
                       const QString& proposed, const QString& filter, QString* selectedFilter) {
    if (testAnswer()) return remembered(kind, testAnswer()(proposed));
    return remembered(kind, QFileDialog::getSaveFileName(parent, title, proposed, filter,
                                                         selectedFilter));
}

QString chooseOpenFile(QWidget* parent, FileKind kind, const QString& title,
                       const QString& filter) {
    const QString start = startFolder(kind);
    if (testAnswer()) return remembered(kind, testAnswer()(start));
    return remembered(kind, QFileDialog::getOpenFileName(parent, title, start, filter));
}

void setFileDialogForTesting(std::function<QString(const QString&)> answer) {
    testAnswer() = std::move(answer);
}

}  // namespace quil::ui
