// A driver's own checks and drives through the web service's role: what the server's row
// security lets him see and add, whatever the service asks for; form keys; the office
// hearing of the writes; and an administrator's push with the policies in place.

#include <gtest/gtest.h>

#include "Bytes.h"
#include "LoginRole.h"
#include "PgTestCluster.h"
#include "RecordBuilders.h"
#include "SampleDataSet.h"
#include "ServerTestData.h"
#include "TempDir.h"
#include "server/ServerDataSet.h"
#include "server/ServerExtensions.h"
#include "server/ServerPaperStore.h"
#include "server/ServerSchema.h"
#include "server/ServerTransfer.h"
#include "server/WebRecords.h"
#include "store/Date.h"
#include "store/RecordStore.h"

using namespace quil;
using namespace quil::server;
using quil::test::addItem;
using quil::test::kindOf;
using quil::test::LoginRole;
using quil::test::ScratchDatabase;

namespace {

constexpr const char* kAddress = "203.0.113.5";

alcohol::AlcoholCheck checkOf(int driver, int vehicle, store::DateTime when,
                              const std::string& checker) {
    alcohol::AlcoholCheck c;
    c.when = when;
    c.driver = driver;
    c.vehicle = vehicle;
    c.checker = checker;
    c.method = alcohol::CheckMethod::Phone;
    c.reading = 0.0;
    return c;
}

store::DataRecord driveOf(int vehicle, int user, store::DateTime day, int purpose) {
    store::DataRecord r = quil::testing::makeRecord(day + 0.375, vehicle, user, 0, 0);
    r.setReserved66(-1);
    r.setItem(static_cast<std::int16_t>(purpose));
    r.setPlace(-1);
    r.setReturnTime(day + 0.75);
    r.setDistance1(1000);
    r.setDistance2(1042.5);
    r.setDestination("本社");
    return r;
}

std::string formKey(int n) { return "k" + std::to_string(n) + std::string(20, '0'); }

class WebRecordsTest : public ::testing::Test {
protected:
    ScratchDatabase db;
    std::unique_ptr<PgConnection> owner;
    std::unique_ptr<LoginRole> service;
    std::unique_ptr<PgConnection> web;
    int van = 0, oldVan = 0, visit = 0, yamada = 0, sato = 0;
    std::string yamadaToken, satoToken;
    WebSession yamadaSession, satoSession;
    store::DateTime today = store::encodeDate(2026, 12, 1);

    void SetUp() override {
        owner = std::make_unique<PgConnection>(db.conninfo());
        initializeSchema(*owner);
        ServerDataSet set(db.conninfo());
        van = addItem(set, store::ItemKind::Vehicle, "営業車1");
        oldVan = addItem(set, store::ItemKind::Vehicle, "廃車", true);
        visit = addItem(set, store::ItemKind::Purpose, "営業");
        yamada = addItem(set, store::ItemKind::User, "山田");
        sato = addItem(set, store::ItemKind::User, "佐藤");
        WebPolicy cheap;
        cheap.hashOps = 1;
        cheap.hashMemory = 64 * 1024;
        WebAccounts admin(*owner, {}, cheap);
        admin.createAccount("yamada", yamada, "初めの合言葉-1");
        admin.createAccount("sato", sato, "初めの合言葉-2");

        service = std::make_unique<LoginRole>(db.conninfo(), "quil_web");
        web = std::make_unique<PgConnection>(service->conninfo());
        WebAccounts accounts(*web, {}, cheap);
        yamadaToken = accounts.logIn("yamada", "初めの合言葉-1", kAddress).token;
        satoToken = accounts.logIn("sato", "初めの合言葉-2", kAddress).token;
        yamadaSession = *accounts.checkSession(yamadaToken);
        satoSession = *accounts.checkSession(satoToken);
    }
    WebRecords asYamada() { return WebRecords(*web, yamadaToken, yamadaSession, kAddress); }
    WebRecords asSato() { return WebRecords(*web, satoToken, satoSession, kAddress); }
    std::int64_t count(const std::string& sql) { return owner->exec(sql).integer(0, 0); }
};

}  // namespace

