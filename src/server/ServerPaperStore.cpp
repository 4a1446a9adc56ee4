#include "server/ServerPaperStore.h"

#include "ExtensionTables.h"
#include "ServerSchema.h"
#include "store/DataStore.h"

namespace quil::server {
namespace {

using papers::DriverLicence;
using papers::VehiclePaper;

constexpr const char* kLicenceTail =
    ", kinds, conditions, expiry, seen_on, seen_by, remarks, renewed FROM quil_driver_licence";
constexpr const char* kPaperSelect =
    "SELECT id, vehicle, kind, title, insurer, number, expiry, remarks, renewed"
    " FROM quil_vehicle_paper";

DriverLicence licenceOf(const PgResult& r, int i) {
    DriverLicence l;
    l.id = intOf(r.text(i, 0));
    l.driver = static_cast<int>(intOf(r.text(i, 1)));
    l.number = std::string(r.text(i, 2));
    l.kinds = std::string(r.text(i, 3));
    l.conditions = std::string(r.text(i, 4));
    l.expiry = realOf(r.text(i, 5));
    l.seenOn = realOf(r.text(i, 6));
    l.seenBy = std::string(r.text(i, 7));
    l.remarks = std::string(r.text(i, 8));
    l.renewed = r.text(i, 9) == "t";
    return l;
}

VehiclePaper paperOf(const PgResult& r, int i) {
    VehiclePaper p;
    p.id = intOf(r.text(i, 0));
    p.vehicle = static_cast<int>(intOf(r.text(i, 1)));
    p.kind = papers::kindOf(static_cast<int>(intOf(r.text(i, 2)))).value_or(papers::PaperKind::Other);
    p.title = std::string(r.text(i, 3));
    p.insurer = std::string(r.text(i, 4));
    p.number = std::string(r.text(i, 5));
    p.expiry = realOf(r.text(i, 6));
    p.remarks = std::string(r.text(i, 7));
    p.renewed = r.text(i, 8) == "t";
    return p;
}

[[noreturn]] void changed(const char* table) {
    throw store::RecordChangedError(table, papers::kEntryChangedText);
}

std::vector<DriverLicence> licencesOf(const PgResult& r) {
    std::vector<DriverLicence> out;
    for (int i = 0; i < r.rows(); ++i) out.push_back(licenceOf(r, i));
    return out;
}

std::vector<VehiclePaper> papersOf(const PgResult& r) {
    std::vector<VehiclePaper> out;
    for (int i = 0; i < r.rows(); ++i) out.push_back(paperOf(r, i));
    return out;
}

// One column an entry is written to, with its value and the statement's cast of it.
struct Written {
    const char* column;
    PgParam value;
    const char* cast = "";
};

Written float8(const char* column, double v) { return {column, PgParam::float8(v), "::float8"}; }

// The columns a new or corrected entry writes (id, renewed and version are the store's).
std::vector<Written> written(const DriverLicence& l) {
    return {{"driver", PgParam::number(l.driver)},
            {"number", PgParam::text(l.number)},
            {"kinds", PgParam::text(l.kinds)},
            {"conditions", PgParam::text(l.conditions)},
            float8("expiry", l.expiry),
            float8("seen_on", l.seenOn),
            {"seen_by", PgParam::text(l.seenBy)},
            {"remarks", PgParam::text(l.remarks)}};
}

std::vector<Written> written(const VehiclePaper& p) {
    return {{"vehicle", PgParam::number(p.vehicle)},
            {"kind", PgParam::number(static_cast<int>(p.kind))},
            {"title", PgParam::text(p.title)},
            {"insurer", PgParam::text(p.insurer)},
            {"number", PgParam::text(p.number)},
            float8("expiry", p.expiry),
            {"remarks", PgParam::text(p.remarks)}};
}

const char* tableOf(const DriverLicence&) { return "quil_driver_licence"; }
const char* tableOf(const VehiclePaper&) { return "quil_vehicle_paper"; }

// Of one driver's licences the one of the latest expiry (then the newest) is current.
void settle(PgConnection& c, const DriverLicence& l) {
    c.exec(
        "WITH c AS (SELECT id FROM quil_driver_licence WHERE driver = $1"
        "           ORDER BY expiry DESC, id DESC LIMIT 1)"
        " UPDATE quil_driver_licence t SET renewed = (t.id <> c.id), version = t.version + 1"
        " FROM c WHERE t.driver = $1 AND t.renewed <> (t.id <> c.id)",
        {PgParam::number(l.driver)});
}

// Likewise of one vehicle's papers of one kind (of the other kind, of one title).
void settle(PgConnection& c, const VehiclePaper& p) {
    c.exec(
        "WITH c AS (SELECT id FROM quil_vehicle_paper WHERE vehicle = $1 AND kind = $2"
        "           AND (kind <> 3 OR title = $3) ORDER BY expiry DESC, id DESC LIMIT 1)"
        " UPDATE quil_vehicle_paper t SET renewed = (t.id <> c.id), version = t.version + 1"
        " FROM c WHERE t.vehicle = $1 AND t.kind = $2 AND (t.kind <> 3 OR t.title = $3)"
        " AND t.renewed <> (t.id <> c.id)",
        {PgParam::number(p.vehicle), PgParam::number(static_cast<int>(p.kind)),
         PgParam::text(p.title)});
}

// Whether two entries are settled as one group (one driver; one vehicle's papers of a kind).
bool settledTogether(const DriverLicence& a, const DriverLicence& b) {
    return a.driver == b.driver;
}
bool settledTogether(const VehiclePaper& a, const VehiclePaper& b) {
    return papers::samePaper(a, b);
}

// Locks the stored entry of that id; RecordChangedError unless it is still as read.
void lockUnchanged(PgConnection& c, const DriverLicence& was) {
    const PgResult r = c.exec(
        std::string("SELECT id, driver, number") + kLicenceTail + " WHERE id = $1 FOR UPDATE",
        {PgParam::number(was.id)});
    if (r.rows() != 1 || !(licenceOf(r, 0) == was)) changed("quil_driver_licence");
}

void lockUnchanged(PgConnection& c, const VehiclePaper& was) {
    const PgResult r =
        c.exec(std::string(kPaperSelect) + " WHERE id = $1 FOR UPDATE", {PgParam::number(was.id)});
    if (r.rows() != 1 || !(paperOf(r, 0) == was)) changed("quil_vehicle_paper");
}

// Stores a new entry as current of its group, inside the caller's transaction.
template <typename Entry>
std::int64_t insertEntry(PgConnection& c, const Entry& e) {
    std::string columns;
    std::string values;
    std::vector<PgParam> params;
    for (Written& w : written(e)) {
        params.push_back(std::move(w.value));
        columns += w.column + std::string(", ");
        values += "$" + std::to_string(params.size()) + w.cast + ", ";
    }
    const std::string sql = std::string("INSERT INTO ") + tableOf(e) + " (" + columns +
                            "renewed) VALUES (" + values + "false) RETURNING id";
    const std::int64_t id = intOf(c.exec(sql, params).text(0, 0));
    settle(c, e);
    return id;
}

template <typename Entry>
void correctEntry(PgConnection& c, const Entry& was, const Entry& now) {
    inTransaction(c, [&] {
        lockUnchanged(c, was);
        std::string set;
        std::vector<PgParam> params;
        for (Written& w : written(now)) {
            params.push_back(std::move(w.value));
            set += w.column + std::string(" = $") + std::to_string(params.size()) + w.cast + ", ";
        }
        params.push_back(PgParam::number(was.id));
        c.exec(std::string("UPDATE ") + tableOf(was) + " SET " + set +
                   "version = version + 1 WHERE id = $" + std::to_string(params.size()),
               params);
        settle(c, was);
        if (!settledTogether(was, now)) settle(c, now);
    });
}

template <typename Entry>
void removeEntry(PgConnection& c, const Entry& was) {
    inTransaction(c, [&] {
        lockUnchanged(c, was);
        c.exec(std::string("DELETE FROM ") + tableOf(was) + " WHERE id = $1",
               {PgParam::number(was.id)});
        settle(c, was);
    });
}

}  // namespace

std::unique_ptr<papers::PaperStore> openServerPaperStore(const std::string& conninfo) {
    return std::make_unique<ServerPaperStore>(conninfo);
}

ServerPaperStore::ServerPaperStore(const std::string& conninfo) : conn_(conninfo) {
    if (inspectSchema(conn_).is != SchemaState::Is::Current)
        upgradeSchema(conn_);  // raises for no data set or a newer one
    conn_.run("SET extra_float_digits = 3");
}

std::vector<DriverLicence> ServerPaperStore::licences(bool withNumbers) {
    // 閲覧 holds no right on the number column: it is named only when asked for.
    return licencesOf(conn_.exec(std::string("SELECT id, driver, ") +
                                 (withNumbers ? "number" : "''") + kLicenceTail +
                                 " ORDER BY driver, expiry, id"));
}

std::vector<VehiclePaper> ServerPaperStore::papers() {
    return papersOf(conn_.exec(std::string(kPaperSelect) +
                               " ORDER BY vehicle, kind, title COLLATE \"C\", expiry, id"));
}

std::vector<DriverLicence> ServerPaperStore::currentLicences() {
    return licencesOf(
        conn_.exec(std::string("SELECT id, driver, ''") + kLicenceTail + " WHERE NOT renewed"));
}

std::vector<VehiclePaper> ServerPaperStore::currentPapers() {
    return papersOf(conn_.exec(std::string(kPaperSelect) + " WHERE NOT renewed"));
}

std::int64_t ServerPaperStore::addLicence(const DriverLicence& licence) {
    return inTransaction(conn_, [&] { return insertEntry(conn_, licence); });
}

std::int64_t ServerPaperStore::addPaper(const VehiclePaper& paper) {
    return inTransaction(conn_, [&] { return insertEntry(conn_, paper); });
}

void ServerPaperStore::addAll(const std::vector<DriverLicence>& licences,
                              const std::vector<VehiclePaper>& papers) {
    inTransaction(conn_, [&] {
        for (const DriverLicence& l : licences) insertEntry(conn_, l);
        for (const VehiclePaper& p : papers) insertEntry(conn_, p);
    });
}

void ServerPaperStore::correctLicence(const DriverLicence& was, const DriverLicence& now) {
    correctEntry(conn_, was, now);
}

void ServerPaperStore::correctPaper(const VehiclePaper& was, const VehiclePaper& now) {
    correctEntry(conn_, was, now);
}

void ServerPaperStore::removeLicence(const DriverLicence& was) { removeEntry(conn_, was); }

void ServerPaperStore::removePaper(const VehiclePaper& was) { removeEntry(conn_, was); }

}  // namespace quil::server
