// The register and the analysis settings moving with a data set: push reads QuilExt.db's
// tables, pull writes a QuilExt.db the program opens as its own, and an older server data
// set that kept the file whole gets its register in the tables.

#include <gtest/gtest.h>

#include <QSqlQuery>
#include <filesystem>
#include <fstream>
#include <set>

#include "Bytes.h"
#include "PgTestCluster.h"
#include "SampleDataSet.h"
#include "TempDir.h"
#include "ext/ExtDatabase.h"
#include "server/PgConnection.h"
#include "server/FolderPaperStore.h"
#include "server/ServerDataSet.h"
#include "server/ServerExtensions.h"
#include "server/ServerSchema.h"
#include "server/ServerTransfer.h"
#include "store/Date.h"
#include "ui/tools/AnalysisData.h"
#include "ui/tools/alcohol/AlcoholStore.h"

using namespace quil;
using alcohol::AlcoholCheck;
using alcohol::Detector;
using store::encodeDate;
using store::encodeTime;

namespace {

using quil::testing::fileBytes;

// What the program reads of a folder's register and analysis settings.
struct Register {
    std::vector<AlcoholCheck> checks;
    std::vector<Detector> detectors;
    std::string company;
    int inspectionDays = 0;
    std::vector<analysis::MaintenanceCycle> cycles;
    double dailyLimit = 0;
    bool operator==(const Register&) const = default;
};

Register readRegister(alcohol::CheckStore& s, analysis::AnalysisStore& a) {
    alcohol::CheckFilter all;
    all.withDeleted = true;
    return {s.load(all),        s.detectors(),  s.setting(alcohol::kCompanyNameKey),
            s.inspectionDays(), a.loadCycles(), a.dailyLimitKm()};
}

Register readFolder(const std::string& folder) {
    alcohol::AlcoholStore s(folder);
    analysis::AnalysisData a(folder);
    return readRegister(s, a);
}

// A register of every kind of row: deleted checks, checks without a reading or detector,
// retired detectors, texts with line breaks, both settings, cycles and the daily limit.
void fillRegister(const std::string& folder) {
    alcohol::AlcoholStore s(folder);
    const std::int64_t a = s.addDetector({0, "検知器A", "SN-1", encodeDate(2023, 4, 1), 0, false});
    s.addDetector({0, "検知器B", "", 0, encodeDate(2024, 1, 5) + 0.25, true});
    const std::int64_t removed = s.addDetector({0, "廃棄", "", 0, 0, false});
    for (int i = 0; i < 40; ++i) {
        AlcoholCheck c;
        c.when = encodeDate(2024, 5, 1) + i / 2 + encodeTime(8 + i % 10, i) + 1e-9 * i;
        c.timing = static_cast<alcohol::CheckTiming>(i % 2);
        c.driver = i % 4;
        c.vehicle = i % 3;
        c.checker = i % 5 == 0 ? "" : "確認者" + std::to_string(i % 3);
        c.method = static_cast<alcohol::CheckMethod>(i % 4);
        c.methodText = c.method == alcohol::CheckMethod::Other ? "無線" : "";
        c.detector = i % 3 == 0 ? 0 : a;
        if (i % 3 != 0) c.reading = 0.01 * i;
        c.intoxicated = i == 7;
        c.instructions = i == 7 ? "運転中止\n交代" : "";
        c.remarks = i % 6 == 0 ? "備考 " + std::to_string(i) : "";
        c.id = s.add(c);
        if (i % 9 == 4) s.markDeleted(c.id, "管理者", encodeDate(2024, 6, 1) + 0.5);
    }
    s.removeDetector(removed);  // ids with a gap
    s.setSetting(alcohol::kCompanyNameKey, "株式会社クイル");
    s.setSetting(alcohol::kInspectionDaysKey, "14");
    analysis::AnalysisData analysis(folder);
    analysis.saveCycles({{3, 6, 5000, 0}, {5, 24, 0, 36}});
    analysis.setDailyLimitKm(750);
}

// The schema of a QuilExt.db as the program's statements made it, and the rows of its
// bookkeeping tables.
std::vector<std::string> schemaOf(const std::string& folder) {
    ext::ExtDatabase db(folder);
    EXPECT_TRUE(db.open(false));
    std::vector<std::string> out;
    QSqlQuery q = db.exec(QStringLiteral(
        "SELECT type, name, tbl_name, coalesce(sql, '') FROM sqlite_master ORDER BY type, name"));
    while (q.next())
        out.push_back(QString(q.value(0).toString() + QLatin1Char('|') + q.value(1).toString() +
                              QLatin1Char('|') + q.value(2).toString() + QLatin1Char('|') +
                              q.value(3).toString())
                          .toStdString());
    QSqlQuery v = db.exec(QStringLiteral(
        "SELECT component || '=' || version FROM schema_version ORDER BY component"));
    while (v.next()) out.push_back(v.value(0).toString().toStdString());
    QSqlQuery d = db.exec(QStringLiteral("SELECT stamp FROM data_set"));
    while (d.next()) out.push_back("stamp=" + d.value(0).toString().toStdString());
    return out;
}

class ExtensionTransfer : public ::testing::Test {
protected:
    quil::test::ScratchDatabase db;
    quil::testing::TempDir from, to;
    std::unique_ptr<server::PgConnection> c;
    void SetUp() override {
        c = std::make_unique<server::PgConnection>(db.conninfo());
        server::initializeSchema(*c);
    }
};

}  // namespace

