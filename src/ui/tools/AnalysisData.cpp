#include "ui/tools/AnalysisData.h"

#include "reports/OdometerCheck.h"
#include "ui/dialogs/MainContext.h"

namespace quil::analysis {

namespace {

const QString kDailyLimitKey = QStringLiteral("odometer_daily_limit_km");

// Opens the file for reading: false when it or the component's tables are missing. An
// older version of the tables is brought up to date first.
bool openForReading(ext::ExtDatabase& db) {
    if (!db.open(false)) return false;
    if (db.version(AnalysisData::component()) == 0) return false;
    db.migrate(AnalysisData::component(), AnalysisData::migrations());
    return true;
}

void openForWriting(ext::ExtDatabase& db) {
    db.open(true);
    db.migrate(AnalysisData::component(), AnalysisData::migrations());
}

}  // namespace

const QString& AnalysisData::component() {
    static const QString name = QStringLiteral("analysis");
    return name;
}

const std::vector<ext::Migration>& AnalysisData::migrations() {
    static const std::vector<ext::Migration> list =
        ext::migrationsOf(folder::extschema::component("analysis"));
    return list;
}

std::vector<analysis::MaintenanceCycle> AnalysisData::loadCycles() {
    std::vector<analysis::MaintenanceCycle> out;
    ext::ExtDatabase db(dataFolder_);
    if (!openForReading(db)) return out;
    QSqlQuery q = db.exec(
        QStringLiteral("SELECT item, months, km, first_months FROM analysis_cycle ORDER BY item"));
    while (q.next())
        out.push_back(
            {q.value(0).toInt(), q.value(1).toInt(), q.value(2).toInt(), q.value(3).toInt()});
    return out;
}

void AnalysisData::saveCycles(const std::vector<analysis::MaintenanceCycle>& cycles) {
    {
        ext::ExtDatabase db(dataFolder_);
        openForWriting(db);
        db.transaction([&] {
            db.exec(QStringLiteral("DELETE FROM analysis_cycle"));
            for (const analysis::MaintenanceCycle& c : cycles) {
                if (!c.active() || c.item < 0) continue;
                db.exec(QStringLiteral("INSERT OR REPLACE INTO analysis_cycle(item, months, km, "
                                       "first_months) VALUES(?, ?, ?, ?)"),
                        {c.item, c.months, c.km, c.firstMonths});
            }
        });
    }
    announce(store::ExtensionPart::MaintenanceCycles);
}

double AnalysisData::dailyLimitKm() {
    ext::ExtDatabase db(dataFolder_);
    if (!openForReading(db)) return analysis::kDefaultDailyLimitKm;
    QSqlQuery q = db.exec(QStringLiteral("SELECT value FROM analysis_setting WHERE key = ?"),
                          {kDailyLimitKey});
    bool ok = false;
    const double v = q.next() ? q.value(0).toString().toDouble(&ok) : 0;
    return ok && v > 0 ? v : analysis::kDefaultDailyLimitKm;
}

void AnalysisData::setDailyLimitKm(double km) {
    {
        ext::ExtDatabase db(dataFolder_);
        openForWriting(db);
        db.exec(QStringLiteral("INSERT OR REPLACE INTO analysis_setting(key, value) VALUES(?, ?)"),
                {kDailyLimitKey, QString::number(km)});
    }
    announce(store::ExtensionPart::MaintenanceCycles);  // the analysis settings are one part
}

std::unique_ptr<analysis::AnalysisStore> openAnalysisStore(const ui::MainContext& context) {
    // The odometer check's worker opens its own through the opener and only reads.
    std::unique_ptr<analysis::AnalysisStore> store = analysisStoreOpener(context)();
    store->setChangeListener(context.storeChangeListener());
    return store;
}

AnalysisStoreOpener analysisStoreOpener(const ui::MainContext& context) {
    return [conninfo = context.serverConninfo(), open = context.serverOpeners().analysis,
            folder = context.dataFolder()]() -> std::unique_ptr<analysis::AnalysisStore> {
        if (!conninfo.empty()) return ui::openOnServer(open, conninfo);
        return std::make_unique<AnalysisData>(folder);
    };
}

}  // namespace quil::analysis
