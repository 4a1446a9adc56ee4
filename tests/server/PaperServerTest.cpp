// Licences and papers on a server data set: each role's rights, enforced by the server, and
// the round trip between a folder's QuilExt.db and the server's tables.

#include <gtest/gtest.h>

#include <sstream>

#include "LoginRole.h"
#include "PgTestCluster.h"
#include "SampleDataSet.h"
#include "ServerTestData.h"
#include "TempDir.h"
#include "server/FolderPaperStore.h"
#include "server/ServerBackup.h"
#include "server/ServerPaperStore.h"
#include "server/ServerSchema.h"
#include "server/ServerTransfer.h"
#include "server/SqliteFile.h"
#include "store/DataStore.h"
#include "tool/ToolRunner.h"

using namespace quil;
using namespace quil::server;
using quil::store::encodeDate;
using quil::test::LoginRole;
using quil::test::ScratchDatabase;

namespace {

papers::DriverLicence licence(int driver, store::DateTime expiry, std::string number) {
    papers::DriverLicence l;
    l.driver = driver;
    l.number = std::move(number);
    l.kinds = "普通・中型";
    l.conditions = "眼鏡等";
    l.expiry = expiry;
    l.seenOn = encodeDate(2026, 11, 2);
    l.seenBy = "総務 田中";
    l.remarks = "=備考";
    return l;
}

papers::VehiclePaper paper(int vehicle, papers::PaperKind kind, store::DateTime expiry) {
    papers::VehiclePaper p;
    p.vehicle = vehicle;
    p.kind = kind;
    p.insurer = kind == papers::PaperKind::Voluntary ? "損保" : "";
    p.number = "No.1";
    p.expiry = expiry;
    p.title = kind == papers::PaperKind::Other ? "リース満了" : "";
    return p;
}

ServerError::Kind refusal(const std::function<void()>& work) {
    try {
        work();
    } catch (const ServerError& e) {
        return e.kind();
    }
    return ServerError::Kind::Other;
}

}  // namespace

TEST(PaperServer, EachRoleHasOnlyTheRightsItsWorkNeeds) {
    ScratchDatabase db;
    PgConnection owner(db.conninfo());
    initializeSchema(owner);
    LoginRole clerkLogin(db.conninfo(), kClerkRole), viewerLogin(db.conninfo(), kViewerRole),
        webLogin(db.conninfo(), kWebRole);

    ServerPaperStore clerk(clerkLogin.conninfo());
    clerk.addLicence(licence(1, encodeDate(2027, 1, 1), "123456789012"));
    clerk.addPaper(paper(0, papers::PaperKind::Inspection, encodeDate(2026, 1, 1)));
    EXPECT_EQ(clerk.licences(true).at(0).number, "123456789012");

    // 閲覧 reads the expiry and the papers, never a number, and changes nothing.
    ServerPaperStore viewer(viewerLogin.conninfo());
    const auto seen = viewer.licences(false);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].expiry, encodeDate(2027, 1, 1));
    EXPECT_EQ(seen[0].number, "");
    EXPECT_EQ(viewer.papers().size(), 1u);
    EXPECT_EQ(refusal([&] { viewer.licences(true); }), ServerError::Kind::NotAllowed);
    EXPECT_EQ(refusal([&] { viewer.connection().exec("SELECT * FROM quil_driver_licence"); }),
              ServerError::Kind::NotAllowed);
    EXPECT_EQ(refusal([&] { viewer.addLicence(licence(2, encodeDate(2027, 1, 1), "")); }),
              ServerError::Kind::NotAllowed);
    EXPECT_EQ(refusal([&] { viewer.addPaper(paper(0, papers::PaperKind::Compulsory, 1)); }),
              ServerError::Kind::NotAllowed);
    // 閲覧's backup holds what he may read: the licences without their numbers.
    quil::testing::TempDir viewersCopy;
    PgConnection asViewer(viewerLogin.conninfo());
    ASSERT_TRUE(backupServer(asViewer, viewersCopy.dir()).done());
    const auto copied = FolderPaperStore(viewersCopy.dir()).licences(true);
    ASSERT_EQ(copied.size(), 1u);
    EXPECT_EQ(copied[0].number, "");
    EXPECT_EQ(copied[0].expiry, encodeDate(2027, 1, 1));
    // The drivers' service reads neither table (its functions are tested with the page's).
    PgConnection web(webLogin.conninfo());
    for (const char* sql : {"SELECT expiry FROM quil_driver_licence",
                            "SELECT expiry FROM quil_vehicle_paper"})
        EXPECT_EQ(refusal([&] { web.exec(sql); }), ServerError::Kind::NotAllowed) << sql;
    // The server holds every program to the number's form, whatever it sends.
    EXPECT_THROW(clerk.addLicence(licence(3, encodeDate(2027, 1, 1), "12345")), ServerError);
    EXPECT_EQ(clerk.licences(true).size(), 1u);
}

