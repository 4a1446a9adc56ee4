// The odometer check list and the entry dialog's question.
#include <gtest/gtest.h>

#include <QDoubleSpinBox>
#include <QLabel>

#include "InsightFixtures.h"
#include "store/StoreError.h"
#include "ui/tools/AnalysisData.h"
#include "ui/tools/OdometerCheckForm.h"
#include "ui/tools/OdometerWarning.h"
#include "ui/tools/ReportTableView.h"

namespace quil::insight {
namespace {

using namespace quil::testing;

class OdometerFormsTest : public ::testing::Test {
protected:
    void SetUp() override { writeSampleFleet(dir); }
    TempDir dir;
    StandInMain context{dir.dir()};
    ui::ScriptedPrompts prompts;
};

TEST_F(OdometerFormsTest, ListsTheBreaksAndOpensTheRecord) {
    std::vector<std::pair<std::int64_t, int>> opened;
    OdometerCheckForm form(
        context, [&](std::int64_t pos, int kind) { opened.emplace_back(pos, kind); }, nullptr);
    form.show();
    ASSERT_EQ(form.findings().size(), 1u);
    const QAbstractItemModel* m = form.FindingTable->model();
    EXPECT_EQ(m->index(0, 0).data().toString(), QStringLiteral("2024/03/04"));
    EXPECT_EQ(m->index(0, 1).data().toString(), QStringLiteral("車A"));
    EXPECT_EQ(m->index(0, 2).data().toString(), QStringLiteral("走行記録"));
    EXPECT_EQ(m->index(0, 3).data().toString(), QStringLiteral("1650.0 km"));
    EXPECT_EQ(m->index(0, 4).data().toString(), QStringLiteral("1700.0～3700.0 km"));
    EXPECT_TRUE(form.CountLabel->text().contains(QStringLiteral("1件")));
    form.openRow(0);
    EXPECT_EQ(opened, (std::vector<std::pair<std::int64_t, int>>{{7, 0}}));
}

TEST_F(OdometerFormsTest, TheLimitIsKeptInTheExtensionFile) {
    OdometerCheckForm form(context, {}, nullptr);
    form.show();
    EXPECT_FALSE(ext::ExtDatabase::exists(dir.dir()));  // the default changes nothing
    form.LimitBox->setValue(50);
    form.CheckClick();
    EXPECT_DOUBLE_EQ(AnalysisData::dailyLimitKm(dir.dir()), 50);
    EXPECT_GT(form.findings().size(), 1u);  // 300 km trips now break it
    OdometerCheckForm again(context, {}, nullptr);
    again.show();
    EXPECT_DOUBLE_EQ(again.LimitBox->value(), 50);
    // Read-only: the limit serves the check but is not stored.
    again.setReadOnlyCheck([] { return true; });
    again.LimitBox->setValue(5000);
    again.CheckClick();
    EXPECT_EQ(again.findings().size(), 1u);
    EXPECT_DOUBLE_EQ(AnalysisData::dailyLimitKm(dir.dir()), 50);
}

// A check that cannot read the records ends at the application's one error report; the
// findings and the table stay as they were, together, so a row still opens its record.
TEST_F(OdometerFormsTest, AnUnreadableDataSetKeepsTheFindingsAndTheirTable) {
    OdometerCheckForm form(context, {}, nullptr);
    form.show();
    ASSERT_EQ(form.findings().size(), 1u);
    UnreadableRecords unreadable;
    form.LimitBox->setValue(50);
    EXPECT_THROW(form.CheckClick(), store::StoreError);
    EXPECT_TRUE(prompts.boxes().empty());
    EXPECT_EQ(form.findings().size(), 1u);
    EXPECT_EQ(form.FindingTable->model()->rowCount(), 1);
}

TEST_F(OdometerFormsTest, TheEntryDialogAsksAndNeverRefuses) {
    const store::DataRecord back = driving(day(2024, 3, 20), 0, 1500, 1600);
    const QString text = OdometerWarning::text(dir.dir(), back, std::nullopt);
    EXPECT_TRUE(text.contains(QStringLiteral("出庫距離が前回の距離より小さい")));
    EXPECT_TRUE(text.contains(QStringLiteral("1800.0")));
    prompts.answerQuestion(false);
    EXPECT_FALSE(OdometerWarning::confirm(nullptr, dir.dir(), back, std::nullopt));
    EXPECT_EQ(prompts.last().title, QStringLiteral("距離の確認"));
    prompts.answerQuestion(true);
    EXPECT_TRUE(OdometerWarning::confirm(nullptr, dir.dir(), back, std::nullopt));

    prompts.clear();
    EXPECT_TRUE(OdometerWarning::confirm(nullptr, dir.dir(),
                                         driving(day(2024, 3, 20), 0, 1800, 1900), std::nullopt));
    // Mending the backwards trip (position 7) raises no question.
    EXPECT_TRUE(
        OdometerWarning::confirm(nullptr, dir.dir(), driving(day(2024, 3, 4), 0, 1700, 1850), 7));
    EXPECT_TRUE(prompts.boxes().empty());
}

}  // namespace
}  // namespace quil::insight
