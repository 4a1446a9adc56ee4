#pragma once
// Where every file dialog of the program starts: in the folder a file of the same kind was
// last chosen in (kept in Quil.ini's FileDialog section across runs), else in Documents (the
// home folder when there is none), with a proposed name. Never in the working folder, which
// for a portable copy is its data folder.

#include <QString>
#include <functional>
#include <string>

class QFileDialog;
class QWidget;

namespace quil::ui {

enum class FileKind { Csv, Pdf, Png };

// The start folder for `kind` joined with `name` (a bare file name).
QString proposedFilePath(FileKind kind, const QString& name);
// Remembers the folder of a chosen file for the next dialog of its kind; empty does nothing.
void rememberFileFolder(FileKind kind, const QString& path);
// The program folder whose settings file keeps the folders across runs (the main window
// names its own at start); empty keeps them for this run only. Forgets this run's choices.
void keepFileFoldersIn(const std::string& programFolder);

// A save dialog starting at `proposed` (a full path, usually proposedFilePath); the chosen
// file's folder is remembered. Empty when cancelled.
QString chooseSaveFile(QWidget* parent, FileKind kind, const QString& title,
                       const QString& proposed, const QString& filter,
                       QString* selectedFilter = nullptr);
// An open dialog starting in the kind's folder; the chosen file's folder is remembered.
QString chooseOpenFile(QWidget* parent, FileKind kind, const QString& title,
                       const QString& filter);

// Makes a file dialog Japanese whatever the desktop's locale: Qt's own dialog (its texts
// come from Qt's Japanese translations), with the folders' type and the dates in Japanese.
// Every file dialog of the program is made so.
void prepareFileDialog(QFileDialog& dialog);

// Tests answer the dialogs: the function gets the path the dialog would start at and returns
// the chosen file (empty: cancelled). An empty function restores the real dialogs.
void setFileDialogForTesting(std::function<QString(const QString& start)> answer);

}  // namespace quil::ui
