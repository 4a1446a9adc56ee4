// The register's and the analysis settings' stores: one contract for QuilExt.db in a data
// folder and for the tables of a server data set, then what only the server does (rights,
// change notices, a failed import that stores nothing).

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "LoginRole.h"
#include "PgTestCluster.h"
#include "ServerTestData.h"
#include "TempDir.h"
#include "reports/OdometerCheck.h"
#include "server/PgConnection.h"
#include "server/ServerDataSet.h"
#include "server/ServerExtensions.h"
#include "server/ServerSchema.h"
#include "store/Date.h"
#include "ui/tools/AnalysisData.h"
#include "ui/tools/alcohol/AlcoholStore.h"

using namespace quil;
using alcohol::AlcoholCheck;
using alcohol::CheckFilter;
using alcohol::Detector;
using analysis::MaintenanceCycle;
using quil::test::kindOf;
using store::encodeDate;
using store::encodeTime;

namespace {

// Where each kind of data set keeps the register; open() gives a new store on the same data,
// as each piece of work of the program does.
struct FolderData {
    quil::testing::TempDir dir;
    std::unique_ptr<alcohol::CheckStore> checks() {
        return std::make_unique<alcohol::AlcoholStore>(dir.dir());
    }
    std::unique_ptr<analysis::AnalysisStore> analysis() {
        return std::make_unique<analysis::AnalysisData>(dir.dir());
    }
};

struct ServerData {
    quil::test::ScratchDatabase db;
    ServerData() {
        server::PgConnection c(db.conninfo());
        server::initializeSchema(c);
    }
    std::unique_ptr<alcohol::CheckStore> checks() {
        return server::openServerCheckStore(db.conninfo());
    }
    std::unique_ptr<analysis::AnalysisStore> analysis() {
        return server::openServerAnalysisStore(db.conninfo());
    }
};

AlcoholCheck check(store::DateTime when, int driver, int vehicle,
                   const char* checker = "安全 太郎") {
    AlcoholCheck c;
    c.when = when;
    c.driver = driver;
    c.vehicle = vehicle;
    c.checker = checker;
    c.detector = 1;
    return c;
}

std::string messageOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return {};
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

template <typename Data>
class CheckStoreContract : public ::testing::Test {
protected:
    Data data;
};

using Kinds = ::testing::Types<FolderData, ServerData>;
class KindNames {
public:
    template <typename T>
    static std::string GetName(int) {
        return std::is_same_v<T, FolderData> ? "Folder" : "Server";
    }
};
TYPED_TEST_SUITE(CheckStoreContract, Kinds, KindNames);

}  // namespace

TYPED_TEST(CheckStoreContract, ACheckReadsBackWholeInTheNextPieceOfWork) {
    AlcoholCheck c = check(encodeDate(2024, 5, 10) + encodeTime(8, 45) + 1.0 / 3e5, 1, 0);
    c.timing = alcohol::CheckTiming::AfterDrive;
    c.method = alcohol::CheckMethod::Other;
    c.methodText = "無線";
    c.reading = 0.1 + 0.05;  // not a short decimal: kept to the last bit
    c.intoxicated = true;
    c.instructions = "運転中止";
    c.remarks = "備考\n二行目";
    c.id = this->data.checks()->add(c);
    EXPECT_GT(c.id, 0);
    AlcoholCheck plain = check(encodeDate(2024, 5, 10), 2, 3);
    plain.detector = 0;
    plain.id = this->data.checks()->add(plain);
    EXPECT_NE(plain.id, c.id);

    auto s = this->data.checks();
    EXPECT_EQ(s->find(c.id), c);
    EXPECT_EQ(s->find(plain.id), plain);
    EXPECT_FALSE(s->find(plain.id + c.id + 100).has_value());
    EXPECT_EQ(s->count(), 2);
}

