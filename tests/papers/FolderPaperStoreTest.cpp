// The licences and papers of a data folder in QuilExt.db, through SQLite's C library.

#include "server/FolderPaperStore.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "SampleDataSet.h"
#include "folder/DataSetFiles.h"
#include "server/SqliteFile.h"

using namespace quil;
using namespace quil::papers;
using quil::store::encodeDate;

namespace {

class FolderPapers : public ::testing::Test {
protected:
    quil::testing::TempDir data;
    void SetUp() override { quil::testing::writeSampleItems(data.dir()); }
    std::string extFile() const { return data.file(folder::kExtensionFileName); }
};

DriverLicence licence(int driver, store::DateTime expiry, std::string number = {}) {
    DriverLicence l;
    l.driver = driver;
    l.expiry = expiry;
    l.number = std::move(number);
    l.kinds = "普通";
    return l;
}

}  // namespace

TEST_F(FolderPapers, RenewalsKeepTheHistoryAndTheLatestExpiryIsCurrent) {
    server::FolderPaperStore reader(data.dir());
    EXPECT_TRUE(reader.licences(true).empty());
    EXPECT_TRUE(reader.papers().empty());
    EXPECT_FALSE(std::filesystem::exists(extFile()));  // reading creates nothing

    server::FolderPaperStore store(data.dir());
    const auto first = store.addLicence(licence(1, encodeDate(2026, 5, 1), "123456789012"));
    const auto renewal = store.addLicence(licence(1, encodeDate(2029, 5, 1), "123456789012"));
    // A late entry of an older licence goes into the history, not over the current one.
    store.addLicence(licence(1, encodeDate(2023, 5, 1)));
    store.addLicence(licence(8, encodeDate(2027, 1, 1)));
    VehiclePaper inspection;
    inspection.vehicle = 0;
    inspection.expiry = encodeDate(2026, 1, 31);
    store.addPaper(inspection);
    inspection.expiry = encodeDate(2028, 1, 31);
    store.addPaper(inspection);
    VehiclePaper lease = inspection;
    lease.kind = PaperKind::Other;
    lease.title = "リース満了";
    lease.expiry = encodeDate(2027, 3, 31);
    store.addPaper(lease);  // an entry of another kind renews nothing

    server::FolderPaperStore again(data.dir());
    const auto licences = again.licences(true);
    ASSERT_EQ(licences.size(), 4u);
    EXPECT_EQ(licences[0].expiry, encodeDate(2023, 5, 1));
    EXPECT_TRUE(licences[0].renewed);
    EXPECT_EQ(licences[1].id, first);
    EXPECT_TRUE(licences[1].renewed);
    EXPECT_EQ(licences[2].id, renewal);
    EXPECT_FALSE(licences[2].renewed);
    EXPECT_EQ(licences[2].number, "123456789012");
    EXPECT_FALSE(licences[3].renewed);
    EXPECT_EQ(again.licences(false)[2].number, "");
    const auto papers = again.papers();
    ASSERT_EQ(papers.size(), 3u);
    EXPECT_TRUE(papers[0].renewed);
    EXPECT_FALSE(papers[1].renewed);
    EXPECT_FALSE(papers[2].renewed);
    EXPECT_EQ(papers[2].title, "リース満了");
    // The current entries alone, without numbers: what the expiry list reads.
    const std::vector<DriverLicence> current = again.currentLicences();
    ASSERT_EQ(current.size(), 2u);
    EXPECT_EQ(std::count_if(current.begin(), current.end(),
                            [&](const DriverLicence& l) { return l.id == renewal && !l.renewed; }),
              1);
    EXPECT_TRUE(std::all_of(current.begin(), current.end(),
                            [](const DriverLicence& l) { return l.number.empty(); }));
    EXPECT_EQ(again.currentPapers().size(), 2u);

    // One transaction: a failing entry leaves the others out too.
    DriverLicence broken = licence(1, encodeDate(2030, 1, 1));
    EXPECT_THROW(again.addAll({broken}, {VehiclePaper{}, [] {
                                             VehiclePaper p;
                                             p.expiry = std::nan("");
                                             return p;
                                         }()}),
                 std::runtime_error);
    EXPECT_EQ(server::FolderPaperStore(data.dir()).licences(true).size(), 4u);
}

TEST_F(FolderPapers, AFileOfAnotherDataSetIsRefusedAndANewerOneIsNotTouched) {
    server::FolderPaperStore(data.dir()).addLicence(licence(1, encodeDate(2026, 5, 1)));
    {
        server::SqliteFile f(extFile(), true);
        const auto rows = f.query("SELECT stamp FROM data_set WHERE id = 1");
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(server::sqlReal(rows[0][0]), quil::testing::kSampleStamp);
        f.exec("UPDATE data_set SET stamp = 1");
    }
    EXPECT_THROW(server::FolderPaperStore(data.dir()).licences(true), server::ServerError);
    {
        server::SqliteFile f(extFile(), true);
        f.exec("UPDATE data_set SET stamp = ?", {quil::testing::kSampleStamp});
        f.exec("UPDATE schema_version SET version = 99 WHERE component = 'papers'");
    }
    EXPECT_THROW(server::FolderPaperStore(data.dir()).addLicence(licence(8, encodeDate(2027, 1, 1))),
                 server::ServerError);
}
