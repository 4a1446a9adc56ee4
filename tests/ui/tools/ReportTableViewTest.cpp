// The report table: its cells as given, sorting by a column title (figures by value, texts
// by text, the total row last), row colours and the shown order behind CSV and print.
#include <gtest/gtest.h>

#include <QBrush>
#include <QHeaderView>
#include <QItemSelectionModel>

#include "ui/tools/ReportTableView.h"

namespace quil::insight {
namespace {

fleet::ReportCell figure(const std::string& text, double value) { return {text, value, {}, false}; }
fleet::ReportCell none(const std::string& text) { return {text, std::nullopt, {}, false}; }

// 名前, 距離 (one without a figure, two equal), with a 合計 row when `total`.
fleet::ReportTable sample(bool total) {
    fleet::ReportTable t;
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

}  // namespace
}  // namespace quil::insight