TYPED_TEST(CheckStoreContract, LoadFiltersByDaysDriverVehicleAndDeletedInTimeOrder) {
    auto s = this->data.checks();
    const auto day = encodeDate(2024, 5, 10);
    const std::int64_t late = s->add(check(day + encodeTime(17, 0), 1, 0));
    const std::int64_t early = s->add(check(day + encodeTime(8, 0), 1, 0));
    s->add(check(day - 1 + encodeTime(23, 59), 1, 0));
    const std::int64_t lastOfRange = s->add(check(day + 1 + encodeTime(23, 59), 2, 0));
    s->add(check(day + 2, 1, 5));
    // Same time as `late`, entered after it: comes after it.
    const std::int64_t sameTime = s->add(check(day + encodeTime(17, 0), 2, 1));

    CheckFilter f;
    f.firstDay = day + encodeTime(12, 0);  // a time in the day still means the whole day
    f.lastDay = day + 1;
    auto ids = [&](const CheckFilter& filter) {
        std::vector<std::int64_t> out;
        for (const AlcoholCheck& c : s->load(filter)) out.push_back(c.id);
        return out;
    };
    EXPECT_EQ(ids(f), (std::vector<std::int64_t>{early, late, sameTime, lastOfRange}));
    f.driver = 1;
    EXPECT_EQ(ids(f), (std::vector<std::int64_t>{early, late}));
    f.vehicle = 1;
    EXPECT_TRUE(ids(f).empty());
    f = {};
    f.vehicle = 5;
    EXPECT_EQ(ids(f).size(), 1u);
    EXPECT_EQ(ids({}).size(), 6u);

    s->markDeleted(early, "管理者", day + 3);
    EXPECT_EQ(ids({}).size(), 5u);
    f = {};
    f.withDeleted = true;
    f.driver = 1;
    EXPECT_EQ(ids(f).size(), 4u);
    EXPECT_EQ(s->count(), 6);  // deleted checks are counted: they are kept
}

TYPED_TEST(CheckStoreContract, ADeletedCheckStaysWithWhoAndWhenAndCannotBeChanged) {
    AlcoholCheck c = check(encodeDate(2024, 5, 10), 1, 0);
    c.id = this->data.checks()->add(c);
    const auto when = encodeDate(2024, 6, 1) + encodeTime(10, 0);
    this->data.checks()->markDeleted(c.id, "管理者", when);

    auto s = this->data.checks();
    CheckFilter all;
    all.withDeleted = true;
    const auto kept = s->load(all);
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_TRUE(kept[0].deleted);
    EXPECT_EQ(kept[0].deletedBy, "管理者");
    EXPECT_EQ(kept[0].deletedAt, when);

    c.remarks = "後から";
    EXPECT_TRUE(contains(messageOf([&] { s->update(c); }), "削除されたため修正できません"));
    EXPECT_TRUE(contains(messageOf([&] { s->markDeleted(c.id, "別の人", when + 1); }),
                         "すでに削除されています"));
    AlcoholCheck gone = c;
    gone.id = c.id + 1000;
    EXPECT_TRUE(contains(messageOf([&] { s->update(gone); }), "修正できません"));
    EXPECT_TRUE(contains(messageOf([&] { s->markDeleted(gone.id, "x", when); }), "削除されて"));
    EXPECT_EQ(s->find(c.id)->deletedBy, "管理者");
    EXPECT_EQ(s->find(c.id)->remarks, "");
    EXPECT_EQ(s->count(), 1);
}

TYPED_TEST(CheckStoreContract, AnUpdateReplacesEveryFieldOfALiveCheck) {
    auto s = this->data.checks();
    AlcoholCheck c = check(encodeDate(2024, 5, 10), 1, 0);
    c.reading = 0.1;
    c.id = s->add(c);
    c.when += encodeTime(1, 0);
    c.vehicle = 4;
    c.reading.reset();
    c.detector = 0;
    c.checker = "代理 花子";
    c.method = alcohol::CheckMethod::Phone;
    c.intoxicated = true;
    s->update(c);
    EXPECT_EQ(this->data.checks()->find(c.id), c);
}

TYPED_TEST(CheckStoreContract, AddAllStoresEveryCheckInOneGo) {
    std::vector<AlcoholCheck> many;
    for (int i = 0; i < 50; ++i) many.push_back(check(encodeDate(2024, 5, 1) + i, i % 3, 0));
    this->data.checks()->addAll(many);
    this->data.checks()->addAll({});
    const auto loaded = this->data.checks()->load({});
    ASSERT_EQ(loaded.size(), 50u);
    EXPECT_EQ(loaded[49].when, encodeDate(2024, 5, 1) + 49);
}

