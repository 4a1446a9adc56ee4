// The report table: its cells as given, sorting by a column title (figures by value, texts
// by text, the total row last), row colours and the shown order behind CSV and print.
#include <gtest/gtest.h>

#include <filesystem>

#include <QBrush>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPrinter>
#include <QProgressDialog>
#include <QTimer>

#include "FaultyFileSystem.h"
#include "TestSupport.h"
#include "ui/printing/EInvalidOperation.h"
#include "ui/printing/PrintPreview.h"
#include "ui/dialogs/Prompts.h"
#include "ui/components/WholeRowView.h"
#include "ui/tools/ReportTableView.h"

namespace quil::analysis {
namespace {

analysis::ReportCell figure(const std::string& text, double value) { return {text, value, {}, false}; }
analysis::ReportCell none(const std::string& text) { return {text, std::nullopt, {}, false}; }

// 名前, 距離 (one without a figure, two equal), with a 合計 row when `total`.
analysis::ReportTable sample(bool total) {
    analysis::ReportTable t;
    t.titles = {"名前", "距離"};
    t.rightAligned = {false, true};
    t.rows = {{none("b車"), figure("20.0 km", 20)},
              {none("A車"), none("－")},
              {none("c車"), figure("100.0 km", 100)},
              {none("a車"), figure("20.0 km", 20)}};
    if (total) {
        t.rows.push_back({none("合計"), figure("140.0 km", 140)});
        t.lastRowIsTotal = true;
    }
    return t;
}

QStringList column(const ReportTableView& v, int c) {
    QStringList out;
    for (int r = 0; r < v.model()->rowCount(); ++r) out << v.model()->index(r, c).data().toString();
    return out;
}

QStringList names(std::initializer_list<const char*> list) {
    QStringList out;
    for (const char* s : list) out << QString::fromUtf8(s);
    return out;
}

TEST(ReportTableViewTest, ShowsTheCellsInTableOrderWithTitlesAndAlignment) {
    ReportTableView v;
    v.setTable(sample(true));
    const QAbstractItemModel* m = v.model();
    ASSERT_EQ(m->rowCount(), 5);
    ASSERT_EQ(m->columnCount(), 2);
    EXPECT_EQ(m->headerData(1, Qt::Horizontal).toString(), QStringLiteral("距離"));
    EXPECT_EQ(column(v, 0), names({"b車", "A車", "c車", "a車", "合計"}));
    EXPECT_EQ(m->index(1, 1).data().toString(), QStringLiteral("－"));
    EXPECT_EQ(m->index(0, 1).data(Qt::TextAlignmentRole).toInt(),
              int(Qt::AlignRight | Qt::AlignVCenter));
    EXPECT_EQ(m->index(0, 0).data(Qt::TextAlignmentRole).toInt(),
              int(Qt::AlignLeft | Qt::AlignVCenter));
    EXPECT_FALSE(m->index(0, 0).data(Qt::BackgroundRole).isValid());
    EXPECT_FALSE(m->index(5, 0).isValid());
    EXPECT_EQ(v.sourceRow(5), -1);
}

TEST(ReportTableViewTest, FiguresSortByValueAndTheTotalStaysLast) {
    ReportTableView v;
    v.setTable(sample(true));
    v.horizontalHeader()->setSortIndicator(1, Qt::AscendingOrder);
    // No figure below every figure; equal figures keep the table's order.
    EXPECT_EQ(column(v, 0), names({"A車", "b車", "a車", "c車", "合計"}));
    EXPECT_EQ(v.sourceRow(0), 1);
    EXPECT_EQ(v.sourceRow(4), 4);
    v.horizontalHeader()->setSortIndicator(1, Qt::DescendingOrder);
    EXPECT_EQ(column(v, 0), names({"c車", "b車", "a車", "A車", "合計"}));
    EXPECT_EQ(v.shownTable().rows.front()[1].text, "100.0 km");
    EXPECT_EQ(v.shownTable().rows.back()[0].text, "合計");
    // Without a total the last row sorts like any other.
    v.setTable(sample(false));
    EXPECT_EQ(column(v, 0), names({"c車", "b車", "a車", "A車"}));  // the sort is kept
    v.horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    EXPECT_EQ(column(v, 0), names({"b車", "A車", "c車", "a車"}));
}

TEST(ReportTableViewTest, TextColumnsSortByText) {
    ReportTableView v;
    v.setTable(sample(true));
    v.horizontalHeader()->setSortIndicator(0, Qt::AscendingOrder);
    EXPECT_EQ(column(v, 0), names({"A車", "a車", "b車", "c車", "合計"}));
    v.horizontalHeader()->setSortIndicator(0, Qt::DescendingOrder);
    EXPECT_EQ(column(v, 0), names({"c車", "b車", "a車", "A車", "合計"}));
}

TEST(ReportTableViewTest, ColoursAndTheSelectionFollowTheirRowsWhenSorted) {
    ReportTableView v;
    v.setTable(sample(false), [](int row) { return row == 2 ? QColor(Qt::red) : QColor(); });
    v.selectRow(2);  // c車
    v.horizontalHeader()->setSortIndicator(1, Qt::DescendingOrder);
    EXPECT_EQ(v.model()->index(0, 0).data(Qt::BackgroundRole).value<QBrush>().color(),
              QColor(Qt::red));
    EXPECT_FALSE(v.model()->index(1, 0).data(Qt::BackgroundRole).isValid());
    const QModelIndexList selected = v.selectionModel()->selectedRows();
    ASSERT_EQ(selected.size(), 1);
    EXPECT_EQ(selected.front().row(), 0);
    EXPECT_EQ(v.sourceRow(selected.front().row()), 2);
}

// More rows than one chunk of the CSV writer, with figures out of order.
analysis::ReportTable longTable() {
    analysis::ReportTable t;
    t.titles = {"名前", "距離"};
    t.rightAligned = {false, true};
    for (int r = 0; r < int(2 * analysis::kCsvChunkRows + 7); ++r) {
        const int d = (r * 7919) % 10007;
        t.rows.push_back({none("車" + std::to_string(r)), figure(std::to_string(d) + " km", d)});
    }
    return t;
}

// The export writes the rows as shown (sorted), with the bytes of the whole shown table.
TEST(ReportTableViewTest, ExportWritesTheShownRowsAsTheWholeTableWould) {
    quil::testing::TempDir dir;
    ui::ScriptedPrompts prompts;
    ReportTableView v;
    v.setTable(longTable());
    v.sortByColumn(1, Qt::DescendingOrder);
    const QString path = QString::fromStdString(dir.file("out.csv"));
    ReportTableView::setFileChooserForTesting([path](const QString&) { return path; });
    ASSERT_TRUE(v.exportCsv(QStringLiteral("x")));
    ReportTableView::setFileChooserForTesting({});
    EXPECT_EQ(quil::testing::readBytes(path.toStdString()), analysis::tableCsv(v.shownTable()));
    EXPECT_TRUE(prompts.boxes().empty());
}

// Cancelling in the progress dialog leaves the older file as it was, no other file, and
// no message.
TEST(ReportTableViewTest, ACancelledExportKeepsTheOlderFile) {
    quil::testing::TempDir dir;
    ui::ScriptedPrompts prompts;
    ReportTableView v;
    v.setTable(longTable());
    const std::string path = dir.file("out.csv");
    quil::testing::writeBytes(path, "older\r\n");
    ReportTableView::setFileChooserForTesting(
        [path](const QString&) { return QString::fromStdString(path); });
    ReportTableView::setProgressDelayForTesting(0);
    bool sawProgress = false;
    QTimer::singleShot(0, &v, [&] {
        if (auto* progress = v.findChild<QProgressDialog*>()) {
            sawProgress = progress->isVisible();
            progress->cancel();
        }
    });
    EXPECT_FALSE(v.exportCsv(QStringLiteral("x")));
    ReportTableView::setProgressDelayForTesting(1000);
    ReportTableView::setFileChooserForTesting({});
    EXPECT_TRUE(sawProgress);
    EXPECT_EQ(quil::testing::readBytes(path), "older\r\n");
    for (const auto& e : std::filesystem::directory_iterator(std::filesystem::path(path).parent_path()))
        EXPECT_NE(e.path().extension(), ".part") << e.path();
    EXPECT_TRUE(prompts.boxes().empty());
}

// Rows that count the cells made from them and remember the last row asked for.
class CountingRows : public ReportRows {
public:
    explicit CountingRows(std::size_t n) : n_(n) {}
    std::size_t size() const override { return n_; }
    analysis::ReportCell cell(std::size_t row, std::size_t column) const override {
        ++made;
        lastRow = row;
        if (column == 0) return none("行" + std::to_string(row));
        return analysis::ReportCell{std::to_string(row), double(row), {}, false};
    }
    std::optional<double> figure(std::size_t row, std::size_t column) const override {
        return column == 1 ? std::optional<double>(double(row)) : std::nullopt;
    }
    mutable std::size_t made = 0;
    mutable std::size_t lastRow = 0;

private:
    std::size_t n_;
};

// The preview of a long table makes the texts of the rows it measures and draws, not of
// every row, and draws a page's rows in the shown order.
TEST(ReportTableViewTest, ThePreviewMakesTheTextsOfTheRowsItDrawsOnly) {
    ReportTableView v;
    auto rows = std::make_shared<CountingRows>(100000);
    analysis::ReportTable heading;
    heading.titles = {"行", "値"};
    heading.rightAligned = {false, true};
    v.setRows(heading, rows);
    v.sortByColumn(1, Qt::DescendingOrder);
    const std::size_t before = rows->made;
    v.printPreview(QStringLiteral("表"));
    auto* preview = v.findChild<ui::PrintPreview*>(QStringLiteral("ReportPreview"));
    ASSERT_NE(preview, nullptr);
    EXPECT_GT(preview->pageCount(), 1000);
    preview->renderPage(preview->pageCount(), 300);
    EXPECT_EQ(rows->lastRow, 0u);  // the last page ends with the smallest figure
    // Measuring the columns reads up to 2,000 rows; a page holds a few dozen.
    EXPECT_LT(rows->made - before, 2u * 5000u);
    preview->close();
}

// Fitting the columns to their texts reads the rows in view and a few more, not Qt's
// thousand: a long report read again after another computer's save costs the window little.
TEST(ReportTableViewTest, FittingTheColumnsReadsTheRowsInViewAndAFewMore) {
    ReportTableView v;
    v.resize(400, 300);
    auto rows = std::make_shared<CountingRows>(100000);
    analysis::ReportTable heading;
    heading.titles = {"行", "値"};
    v.setRows(heading, rows);
    const std::size_t rowsRead = rows->made / 2;
    EXPECT_GE(rowsRead, std::size_t(ui::kFittedRows));
    EXPECT_LT(rowsRead, 3u * ui::kFittedRows);
}

// A print of a thousand pages or more says how many first; No prints nothing.
TEST(ReportTableViewTest, APrintOfManyPagesAsksFirst) {
    quil::testing::TempDir dir;
    ui::ScriptedPrompts prompts;
    ReportTableView v;
    auto rows = std::make_shared<CountingRows>(100000);
    analysis::ReportTable heading;
    heading.titles = {"行", "値"};
    heading.rightAligned = {false, true};
    v.setRows(heading, rows);
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    const std::string pdf = dir.file("out.pdf");
    printer.setOutputFileName(QString::fromStdString(pdf));
    prompts.answerQuestion(false);
    EXPECT_EQ(v.print(printer, QStringLiteral("表")), 0);
    ASSERT_EQ(prompts.boxes().size(), 1u);
    EXPECT_EQ(prompts.last().kind, ui::ScriptedPrompts::Kind::Question);
    EXPECT_TRUE(prompts.last().text.startsWith(QStringLiteral("PDFファイルは ")));
    EXPECT_TRUE(prompts.last().text.endsWith(QStringLiteral(" ページになります。作成しますか？")));
    EXPECT_FALSE(quil::testing::readBytes(pdf));
}

// A cancelled PDF print leaves the file that was there and no other; a whole one replaces it.
TEST(ReportTableViewTest, ACancelledPdfKeepsTheOlderFileAndAWholeOneReplacesIt) {
    quil::testing::TempDir dir;
    ui::ScriptedPrompts prompts;
    ReportTableView v;
    analysis::ReportTable heading;
    heading.titles = {"行", "値"};
    heading.rightAligned = {false, true};
    v.setRows(heading, std::make_shared<CountingRows>(100000));
    const std::string pdf = dir.file("out.pdf");
    quil::testing::writeBytes(pdf, "older");
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(pdf));
    prompts.answerQuestion(true);
    ReportTableView::setProgressDelayForTesting(0);
    QTimer::singleShot(0, &v, [&] {
        if (auto* progress = v.findChild<QProgressDialog*>()) progress->cancel();
    });
    EXPECT_EQ(v.print(printer, QStringLiteral("表")), 0);
    ReportTableView::setProgressDelayForTesting(1000);
    EXPECT_EQ(quil::testing::readBytes(pdf), "older");
    EXPECT_EQ(printer.outputFileName(), QString::fromStdString(pdf));
    const QDir folder(QString::fromStdString(dir.path()));
    EXPECT_EQ(folder.entryList(QDir::Files | QDir::Hidden).size(), 1);

