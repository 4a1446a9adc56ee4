#include "ext/ExtDatabase.h"

#include <QAtomicInt>
#include <QFileInfo>
#include <QSqlError>

namespace quil::ext {

namespace {

QAtomicInt connectionCounter;

QString fromUtf8(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

ExtDatabase::ExtDatabase(const std::string& dataFolder)
    : path_(dataFolder + kExtFileName),
      connection_(QStringLiteral("QuilExt-%1").arg(connectionCounter.fetchAndAddRelaxed(1))) {}

ExtDatabase::~ExtDatabase() {
    if (QSqlDatabase::contains(connection_)) {
        {
            QSqlDatabase db = QSqlDatabase::database(connection_, false);
            if (db.isOpen()) db.close();
        }
        QSqlDatabase::removeDatabase(connection_);
    }
}

bool ExtDatabase::exists(const std::string& dataFolder) {
    return QFileInfo::exists(fromUtf8(dataFolder + kExtFileName));
}

void ExtDatabase::fail(const QString& what, const QString& reason) const {
    // "/…/QuilExt.db を開けません。" and the reason on its own line.
    QString message = QStringLiteral("%1 %2。").arg(fromUtf8(path_), what);
    if (!reason.trimmed().isEmpty()) message += QLatin1Char('\n') + reason.trimmed();
    throw ExtError(message.toStdString());
}

bool ExtDatabase::open(bool create) {
    if (isOpen()) return true;
    const bool existed = QFileInfo::exists(fromUtf8(path_));
    if (!existed && !create) return false;
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE")))
        fail(QStringLiteral("を開けません"),
             QStringLiteral("SQLite のドライバーがありません (libqt6sql6-sqlite)。"));

    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection_);
    db.setDatabaseName(fromUtf8(path_));
    // Another window (or computer) writing at the same moment is waited for, not failed.
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    if (!db.open()) fail(QStringLiteral("を開けません"), db.lastError().text());

    try {
        // Reading the schema proves the file is a database; a text file fails here.
        exec(QStringLiteral("PRAGMA journal_mode=DELETE"));
        exec(QStringLiteral("PRAGMA synchronous=FULL"));
        exec(QStringLiteral("PRAGMA foreign_keys=ON"));
        exec(
            QStringLiteral("CREATE TABLE IF NOT EXISTS schema_version ("
                           "component TEXT PRIMARY KEY NOT NULL, version INTEGER NOT NULL)"));
    } catch (...) {
        db.close();
        QSqlDatabase::removeDatabase(connection_);
        throw;
    }
    return true;
}

bool ExtDatabase::isOpen() const {
    return QSqlDatabase::contains(connection_) &&
           QSqlDatabase::database(connection_, false).isOpen();
}

QSqlDatabase ExtDatabase::database() const { return QSqlDatabase::database(connection_, false); }

QSqlQuery ExtDatabase::exec(const QString& sql, const QVariantList& binds) {
    if (!isOpen()) fail(QStringLiteral("を開いていません"), QString());
    QSqlQuery query(database());
    query.setForwardOnly(true);
    if (!query.prepare(sql)) fail(QStringLiteral("を読み書きできません"), query.lastError().text());
    for (const QVariant& v : binds) query.addBindValue(v);
    if (!query.exec()) fail(QStringLiteral("を読み書きできません"), query.lastError().text());
    return query;
}

int ExtDatabase::version(const QString& component) {
    QSqlQuery q =
        exec(QStringLiteral("SELECT version FROM schema_version WHERE component = ?"), {component});
    return q.next() ? q.value(0).toInt() : 0;
}

void ExtDatabase::transaction(const std::function<void()>& work) {
    QSqlDatabase db = database();
    if (!db.transaction()) fail(QStringLiteral("に書き込めません"), db.lastError().text());
    try {
        work();
    } catch (...) {
        db.rollback();
        throw;
    }
    if (!db.commit()) {
        const QString reason = db.lastError().text();
        db.rollback();
        fail(QStringLiteral("に書き込めません"), reason);
    }
}

void ExtDatabase::migrate(const QString& component, const std::vector<Migration>& migrations) {
    const int last = migrations.empty() ? 0 : migrations.back().version;
    const int stored = version(component);
    if (stored > last)
        fail(QStringLiteral("は新しい版のプログラムで書かれています"),
             QStringLiteral("%1: 版 %2 (このプログラムは版 %3 まで)")
                 .arg(component)
                 .arg(stored)
                 .arg(last));
    if (stored == last) return;
    transaction([&] {
        for (const Migration& m : migrations) {
            if (m.version <= stored) continue;
            for (const QString& statement : m.statements) exec(statement);
        }
        exec(QStringLiteral("INSERT INTO schema_version(component, version) VALUES(?, ?) "
                            "ON CONFLICT(component) DO UPDATE SET version = excluded.version"),
             {component, last});
    });
}

}  // namespace quil::ext