TYPED_TEST(CheckStoreContract, CheckerNamesComeMostRecentFirstWithoutRepeatsOrBlanks) {
    auto s = this->data.checks();
    s->add(check(encodeDate(2024, 5, 3), 1, 0, "甲"));
    const std::int64_t second = s->add(check(encodeDate(2024, 5, 1), 1, 0, "乙"));
    s->add(check(encodeDate(2024, 5, 2), 1, 0, ""));
    s->add(check(encodeDate(2024, 5, 2), 1, 0, "丙"));
    s->add(check(encodeDate(2024, 4, 1), 1, 0, "甲"));  // entered last, dated earliest
    s->markDeleted(second, "管理者", encodeDate(2024, 6, 1));
    EXPECT_EQ(s->checkerNames(), (std::vector<std::string>{"甲", "丙", "乙"}));
}

TYPED_TEST(CheckStoreContract, DetectorsStayWhileAnyCheckRefersToThem) {
    auto s = this->data.checks();
    Detector a{0, "検知器A", "SN-001", encodeDate(2023, 12, 1), 0, false};
    Detector b{0, "検知器B", "", 0, 0, true};
    a.id = s->addDetector(a);
    b.id = s->addDetector(b);
    a.lastInspection = encodeDate(2024, 5, 1) + 0.1;
    a.name = "検知器A'";
    s->updateDetector(a);
    EXPECT_EQ(this->data.checks()->detectors(), (std::vector<Detector>{a, b}));
    Detector missing = a;
    missing.id = a.id + b.id + 10;
    EXPECT_TRUE(contains(messageOf([&] { s->updateDetector(missing); }), "登録されていません"));

    // A deleted check still refers to its detector.
    AlcoholCheck c = check(encodeDate(2024, 5, 10), 1, 0);
    c.detector = a.id;
    c.id = s->add(c);
    s->markDeleted(c.id, "管理者", encodeDate(2024, 5, 11));
    EXPECT_FALSE(s->removeDetector(a.id));
    EXPECT_TRUE(s->removeDetector(b.id));
    EXPECT_EQ(this->data.checks()->detectors(), (std::vector<Detector>{a}));
    EXPECT_THROW(s->removeDetector(b.id), std::runtime_error);
}

TYPED_TEST(CheckStoreContract, SettingsAndTheInspectionIntervalAreKept) {
    EXPECT_EQ(this->data.checks()->inspectionDays(), alcohol::kDefaultInspectionDays);
    EXPECT_EQ(this->data.checks()->setting("nothing", "既定"), "既定");
    {
        auto s = this->data.checks();
        s->setSetting(alcohol::kInspectionDaysKey, "20");
        s->setSetting(alcohol::kInspectionDaysKey, "14");
        s->setSetting(alcohol::kCompanyNameKey, "株式会社クイル");
    }
    auto s = this->data.checks();
    EXPECT_EQ(s->inspectionDays(), 14);
    EXPECT_EQ(s->setting(alcohol::kCompanyNameKey), "株式会社クイル");
    s->setSetting(alcohol::kInspectionDaysKey, "abc");
    EXPECT_EQ(s->inspectionDays(), alcohol::kDefaultInspectionDays);
}

// Each store tells what it stored, as the data set's DataStore does: the windows that write
// announce nothing themselves.
TYPED_TEST(CheckStoreContract, EachStoredWriteIsAnnouncedAsItsPartAndARefusedOneIsNot) {
    using Part = store::ExtensionPart;
    std::vector<Part> heard;
    const auto listener = [&heard](const store::DataSetChange& c) {
        EXPECT_EQ(c.what, store::DataSetChange::What::ExtensionChanged);
        EXPECT_EQ(c.source, store::ChangeSource::ThisProgram);
        heard.push_back(c.part);
    };
    auto s = this->data.checks();
    s->setChangeListener(listener);

    AlcoholCheck c = check(encodeDate(2024, 5, 10), 1, 0);
    c.id = s->add(c);
    c.remarks = "再検査";
    s->update(c);
    s->addAll({check(encodeDate(2024, 5, 11), 1, 0), check(encodeDate(2024, 5, 12), 2, 1)});
    s->addAll({});  // nothing stored, nothing heard
    s->markDeleted(c.id, "管理者", encodeDate(2024, 5, 13));
    EXPECT_THROW(s->update(c), std::runtime_error);
    EXPECT_THROW(s->markDeleted(c.id, "管理者", encodeDate(2024, 5, 13)), std::runtime_error);
    EXPECT_EQ(heard, std::vector<Part>(4, Part::AlcoholChecks));

    heard.clear();
    Detector used{0, "検知器A", "", 0, 0, false};
    used.id = s->addDetector(used);
    used.serial = "SN-1";
    s->updateDetector(used);
    Detector missing = used;
    missing.id = used.id + 100;
    EXPECT_THROW(s->updateDetector(missing), std::runtime_error);
    AlcoholCheck measured = check(encodeDate(2024, 5, 14), 1, 0);
    measured.detector = used.id;
    s->add(measured);
    EXPECT_FALSE(s->removeDetector(used.id));  // a check refers to it: nothing removed
    const std::int64_t spare = s->addDetector({0, "検知器B", "", 0, 0, true});
    EXPECT_TRUE(s->removeDetector(spare));
    EXPECT_THROW(s->removeDetector(spare), std::runtime_error);
    s->setSetting(alcohol::kInspectionDaysKey, "14");
    EXPECT_EQ(heard, (std::vector<Part>{Part::Detectors, Part::Detectors, Part::AlcoholChecks,
                                        Part::Detectors, Part::Detectors, Part::Detectors}));

    heard.clear();
    auto a = this->data.analysis();
    a->setChangeListener(listener);
    a->saveCycles({{5, 24, 0, 36}});
    a->setDailyLimitKm(800);
    EXPECT_EQ(heard, std::vector<Part>(2, Part::MaintenanceCycles));
    // Another piece of work's store has a listener of its own: none here.
    this->data.checks()->add(c);
    this->data.analysis()->saveCycles({});
    EXPECT_EQ(heard.size(), 2u);
}