TEST_F(ExtensionTransfer, PushThenPullGivesTheProgramTheSameRegisterInItsOwnFile) {
    quil::testing::writeSampleItems(from.dir());
    fillRegister(from.dir());
    // The licences and papers' component, as their own store makes it in the same file.
    papers::DriverLicence licence;
    licence.driver = 8;
    licence.expiry = store::encodeDate(2027, 1, 1);
    server::FolderPaperStore(from.dir()).addLicence(licence);
    const Register before = readFolder(from.dir());
    ASSERT_EQ(before.checks.size(), 40u);

    EXPECT_TRUE(server::pushFolder(*c, from.dir()).extension);
    // The server's stores read what the folder held.
    {
        server::ServerCheckStore s(db.conninfo());
        server::ServerAnalysisStore a(db.conninfo());
        EXPECT_EQ(readRegister(s, a), before);
        // New rows are numbered after the pushed ones (then removed again by the owner, for
        // the comparison below).
        const std::int64_t added = s.add(before.checks[0]);
        EXPECT_GT(added, before.checks.back().id);
        const std::int64_t detector = s.addDetector({0, "新", "", 0, 0, false});
        EXPECT_GT(detector, before.detectors.back().id);
        c->exec("DELETE FROM quil_alcohol_check WHERE id = $1", {server::PgParam::number(added)});
        c->exec("DELETE FROM quil_alcohol_detector WHERE id = $1",
                {server::PgParam::number(detector)});
    }

    EXPECT_TRUE(server::pullFolder(*c, to.dir()).extension);
    EXPECT_EQ(fileBytes(to.file("Quil.qui")), fileBytes(from.file("Quil.qui")));
    // The same tables, indexes, component versions and data-set stamp as the program's own
    // file: a drift of either schema shows here.
    EXPECT_EQ(schemaOf(to.dir()), schemaOf(from.dir()));
    const std::string pulled = fileBytes(to.file("QuilExt.db"));
    EXPECT_EQ(readFolder(to.dir()), before);
    // The program opened it as its own: not set aside, not migrated, not rewritten.
    EXPECT_EQ(fileBytes(to.file("QuilExt.db")), pulled);
    const auto names = [](const std::string& dir) {
        std::set<std::string> out;
        for (const auto& e : std::filesystem::directory_iterator(dir))
            out.insert(e.path().filename().string());
        return out;
    };
    EXPECT_EQ(names(to.path()), names(from.path()));
}

TEST_F(ExtensionTransfer, AFolderWithoutTheFileOrAComponentSendsWhatItHas) {
    quil::testing::writeSampleItems(from.dir());
    EXPECT_FALSE(server::pushFolder(*c, from.dir()).extension);
    EXPECT_FALSE(server::pullFolder(*c, to.dir()).extension);
    EXPECT_FALSE(std::filesystem::exists(to.file("QuilExt.db")));

    // Only the analysis settings, of their first version (no first-time months).
    quil::test::ScratchDatabase other;
    server::PgConnection oc(other.conninfo());
    server::initializeSchema(oc);
    quil::testing::TempDir only;
    quil::testing::writeSampleItems(only.dir());
    {
        ext::ExtDatabase file(only.dir());
        file.open(true);
        file.migrate(analysis::AnalysisData::component(), {analysis::AnalysisData::migrations()[0]});
        file.exec(QStringLiteral("INSERT INTO analysis_cycle(item, months, km) VALUES(3, 6, 0)"));
    }
    EXPECT_TRUE(server::pushFolder(oc, only.dir()).extension);
    EXPECT_EQ(server::ServerAnalysisStore(other.conninfo()).loadCycles(),
              (std::vector<analysis::MaintenanceCycle>{{3, 6, 0, 0}}));
    EXPECT_EQ(server::ServerCheckStore(other.conninfo()).count(), 0);
}