    v.setRows(heading, std::make_shared<CountingRows>(3));
    EXPECT_EQ(v.print(printer, QStringLiteral("表")), 1);
    EXPECT_EQ(quil::testing::readBytes(pdf)->substr(0, 5), "%PDF-");
    EXPECT_EQ(folder.entryList(QDir::Files | QDir::Hidden).size(), 1);

    // A write that fails as the PDF is put in place leaves the older file whole.
    quil::testing::writeBytes(pdf, "older");
    {
        quil::testing::FaultyFileSystem faulty(quil::testing::FaultyFileSystem::Op::Rename, 1);
        store::FileSystem::setCurrent(&faulty);
        EXPECT_THROW(v.print(printer, QStringLiteral("表")), ui::EPrinterError);
        store::FileSystem::setCurrent(nullptr);
        EXPECT_TRUE(faulty.fired());
    }
    EXPECT_EQ(quil::testing::readBytes(pdf), "older");
    EXPECT_EQ(folder.entryList(QDir::Files | QDir::Hidden).size(), 1);

    // A data set's own file is never a PDF's target.
    const std::string records = dir.file("Quil.qud");
    quil::testing::writeBytes(records, "records");
    printer.setOutputFileName(QString::fromStdString(records));
    try {
        v.print(printer, QStringLiteral("表"));
        ADD_FAILURE() << "a data file was taken for a PDF's target";
    } catch (const ui::EPrinterError& e) {
        EXPECT_NE(std::string(e.what()).find("データのファイル (Quil.qud)"), std::string::npos)
            << e.what();
    }
    EXPECT_EQ(quil::testing::readBytes(records), "records");
}

// A text CP932 cannot hold makes the export ask before it would become '?': No writes
// nothing, Yes writes UTF-8; the question names the first such lines.
TEST(ReportTableViewTest, ACsvInCp932AsksBeforeATextWouldBecomeAQuestionMark) {
    quil::testing::TempDir dir;
    ui::ScriptedPrompts prompts;
    ReportTableView v;
    analysis::ReportTable t = sample(false);
    t.rows[1][0] = none("🍺号");
    v.setTable(t);
    const QString path = QString::fromStdString(dir.file("out.csv"));
    ReportTableView::setFileChooserForTesting([path](const QString&) { return path; });
    prompts.answerQuestion(false);
    EXPECT_FALSE(v.exportCsv(QStringLiteral("x")));
    ASSERT_EQ(prompts.boxes().size(), 1u);
    EXPECT_TRUE(prompts.last().text.startsWith(QStringLiteral("3行目などに"))) << prompts.last().text.toStdString();
    EXPECT_FALSE(quil::testing::readBytes(path.toStdString()));
    prompts.answerQuestion(true);
    EXPECT_TRUE(v.exportCsv(QStringLiteral("x")));
    ReportTableView::setFileChooserForTesting({});
    EXPECT_EQ(quil::testing::readBytes(path.toStdString()),
              analysis::tableCsv(v.shownTable(), store::TextEncoding::Utf8));
}

}  // namespace
}  // namespace quil::analysis