namespace {
template <typename Data>
class AnalysisStoreContract : public ::testing::Test {
protected:
    Data data;
};
TYPED_TEST_SUITE(AnalysisStoreContract, Kinds, KindNames);
}  // namespace

TYPED_TEST(AnalysisStoreContract, NothingStoredMeansNoCyclesAndTheDefaultLimit) {
    EXPECT_TRUE(this->data.analysis()->loadCycles().empty());
    EXPECT_DOUBLE_EQ(this->data.analysis()->dailyLimitKm(), analysis::kDefaultDailyLimitKm);
}

TYPED_TEST(AnalysisStoreContract, CyclesAreReplacedWholeWithoutInactiveOnes) {
    this->data.analysis()->saveCycles(
        {{5, 24, 0, 36}, {3, 6, 5000, 0}, {4, 0, 0, 0}, {-1, 6, 0, 0}});
    EXPECT_EQ(this->data.analysis()->loadCycles(),
              (std::vector<MaintenanceCycle>{{3, 6, 5000, 0}, {5, 24, 0, 36}}));
    // The same item twice: the later one counts.
    this->data.analysis()->saveCycles({{5, 12, 0, 0}, {5, 3, 100, 0}});
    EXPECT_EQ(this->data.analysis()->loadCycles(), (std::vector<MaintenanceCycle>{{5, 3, 100, 0}}));
    this->data.analysis()->saveCycles({});
    EXPECT_TRUE(this->data.analysis()->loadCycles().empty());
}

TYPED_TEST(AnalysisStoreContract, TheDailyLimitIsKeptToSixFiguresAndNeverZero) {
    this->data.analysis()->setDailyLimitKm(1500.5);
    EXPECT_DOUBLE_EQ(this->data.analysis()->dailyLimitKm(), 1500.5);
    this->data.analysis()->setDailyLimitKm(1234567.8);
    EXPECT_DOUBLE_EQ(this->data.analysis()->dailyLimitKm(), 1234570);
    this->data.analysis()->setDailyLimitKm(0);
    EXPECT_DOUBLE_EQ(this->data.analysis()->dailyLimitKm(), analysis::kDefaultDailyLimitKm);
}

// --- the server's own ---

namespace {

class ServerExtensions : public ::testing::Test {
protected:
    ServerData data;
    std::string conninfo() const { return data.db.conninfo(); }
    std::int64_t rows(const std::string& sql) {
        return server::PgConnection(data.db.conninfo()).exec(sql).integer(0, 0);
    }
};

}  // namespace

