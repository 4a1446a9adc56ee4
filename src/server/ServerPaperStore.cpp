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

std::int64_t ServerPaperStore::insertLicence(const DriverLicence& l) {
    const std::int64_t id = intOf(
        conn_
            .exec("INSERT INTO quil_driver_licence (driver, number, kinds, conditions, expiry,"
                  " seen_on, seen_by, remarks, renewed) VALUES ($1, $2, $3, $4, $5::float8,"
                  " $6::float8, $7, $8, false) RETURNING id",
                  {PgParam::number(l.driver), PgParam::text(l.number), PgParam::text(l.kinds),
                   PgParam::text(l.conditions), PgParam::float8(l.expiry),
                   PgParam::float8(l.seenOn), PgParam::text(l.seenBy), PgParam::text(l.remarks)})
            .text(0, 0));
    settleLicences(l.driver);
    return id;
}

void ServerPaperStore::settleLicences(int driver) {
    // Of one driver's licences the one of the latest expiry (then the newest) is current.
    conn_.exec(
        "WITH c AS (SELECT id FROM quil_driver_licence WHERE driver = $1"
        "           ORDER BY expiry DESC, id DESC LIMIT 1)"
        " UPDATE quil_driver_licence t SET renewed = (t.id <> c.id), version = t.version + 1"
        " FROM c WHERE t.driver = $1 AND t.renewed <> (t.id <> c.id)",
        {PgParam::number(driver)});
}

std::int64_t ServerPaperStore::insertPaper(const VehiclePaper& p) {
    const std::int64_t id = intOf(
        conn_
            .exec("INSERT INTO quil_vehicle_paper (vehicle, kind, title, insurer, number, expiry,"
                  " remarks, renewed) VALUES ($1, $2, $3, $4, $5, $6::float8, $7, false)"
                  " RETURNING id",
                  {PgParam::number(p.vehicle), PgParam::number(static_cast<int>(p.kind)),
                   PgParam::text(p.title), PgParam::text(p.insurer), PgParam::text(p.number),
                   PgParam::float8(p.expiry), PgParam::text(p.remarks)})
            .text(0, 0));
    settlePapers(p);
    return id;
}

void ServerPaperStore::settlePapers(const VehiclePaper& p) {
    conn_.exec(
        "WITH c AS (SELECT id FROM quil_vehicle_paper WHERE vehicle = $1 AND kind = $2"
        "           AND (kind <> 3 OR title = $3) ORDER BY expiry DESC, id DESC LIMIT 1)"
        " UPDATE quil_vehicle_paper t SET renewed = (t.id <> c.id), version = t.version + 1"
        " FROM c WHERE t.vehicle = $1 AND t.kind = $2 AND (t.kind <> 3 OR t.title = $3)"
        " AND t.renewed <> (t.id <> c.id)",
        {PgParam::number(p.vehicle), PgParam::number(static_cast<int>(p.kind)),
         PgParam::text(p.title)});
}

std::int64_t ServerPaperStore::addLicence(const DriverLicence& licence) {
    return inTransaction(conn_, [&] { return insertLicence(licence); });
}

std::int64_t ServerPaperStore::addPaper(const VehiclePaper& paper) {
    return inTransaction(conn_, [&] { return insertPaper(paper); });
}

void ServerPaperStore::addAll(const std::vector<DriverLicence>& licences,
                              const std::vector<VehiclePaper>& papers) {
    inTransaction(conn_, [&] {
        for (const DriverLicence& l : licences) insertLicence(l);
        for (const VehiclePaper& p : papers) insertPaper(p);
    });
}

void ServerPaperStore::lockUnchanged(const DriverLicence& was) {
    const PgResult r = conn_.exec(std::string("SELECT id, driver, number") + kLicenceTail +
                                      " WHERE id = $1 FOR UPDATE",
                                  {PgParam::number(was.id)});
    if (r.rows() != 1 || !(licenceOf(r, 0) == was)) changed("quil_driver_licence");
}

void ServerPaperStore::lockUnchanged(const VehiclePaper& was) {
    const PgResult r = conn_.exec(std::string(kPaperSelect) + " WHERE id = $1 FOR UPDATE",
                                  {PgParam::number(was.id)});
    if (r.rows() != 1 || !(paperOf(r, 0) == was)) changed("quil_vehicle_paper");
}

void ServerPaperStore::correctLicence(const DriverLicence& was, const DriverLicence& l) {
    inTransaction(conn_, [&] {
        lockUnchanged(was);
        conn_.exec("UPDATE quil_driver_licence SET driver = $2, number = $3, kinds = $4,"
                   " conditions = $5, expiry = $6::float8, seen_on = $7::float8, seen_by = $8,"
                   " remarks = $9, version = version + 1 WHERE id = $1",
                   {PgParam::number(was.id), PgParam::number(l.driver), PgParam::text(l.number),
                    PgParam::text(l.kinds), PgParam::text(l.conditions), PgParam::float8(l.expiry),
                    PgParam::float8(l.seenOn), PgParam::text(l.seenBy), PgParam::text(l.remarks)});
        settleLicences(was.driver);
        if (l.driver != was.driver) settleLicences(l.driver);
    });
}

void ServerPaperStore::correctPaper(const VehiclePaper& was, const VehiclePaper& p) {
    inTransaction(conn_, [&] {
        lockUnchanged(was);
        conn_.exec("UPDATE quil_vehicle_paper SET vehicle = $2, kind = $3, title = $4,"
                   " insurer = $5, number = $6, expiry = $7::float8, remarks = $8,"
                   " version = version + 1 WHERE id = $1",
                   {PgParam::number(was.id), PgParam::number(p.vehicle),
                    PgParam::number(static_cast<int>(p.kind)), PgParam::text(p.title),
                    PgParam::text(p.insurer), PgParam::text(p.number), PgParam::float8(p.expiry),
                    PgParam::text(p.remarks)});
        settlePapers(was);
        if (!papers::samePaper(was, p)) settlePapers(p);
    });
}

void ServerPaperStore::removeLicence(const DriverLicence& was) {
    inTransaction(conn_, [&] {
        lockUnchanged(was);
        conn_.exec("DELETE FROM quil_driver_licence WHERE id = $1", {PgParam::number(was.id)});
        settleLicences(was.driver);
    });
}

void ServerPaperStore::removePaper(const VehiclePaper& was) {
    inTransaction(conn_, [&] {
        lockUnchanged(was);
        conn_.exec("DELETE FROM quil_vehicle_paper WHERE id = $1", {PgParam::number(was.id)});
        settlePapers(was);
    });
}

}  // namespace quil::server