TEST_F(WebRecordsTest, ADriverSeesAndAddsOnlyHisOwnWhileTheOfficeSeesEverything) {
    // The office enters one check and one drive for each driver.
    ServerCheckStore office(db.conninfo());
    const std::int64_t satoCheck = office.add(checkOf(sato, van, today - 1, "課長"));
    office.add(checkOf(yamada, van, today - 1, "係長"));
    ServerDataSet set(db.conninfo());
    const std::int64_t satoDrive =
        set.addRecord(driveOf(van, sato, today - 2, visit), store::newSaveKey()).id;
    set.addRecord(driveOf(van, yamada, today - 2, visit), store::newSaveKey());
    // A refuelling record of his is not a drive: the page shows drives only.
    set.addRecord(quil::testing::makeRecord(today - 2, van, yamada, 5000, 1), store::newSaveKey());

    WebRecords mine = asYamada();
    const std::int64_t check = mine.addCheck(checkOf(yamada, van, today, "課長"), formKey(1));
    const std::int64_t drive = mine.addDrive(driveOf(van, yamada, today, visit), formKey(2));

    const auto checks = mine.checksSince(today - 30);
    ASSERT_EQ(checks.size(), 2u);
    EXPECT_EQ(checks[0].id, check);  // newest first
    for (const auto& c : checks) EXPECT_EQ(c.driver, yamada);
    const auto drives = mine.drivesSince(today - 30);
    ASSERT_EQ(drives.size(), 2u);
    EXPECT_EQ(drives[0].id, drive);
    EXPECT_EQ(drives[0].record.destination(), "本社");
    EXPECT_DOUBLE_EQ(drives[0].record.distance2(), 1042.5);
    for (const auto& d : drives) EXPECT_EQ(d.record.user(), yamada);
    EXPECT_TRUE(mine.checksSince(today + 1).empty());

    // Another driver's rows by id are simply not there; his own are.
    EXPECT_FALSE(mine.check(satoCheck));
    EXPECT_FALSE(mine.drive(satoDrive));
    EXPECT_EQ(mine.check(check)->checker, "課長");
    EXPECT_EQ(mine.drive(drive)->record.vehicle(), van);
    EXPECT_FALSE(asSato().check(check));
    EXPECT_EQ(asSato().checksSince(today - 30).size(), 1u);

    // The office's roles see every row, the web's among them.
    LoginRole clerk(db.conninfo(), "quil_clerk");
    ServerCheckStore clerkStore(clerk.conninfo());
    EXPECT_EQ(clerkStore.count(), 3);
    EXPECT_EQ(ServerDataSet(clerk.conninfo()).recordCount(false), 4);
    EXPECT_EQ(clerkStore.find(check)->driver, yamada);
}

TEST_F(WebRecordsTest, TheServerRefusesRowsOfAnotherDriverWhateverTheServiceSends) {
    WebRecords mine = asYamada();
    using K = ServerError::Kind;
    EXPECT_EQ(kindOf([&] { mine.addCheck(checkOf(sato, van, today, "課長"), formKey(1)); }),
              K::NotAllowed);
    EXPECT_EQ(kindOf([&] { mine.addDrive(driveOf(van, sato, today, visit), formKey(2)); }),
              K::NotAllowed);
    // A refuelling record, a deleted one, or bytes that name another user than the columns.
    store::DataRecord fuel = quil::testing::makeRecord(today, van, yamada, 3000, 1);
    EXPECT_EQ(kindOf([&] { mine.addDrive(fuel, formKey(3)); }), K::NotAllowed);
    store::DataRecord deleted = driveOf(van, yamada, today, visit);
    deleted.setDeleted(true);
    EXPECT_EQ(kindOf([&] { mine.addDrive(deleted, formKey(4)); }), K::NotAllowed);
    const store::DataRecord disguised = driveOf(van, sato, today, visit);
    const std::string raw(reinterpret_cast<const char*>(disguised.bytes().data()),
                          store::DataRecord::Size);
    EXPECT_EQ(kindOf([&] {
                  web->exec(
                      "SELECT quil_web_add_drive(decode($1, 'hex'), '192.0.2.1', "
                      "'aaaaaaaaaaaaaaaa', $2, 46000, $3, $4)",
                      {PgParam::text(sessionTokenHash(yamadaToken)), PgParam::bytes(raw),
                       PgParam::number(van), PgParam::number(yamada)});
              }),
              K::NotAllowed);
    // No token, or a made-up one: nothing to see, nothing to add.
    ServerDataSet(db.conninfo()).addRecord(driveOf(van, yamada, today, visit), store::newSaveKey());
    EXPECT_EQ(kindOf([&] { web->exec("SELECT count(*) FROM quil_records"); }), K::NotAllowed);
    WebRecords stranger(*web, std::string(64, 'a'), yamadaSession, kAddress);
    EXPECT_TRUE(stranger.drivesSince(0).empty());
    EXPECT_EQ(kindOf([&] { stranger.addCheck(checkOf(yamada, van, today, "x"), formKey(5)); }),
              K::NotAllowed);
    // The service never changes or removes a row, not even the driver's own.
    EXPECT_EQ(kindOf([&] { web->exec("UPDATE quil_records SET deleted = true"); }), K::NotAllowed);
    EXPECT_EQ(kindOf([&] { web->exec("DELETE FROM quil_alcohol_check"); }), K::NotAllowed);

    // A disabled account's session sees nothing any more.
    EXPECT_EQ(mine.drivesSince(0).size(), 1u);
    WebAccounts(*owner).setDisabled("yamada", true);
    EXPECT_TRUE(mine.drivesSince(0).empty());

    EXPECT_EQ(count("SELECT count(*) FROM quil_alcohol_check"), 0);
    EXPECT_EQ(count("SELECT count(*) FROM quil_records"), 1);
}