TEST_F(ServerExtensions, AViewerReadsTheRegisterAndTheServerRefusesEveryChange) {
    auto owner = data.checks();
    AlcoholCheck c = check(encodeDate(2024, 5, 10), 1, 0);
    c.id = owner->add(c);
    const std::int64_t detector = owner->addDetector({0, "検知器A", "", 0, 0, false});
    data.analysis()->saveCycles({{3, 6, 0, 0}});

    quil::test::LoginRole viewer(conninfo(), server::kViewerRole);
    server::ServerCheckStore s(viewer.conninfo());
    EXPECT_EQ(s.load({}).size(), 1u);
    EXPECT_EQ(s.detectors().size(), 1u);
    using K = server::ServerError::Kind;
    EXPECT_EQ(kindOf([&] { s.add(c); }), K::NotAllowed);
    EXPECT_EQ(kindOf([&] { s.addAll({c}); }), K::NotAllowed);
    EXPECT_EQ(kindOf([&] { s.update(c); }), K::NotAllowed);
    EXPECT_EQ(kindOf([&] { s.markDeleted(c.id, "閲覧者", c.when); }), K::NotAllowed);
    EXPECT_EQ(kindOf([&] { s.addDetector({}); }), K::NotAllowed);
    EXPECT_EQ(kindOf([&] { s.removeDetector(detector); }), K::NotAllowed);
    EXPECT_EQ(kindOf([&] { s.setSetting(alcohol::kCompanyNameKey, "x"); }), K::NotAllowed);
    EXPECT_TRUE(contains(messageOf([&] { s.add(c); }), "権限がありません"));
    server::ServerAnalysisStore a(viewer.conninfo());
    EXPECT_EQ(a.loadCycles().size(), 1u);
    EXPECT_EQ(kindOf([&] { a.saveCycles({}); }), K::NotAllowed);
    EXPECT_EQ(kindOf([&] { a.setDailyLimitKm(10); }), K::NotAllowed);
    // Plain SQL around the program is refused too.
    EXPECT_EQ(kindOf([&] {
                  server::PgConnection(viewer.conninfo()).run("DELETE FROM quil_alcohol_check");
              }),
              K::NotAllowed);
    EXPECT_EQ(owner->count(), 1);
    EXPECT_FALSE(owner->find(c.id)->deleted);
    EXPECT_EQ(data.analysis()->loadCycles().size(), 1u);

    // A clerk keeps the register but cannot remove checks behind the program's back.
    quil::test::LoginRole clerk(conninfo(), server::kClerkRole);
    server::ServerCheckStore k(clerk.conninfo());
    k.markDeleted(k.add(c), "事務", c.when);
    EXPECT_FALSE(k.removeDetector(detector));
    k.setSetting(alcohol::kCompanyNameKey, "株式会社クイル");
    server::ServerAnalysisStore(clerk.conninfo()).saveCycles({{4, 1, 0, 0}});
    EXPECT_EQ(kindOf([&] {
                  server::PgConnection(clerk.conninfo()).run("DELETE FROM quil_alcohol_check");
              }),
              K::NotAllowed);
    EXPECT_EQ(owner->count(), 2);
}

TEST_F(ServerExtensions, AChangeOfTheRegisterIsHeardByTheOtherProgramsAsItsPart) {
    server::ServerDataSet reader(conninfo());
    reader.listen();
    const auto heard = [&] { return test::changesHeard(reader, std::chrono::seconds(2)); };
    using What = store::DataSetChange::What;
    const auto expectOne = [&](store::ExtensionPart part, const char* what) {
        SCOPED_TRACE(what);
        const auto got = heard();
        ASSERT_EQ(got.size(), 1u);
        EXPECT_EQ(got[0].what, What::ExtensionChanged);
        EXPECT_EQ(got[0].part, part);
        EXPECT_EQ(got[0].source, store::ChangeSource::Elsewhere);
    };
    auto s = data.checks();
    const std::int64_t id = s->add(check(encodeDate(2024, 5, 10), 1, 0));
    expectOne(store::ExtensionPart::AlcoholChecks, "add");
    // Fifty checks in one import: one notice.
    s->addAll(std::vector<AlcoholCheck>(50, check(encodeDate(2024, 5, 11), 1, 0)));
    expectOne(store::ExtensionPart::AlcoholChecks, "addAll");
    s->markDeleted(id, "管理者", encodeDate(2024, 5, 12));
    expectOne(store::ExtensionPart::AlcoholChecks, "markDeleted");
    s->addDetector({0, "検知器", "", 0, 0, false});
    expectOne(store::ExtensionPart::Detectors, "addDetector");
    s->setSetting(alcohol::kInspectionDaysKey, "10");
    expectOne(store::ExtensionPart::Detectors, "inspection days");
    data.analysis()->saveCycles({{3, 6, 0, 0}});
    expectOne(store::ExtensionPart::MaintenanceCycles, "saveCycles");
    data.analysis()->setDailyLimitKm(800);
    expectOne(store::ExtensionPart::MaintenanceCycles, "daily limit");
    // A refused change announces nothing.
    EXPECT_THROW(s->markDeleted(id, "管理者", 0), server::ServerError);
    EXPECT_TRUE(heard().empty());
    // A record saved at the same time is told beside the register's change.
    s->add(check(encodeDate(2024, 5, 13), 1, 0));
    server::ServerDataSet writer(conninfo());
    store::ItemRecord item;
    item.setKind(store::ItemKind::User);
    writer.addItem(item, server::newSaveKey());
    std::vector<store::DataSetChange> both;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (both.size() < 2 && std::chrono::steady_clock::now() < until) {
        reader.connection().waitReadable(50);
        for (auto& c : reader.takeChanges()) both.push_back(c);
    }
    ASSERT_EQ(both.size(), 2u);
    EXPECT_EQ(both[0].what, What::ExtensionChanged);
    EXPECT_EQ(both[1].what, What::ItemsChanged);
}

