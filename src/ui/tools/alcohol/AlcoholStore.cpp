#include "ui/tools/alcohol/AlcoholStore.h"

#include <QSqlQuery>
#include <QSqlRecord>
#include <algorithm>

#include "ext/ExtDatabase.h"
#include "folder/ReadOnlyFileSystem.h"
#include "ui/dialogs/DataSetAccess.h"
#include "ui/dialogs/MainContext.h"

namespace quil::alcohol {

namespace {

const QString kComponent = QStringLiteral("alcohol");

const std::vector<ext::Migration>& migrations() {
    static const std::vector<ext::Migration> list =
        ext::migrationsOf(folder::extschema::component("alcohol"));
    return list;
}

QString q(const std::string& s) { return QString::fromStdString(s); }
std::string s(const QVariant& v) { return v.toString().toStdString(); }

const char* const kCheckColumns =
    "id, checked_at, timing, driver, vehicle, checker, method, method_text, detector, reading,"
    " intoxicated, instructions, remarks, deleted, deleted_by, deleted_at";

// SQLite hands integers over as qlonglong: read them as such, without a conversion.
int intAt(const QSqlQuery& r, int column) { return static_cast<int>(r.value(column).toLongLong()); }

// An empty text needs no conversion (most remarks and instructions are empty).
std::string textAt(const QSqlQuery& r, int column) {
    const QVariant v = r.value(column);
    const QString text = v.toString();
    return text.isEmpty() ? std::string() : text.toStdString();
}

AlcoholCheck checkFrom(const QSqlQuery& r) {
    AlcoholCheck c;
    c.id = r.value(0).toLongLong();
    c.when = r.value(1).toDouble();
    c.timing = static_cast<CheckTiming>(intAt(r, 2));
    c.driver = intAt(r, 3);
    c.vehicle = intAt(r, 4);
    c.checker = textAt(r, 5);
    c.method = static_cast<CheckMethod>(intAt(r, 6));
    c.methodText = textAt(r, 7);
    const QVariant detector = r.value(8);
    c.detector = detector.isNull() ? 0 : detector.toLongLong();
    const QVariant reading = r.value(9);
    if (!reading.isNull()) c.reading = reading.toDouble();
    c.intoxicated = intAt(r, 10) != 0;
    c.instructions = textAt(r, 11);
    c.remarks = textAt(r, 12);
    c.deleted = intAt(r, 13) != 0;
    if (c.deleted) {
        c.deletedBy = textAt(r, 14);
        c.deletedAt = r.value(15).toDouble();
    }
    return c;
}

// The values of the columns after id, in order, for INSERT and UPDATE.
QVariantList valuesOf(const AlcoholCheck& c) {
    return {c.when,
            static_cast<int>(c.timing),
            c.driver,
            c.vehicle,
            q(c.checker),
            static_cast<int>(c.method),
            q(c.methodText),
            c.detector ? QVariant(qlonglong(c.detector)) : QVariant(QMetaType(QMetaType::LongLong)),
            c.reading ? QVariant(*c.reading) : QVariant(QMetaType(QMetaType::Double)),
            c.intoxicated ? 1 : 0,
            q(c.instructions),
            q(c.remarks)};
}

const QString kInsert = QStringLiteral(
    "INSERT INTO alcohol_check (checked_at, timing, driver, vehicle, checker, method,"
    " method_text, detector, reading, intoxicated, instructions, remarks)"
    " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");

}  // namespace

AlcoholStore::AlcoholStore(const std::string& dataFolder)
    : db_(std::make_unique<ext::ExtDatabase>(dataFolder)) {
    if (!ext::ExtDatabase::exists(dataFolder)) checkWritable();
    db_->open(true);
    if (db_->version(kComponent) < migrations().back().version) checkWritable();
    db_->migrate(kComponent, migrations());
}

void AlcoholStore::checkWritable() const {
    const auto* readOnly =
        dynamic_cast<const folder::ReadOnlyFileSystem*>(&store::FileSystem::current());
    if (readOnly && readOnly->refuses(db_->path()))
        throw ext::ExtError(db_->path() + "\n" + folder::ReadOnlyFileSystem::kReason);
}

AlcoholStore::~AlcoholStore() = default;

std::int64_t AlcoholStore::add(const AlcoholCheck& check) {
    checkWritable();
    std::int64_t id = 0;
    db_->transaction([&] { id = db_->exec(kInsert, valuesOf(check)).lastInsertId().toLongLong(); });
    announce(store::ExtensionPart::AlcoholChecks);
    return id;
}

void AlcoholStore::addAll(const std::vector<AlcoholCheck>& checks) {
    checkWritable();
    db_->transaction([&] {
        QSqlQuery query(db_->database());
        query.prepare(kInsert);
        for (const AlcoholCheck& c : checks) {
            const QVariantList values = valuesOf(c);
            for (int i = 0; i < values.size(); ++i) query.bindValue(i, values[i]);
            if (!query.exec()) db_->exec(kInsert, values);  // reports the driver's reason
        }
    });
    if (!checks.empty()) announce(store::ExtensionPart::AlcoholChecks);
}

void AlcoholStore::update(const AlcoholCheck& check) {
    checkWritable();
    db_->transaction([&] {
        QVariantList values = valuesOf(check);
        values.push_back(qlonglong(check.id));
        QSqlQuery done = db_->exec(
            QStringLiteral("UPDATE alcohol_check SET checked_at = ?, timing = ?, driver = ?,"
                           " vehicle = ?, checker = ?, method = ?, method_text = ?,"
                           " detector = ?, reading = ?, intoxicated = ?, instructions = ?,"
                           " remarks = ? WHERE id = ? AND deleted = 0"),
            values);
        if (done.numRowsAffected() != 1)
            throw ext::ExtError("このアルコールチェックは削除されたため修正できません。");
    });
    announce(store::ExtensionPart::AlcoholChecks);
}

void AlcoholStore::markDeleted(std::int64_t id, const std::string& who, store::DateTime when) {
    checkWritable();
    db_->transaction([&] {
        QSqlQuery done = db_->exec(
            QStringLiteral("UPDATE alcohol_check SET deleted = 1, deleted_by = ?, deleted_at = ?"
                           " WHERE id = ? AND deleted = 0"),
            {q(who), when, qlonglong(id)});
        if (done.numRowsAffected() != 1)
            throw ext::ExtError("このアルコールチェックはすでに削除されています。");
    });
    announce(store::ExtensionPart::AlcoholChecks);
}

std::optional<AlcoholCheck> AlcoholStore::find(std::int64_t id) {
    QSqlQuery r = db_->exec(QStringLiteral("SELECT %1 FROM alcohol_check WHERE id = ?")
                                .arg(QLatin1String(kCheckColumns)),
                            {qlonglong(id)});
    if (!r.next()) return std::nullopt;
    return checkFrom(r);
}

std::vector<AlcoholCheck> AlcoholStore::load(const CheckFilter& filter) {
    QString sql =
        QStringLiteral("SELECT %1 FROM alcohol_check WHERE 1").arg(QLatin1String(kCheckColumns));
    QVariantList binds;
    if (filter.firstDay) {
        sql += QStringLiteral(" AND checked_at >= ?");
        binds << store::dateOnly(*filter.firstDay);
    }
    if (filter.lastDay) {
        sql += QStringLiteral(" AND checked_at < ?");
        binds << store::dateOnly(*filter.lastDay) + 1;
    }
    if (filter.driver >= 0) {
        sql += QStringLiteral(" AND driver = ?");
        binds << filter.driver;
    }
    if (filter.vehicle >= 0) {
        sql += QStringLiteral(" AND vehicle = ?");
        binds << filter.vehicle;
    }
    if (!filter.withDeleted) sql += QStringLiteral(" AND deleted = 0");
    // No ORDER BY: sorting in SQLite costs more than the whole read. Rows come in the order
    // they were entered (or of the time index), nearly always time order already; the few
    // out of place are sorted below.
    // Forward only: SQLite hands the rows over without caching them a second time.
    QSqlQuery query(db_->database());
    query.setForwardOnly(true);
    if (!query.prepare(sql)) db_->exec(sql, binds);  // throws with the driver's reason
    for (int i = 0; i < binds.size(); ++i) query.bindValue(i, binds[i]);
    if (!query.exec()) db_->exec(sql, binds);
    std::vector<AlcoholCheck> checks;
    while (query.next()) checks.push_back(checkFrom(query));
    auto earlier = [](const AlcoholCheck& a, const AlcoholCheck& b) {
        return a.when < b.when || (a.when == b.when && a.id < b.id);
    };
    if (!std::is_sorted(checks.begin(), checks.end(), earlier))
        std::sort(checks.begin(), checks.end(), earlier);
    return checks;
}

std::int64_t AlcoholStore::count() {
    QSqlQuery r = db_->exec(QStringLiteral("SELECT COUNT(*) FROM alcohol_check"));
    return r.next() ? r.value(0).toLongLong() : 0;
}

std::vector<std::string> AlcoholStore::checkerNames() {
    QSqlQuery r =
        db_->exec(QStringLiteral("SELECT checker FROM alcohol_check WHERE checker <> ''"
                                 " GROUP BY checker ORDER BY MAX(id) DESC"));
    std::vector<std::string> names;
    while (r.next()) names.push_back(s(r.value(0)));
    return names;
}

std::vector<Detector> AlcoholStore::detectors() {
    QSqlQuery r =
        db_->exec(QStringLiteral("SELECT id, name, serial, in_use_since, last_inspection, retired"
                                 " FROM alcohol_detector ORDER BY id"));
    std::vector<Detector> list;
    while (r.next())
        list.push_back({r.value(0).toLongLong(), s(r.value(1)), s(r.value(2)),
                        r.value(3).toDouble(), r.value(4).toDouble(), r.value(5).toInt() != 0});
    return list;
}

std::int64_t AlcoholStore::addDetector(const Detector& d) {
    checkWritable();
    std::int64_t id = 0;
    db_->transaction([&] {
        id = db_->exec(QStringLiteral("INSERT INTO alcohol_detector (name, serial, in_use_since,"
                                      " last_inspection, retired) VALUES (?, ?, ?, ?, ?)"),
                       {q(d.name), q(d.serial), d.inUseSince, d.lastInspection, d.retired ? 1 : 0})
                 .lastInsertId()
                 .toLongLong();
    });
    announce(store::ExtensionPart::Detectors);
    return id;
}

void AlcoholStore::updateDetector(const Detector& d) {
    checkWritable();
    db_->transaction([&] {
        QSqlQuery done = db_->exec(
            QStringLiteral("UPDATE alcohol_detector SET name = ?, serial = ?, in_use_since = ?,"
                           " last_inspection = ?, retired = ? WHERE id = ?"),
            {q(d.name), q(d.serial), d.inUseSince, d.lastInspection, d.retired ? 1 : 0,
             qlonglong(d.id)});
        if (done.numRowsAffected() != 1) throw ext::ExtError("この検知器は登録されていません。");
    });
    announce(store::ExtensionPart::Detectors);
}

bool AlcoholStore::removeDetector(std::int64_t id) {
    checkWritable();
    bool removed = false;
    db_->transaction([&] {
        QSqlQuery used =
            db_->exec(QStringLiteral("SELECT COUNT(*) FROM alcohol_check WHERE detector = ?"),
                      {qlonglong(id)});
        if (used.next() && used.value(0).toLongLong() > 0) return;
        QSqlQuery done =
            db_->exec(QStringLiteral("DELETE FROM alcohol_detector WHERE id = ?"), {qlonglong(id)});
        if (done.numRowsAffected() != 1) throw ext::ExtError("この検知器は登録されていません。");
        removed = true;
    });
    if (removed) announce(store::ExtensionPart::Detectors);
    return removed;
}

std::string AlcoholStore::setting(const std::string& key, const std::string& defaultValue) {
    QSqlQuery r =
        db_->exec(QStringLiteral("SELECT value FROM alcohol_setting WHERE key = ?"), {q(key)});
    return r.next() ? s(r.value(0)) : defaultValue;
}

void AlcoholStore::setSetting(const std::string& key, const std::string& value) {
    checkWritable();
    db_->transaction([&] {
        db_->exec(
            QStringLiteral("INSERT OR REPLACE INTO alcohol_setting (key, value) VALUES (?, ?)"),
            {q(key), q(value)});
    });
    announce(store::ExtensionPart::Detectors);  // the register's settings go with its detectors
}

std::unique_ptr<CheckStore> openCheckStore(const ui::MainContext& context) {
    std::unique_ptr<CheckStore> store = checkStoreOpener(context)();
    store->setChangeListener(context.storeChangeListener());
    return store;
}

CheckStoreOpener checkStoreOpener(const ui::MainContext& context) {
    return [conninfo = context.serverConninfo(), open = context.serverOpeners().checks,
            folder = context.dataFolder()]() -> std::unique_ptr<CheckStore> {
        if (!conninfo.empty()) return ui::openOnServer(open, conninfo);
        return std::make_unique<AlcoholStore>(folder);
    };
}

bool registerExists(const ui::MainContext& context) {
    return !context.serverConninfo().empty() || ext::ExtDatabase::exists(context.dataFolder());
}

RegisterNames registerNames(const ui::MainContext& context) {
    if (context.serverConninfo().empty()) return RegisterNames::load(context.dataFolder());
    return RegisterNames::load(*ui::openDataSet(context));
}

}  // namespace quil::alcohol