TEST_F(WebRecordsTest, AFormPostedTwiceIsStoredOnceAndEveryWriteIsLogged) {
    WebRecords mine = asYamada();
    const std::int64_t first = mine.addCheck(checkOf(yamada, van, today, "課長"), formKey(7));
    EXPECT_EQ(mine.addCheck(checkOf(yamada, van, today, "課長"), formKey(7)), first);
    const std::int64_t drive = mine.addDrive(driveOf(van, yamada, today, visit), formKey(7));
    EXPECT_EQ(mine.addDrive(driveOf(van, yamada, today, visit), formKey(7)), drive);
    EXPECT_EQ(count("SELECT count(*) FROM quil_alcohol_check"), 1);
    // The same key on another form is another save.
    EXPECT_EQ(count("SELECT count(*) FROM quil_records"), 1);

    const PgResult log = owner->exec(
        "SELECT actor, address, action FROM quil_web_log WHERE action LIKE '%記録%' ORDER BY id");
    ASSERT_EQ(log.rows(), 2);
    EXPECT_EQ(log.text(0, 0), "yamada");
    EXPECT_EQ(log.text(0, 1), kAddress);
    EXPECT_NE(std::string(log.text(0, 2)).find(std::to_string(first)), std::string::npos);

    for (const char* bad : {"", "short", "x'; DROP TABLE quil_saves; --aaaaaaaa",
                            "0123456789abcdef0123456789abcdef0123456789abcdef0"})
        EXPECT_EQ(kindOf([&] { mine.addCheck(checkOf(yamada, van, today, "課長"), bad); }),
                  ServerError::Kind::Refused)
            << bad;
    EXPECT_EQ(count("SELECT count(*) FROM quil_alcohol_check"), 1);
}

TEST_F(WebRecordsTest, TheFormsOfferLiveVehiclesPurposesDetectorsAndTheDriversOwnCheckers) {
    ServerCheckStore office(db.conninfo());
    alcohol::Detector d;
    d.name = "検知器A";
    d.serial = "SN-1";
    const std::int64_t inUse = office.addDetector(d);
    d.name = "古い検知器";
    d.retired = true;
    office.addDetector(d);
    office.add(checkOf(sato, van, today - 3, "佐藤の上司"));
    asYamada().addCheck(checkOf(yamada, van, today - 2, "課長"), formKey(1));
    asYamada().addCheck(checkOf(yamada, van, today - 1, "係長"), formKey(2));

    const WebFormLists lists = asYamada().formLists();
    ASSERT_EQ(lists.vehicles.size(), 1u);
    EXPECT_EQ(lists.vehicles[0].id, van);
    EXPECT_EQ(lists.vehicles[0].name, "営業車1");
    ASSERT_EQ(lists.purposes.size(), 1u);
    EXPECT_EQ(lists.purposes[0].id, visit);
    ASSERT_EQ(lists.detectors.size(), 1u);
    EXPECT_EQ(lists.detectors[0].id, inUse);
    EXPECT_EQ(lists.detectors[0].name, "検知器A (SN-1)");
    EXPECT_EQ(lists.checkers, (std::vector<std::string>{"係長", "課長"}));
}

TEST_F(WebRecordsTest, TheOfficeHearsOfTheWebsWritesAtOnce) {
    PgConnection listener(db.conninfo());
    listener.run("LISTEN quil_changes");
    const std::int64_t drive = asYamada().addDrive(driveOf(van, yamada, today, visit), formKey(1));
    asYamada().addCheck(checkOf(yamada, van, today, "課長"), formKey(2));
    std::vector<std::string> heard;
    for (int i = 0; i < 50 && heard.size() < 2; ++i) {
        listener.waitReadable(100);
        for (const auto& n : listener.takeNotifications()) heard.push_back(n.payload);
    }
    ASSERT_EQ(heard.size(), 2u);
    // Each with its change stamp, by which the saver knows its own.
    EXPECT_TRUE(heard[0].starts_with("r insert " + std::to_string(drive) + " 1 ")) << heard[0];
    EXPECT_TRUE(heard[1].starts_with("e checks ")) << heard[1];
}

