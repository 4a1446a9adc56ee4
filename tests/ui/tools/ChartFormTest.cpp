// The graph window: the three charts from the records, PNG and print.
#include <gtest/gtest.h>

#include <QAbstractBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDateTimeAxis>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLineSeries>
#include <QPrinter>
#include <QPushButton>
#include <QSpinBox>

#include "FaultyFileSystem.h"
#include "AnalysisFixtures.h"
#include "ui/printing/PrintPreview.h"
#include "store/StoreError.h"
#include "ui/dialogs/FileChoice.h"
#include "ui/tools/ChartForm.h"
#include "ui/tools/PeriodPicker.h"
#include "ui/tools/charts/QtChartCanvas.h"

namespace quil::analysis {
namespace {

using namespace quil::testing;

QChart* chartOf(const ChartForm& form) { return qobject_cast<QChart*>(form.chart()); }

// The chart linked in, as the module would make it.
struct LinkedCharts {
    LinkedCharts() { setChartCanvasFactoryForTesting(&QtChartCanvas::create); }
    ~LinkedCharts() { setChartCanvasFactoryForTesting(nullptr); }
};

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
    StandInMain context{dir.dir()};
    ui::ScriptedPrompts prompts;
    LinkedCharts charts;
    ChartForm form{context, nullptr};
};

TEST_F(ChartFormTest, DistanceAndStackedCostPerMonth) {
    form.KindBox->setCurrentIndex(ChartForm::DistancePerMonth);
    form.DrawClick();
    ASSERT_EQ(chartOf(form)->series().size(), 1);
    auto* bars = qobject_cast<QAbstractBarSeries*>(chartOf(form)->series()[0]);
    ASSERT_TRUE(bars);
    QBarSet* distance = bars->barSets()[0];
    ASSERT_EQ(distance->count(), 12);
    EXPECT_DOUBLE_EQ(distance->at(0), 400);
    EXPECT_DOUBLE_EQ(distance->at(1), 0);
    EXPECT_DOUBLE_EQ(distance->at(2), 450);
    EXPECT_TRUE(chartOf(form)->title().startsWith(QStringLiteral("月別走行距離")));

    form.KindBox->setCurrentIndex(ChartForm::CostPerMonth);
    form.DrawClick();
    auto* stacked = qobject_cast<QAbstractBarSeries*>(chartOf(form)->series()[0]);
    ASSERT_EQ(stacked->barSets().size(), 3);
    EXPECT_EQ(stacked->barSets()[0]->label(), QStringLiteral("燃料費"));
    EXPECT_DOUBLE_EQ(stacked->barSets()[0]->at(0), 6050);
    EXPECT_DOUBLE_EQ(stacked->barSets()[1]->at(0), 5000);
    EXPECT_DOUBLE_EQ(stacked->barSets()[2]->at(2), 2000);
}

TEST_F(ChartFormTest, EconomyOverTime) {
    form.KindBox->setCurrentIndex(ChartForm::EconomyOverTime);
    form.DrawClick();
    auto* line = qobject_cast<QLineSeries*>(chartOf(form)->series()[0]);
    ASSERT_TRUE(line);
    ASSERT_EQ(line->count(), 1);
    EXPECT_DOUBLE_EQ(line->at(0).y(), 20.0);
}

// The chart's command ends at the application's one error report when the data set cannot
// be read; the window shows no box of its own and keeps the chart it drew.
TEST_F(ChartFormTest, AnUnreadableDataSetEndsTheCommandAndKeepsTheChart) {
    form.KindBox->setCurrentIndex(ChartForm::DistancePerMonth);
    form.DrawClick();
    const QString title = chartOf(form)->title();
    UnreadableRecords unreadable;
    form.KindBox->setCurrentIndex(ChartForm::EconomyOverTime);
    EXPECT_THROW(form.DrawClick(), store::StoreError);
    EXPECT_TRUE(prompts.boxes().empty());
    EXPECT_EQ(chartOf(form)->title(), title);
}

TEST_F(ChartFormTest, SavedAsPngAndPrinted) {
    form.DrawClick();
    const std::string path = dir.file("chart.png");
    ChartForm::setFileChooserForTesting(
        [&](const QString&) { return QString::fromStdString(path); });
    ASSERT_TRUE(form.savePng());
    const QImage saved(QString::fromStdString(path));
    EXPECT_EQ(saved.size(), form.View->size());
    // A failure part way leaves the saved image whole; a data set's file is refused.
    const auto png = readBytes(path);
    {
        FaultyFileSystem faulty(FaultyFileSystem::Op::Rename, 1);
        store::FileSystem::setCurrent(&faulty);
        EXPECT_FALSE(form.savePng());
        store::FileSystem::setCurrent(nullptr);
    }
    EXPECT_EQ(readBytes(path), png);
    EXPECT_TRUE(prompts.last().text.startsWith(QString::fromStdString(path))) << prompts.last().text.toStdString();
    ChartForm::setFileChooserForTesting(
        [&](const QString&) { return QString::fromStdString(dir.file("Quil.qud")); });
    const auto records = readBytes(dir.file("Quil.qud"));
    EXPECT_FALSE(form.savePng());
    EXPECT_EQ(readBytes(dir.file("Quil.qud")), records);
    EXPECT_TRUE(prompts.last().text.contains(QStringLiteral("データのファイル")));

    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(dir.file("chart.pdf")));
    form.print(printer);
    EXPECT_GT(readBytes(dir.file("chart.pdf"))->size(), 1000u);
}

