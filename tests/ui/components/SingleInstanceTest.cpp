// The single-instance guard: one per process, and one running copy per UniqueName, checked
// with real processes of a small helper program.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <cstring>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "TempDir.h"
#include "ui/components/TSingleInstance.h"

using namespace quil::ui;

namespace {

QString uniqueName(const char* tag) {
    return QStringLiteral("QuilTest-%1-%2")
        .arg(QCoreApplication::applicationPid())
        .arg(QString::fromLatin1(tag));
}

// The folder the helper copies keep their lock and socket files in: the test program's
// own temporary folder, removed at its end with whatever a killed copy left behind.
QString helperFolder() {
    static const quil::testing::TempDir dir;
    return QString::fromStdString(dir.path());
}

// One run of the helper program and the lines it printed.
class Copy {
public:
    Copy(const QString& name, TDupInstAction action, bool stay = false) {
        QStringList args{name, QString::number(int(action))};
        if (stay) args << QStringLiteral("stay");
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
        env.insert(QStringLiteral("TMPDIR"), helperFolder());
        process_.setProcessEnvironment(env);
        process_.start(QStringLiteral(QUIL_SINGLE_INSTANCE_HELPER), args);
    }
    ~Copy() {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }
    // Waits until the program printed `line`; false after the timeout.
    bool waitFor(const QString& line, int ms = 10000) {
        QElapsedTimer t;
        t.start();
        while (!lines().contains(line)) {
            if (t.elapsed() > ms) return false;
            if (!process_.waitForReadyRead(100) && process_.state() == QProcess::NotRunning) {
                collect();
                return lines().contains(line);
            }
            collect();
        }
        return true;
    }
    int finish(int ms = 10000) {
        if (!process_.waitForFinished(ms)) return -1;
        collect();
        return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -2;
    }
    void kill() {
        process_.kill();
        process_.waitForFinished(5000);
    }
    const QStringList& lines() {
        collect();
        return lines_;
    }

private:
    void collect() {
        buffer_ += process_.readAllStandardOutput();
        while (buffer_.contains('\n')) {
            const qsizetype n = buffer_.indexOf('\n');
            lines_ << QString::fromUtf8(buffer_.left(n));
            buffer_.remove(0, n + 1);
        }
    }
    QProcess process_;
    QByteArray buffer_;
    QStringList lines_;
};

}  // namespace

TEST(SingleInstance, OnlyOneGuardPerProcess) {
    EXPECT_EQ(TSingleInstance::instanceCount(), 0);
    {
        TSingleInstance guard;
        EXPECT_EQ(guard.DupInstAction(), diActivateFirst);
        EXPECT_EQ(guard.ErrorMessage(), QStringLiteral("すでに起動されています"));
        EXPECT_EQ(TSingleInstance::instanceCount(), 1);
        try {
            TSingleInstance second;
            ADD_FAILURE() << "a second guard was created";
        } catch (const EMultiSingleInstance& e) {
            EXPECT_STREQ(e.what(), "Only single component allowed");
        }
        EXPECT_EQ(TSingleInstance::instanceCount(), 1);
    }
    EXPECT_EQ(TSingleInstance::instanceCount(), 0);
    TSingleInstance again;  // the count went down with the failed and the destroyed guard
    EXPECT_EQ(TSingleInstance::instanceCount(), 1);
}

TEST(SingleInstance, ASecondCopyAsksTheFirstToComeForwardAndEndsThenAThirdRuns) {
    const QString name = uniqueName("activate");
    Copy first(name, diActivateFirst);
    ASSERT_TRUE(first.waitFor(QStringLiteral("first"))) << first.lines().join(u'|').toStdString();

    Copy second(name, diActivateFirst);
    EXPECT_EQ(second.finish(), 0);
    EXPECT_EQ(second.lines(),
              (QStringList{QStringLiteral("duplicate"), QStringLiteral("delivered 1"),
                           QStringLiteral("ended")}));
    EXPECT_TRUE(first.waitFor(QStringLiteral("activated")));
    EXPECT_EQ(first.finish(), 0);  // the helper ends once it was asked to come forward

    Copy third(name, diActivateFirst);
    EXPECT_TRUE(third.waitFor(QStringLiteral("first")));
}

TEST(SingleInstance, TerminateEndsQuietlyAndExceptionReportsTheErrorMessage) {
    const QString name = uniqueName("terminate");
    Copy first(name, diActivateFirst, true);
    ASSERT_TRUE(first.waitFor(QStringLiteral("first")));

    Copy quiet(name, diTerminate);
    EXPECT_EQ(quiet.finish(), 0);
    EXPECT_EQ(quiet.lines(), (QStringList{QStringLiteral("duplicate"),
                                          QStringLiteral("delivered 0"), QStringLiteral("ended")}));

    Copy loud(name, diException);
    EXPECT_EQ(loud.finish(), 3);
    // OnDuplicate comes first, then the exception with the message.
    EXPECT_EQ(loud.lines(), (QStringList{QStringLiteral("duplicate"),
                                         QStringLiteral("exception すでに起動されています")}));
    EXPECT_FALSE(first.lines().contains(QStringLiteral("activated")));
}

TEST(SingleInstance, DifferentNamesNeverSeeEachOther) {
    Copy a(uniqueName("a"), diActivateFirst, true);
    Copy b(uniqueName("b"), diActivateFirst, true);
    EXPECT_TRUE(a.waitFor(QStringLiteral("first")));
    EXPECT_TRUE(b.waitFor(QStringLiteral("first")));
}

