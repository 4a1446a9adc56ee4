#pragma once
// 保存先の設定's choice of a server: the data set on a PostgreSQL server, named by a libpq
// connection string or service ("service=quil"). A connection test says what is there; OK
// opens the server's data set, or, when its database is empty, sends the current data
// folder's data set there first. The string is kept in Quil.ini (Dir/Server) without any
// password: passwords belong in libpq's password file (~/.pgpass).

#include <QDialog>
#include <functional>
#include <string>

class QLabel;
class QLineEdit;
class QPushButton;
class QStatusBar;

namespace quil::ui {

class DataFolderHost;
class MainContext;

class TServerForm : public QDialog {
    Q_OBJECT
public:
    TServerForm(MainContext& context, DataFolderHost& host, QWidget* parent);

    // Shows the dialog with the connection string in use or saved last.
    void Open();

    QLineEdit* Edit1 = nullptr;  // the connection string
    QPushButton* TestButton = nullptr;
    QPushButton* FolderButton = nullptr;  // back to the data folder (on a server data set)
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    // Runs just before the program switches to the server data set.
    std::function<void()> beforeSwitch;

public Q_SLOTS:
    void TestButtonClick();
    void Button1Click();
    void FolderButtonClick();

private:
    // The string typed, or empty (with a message) when it cannot be used.
    std::string chosenConninfo();

    MainContext& context_;
    DataFolderHost& host_;
};

}  // namespace quil::ui