// The PNG and print-to-file dialogs start in Documents with a proposed name, then in the
// folder last chosen for that kind of file, also in the next run (kept in Quil.ini); never
// in the working folder.
TEST_F(ChartFormTest, FileDialogsStartInDocumentsThenInTheLastFolderOfTheirKind) {
    ui::keepFileFoldersIn(dir.path());
    const QByteArray home = qgetenv("HOME");
    const QString fakeHome = QString::fromStdString(dir.file("home"));
    ASSERT_TRUE(QDir().mkpath(fakeHome + QStringLiteral("/Documents")));
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(dir.file("png"))));
    qputenv("HOME", fakeHome.toUtf8());
    QStringList starts;
    QString answer;
    ui::setFileDialogForTesting([&](const QString& start) {
        starts << start;
        return answer;
    });
    form.DrawClick();
    answer = QString::fromStdString(dir.file("png/a.png"));
    ASSERT_TRUE(form.savePng());
    ASSERT_TRUE(form.savePng());
    EXPECT_TRUE(QFileInfo::exists(answer));

    // Print to file from the preview: a name after the window, in Documents (PDFs have
    // their own last folder).
    form.PrintButton->click();
    auto* preview = form.findChild<ui::PrintPreview*>();
    ASSERT_NE(preview, nullptr);
    preview->printer().setOutputFormat(QPrinter::PdfFormat);
    preview->printer().setOutputFileName(QString());
    answer.clear();  // cancelled
    preview->printDocument();
    preview->close();
    ui::setFileDialogForTesting({});
    qputenv("HOME", home);

    const QString name = form.KindBox->currentText() + QStringLiteral(".png");
    EXPECT_EQ(starts, (QStringList{fakeHome + QStringLiteral("/Documents/") + name,
                                   QString::fromStdString(dir.file("png/")) + name,
                                   fakeHome + QStringLiteral("/Documents/グラフ.pdf")}));

    // The next run starts in the PNG folder too, and PDFs still in Documents.
    ui::keepFileFoldersIn(dir.path());
    qputenv("HOME", fakeHome.toUtf8());
    EXPECT_EQ(ui::proposedFilePath(ui::FileKind::Png, QStringLiteral("b.png")),
              QString::fromStdString(dir.file("png/b.png")));
    EXPECT_EQ(ui::proposedFilePath(ui::FileKind::Pdf, QStringLiteral("b.pdf")),
              fakeHome + QStringLiteral("/Documents/b.pdf"));
    // A folder whose name Quil.ini cannot hold is used for this run and not saved: the
    // saved one stays.
    const QString korean = QString::fromStdString(dir.file("")) + QStringLiteral("그림");
    ASSERT_TRUE(QDir().mkpath(korean));
    ui::rememberFileFolder(ui::FileKind::Png, korean + QStringLiteral("/c.png"));
    EXPECT_EQ(ui::proposedFilePath(ui::FileKind::Png, QStringLiteral("c.png")),
              korean + QStringLiteral("/c.png"));
    ui::keepFileFoldersIn(dir.path());
    EXPECT_EQ(ui::proposedFilePath(ui::FileKind::Png, QStringLiteral("c.png")),
              QString::fromStdString(dir.file("png/c.png")));
    qputenv("HOME", home);
    ui::keepFileFoldersIn({});
}

}  // namespace
}  // namespace quil::analysis