TEST_F(ExtensionTransfer, AFileOfAnotherDataSetOrANewerProgramSendsNothing) {
    quil::testing::writeSampleItems(from.dir());
    fillRegister(from.dir());
    const std::string file = fileBytes(from.file("QuilExt.db"));
    {
        ext::ExtDatabase ext(from.dir());
        ext.open(false);
        ext.exec(QStringLiteral("UPDATE data_set SET stamp = stamp + 1"));
    }
    try {
        server::pushFolder(*c, from.dir());
        ADD_FAILURE() << "another data set's register was sent";
    } catch (const server::ServerError& e) {
        EXPECT_NE(std::string(e.what()).find("このデータセットのものではありません"),
                  std::string::npos)
            << e.what();
    }
    {
        std::ofstream(from.file("QuilExt.db"), std::ios::binary) << file;
        ext::ExtDatabase ext(from.dir());
        ext.open(false);
        ext.exec(
            QStringLiteral("UPDATE schema_version SET version = 2 WHERE component = 'alcohol'"));
    }
    EXPECT_THROW(server::pushFolder(*c, from.dir()), server::ServerError);
    EXPECT_EQ(c->exec("SELECT (SELECT count(*) FROM quil_items) + "
                      "(SELECT count(*) FROM quil_alcohol_check)")
                  .integer(0, 0),
              0);
}

TEST(ExtensionUpgrade, AStoredFileOfSchemaThreeBecomesTheTablesInTheUpgrade) {
    quil::testing::TempDir folder;
    quil::testing::writeSampleItems(folder.dir());
    fillRegister(folder.dir());
    const Register before = readFolder(folder.dir());

    quil::test::ScratchDatabase db;
    {
        server::PgConnection c(db.conninfo());
        server::initializeSchemaAt(c, 3);
        // As schema 2 and 3 pushed it: the file whole.
        c.exec("INSERT INTO quil_extension_file (name, bytes) VALUES ($1, $2)",
               {server::PgParam::text("QuilExt.db"),
                server::PgParam::bytes(fileBytes(folder.file("QuilExt.db")))});
    }
    server::ServerDataSet owner(db.conninfo());  // upgrades
    server::PgConnection c(db.conninfo());
    EXPECT_EQ(server::inspectSchema(c).version, server::kSchemaVersion);
    EXPECT_EQ(c.exec("SELECT count(*) FROM quil_extension_file").integer(0, 0), 0);
    server::ServerCheckStore s(db.conninfo());
    server::ServerAnalysisStore a(db.conninfo());
    EXPECT_EQ(readRegister(s, a), before);
    EXPECT_GT(s.add(before.checks[0]), before.checks.back().id);
}

TEST(ExtensionUpgrade, AStoredFileThatIsNoRegisterIsKeptAndTheUpgradeGoesOn) {
    quil::test::ScratchDatabase db;
    std::string junk = "SQLite format 3";
    junk.append(3000, '\x01');
    {
        server::PgConnection c(db.conninfo());
        server::initializeSchemaAt(c, 3);
        c.exec("INSERT INTO quil_extension_file (name, bytes) VALUES ($1, $2)",
               {server::PgParam::text("QuilExt.db"), server::PgParam::bytes(junk)});
    }
    server::ServerDataSet owner(db.conninfo());
    server::PgConnection c(db.conninfo());
    EXPECT_EQ(server::inspectSchema(c).version, server::kSchemaVersion);
    const server::PgResult kept = c.exec("SELECT bytes FROM quil_extension_file", {}, true);
    ASSERT_EQ(kept.rows(), 1);
    EXPECT_EQ(kept.bytes(0, 0), junk);
    EXPECT_EQ(server::ServerCheckStore(db.conninfo()).count(), 0);
}

TEST_F(ExtensionTransfer, ATextHoldingNulIsRefusedByNameNotCut) {
    quil::testing::writeSampleItems(from.dir());
    std::int64_t id = 0;
    {
        alcohol::AlcoholStore s(from.dir());
        AlcoholCheck k;
        k.when = encodeDate(2024, 5, 1);
        k.checker = "確認者";
        k.remarks = std::string("a\0b", 3);
        id = s.add(k);
        ASSERT_EQ(s.load(alcohol::CheckFilter{}).at(0).remarks, k.remarks);
    }
    try {
        server::pushFolder(*c, from.dir());
        ADD_FAILURE() << "pushed";
    } catch (const server::ServerError& e) {
        EXPECT_EQ(e.kind(), server::ServerError::Kind::Refused);
        const std::string m = e.what();
        EXPECT_NE(m.find("quil_alcohol_check"), std::string::npos) << m;
        EXPECT_NE(m.find("番号 " + std::to_string(id)), std::string::npos) << m;
        EXPECT_NE(m.find("remarks"), std::string::npos) << m;
    }
    EXPECT_EQ(c->exec("SELECT count(*) FROM quil_items").integer(0, 0), 0);
    EXPECT_EQ(c->exec("SELECT count(*) FROM quil_alcohol_check").integer(0, 0), 0);
}
