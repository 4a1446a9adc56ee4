#include "ext/ExtDatabase.h"

#include <QAtomicInt>
#include <QFileInfo>
#include <QSqlError>
#include <optional>

#include "folder/ExtensionSchema.h"
#include "folder/FileCopy.h"
#include "folder/ReadOnlyFileSystem.h"
#include "store/ItemStore.h"
#include "store/RecordStore.h"
#include "store/StoreError.h"

namespace quil::ext {

namespace {

QAtomicInt connectionCounter;

QString fromUtf8(const std::string& s) { return QString::fromStdString(s); }

ExtDatabase::SetAsideHandler& setAsideHandler() {
    static ExtDatabase::SetAsideHandler handler;
    return handler;
}

// SQLite's codes for a file another connection holds (SQLITE_BUSY, SQLITE_LOCKED).
bool heldByAnother(const QSqlError& error) {
    const QString code = error.nativeErrorCode();
    return code == QLatin1String("5") || code == QLatin1String("6") ||
           error.databaseText().contains(QLatin1String("database is locked"));
}

}  // namespace

void ExtDatabase::setSetAsideHandler(SetAsideHandler handler) {
    setAsideHandler() = std::move(handler);
}

ExtDatabase::ExtDatabase(const std::string& dataFolder)
    : dataFolder_(dataFolder),
      path_(dataFolder + kExtFileName),
      connection_(QStringLiteral("QuilExt-%1").arg(connectionCounter.fetchAndAddRelaxed(1))) {}

ExtDatabase::~ExtDatabase() { close(); }

void ExtDatabase::close() {
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

void ExtDatabase::fail(const QString& what, const QSqlError& error) const {
    if (heldByAnother(error))
        fail(what, QStringLiteral("別のプログラム（または別のコンピューター）が使用中です。"
                                  "しばらくしてからもう一度実行して下さい。"));
    fail(what, error.text());
}

bool ExtDatabase::writable() const {
    const auto* readOnly =
        dynamic_cast<const folder::ReadOnlyFileSystem*>(&store::FileSystem::current());
    return !(readOnly && readOnly->refuses(path_));
}

bool ExtDatabase::belongsToDataSet() {
    std::optional<store::FileHeader> items;
    try {
        items = store::readFileHeader(dataFolder_ + store::kItemFileName);
    } catch (const store::StoreError&) {
        return true;  // no stamp to compare with: the data set's own check reports the file
    }
    if (!items || items->empty) return true;
    const double stamp = items->stamp;
    // Read first: every open of a file that has its stamp writes nothing (a write here would
    // cost a synced transaction on every read of the register).
    if (exec(QStringLiteral("SELECT 1 FROM sqlite_master WHERE name = 'data_set'")).next()) {
        QSqlQuery q = exec(QStringLiteral("SELECT stamp FROM data_set WHERE id = 1"));
        if (q.next()) return q.value(0).toDouble() == stamp;
    }
    if (writable())
        transaction([&] {
            exec(QString::fromUtf8(folder::extschema::kDataSetTable));
            exec(QStringLiteral("INSERT OR IGNORE INTO data_set(id, stamp) VALUES(1, ?)"),
                 {stamp});
        });
    return true;
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
    if (!db.open()) fail(QStringLiteral("を開けません"), db.lastError());

    bool ours = true;
    try {
        // Reading the schema proves the file is a database; a text file fails here.
        exec(QStringLiteral("PRAGMA journal_mode=DELETE"));
        exec(QStringLiteral("PRAGMA synchronous=FULL"));
        exec(QStringLiteral("PRAGMA foreign_keys=ON"));
        exec(QString::fromUtf8(folder::extschema::kVersionTable));
        ours = belongsToDataSet();
    } catch (...) {
        close();
        throw;
    }
    if (ours) return true;

    // Another data set's rows would be read against this data set's items: never used.
    close();
    if (!writable()) return false;
    const std::string aside =
        dataFolder_ + folder::setAsideName(dataFolder_, kExtFileName, store::FileSystem::current());
    store::FileSystem::current().rename(path_, aside);
    if (setAsideHandler()) setAsideHandler()(path_, aside);
    return open(create);
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
    if (!query.prepare(sql)) fail(QStringLiteral("を読み書きできません"), query.lastError());
    for (const QVariant& v : binds) query.addBindValue(v);
    if (!query.exec()) fail(QStringLiteral("を読み書きできません"), query.lastError());
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

std::vector<Migration> migrationsOf(const folder::extschema::Component& component) {
    std::vector<Migration> out;
    for (int version = 1; version <= component.version; ++version) {
        Migration step{version, {}};
        for (const std::string& sql : folder::extschema::sqliteStatements(component, version))
            step.statements.push_back(QString::fromStdString(sql));
        out.push_back(std::move(step));
    }
    return out;
}

}  // namespace quil::ext