namespace quil::analysis {
namespace {

using namespace quil::testing;

analysis::FuelReport threeMonths() {
    analysis::FuelReport r;
    for (unsigned month : {4u, 5u, 6u}) {
        analysis::MonthCosts m;
        m.year = 2024;
        m.month = month;
        m.figures.distance = 100.0 * month;
        r.months.push_back(m);
    }
    return r;
}

// The module the program loads, as built: it draws without anything of the program linked
// in, from the report alone.
TEST(ChartModule, TheBuiltModuleDrawsTheReport) {
    QWidget parent;
    const ChartCanvasResult made =
        createChartCanvasFrom(QStringLiteral(QUIL_CHART_MODULE), &parent);
    ASSERT_TRUE(made.canvas) << made.error.toStdString();
    EXPECT_EQ(made.canvas->widget()->parentWidget(), &parent);
    made.canvas->draw(ChartKind::DistancePerMonth, QStringLiteral("月別走行距離"), threeMonths());
    auto* chart = qobject_cast<QChart*>(made.canvas->chart());
    ASSERT_TRUE(chart);
    EXPECT_EQ(chart->title(), QStringLiteral("月別走行距離"));
    ASSERT_EQ(chart->series().size(), 1);
    auto* bars = qobject_cast<QAbstractBarSeries*>(chart->series()[0]);
    ASSERT_TRUE(bars);
    ASSERT_EQ(bars->barSets()[0]->count(), 3);
    EXPECT_DOUBLE_EQ(bars->barSets()[0]->at(2), 600);
    // A second canvas comes from the module already loaded.
    const ChartCanvasResult again =
        createChartCanvasFrom(QStringLiteral(QUIL_CHART_MODULE), &parent);
    ASSERT_TRUE(again.canvas);
    EXPECT_NE(again.canvas, made.canvas);
}

// Every vehicle's fill-ups make a line of their own, not one zig-zag across vehicles.
TEST(ChartModule, EconomyOfAllVehiclesIsOneLinePerVehicle) {
    analysis::FuelReport r;
    r.vehicles = {{0, "軽トラ", {}}, {2, "ワゴン", {}}};
    const double d = store::encodeDate(2024, 4, 1);
    r.points = {{d, 0, 200, 10}, {d + 1, 2, 100, 10}, {d + 2, 0, 300, 10}, {d + 3, 2, 120, 10}};
    QWidget parent;
    const ChartCanvasResult made =
        createChartCanvasFrom(QStringLiteral(QUIL_CHART_MODULE), &parent);
    ASSERT_TRUE(made.canvas) << made.error.toStdString();
    made.canvas->draw(ChartKind::EconomyOverTime, QStringLiteral("燃費の推移"), r);
    auto* chart = qobject_cast<QChart*>(made.canvas->chart());
    ASSERT_TRUE(chart);
    ASSERT_EQ(chart->series().size(), 2);
    auto* first = qobject_cast<QLineSeries*>(chart->series()[0]);
    auto* second = qobject_cast<QLineSeries*>(chart->series()[1]);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->name(), QStringLiteral("軽トラ (km/L)"));
    ASSERT_EQ(first->count(), 2);
    EXPECT_DOUBLE_EQ(first->at(0).y(), 20);
    EXPECT_DOUBLE_EQ(first->at(1).y(), 30);
    EXPECT_EQ(second->name(), QStringLiteral("ワゴン (km/L)"));
    ASSERT_EQ(second->count(), 2);
    EXPECT_DOUBLE_EQ(second->at(1).y(), 12);
    // The time axis holds every vehicle's points, not only the first line's.
    auto* x = qobject_cast<QDateTimeAxis*>(chart->axes(Qt::Horizontal).value(0));
    ASSERT_TRUE(x);
    EXPECT_LE(x->min().toMSecsSinceEpoch(), qint64(first->at(0).x()));
    EXPECT_GE(x->max().toMSecsSinceEpoch(), qint64(second->at(1).x()));
}

TEST(ChartModule, AFileThatIsNoModuleIsReportedNotLoaded) {
    TempDir dir;
    const std::string path = dir.file("libquil_charts.so");
    writeBytes(path, std::string(64, '\0'));
    QWidget parent;
    const ChartCanvasResult made = createChartCanvasFrom(QString::fromStdString(path), &parent);
    EXPECT_FALSE(made.canvas);
    EXPECT_TRUE(made.error.startsWith(
        QStringLiteral("グラフを描く部品 (libquil_charts.so) を読み込めませんでした。")))
        << made.error.toStdString();
    EXPECT_TRUE(parent.findChildren<QWidget*>().isEmpty());
}

// Without the module (the tests' folder has none) the window opens, says why in place of the
// chart, and offers nothing that needs the chart.
TEST(ChartModule, WithoutTheModuleTheWindowSaysWhyAndDrawsNothing) {
    TempDir dir;
    writeSampleFleet(dir);
    StandInMain context{dir.dir()};
    ui::ScriptedPrompts prompts;
    ChartForm form{context, nullptr};
    EXPECT_FALSE(form.chart());
    auto* reason = qobject_cast<QLabel*>(form.View);
    ASSERT_TRUE(reason);
    EXPECT_TRUE(reason->text().contains(QStringLiteral("libquil_charts.so")));
    EXPECT_TRUE(reason->text().contains(chartModuleCandidates().first()));
    EXPECT_FALSE(form.DrawButton->isEnabled());
    EXPECT_FALSE(form.PngButton->isEnabled());
    EXPECT_FALSE(form.PrintButton->isEnabled());
    EXPECT_TRUE(form.CloseButton->isEnabled());
    form.DrawClick();  // nothing to draw on, and no complaint
    EXPECT_FALSE(form.chart());
}

}  // namespace
}  // namespace quil::analysis
