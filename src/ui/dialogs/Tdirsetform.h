#pragma once
// The data folder dialog, one dialog in four modes named by its caption: choosing a new
// data folder ("保存先の設定", the data set moves there), backing up ("データのバックアップ"),
// restoring ("データの読み込み") and importing a legacy data set ("ミルテ台帳データの読み込み").
// Created once, shown modeless over the main window.

#include <QDialog>
#include <QPointer>
#include <QString>
#include <functional>
#include <vector>

#include "folder/DataSetFiles.h"

class QComboBox;
class QFileSystemModel;
class QLabel;
class QLineEdit;
class QPushButton;
class QStatusBar;
class QTreeView;

namespace quil::ui {

class DataFolderHost;
class MainContext;
class TServerForm;

class Tdirsetform : public QDialog {
    Q_OBJECT
public:
    enum Mode { SetDataFolder = 1, Backup = 2, Restore = 3, LegacyImport = 4 };

    Tdirsetform(MainContext& context, DataFolderHost& host, QWidget* parent);

    // Sets the caption and prompt of `mode` and the folder it opens at (the data folder in
    // mode 1, the folder last chosen in the others), then shows the dialog.
    void Open(int mode);
    // Shows the choice of a server data set (保存先の設定－サーバー).
    void openServerChoice();
    // The dialogs that could write into a data set being replaced; closed first.
    void setDialogsToClose(std::vector<QWidget*> dialogs);

    // The mode named by the caption, 0 for none.
    int mode() const;
    // Whether the data set is on a server: the commands work on it instead of a folder.
    bool onServer() const;
    // The folder the tree and Edit1 show, ending with '/'.
    void setFolder(const QString& folder);

    QLabel* Label1 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QComboBox* DriveComboBox1 = nullptr;
    QTreeView* DirectoryListBox1 = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;
    QPushButton* ServerButton = nullptr;  // 保存先の設定 only: a server instead of a folder
    QStatusBar* StatusBar1 = nullptr;

public Q_SLOTS:
    void DriveComboBox1Change(int index);
    void DirectoryListBox1Change();
    void Button1Click();
    void Button2Click() { close(); }

private:
    void fillDrives();
    void selectDrive(const QString& folder);
    // Enter in Edit1: the tree shows the folder typed, and OK has the focus.
    void showTypedFolder();
    void followLoaded(const QString& loaded);
    // The path of Edit1 with a separator at its end; empty when it is no absolute path.
    QString chosenPath() const;
    bool ensureFolder(int mode, const QString& path);
    void closeDataDialogs();
    void afterReplace(double stamp);
    // Each mode; true when the dialog is done and closes.
    // Runs a copy into `path`; when a data set is already there, asks under `title` whether
    // to replace it and runs again with that consent.
    folder::DataSetResult withReplaceConsent(
        const QString& title, const QString& path,
        const std::function<folder::DataSetResult(folder::ReplaceConsent)>& run);
    bool moveTo(const QString& path);
    bool backUpTo(const QString& path);
    // Asks before the current data set is replaced; on Yes closes the dialogs that could
    // write into it. False when the user declined.
    bool confirmReplace();
    bool restoreFrom(const QString& path);
    bool importFrom(const QString& path);
    QPointer<TServerForm> serverForm_;

    MainContext& context_;
    DataFolderHost& host_;
    QFileSystemModel* model_ = nullptr;
    QString lastChosen_;
    // The folder the tree is brought to while its parents are still being read (the model
    // reads folders in the background); empty once it is shown.
    QString following_;
    std::vector<QPointer<QWidget>> dialogsToClose_;
};

}  // namespace quil::ui