TEST(SingleInstance, TheCopiesKeepTheirFilesInTheTestsOwnFolder) {
    const QString name = uniqueName("files");
    Copy first(name, diActivateFirst, true);
    ASSERT_TRUE(first.waitFor(QStringLiteral("first")));
    const QStringList files = QDir(helperFolder()).entryList(QDir::Files | QDir::System);
    EXPECT_TRUE(files.filter(QStringLiteral("QuilTest-")).size() >= 2)
        << files.join(u' ').toStdString();
    first.kill();
}

TEST(SingleInstance, ACopyThatDiedLeavesNoLockBehind) {
    const QString name = uniqueName("crash");
    {
        Copy first(name, diActivateFirst, true);
        ASSERT_TRUE(first.waitFor(QStringLiteral("first")));
        first.kill();  // no clean-up at all
    }
    Copy next(name, diActivateFirst, true);
    EXPECT_TRUE(next.waitFor(QStringLiteral("first")));
}

// The lock file of an earlier version (it wrote the holder's process into it) or of a copy
// that ended does not keep the next copy from running, and taking the lock writes nothing.
TEST(SingleInstance, ALeftOverLockFileIsNoLock) {
    const QString name = uniqueName("leftover");
    const QString lockFile =
        helperFolder() + u'/' + QFileInfo(TSingleInstance::lockFilePath(name)).fileName();
    const QByteArray content("999999\nquil\nelsewhere\n");
    {
        QFile old(lockFile);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write(content);
    }
    Copy first(name, diActivateFirst, true);
    ASSERT_TRUE(first.waitFor(QStringLiteral("first")));
    EXPECT_EQ(QFileInfo(lockFile).size(), content.size()) << "the file is locked, not rewritten";
    Copy second(name, diTerminate);
    EXPECT_EQ(second.finish(), 0);
    EXPECT_TRUE(second.lines().contains(QStringLiteral("duplicate")));
    first.kill();
}

TEST(SingleInstance, OfCopiesStartedTogetherExactlyOneRuns) {
    const QString name = uniqueName("race");
    std::vector<std::unique_ptr<Copy>> copies;
    for (int i = 0; i < 4; ++i) copies.push_back(std::make_unique<Copy>(name, diTerminate, true));
    int firsts = 0;
    int duplicates = 0;
    for (auto& c : copies) {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 10000 && !c->lines().contains(QStringLiteral("first")) &&
               !c->lines().contains(QStringLiteral("duplicate"))) {
            c->waitFor(QStringLiteral("first"), 100);
        }
        firsts += c->lines().contains(QStringLiteral("first"));
        duplicates += c->lines().contains(QStringLiteral("duplicate"));
    }
    EXPECT_EQ(firsts, 1);
    EXPECT_EQ(duplicates, 3);
}

namespace {

// The socket path of `name` as the helper copies see it (their TMPDIR, no runtime folder).
QByteArray helperSocketPath(const QString& name) {
    const QByteArray oldTmp = qgetenv("TMPDIR");
    const QByteArray oldRuntime = qgetenv("XDG_RUNTIME_DIR");
    qputenv("TMPDIR", helperFolder().toLocal8Bit());
    qunsetenv("XDG_RUNTIME_DIR");
    const QByteArray path = TSingleInstance::serverName(name).toLocal8Bit();
    oldTmp.isNull() ? qunsetenv("TMPDIR") : qputenv("TMPDIR", oldTmp);
    if (!oldRuntime.isNull()) qputenv("XDG_RUNTIME_DIR", oldRuntime);
    return path;
}

// A connection to the first copy's socket, as any local program could make one.
int connectTo(const QByteArray& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), std::size_t(path.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    timeval wait{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    return fd;
}

}  // namespace

TEST(SingleInstance, StrayConnectionsNeitherBringTheFirstCopyForwardNorStopItAnswering) {
    const QString name = uniqueName("stray");
    Copy first(name, diActivateFirst, true);
    ASSERT_TRUE(first.waitFor(QStringLiteral("first")));
    const QByteArray path = helperSocketPath(name);
    // Only this user may connect: the socket file grants nothing to anyone else.
    struct stat st {};
    ASSERT_EQ(::stat(path.constData(), &st), 0) << path.constData();
    EXPECT_TRUE(S_ISSOCK(st.st_mode));
    EXPECT_EQ(st.st_mode & 077, 0u);

    const int silent = connectTo(path);  // connects and says nothing
    ASSERT_GE(silent, 0);
    const int hangsUp = connectTo(path);
    ::close(hangsUp);
    const int wrong = connectTo(path);  // a line that is no request: no answer, stays open
    ASSERT_GE(wrong, 0);
    ASSERT_EQ(::send(wrong, "hello\n", 6, MSG_NOSIGNAL), 6);
    const int endless = connectTo(path);  // a line without end: cut off
    ASSERT_GE(endless, 0);
    const QByteArray flood(4096, 'x');
    ASSERT_EQ(::send(endless, flood.constData(), std::size_t(flood.size()), MSG_NOSIGNAL),
              flood.size());
    char byte = 0;
    EXPECT_EQ(::read(endless, &byte, 1), 0);  // the first copy closed it

    Copy second(name, diActivateFirst);
    EXPECT_EQ(second.finish(), 0);
    EXPECT_TRUE(second.lines().contains(QStringLiteral("delivered 1")));
    EXPECT_TRUE(first.waitFor(QStringLiteral("activated")));
    EXPECT_EQ(first.lines().count(QStringLiteral("activated")), 1);
    for (int fd : {silent, wrong, endless}) ::close(fd);
}