TEST_F(ServerExtensions, AnImportThatFailsInTheMiddleStoresNoCheck) {
    auto s = data.checks();
    s->add(check(encodeDate(2024, 5, 1), 1, 0));
    std::vector<AlcoholCheck> many(20, check(encodeDate(2024, 5, 2), 1, 0));
    many[15].checker = "\xff\xfe";  // no UTF-8: the server refuses the row
    EXPECT_THROW(s->addAll(many), server::ServerError);
    EXPECT_EQ(s->count(), 1);
    EXPECT_EQ(data.checks()->count(), 1);
}

TEST_F(ServerExtensions, TwoProgramsSavingCyclesAtOnceLeaveOneListNotBothMerged) {
    data.analysis()->saveCycles({{1, 6, 0, 0}});
    // Another program in the middle of its own replacement.
    server::PgConnection other(conninfo());
    other.run("BEGIN");
    other.run("DELETE FROM quil_analysis_cycle");
    other.run("INSERT INTO quil_analysis_cycle (item, months) VALUES (2, 6)");
    std::thread saver([&] { data.analysis()->saveCycles({{3, 6, 0, 0}}); });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    other.run("COMMIT");
    saver.join();
    EXPECT_EQ(data.analysis()->loadCycles(), (std::vector<MaintenanceCycle>{{3, 6, 0, 0}}));
}

TEST_F(ServerExtensions, ADatabaseWithoutADataSetIsRefusedWithItsMessage) {
    quil::test::ScratchDatabase empty;
    const std::string why = messageOf([&] { server::openServerCheckStore(empty.conninfo()); });
    EXPECT_TRUE(contains(why, "データセットではありません")) << why;
    EXPECT_TRUE(contains(messageOf([&] { server::openServerAnalysisStore(empty.conninfo()); }),
                         "データセットではありません"));
}

TEST_F(ServerExtensions, TheProgramForgetsItsConnectionsAFewMomentsAfterTheyClose) {
    auto own = std::make_shared<server::OwnConnections>(std::chrono::milliseconds(300));
    server::PgConnection look(conninfo());
    // The backends on this data set the program counts as its own now.
    const auto counted = [&] {
        const server::PgResult r =
            look.exec("SELECT pid FROM pg_stat_activity WHERE datname = current_database()");
        std::vector<int> pids;
        for (int i = 0; i < r.rows(); ++i)
            if (own->contains(static_cast<int>(r.integer(i, 0))))
                pids.push_back(static_cast<int>(r.integer(i, 0)));
        return pids;
    };
    auto checks = server::openServerCheckStore(conninfo(), own);
    const std::vector<int> first = counted();
    ASSERT_EQ(first.size(), 1u);
    std::vector<int> second;
    {
        server::ServerAnalysisStore analysis(conninfo(), own);
        second = counted();
        ASSERT_EQ(second.size(), 2u);
    }
    // A closed connection's last notices are still ours; then its pid, which the server may
    // give to another program's backend, is forgotten. The open one's is kept.
    const int closed = second[0] == first[0] ? second[1] : second[0];
    EXPECT_TRUE(own->contains(closed));
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    EXPECT_FALSE(own->contains(closed));
    EXPECT_TRUE(own->contains(first[0]));
    checks.reset();
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    EXPECT_FALSE(own->contains(first[0]));
}
