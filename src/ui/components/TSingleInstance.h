#pragma once
// Keeps a second copy of the program from running alongside the first. The first copy
// holds the lock (flock) of a per-user file named after UniqueName and listens on a local
// socket of the same name; a later copy finds the lock taken and, under diActivateFirst,
// asks the first copy through the socket to bring its main window forward, then ends.
// Taking the lock is atomic, so of two copies started at the same moment exactly one runs;
// the system releases it when the copy ends, however it ends, so no lock is ever left
// behind to be judged stale, and nothing is written to take it.

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <map>
#include <stdexcept>

namespace quil::ui {

enum TDupInstAction { diActivateFirst = 0, diException = 1, diTerminate = 2 };

// A second TSingleInstance in one process ("Only single component allowed").
class EMultiSingleInstance : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A second copy of the program under diException; the message is ErrorMessage.
class EMultiAppInstance : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TSingleInstance : public QObject {
    Q_OBJECT
public:
    // Throws EMultiSingleInstance when another TSingleInstance exists in this process.
    // An owner that is a widget is the window brought forward when a later copy asks.
    explicit TSingleInstance(QObject* owner = nullptr);
    ~TSingleInstance() override;

    TDupInstAction DupInstAction() const { return action_; }
    void setDupInstAction(TDupInstAction action) { action_ = action; }
    QString ErrorMessage() const { return errorMessage_; }
    void setErrorMessage(const QString& message) { errorMessage_ = message; }
    QString UniqueName() const { return uniqueName_; }
    void setUniqueName(const QString& name) { uniqueName_ = name; }
    // The window to bring forward; defaults to the owner's window.
    void setMainWindow(QWidget* window) { mainWindow_ = window; }

    // The check, run once the properties are set (the owner calls it at load time). In the
    // first copy it takes the lock and starts listening and returns true. In a later copy
    // it fires OnDuplicate, then acts by DupInstAction: diActivateFirst asks the first copy
    // to come forward and posts a quit request, diException throws EMultiAppInstance,
    // diTerminate posts a quit request; it returns false.
    bool Loaded();
    bool isFirstInstance() const { return first_; }
    bool isDuplicate() const { return duplicate_; }
    // Whether the first copy answered a diActivateFirst request.
    bool activationDelivered() const { return delivered_; }

    static int instanceCount();
    // Where the lock file and the socket of `uniqueName` live for this user.
    static QString lockFilePath(const QString& uniqueName);
    static QString serverName(const QString& uniqueName);

Q_SIGNALS:
    // In a later copy, before the action.
    void OnDuplicate(quil::ui::TSingleInstance* Sender);
    // In the first copy, when a later copy asked it to come forward (after the window was
    // raised).
    void OnActivateRequest(quil::ui::TSingleInstance* Sender);

private:
    // True when this copy may run: it holds the lock, or no lock can be had at all.
    bool takeLock();
    void startServer();
    void acceptRequests();
    // False once the connection is closed.
    bool readRequest(int connection);
    void bringForward();
    bool askFirstToActivate();
    void postQuit();

    TDupInstAction action_ = diActivateFirst;
    QString errorMessage_;
    QString uniqueName_;
    QPointer<QWidget> mainWindow_;
    int lockFd_ = -1;  // the lock file, locked, while this is the first copy
    // The local socket later copies ask through (a plain Unix-domain socket: Qt's network
    // module, with the libraries it loads, would cost every start-up several milliseconds).
    int serverFd_ = -1;
    QByteArray serverPath_;
    std::map<int, QByteArray> connections_;  // socket → bytes read after its last whole line
    bool first_ = false;
    bool duplicate_ = false;
    bool delivered_ = false;
};

}  // namespace quil::ui
