#include "server/FolderPaperStore.h"

#include <filesystem>

#include "folder/DataSetFiles.h"
#include "folder/ExtensionSchema.h"
#include "store/DataStore.h"
#include "store/ItemStore.h"
#include "store/RecordStore.h"
#include "store/StoreError.h"

namespace quil::server {
namespace {

namespace schema = folder::extschema;
using papers::DriverLicence;
using papers::VehiclePaper;

constexpr const char* kComponent = "papers";
constexpr const char* kLicenceColumns =
    "id, driver, number, kinds, conditions, expiry, seen_on, seen_by, remarks, renewed";
constexpr const char* kPaperColumns =
    "id, vehicle, kind, title, insurer, number, expiry, remarks, renewed";

int storedVersion(SqliteFile& f) {
    const auto rows =
        f.query("SELECT version FROM schema_version WHERE component = ?", {std::string(kComponent)});
    return rows.empty() ? 0 : static_cast<int>(sqlInteger(rows[0][0]));
}

DriverLicence licenceOf(const SqlRow& r, bool withNumbers) {
    DriverLicence l;
    l.id = sqlInteger(r[0]);
    l.driver = static_cast<int>(sqlInteger(r[1]));
    if (withNumbers) l.number = sqlText(r[2]);
    l.kinds = sqlText(r[3]);
    l.conditions = sqlText(r[4]);
    l.expiry = sqlReal(r[5]);
    l.seenOn = sqlReal(r[6]);
    l.seenBy = sqlText(r[7]);
    l.remarks = sqlText(r[8]);
    l.renewed = sqlInteger(r[9]) != 0;
    return l;
}

VehiclePaper paperOf(const SqlRow& r) {
    VehiclePaper p;
    p.id = sqlInteger(r[0]);
    p.vehicle = static_cast<int>(sqlInteger(r[1]));
    p.kind = papers::kindOf(static_cast<int>(sqlInteger(r[2]))).value_or(papers::PaperKind::Other);
    p.title = sqlText(r[3]);
    p.insurer = sqlText(r[4]);
    p.number = sqlText(r[5]);
    p.expiry = sqlReal(r[6]);
    p.remarks = sqlText(r[7]);
    p.renewed = sqlInteger(r[8]) != 0;
    return p;
}

// Of one driver's licences the one of the latest expiry (then the newest) is current.
void settleLicences(SqliteFile& f, int driver) {
    const SqlRow key = {std::int64_t{driver}};
    const auto current = f.query(
        "SELECT id FROM driver_licence WHERE driver = ? ORDER BY expiry DESC, id DESC LIMIT 1", key);
    if (current.empty()) return;
    f.exec("UPDATE driver_licence SET renewed = (id <> ?) WHERE driver = ? AND renewed <> (id <> ?)",
           {current[0][0], std::int64_t{driver}, current[0][0]});
}

void settlePapers(SqliteFile& f, const VehiclePaper& p) {
    const std::string same =
        " WHERE vehicle = ? AND kind = ? AND (kind <> 3 OR title = ?)";
    const SqlRow key = {std::int64_t{p.vehicle}, std::int64_t{static_cast<int>(p.kind)}, p.title};
    const auto current =
        f.query("SELECT id FROM vehicle_paper" + same + " ORDER BY expiry DESC, id DESC LIMIT 1", key);
    if (current.empty()) return;
    SqlRow params = {current[0][0]};
    params.insert(params.end(), key.begin(), key.end());
    params.push_back(current[0][0]);
    f.exec("UPDATE vehicle_paper SET renewed = (id <> ?)" + same + " AND renewed <> (id <> ?)",
           params);
}

// The licences or papers a statement's `tail` (its FROM and what follows) selects.
std::vector<DriverLicence> readLicences(SqliteFile* f, const char* tail, bool withNumbers) {
    std::vector<DriverLicence> out;
    if (!f) return out;
    for (const SqlRow& r : f->query(std::string("SELECT ") + kLicenceColumns + tail))
        out.push_back(licenceOf(r, withNumbers));
    return out;
}

std::vector<VehiclePaper> readPapers(SqliteFile* f, const char* tail) {
    std::vector<VehiclePaper> out;
    if (!f) return out;
    for (const SqlRow& r : f->query(std::string("SELECT ") + kPaperColumns + tail))
        out.push_back(paperOf(r));
    return out;
}

}  // namespace

FolderPaperStore::FolderPaperStore(std::string dataFolder) : dataFolder_(std::move(dataFolder)) {}

SqliteFile* FolderPaperStore::file(bool forWriting) {
    if (ready_) return file_.get();
    const std::string path = dataFolder_ + folder::kExtensionFileName;
    std::error_code ec;
    if (!file_) {
        if (!forWriting && !std::filesystem::exists(path, ec)) return nullptr;
        file_ = std::make_unique<SqliteFile>(path, true);
        file_->exec("PRAGMA journal_mode=DELETE");
        file_->exec("PRAGMA synchronous=FULL");
    }
    SqliteFile& f = *file_;
    // The stamp of the data set the file belongs to, as the program's store keeps it.
    std::optional<double> stamp;
    if (const auto items = store::readFileHeader(dataFolder_ + store::kItemFileName);
        items && !items->empty)
        stamp = items->stamp;
    if (stamp && f.hasTable("data_set")) {
        const auto rows = f.query("SELECT stamp FROM data_set WHERE id = 1");
        if (!rows.empty() && sqlReal(rows[0][0]) != *stamp)
            throw ServerError(ServerError::Kind::Refused, path,
                              "QuilExt.db は別のデータセットのものです。クイル台帳でこのデータ"
                              "フォルダーを開くと別の名前で退避されます。");
    }
    const schema::Component& component = schema::component(kComponent);
    const int version = f.hasTable("schema_version") ? storedVersion(f) : 0;
    if (version > component.version)
        throw ServerError(ServerError::Kind::Newer, path,
                          "QuilExt.db は新しい版のプログラムで書かれています（papers: 版 " +
                              std::to_string(version) + "）。");
    if (version == component.version) return (ready_ = true), file_.get();
    if (!forWriting) return nullptr;
    f.transaction("BEGIN IMMEDIATE", [&] {
        f.exec(schema::kVersionTable);
        if (stamp) {
            f.exec(schema::kDataSetTable);
            f.exec("INSERT OR IGNORE INTO data_set(id, stamp) VALUES(1, ?)", {*stamp});
        }
        for (int v = version + 1; v <= component.version; ++v)
            for (const std::string& sql : schema::sqliteStatements(component, v)) f.exec(sql);
        f.exec("INSERT INTO schema_version(component, version) VALUES(?, ?) "
               "ON CONFLICT(component) DO UPDATE SET version = excluded.version",
               {std::string(kComponent), std::int64_t{component.version}});
    });
    ready_ = true;
    return file_.get();
}

template <typename F>
void FolderPaperStore::write(F&& work) {
    SqliteFile& f = *file(true);
    f.transaction("BEGIN IMMEDIATE", [&] { work(f); });
}

std::vector<DriverLicence> FolderPaperStore::licences(bool withNumbers) {
    return readLicences(file(false), " FROM driver_licence ORDER BY driver, expiry, id",
                        withNumbers);
}

std::vector<VehiclePaper> FolderPaperStore::papers() {
    return readPapers(file(false),
                      " FROM vehicle_paper ORDER BY vehicle, kind, title, expiry, id");
}

std::vector<DriverLicence> FolderPaperStore::currentLicences() {
    return readLicences(file(false), " FROM driver_licence WHERE renewed = 0", false);
}

std::vector<VehiclePaper> FolderPaperStore::currentPapers() {
    return readPapers(file(false), " FROM vehicle_paper WHERE renewed = 0");
}

std::int64_t FolderPaperStore::insertLicence(const DriverLicence& l) {
    SqliteFile& f = *file_;
    const auto r = f.query(
        "INSERT INTO driver_licence (driver, number, kinds, conditions, expiry, seen_on, seen_by,"
        " remarks, renewed) VALUES (?, ?, ?, ?, ?, ?, ?, ?, 0) RETURNING id",
        {std::int64_t{l.driver}, l.number, l.kinds, l.conditions, l.expiry, l.seenOn, l.seenBy,
         l.remarks});
    settleLicences(f, l.driver);
    return sqlInteger(r.at(0).at(0));
}

std::int64_t FolderPaperStore::insertPaper(const VehiclePaper& p) {
    SqliteFile& f = *file_;
    const auto r = f.query(
        "INSERT INTO vehicle_paper (vehicle, kind, title, insurer, number, expiry, remarks,"
        " renewed) VALUES (?, ?, ?, ?, ?, ?, ?, 0) RETURNING id",
        {std::int64_t{p.vehicle}, std::int64_t{static_cast<int>(p.kind)}, p.title, p.insurer,
         p.number, p.expiry, p.remarks});
    settlePapers(f, p);
    return sqlInteger(r.at(0).at(0));
}

std::int64_t FolderPaperStore::addLicence(const DriverLicence& licence) {
    std::int64_t id = 0;
    write([&](SqliteFile&) { id = insertLicence(licence); });
    return id;
}

std::int64_t FolderPaperStore::addPaper(const VehiclePaper& paper) {
    std::int64_t id = 0;
    write([&](SqliteFile&) { id = insertPaper(paper); });
    return id;
}

void FolderPaperStore::addAll(const std::vector<DriverLicence>& licences,
                              const std::vector<VehiclePaper>& papers) {
    write([&](SqliteFile&) {
        for (const DriverLicence& l : licences) insertLicence(l);
        for (const VehiclePaper& p : papers) insertPaper(p);
    });
}

void FolderPaperStore::requireUnchanged(const DriverLicence& was) {
    const auto rows = file_->query(std::string("SELECT ") + kLicenceColumns +
                                       " FROM driver_licence WHERE id = ?",
                                   {was.id});
    if (rows.empty() || !(licenceOf(rows[0], true) == was))
        throw store::RecordChangedError(dataFolder_ + folder::kExtensionFileName,
                                        papers::kEntryChangedText);
}

void FolderPaperStore::requireUnchanged(const VehiclePaper& was) {
    const auto rows = file_->query(
        std::string("SELECT ") + kPaperColumns + " FROM vehicle_paper WHERE id = ?", {was.id});
    if (rows.empty() || !(paperOf(rows[0]) == was))
        throw store::RecordChangedError(dataFolder_ + folder::kExtensionFileName,
                                        papers::kEntryChangedText);
}

void FolderPaperStore::correctLicence(const DriverLicence& was, const DriverLicence& l) {
    write([&](SqliteFile& f) {
        requireUnchanged(was);
        f.exec("UPDATE driver_licence SET driver = ?, number = ?, kinds = ?, conditions = ?,"
               " expiry = ?, seen_on = ?, seen_by = ?, remarks = ? WHERE id = ?",
               {std::int64_t{l.driver}, l.number, l.kinds, l.conditions, l.expiry, l.seenOn,
                l.seenBy, l.remarks, was.id});
        settleLicences(f, was.driver);
        if (l.driver != was.driver) settleLicences(f, l.driver);
    });
}

void FolderPaperStore::correctPaper(const VehiclePaper& was, const VehiclePaper& p) {
    write([&](SqliteFile& f) {
        requireUnchanged(was);
        f.exec("UPDATE vehicle_paper SET vehicle = ?, kind = ?, title = ?, insurer = ?,"
               " number = ?, expiry = ?, remarks = ? WHERE id = ?",
               {std::int64_t{p.vehicle}, std::int64_t{static_cast<int>(p.kind)}, p.title,
                p.insurer, p.number, p.expiry, p.remarks, was.id});
        settlePapers(f, was);
        if (!papers::samePaper(was, p)) settlePapers(f, p);
    });
}

void FolderPaperStore::removeLicence(const DriverLicence& was) {
    write([&](SqliteFile& f) {
        requireUnchanged(was);
        f.exec("DELETE FROM driver_licence WHERE id = ?", {was.id});
        settleLicences(f, was.driver);
    });
}

void FolderPaperStore::removePaper(const VehiclePaper& was) {
    write([&](SqliteFile& f) {
        requireUnchanged(was);
        f.exec("DELETE FROM vehicle_paper WHERE id = ?", {was.id});
        settlePapers(f, was);
    });
}

}  // namespace quil::server
