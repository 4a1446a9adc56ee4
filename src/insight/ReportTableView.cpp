#include "insight/ReportTableView.h"

#include <QDir>
#include <QHeaderView>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <exception>

#include "analysis/PrintTarget.h"
#include "analysis/TGridPrinter.h"
#include "ui/components/TComboGrid.h"
#include "ui/dialogs/CsvFileChoice.h"
#include "ui/dialogs/Prompts.h"

namespace quil::insight {

namespace {

constexpr int kSortRole = Qt::UserRole + 1;

std::function<QString(const QString&)>& chooser() {
    static std::function<QString(const QString&)> f;
    return f;
}

QString q(const std::string& s) { return QString::fromStdString(s); }

// Sorts by the figures and keeps a total row last in either direction.
class ReportSortModel : public QSortFilterProxyModel {
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;
    int pinnedRow = -1;

protected:
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override {
        if (left.row() == pinnedRow) return sortOrder() == Qt::DescendingOrder;
        if (right.row() == pinnedRow) return sortOrder() == Qt::AscendingOrder;
        return QSortFilterProxyModel::lessThan(left, right);
    }
};

}  // namespace

ReportTableView::ReportTableView(QWidget* parent)
    : QTableView(parent), model_(new QStandardItemModel(this)), proxy_(new ReportSortModel(this)) {
    proxy_->setSourceModel(model_);
    proxy_->setSortRole(kSortRole);
    setModel(proxy_);
    setSortingEnabled(true);
    sortByColumn(-1, Qt::AscendingOrder);  // file order until a title is clicked
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(24);
    verticalHeader()->hide();
}

void ReportTableView::setTable(const fleet::ReportTable& table,
                               const std::function<QColor(int)>& rowColour) {
    table_ = table;
    static_cast<ReportSortModel*>(proxy_)->pinnedRow =
        table.lastRowIsTotal ? int(table.rows.size()) - 1 : -1;
    model_->clear();
    QStringList titles;
    for (const std::string& t : table.titles) titles << q(t);
    model_->setHorizontalHeaderLabels(titles);
    for (std::size_t r = 0; r < table.rows.size(); ++r) {
        QList<QStandardItem*> items;
        const QColor colour = rowColour ? rowColour(int(r)) : QColor();
        for (std::size_t c = 0; c < table.rows[r].size(); ++c) {
            const fleet::ReportCell& cell = table.rows[r][c];
            auto* item = new QStandardItem(q(cell.text));
            // Cells without a figure sort below every figure, then by text.
            item->setData(cell.number ? QVariant(*cell.number) : QVariant(-1e300), kSortRole);
            const bool right = c < table.rightAligned.size() && table.rightAligned[c];
            item->setTextAlignment(Qt::AlignVCenter | (right ? Qt::AlignRight : Qt::AlignLeft));
            if (colour.isValid()) item->setBackground(colour);
            items << item;
        }
        model_->appendRow(items);
    }
    // Text columns (names, dates as texts) sort by their text.
    for (int c = 0; c < int(table.titles.size()); ++c) {
        bool anyNumber = false;
        for (const auto& row : table.rows)
            anyNumber = anyNumber || (std::size_t(c) < row.size() && row[std::size_t(c)].number);
        if (!anyNumber)
            for (int r = 0; r < model_->rowCount(); ++r)
                model_->item(r, c)->setData(model_->item(r, c)->text(), kSortRole);
    }
    resizeColumnsToContents();
}

int ReportTableView::sourceRow(int shownRow) const {
    return proxy_->mapToSource(proxy_->index(shownRow, 0)).row();
}

fleet::ReportTable ReportTableView::shownTable() const {
    fleet::ReportTable out = table_;
    out.rows.clear();
    for (int r = 0; r < proxy_->rowCount(); ++r)
        out.rows.push_back(table_.rows[std::size_t(sourceRow(r))]);
    return out;
}

bool ReportTableView::exportCsv(const QString& suggestedName) {
    const QString suggested = QDir::home().filePath(suggestedName + QStringLiteral(".csv"));
    const ui::CsvTarget target =
        chooser() ? ui::CsvTarget{chooser()(suggested)} : ui::chooseCsvFile(window(), suggested);
    if (target.path.isEmpty()) return false;
    try {
        fleet::writeTableCsv(shownTable(), target.path.toStdString(), target.encoding);
    } catch (const std::exception& e) {
        ui::Prompts::current().warning(window(), QString::fromStdString(e.what()));
        return false;
    }
    return true;
}

int ReportTableView::print(QPrinter& target, const QString& heading) {
    const fleet::ReportTable t = shownTable();
    ui::TComboGrid grid;
    grid.setFixedRows(1);
    grid.setFixedCols(0);
    const int cols = int(t.titles.size());
    grid.setColCount(cols);
    grid.setRowCount(1 + std::max<int>(1, int(t.rows.size())));
    QStringList head;
    for (const std::string& s : t.titles) head << q(s);
    grid.setRowTexts(0, head);
    for (int c = 0; c < cols; ++c) {
        grid.setColWidths(c, std::max(60, std::min(200, columnWidth(c) + 12)));
        if (std::size_t(c) < t.rightAligned.size() && t.rightAligned[std::size_t(c)])
            grid.CellKind(c).setAlignment(20);  // figures to the right
    }
    for (std::size_t r = 0; r < t.rows.size(); ++r) {
        QStringList texts;
        for (const fleet::ReportCell& cell : t.rows[r]) texts << q(cell.text);
        grid.setRowTexts(int(r) + 1, texts);
    }
    ui::TGridPrinter printer;
    printer.LineHeight = 24;
    printer.setGrid(&grid);
    printer.HeaderMargin = 40;
    printer.LeftMargin = 40;
    printer.TopMargin = 90;
    printer.ProcessEvents = false;
    printer.FitColumns = true;
    printer.OnHeader = [&](QObject*, int&, int, int y) {
        printer.TextOutAt(printer.LeftMargin, y, heading);
    };
    int width = 0;
    for (int c = 0; c < cols; ++c) width += grid.ColWidths(c);
    target.setPageOrientation(width > 700 ? QPageLayout::Landscape : QPageLayout::Portrait);
    ui::keepPrintableMargins(target);
    target.setDocName(heading);
    return printer.Print(target);
}

void ReportTableView::printPreview(const QString& heading) {
    auto* preview = new QPrintPreviewDialog(window());
    preview->setObjectName(QStringLiteral("ReportPreview"));
    preview->setAttribute(Qt::WA_DeleteOnClose);
    preview->setWindowTitle(heading + QStringLiteral("－印刷プレビュー"));
    connect(preview, &QPrintPreviewDialog::paintRequested, this,
            [this, heading](QPrinter* target) { print(*target, heading); });
    preview->open();
}

void ReportTableView::setFileChooserForTesting(std::function<QString(const QString&)> f) {
    chooser() = std::move(f);
}

}  // namespace quil::insight
