// The graph window: the three charts from the records, PNG and print.
#include <gtest/gtest.h>

#include <QAbstractBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QImage>
#include <QLineSeries>
#include <QPrinter>
#include <QSpinBox>

#include "InsightFixtures.h"
#include "insight/ChartForm.h"
#include "insight/PeriodPicker.h"

namespace quil::insight {
namespace {

using namespace quil::testing;

class ChartFormTest : public ::testing::Test {
protected:
    void SetUp() override {
        writeSampleFleet(dir);
        form.resize(800, 500);
        form.show();
        form.Picker->YearBox->setValue(2024);
        form.Picker->PeriodBox->setCurrentIndex(1);
    }
    void TearDown() override { ChartForm::setFileChooserForTesting({}); }
    TempDir dir;
    FolderContext context{dir.dir()};
    ui::ScriptedPrompts prompts;
    ChartForm form{context, nullptr};
};

TEST_F(ChartFormTest, DistanceAndStackedCostPerMonth) {
    form.KindBox->setCurrentIndex(ChartForm::DistancePerMonth);
    form.DrawClick();
    ASSERT_EQ(form.chart()->series().size(), 1);
    auto* bars = qobject_cast<QAbstractBarSeries*>(form.chart()->series()[0]);
    ASSERT_TRUE(bars);
    QBarSet* distance = bars->barSets()[0];
    ASSERT_EQ(distance->count(), 12);
    EXPECT_DOUBLE_EQ(distance->at(0), 400);
    EXPECT_DOUBLE_EQ(distance->at(1), 0);
    EXPECT_DOUBLE_EQ(distance->at(2), 450);
    EXPECT_TRUE(form.chart()->title().startsWith(QStringLiteral("月別走行距離")));

    form.KindBox->setCurrentIndex(ChartForm::CostPerMonth);
    form.DrawClick();
    auto* stacked = qobject_cast<QAbstractBarSeries*>(form.chart()->series()[0]);
    ASSERT_EQ(stacked->barSets().size(), 3);
    EXPECT_EQ(stacked->barSets()[0]->label(), QStringLiteral("燃料費"));
    EXPECT_DOUBLE_EQ(stacked->barSets()[0]->at(0), 6050);
    EXPECT_DOUBLE_EQ(stacked->barSets()[1]->at(0), 5000);
    EXPECT_DOUBLE_EQ(stacked->barSets()[2]->at(2), 2000);
}

TEST_F(ChartFormTest, EconomyOverTime) {
    form.KindBox->setCurrentIndex(ChartForm::EconomyOverTime);
    form.DrawClick();
    auto* line = qobject_cast<QLineSeries*>(form.chart()->series()[0]);
    ASSERT_TRUE(line);
    ASSERT_EQ(line->count(), 1);
    EXPECT_DOUBLE_EQ(line->at(0).y(), 20.0);
}

TEST_F(ChartFormTest, SavedAsPngAndPrinted) {
    form.DrawClick();
    const std::string path = dir.file("chart.png");
    ChartForm::setFileChooserForTesting(
        [&](const QString&) { return QString::fromStdString(path); });
    ASSERT_TRUE(form.savePng());
    const QImage saved(QString::fromStdString(path));
    EXPECT_EQ(saved.size(), form.View->size());

    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(dir.file("chart.pdf")));
    form.print(printer);
    EXPECT_GT(readBytes(dir.file("chart.pdf"))->size(), 1000u);
}

}  // namespace
}  // namespace quil::insight