TEST_F(WebRecordsTest, AnAdministratorWhoDoesNotOwnTheDataSetStillPushesAndPulls) {
    quil::testing::TempDir seed, pulled;
    quil::testing::writeSampleItems(seed.dir());
    store::RecordStore records(seed.dir());
    for (int day = 1; day <= 3; ++day)
        records.save(quil::testing::sampleRecord(0, store::encodeDate(2024, 5, day), 7, 8),
                     std::nullopt);
    // An edit on the server keeps the bytes it replaced; the push replaces that record too.
    ServerDataSet set(db.conninfo());
    const RecordRow drive = set.addRecord(driveOf(van, yamada, today, visit), store::newSaveKey());
    set.editRecord(drive.id, drive.version, driveOf(van, sato, today, visit), store::newSaveKey());
    ASSERT_EQ(count("SELECT count(*) FROM quil_record_former"), 1);
    LoginRole admin(db.conninfo(), "quil_admin");
    PgConnection c(admin.conninfo());
    ASSERT_EQ(c.exec("SELECT row_security_active('quil_records')").text(0, 0), "t");
    EXPECT_EQ(replaceWithFolder(c, seed.dir()).records, 3);
    EXPECT_EQ(count("SELECT count(*) FROM quil_records"), 3);
    EXPECT_EQ(count("SELECT count(*) FROM quil_record_former"), 0);
    EXPECT_EQ(pullFolder(c, pulled.dir()).records, 3);
    EXPECT_EQ(quil::testing::fileBytes(pulled.file("Quil.qud")),
              quil::testing::fileBytes(seed.file("Quil.qud")));
}

TEST(WebRecordsUpgrade, ADataSetOfTheFormerSchemaGetsTheDriversPoliciesWhenUpgraded) {
    ScratchDatabase db;
    PgConnection owner(db.conninfo());
    initializeSchemaAt(owner, 5);
    owner.exec(
        "INSERT INTO quil_alcohol_check (checked_at, timing, driver, vehicle, checker, method,"
        " intoxicated) VALUES (46000, 0, 3, 0, 'x', 0, false)");
    LoginRole service(db.conninfo(), "quil_web");
    upgradeSchema(owner);
    EXPECT_EQ(inspectSchema(owner).version, kSchemaVersion);
    PgConnection web(service.conninfo());
    EXPECT_EQ(kindOf([&] { web.exec("SELECT count(*) FROM quil_alcohol_check"); }),
              ServerError::Kind::NotAllowed);
    LoginRole viewer(db.conninfo(), "quil_viewer");
    EXPECT_EQ(PgConnection(viewer.conninfo())
                  .exec("SELECT count(*) FROM quil_alcohol_check")
                  .integer(0, 0),
              1);
}

TEST_F(WebRecordsTest, ADriverReadsOnlyHisOwnLicenceExpiryAndAVehiclesPapersWithoutNumbers) {
    ServerPaperStore office(db.conninfo());
    papers::DriverLicence mine;
    mine.driver = yamada;
    mine.number = "111111111111";
    mine.expiry = store::encodeDate(2026, 12, 20);
    office.addLicence(mine);
    mine.expiry = store::encodeDate(2029, 12, 20);  // renewed: the newer one is his
    office.addLicence(mine);
    papers::DriverLicence his = mine;
    his.driver = sato;
    his.number = "222222222222";
    his.expiry = store::encodeDate(2026, 12, 5);
    office.addLicence(his);
    papers::VehiclePaper inspection;
    inspection.vehicle = van;
    inspection.number = "証明書-1";
    inspection.expiry = store::encodeDate(2026, 11, 30);
    office.addPaper(inspection);

    EXPECT_EQ(asYamada().licenceExpiry(), store::encodeDate(2029, 12, 20));
    EXPECT_EQ(asSato().licenceExpiry(), store::encodeDate(2026, 12, 5));
    const auto papers = asYamada().vehiclePapers(van);
    ASSERT_EQ(papers.size(), 1u);
    EXPECT_EQ(papers[0].expiry, store::encodeDate(2026, 11, 30));
    EXPECT_EQ(papers[0].number, "");
    EXPECT_TRUE(asYamada().vehiclePapers(oldVan).empty());
    // Without a session the functions give nothing, and the tables are not the service's.
    WebRecords stranger(*web, "no-such-token", yamadaSession, kAddress);
    EXPECT_FALSE(stranger.licenceExpiry());
    EXPECT_TRUE(stranger.vehiclePapers(van).empty());
    for (const char* sql : {"SELECT expiry FROM quil_driver_licence",
                            "SELECT number FROM quil_driver_licence",
                            "SELECT expiry FROM quil_vehicle_paper"}) {
        try {
            web->exec(sql);
            ADD_FAILURE() << sql;
        } catch (const ServerError& e) {
            EXPECT_EQ(e.kind(), ServerError::Kind::NotAllowed) << sql;
        }
    }
}