// Correcting and removing an entry: 事務 corrects, 閲覧 may not, an entry changed since it
// was read is refused with nothing written, and only 管理者 removes one (事務 holds no
// right to delete rows); the entry a removed one had replaced is current again.
TEST(PaperServer, CorrectionsAndRemovalsFollowTheRolesAndTheEntryAsRead) {
    ScratchDatabase db;
    PgConnection owner(db.conninfo());
    initializeSchema(owner);
    LoginRole clerkLogin(db.conninfo(), kClerkRole), viewerLogin(db.conninfo(), kViewerRole),
        adminLogin(db.conninfo(), kAdminRole);
    ServerPaperStore clerk(clerkLogin.conninfo());
    clerk.addPaper(paper(0, papers::PaperKind::Inspection, encodeDate(2026, 1, 1)));
    clerk.addPaper(paper(0, papers::PaperKind::Inspection, encodeDate(2028, 1, 1)));
    const papers::VehiclePaper was = clerk.papers().at(1);

    papers::VehiclePaper now = was;
    now.expiry = encodeDate(2025, 6, 30);
    now.number = "No.2";
    ServerPaperStore viewer(viewerLogin.conninfo());
    EXPECT_EQ(refusal([&] { viewer.correctPaper(was, now); }), ServerError::Kind::NotAllowed);
    clerk.correctPaper(was, now);
    auto stored = clerk.papers();
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored[0].id, was.id);
    EXPECT_EQ(stored[0].number, "No.2");
    EXPECT_TRUE(stored[0].renewed);  // the other now has the later expiry
    EXPECT_FALSE(stored[1].renewed);
    EXPECT_EQ(clerk.currentPapers(), std::vector<papers::VehiclePaper>{stored[1]});
    EXPECT_THROW(clerk.correctPaper(was, now), store::RecordChangedError);  // read before
    EXPECT_THROW(clerk.removePaper(was), store::RecordChangedError);

    const papers::VehiclePaper later = stored[1];
    EXPECT_EQ(refusal([&] { clerk.removePaper(later); }), ServerError::Kind::NotAllowed);
    EXPECT_EQ(clerk.papers(), stored);
    ServerPaperStore admin(adminLogin.conninfo());
    admin.removePaper(later);
    stored = clerk.papers();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].id, was.id);
    EXPECT_FALSE(stored[0].renewed);

    // A licence as read with its number is corrected; as read without it, refused.
    clerk.addLicence(licence(1, encodeDate(2027, 1, 1), "123456789012"));
    const papers::DriverLicence l = clerk.licences(true).at(0);
    papers::DriverLicence fixed = l;
    fixed.number = "210987654321";
    EXPECT_THROW(clerk.correctLicence(clerk.licences(false).at(0), fixed),
                 store::RecordChangedError);
    clerk.correctLicence(l, fixed);
    EXPECT_EQ(clerk.licences(true).at(0).number, "210987654321");
}

TEST(PaperServer, PushAndPullCarryLicencesAndPapersRowForRow) {
    ScratchDatabase db;
    PgConnection c(db.conninfo());
    initializeSchema(c);
    quil::testing::TempDir from, to;
    quil::testing::writeSampleItems(from.dir());
    FolderPaperStore folder(from.dir());
    folder.addLicence(licence(1, encodeDate(2024, 2, 29), "123456789012"));
    folder.addLicence(licence(1, encodeDate(2028, 2, 29), "123456789012"));  // renews it
    folder.addLicence(licence(8, encodeDate(2026, 12, 31), ""));
    folder.addPaper(paper(0, papers::PaperKind::Voluntary, encodeDate(2027, 3, 31) + 0.5));
    folder.addPaper(paper(7, papers::PaperKind::Other, encodeDate(2026, 1, 1)));

    pushFolder(c, from.dir());
    ServerPaperStore server(db.conninfo());
    EXPECT_EQ(server.licences(true), folder.licences(true));
    EXPECT_EQ(server.papers(), folder.papers());
    pullFolder(c, to.dir());
    FolderPaperStore pulled(to.dir());
    EXPECT_EQ(pulled.licences(true), folder.licences(true));
    EXPECT_EQ(pulled.papers(), folder.papers());
    // Row for row in the file, the ids and the history's marks included.
    for (const char* table : {"driver_licence", "vehicle_paper"}) {
        const std::string sql = std::string("SELECT * FROM ") + table + " ORDER BY id";
        SqliteFile a(from.file("QuilExt.db"), false), b(to.file("QuilExt.db"), false);
        EXPECT_EQ(a.query(sql), b.query(sql)) << table;
    }
    // The pulled file takes new entries as the program's own.
    pulled.addLicence(licence(8, encodeDate(2030, 1, 1), ""));
    EXPECT_EQ(pulled.licences(false).size(), 4u);
}

TEST(PaperServer, ExpiriesOnAServerExitOneOnlyWhenSomethingLapsed) {
    ScratchDatabase db;
    PgConnection c(db.conninfo());
    initializeSchema(c);
    quil::testing::TempDir data, program;
    quil::testing::writeSampleItems(data.dir());
    pushFolder(c, data.dir());
    std::string err;
    const auto run = [&](std::vector<std::string> args, std::string& out) {
        args.insert(args.begin(), {"--server", db.conninfo()});
        std::istringstream in;
        std::ostringstream o, e;
        const int code = tool::ToolRunner(program.dir(), in, o, e, false).run(args);
        out = o.str();
        err = e.str();
        return code;
    };
    std::string out;
    ServerPaperStore office(db.conninfo());
    const store::DateTime today = store::today();
    office.addPaper(paper(7, papers::PaperKind::Inspection, today + 10));
    EXPECT_EQ(run({"expiries"}, out), tool::kExitOk) << err;
    EXPECT_NE(out.find("車両 軽トラ\t車検"), std::string::npos) << out;
    EXPECT_EQ(run({"expiries", "--within", "9"}, out), tool::kExitOk);
    EXPECT_EQ(out, "");
    office.addLicence(licence(8, today - 1, "123456789012"));
    EXPECT_EQ(run({"expiries", "--csv", "--encoding", "utf-8"}, out), tool::kExitProblems);
    EXPECT_NE(out.find("期限切れ,運転者,山田,運転免許証"), std::string::npos) << out;
    EXPECT_EQ(out.find("123456789012"), std::string::npos);
}
