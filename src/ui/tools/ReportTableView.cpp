#include "ui/tools/ReportTableView.h"

#include <QAbstractTableModel>
#include <QBrush>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QPointer>
#include <QPrinter>
#include <QProgressDialog>
#include <algorithm>
#include <exception>
#include <filesystem>
#include <memory>
#include <numeric>
#include <vector>

#include "folder/ExportFile.h"
#include "store/CsvWriter.h"
#include "ui/components/TComboGrid.h"
#include "ui/components/WholeRowView.h"
#include "ui/dialogs/CsvFileChoice.h"
#include "ui/dialogs/FileChoice.h"
#include "ui/dialogs/Prompts.h"
#include "ui/dialogs/WaitCursor.h"
#include "ui/printing/EInvalidOperation.h"
#include "ui/printing/PrintPreview.h"
#include "ui/printing/PrintRun.h"
#include "ui/printing/PrintTarget.h"
#include "ui/printing/TGridPrinter.h"

namespace quil::analysis {

namespace {

std::function<QString(const QString&)>& chooser() {
    static std::function<QString(const QString&)> f;
    return f;
}

int& progressDelay() {
    static int ms = 1000;
    return ms;
}

QString q(const std::string& s) { return QString::fromStdString(s); }

// A whole table of texts as rows.
class WholeTableRows : public ReportRows {
public:
    explicit WholeTableRows(std::vector<std::vector<analysis::ReportCell>> rows)
        : rows_(std::move(rows)) {}
    std::size_t size() const override { return rows_.size(); }
    analysis::ReportCell cell(std::size_t row, std::size_t column) const override {
        const auto& cells = rows_[row];
        return column < cells.size() ? cells[column] : analysis::ReportCell{};
    }
    std::optional<double> figure(std::size_t row, std::size_t column) const override {
        const auto& cells = rows_[row];
        return column < cells.size() ? cells[column].number : std::nullopt;
    }
    std::vector<analysis::ReportCell> row(std::size_t row, std::size_t) const override {
        return rows_[row];
    }

private:
    std::vector<std::vector<analysis::ReportCell>> rows_;
};

}  // namespace

std::vector<analysis::ReportCell> ReportRows::row(std::size_t r, std::size_t columns) const {
    std::vector<analysis::ReportCell> out;
    out.reserve(columns);
    for (std::size_t c = 0; c < columns; ++c) out.push_back(cell(r, c));
    return out;
}

// The rows of a report as given, shown through a list of row numbers that sorting rearranges.
// A cell's text, alignment and colour are made only when asked for.
class ReportTableModel : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;

    const analysis::ReportTable& heading() const { return heading_; }
    const ReportRows* rows() const { return rows_.get(); }
    const std::shared_ptr<const ReportRows>& sharedRows() const { return rows_; }
    const std::vector<int>& order() const { return order_; }
    int tableRow(int shownRow) const {
        return shownRow >= 0 && std::size_t(shownRow) < order_.size()
                   ? order_[std::size_t(shownRow)]
                   : -1;
    }

    // Shows `rows` in the order of the column last sorted by; no rows: an empty table.
    void reset(analysis::ReportTable heading, std::shared_ptr<const ReportRows> rows,
               std::vector<QColor> colours) {
        beginResetModel();
        heading_ = std::move(heading);
        heading_.rows.clear();
        rows_ = std::move(rows);
        colours_ = std::move(colours);
        order_ = arranged();
        endResetModel();
    }

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : int(order_.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : int(heading_.titles.size());
    }

    QVariant data(const QModelIndex& index, int role) const override {
        const int r = tableRow(index.row());
        if (!index.isValid() || r < 0) return {};
        const auto c = std::size_t(index.column());
        if (c >= heading_.titles.size()) return {};
        switch (role) {
            case Qt::DisplayRole: return q(rows_->cell(std::size_t(r), c).text);
            case Qt::TextAlignmentRole: {
                const bool right = c < heading_.rightAligned.size() && heading_.rightAligned[c];
                return int(Qt::AlignVCenter | (right ? Qt::AlignRight : Qt::AlignLeft));
            }
            case Qt::BackgroundRole:
                if (std::size_t(r) < colours_.size() && colours_[std::size_t(r)].isValid())
                    return QBrush(colours_[std::size_t(r)]);
                return {};
            default: return {};
        }
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
            std::size_t(section) < heading_.titles.size())
            return q(heading_.titles[std::size_t(section)]);
        return QAbstractTableModel::headerData(section, orientation, role);
    }

    // Column -1 gives the order of the rows as given.
    void sort(int column, Qt::SortOrder order) override {
        sortColumn_ = column;
        sortOrder_ = order;
        Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
        std::vector<int> next = arranged();
        std::vector<int> shownAt(next.size());
        for (std::size_t i = 0; i < next.size(); ++i) shownAt[std::size_t(next[i])] = int(i);
        const QModelIndexList before = persistentIndexList();
        QModelIndexList after;
        after.reserve(before.size());
        for (const QModelIndex& i : before) {
            const int r = tableRow(i.row());
            after << (r < 0 ? QModelIndex() : index(shownAt[std::size_t(r)], i.column()));
        }
        order_ = std::move(next);
        changePersistentIndexList(before, after);
        Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    }

private:
    // The row numbers in the shown order: by the sort column's figures (cells without one
    // below every figure) or, where the column has no figures, by its texts; equal cells
    // keep the given order and a total row stays last either way.
    std::vector<int> arranged() const {
        const std::size_t n = rows_ ? rows_->size() : 0;
        std::vector<int> order(n);
        std::iota(order.begin(), order.end(), 0);
        const int c = sortColumn_;
        if (c < 0 || std::size_t(c) >= heading_.titles.size() || order.empty()) return order;
        const auto end = heading_.lastRowIsTotal ? order.end() - 1 : order.end();
        const auto col = std::size_t(c);
        const bool descending = sortOrder_ == Qt::DescendingOrder;
        std::vector<double> figures(n, -1e300);
        bool anyNumber = false;
        for (std::size_t r = 0; r < n; ++r) {
            if (const std::optional<double> f = rows_->figure(r, col)) {
                figures[r] = *f;
                anyNumber = true;
            }
        }
        if (anyNumber) {
            std::stable_sort(order.begin(), end, [&](int a, int b) {
                return descending ? figures[std::size_t(b)] < figures[std::size_t(a)]
                                  : figures[std::size_t(a)] < figures[std::size_t(b)];
            });
        } else {
            std::vector<double>().swap(figures);  // not needed for a text column
            // Compared as Qt compares texts (UTF-16 units), as the title click always has.
            std::vector<QString> keys(n);
            for (std::size_t r = 0; r < n; ++r) keys[r] = q(rows_->cell(r, col).text);
            std::stable_sort(order.begin(), end, [&](int a, int b) {
                return descending ? keys[std::size_t(b)] < keys[std::size_t(a)]
                                  : keys[std::size_t(a)] < keys[std::size_t(b)];
            });
        }
        return order;
    }

    analysis::ReportTable heading_;  // titles and alignment; no rows
    std::shared_ptr<const ReportRows> rows_;
    std::vector<QColor> colours_;  // by row as given; empty: no colours
    std::vector<int> order_;       // shown row -> row as given
    int sortColumn_ = -1;
    Qt::SortOrder sortOrder_ = Qt::AscendingOrder;
};

ReportTableView::ReportTableView(QWidget* parent)
    : QTableView(parent), model_(new ReportTableModel(this)) {
    setModel(model_);
    setSortingEnabled(true);
    sortByColumn(-1, Qt::AscendingOrder);  // file order until a title is clicked
    ui::selectWholeRows(*this);
    ui::fitColumnsToFewRows(*this);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(24);
    verticalHeader()->hide();
}

void ReportTableView::setTable(analysis::ReportTable table,
                               const std::function<QColor(int)>& rowColour) {
    auto rows = std::make_shared<WholeTableRows>(std::move(table.rows));
    table.rows = {};
    setRows(std::move(table), std::move(rows), rowColour);
}

void ReportTableView::setRows(analysis::ReportTable heading, std::shared_ptr<const ReportRows> rows,
                              const std::function<QColor(int)>& rowColour) {
    std::vector<QColor> colours;
    if (rowColour && rows) {
        colours.reserve(rows->size());
        for (std::size_t r = 0; r < rows->size(); ++r) colours.push_back(rowColour(int(r)));
    }
    model_->reset(std::move(heading), std::move(rows), std::move(colours));
    resizeColumnsToContents();
}

void ReportTableView::clear() { model_->reset(model_->heading(), nullptr, {}); }

int ReportTableView::sourceRow(int shownRow) const { return model_->tableRow(shownRow); }

analysis::ReportTable ReportTableView::shownTable() const {
    analysis::ReportTable out = model_->heading();
    out.rows.reserve(std::size_t(model_->rowCount()));
    for (int r = 0; r < model_->rowCount(); ++r)
        out.rows.push_back(model_->rows()->row(std::size_t(sourceRow(r)), out.titles.size()));
    return out;
}

bool ReportTableView::exportCsv(const QString& suggestedName) {
    const QString suggested =
        ui::proposedFilePath(ui::FileKind::Csv, suggestedName + QStringLiteral(".csv"));
    const ui::CsvTarget target =
        chooser() ? ui::CsvTarget{chooser()(suggested)} : ui::chooseCsvFile(window(), suggested);
    if (target.path.isEmpty()) return false;
    // The shown rows are made a chunk at a time as they are written, never as a whole table
    // of texts; from a second on a progress dialog lets the user cancel. The rows and their
    // order are taken as shown now: the dialog lets events through, and a change of the data
    // set may refill the table meanwhile.
    const std::shared_ptr<const ReportRows> rows = model_->sharedRows();
    const std::vector<int> order = rows ? model_->order() : std::vector<int>();
    const std::size_t columns = model_->heading().titles.size();
    store::TextEncoding encoding = target.encoding;
    // A text CP932 cannot hold (a name typed into the register, 🍺) would become '?'.
    const auto rowText = [&](std::size_t r) {
        std::string text;
        for (const analysis::ReportCell& c : rows->row(std::size_t(order[r]), columns))
            text += c.csvText() + ",";
        return text;
    };
    if (encoding == store::TextEncoding::Cp932 &&
        !ui::keepTextsOrCancel(window(), store::linesCp932CannotHold(order.size(), rowText),
                               encoding))
        return false;
    QString failure;
    try {
        const ui::WaitCursor wait;
        const int total = int(order.size());
        QProgressDialog progress(QStringLiteral("書き出しています..."),
                                 QStringLiteral("キャンセル"), 0, total, window());
        progress.setWindowTitle(QStringLiteral("CSV書き出し"));
        progress.setWindowModality(Qt::ApplicationModal);
        progress.setMinimumDuration(progressDelay());
        progress.setValue(0);
        analysis::writeTableCsv(
            model_->heading(), std::size_t(total),
            [&](std::size_t r) { return rows->row(std::size_t(order[r]), columns); },
            target.path.toStdString(), encoding, store::FileSystem::current(),
            [&](std::size_t written) {
                progress.setValue(int(written));
                if (progress.isVisible()) QCoreApplication::processEvents();
                if (progress.wasCanceled()) throw folder::ExportCancelled{};
            });
    } catch (const folder::ExportCancelled&) {
        return false;  // the file is as it was; nothing to tell
    } catch (const std::exception& e) {
        failure = QString::fromStdString(e.what());
    }
    if (failure.isEmpty()) return true;
    ui::Prompts::current().warning(window(), failure);
    return false;
}

namespace {

// The shown table as the grid printer reads it: the titles as row 0, then the shown rows
// (one empty row for an empty table). A cell's text is made when the printer asks for it,
// so a print or preview of a million rows copies none; the rows and their order are the
// ones shown when printing began.
class PrintedReportModel : public QAbstractTableModel {
public:
    PrintedReportModel(std::vector<std::string> titles, std::shared_ptr<const ReportRows> rows,
                       std::vector<int> order)
        : titles_(std::move(titles)), rows_(std::move(rows)), order_(std::move(order)) {}
    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : 1 + std::max<int>(1, int(order_.size()));
    }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : int(titles_.size());
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || role != Qt::DisplayRole) return {};
        const auto c = std::size_t(index.column());
        if (c >= titles_.size()) return {};
        if (index.row() == 0) return q(titles_[c]);
        const auto r = std::size_t(index.row() - 1);
        if (r >= order_.size() || !rows_) return QString();
        return q(rows_->cell(std::size_t(order_[r]), c).text);
    }

private:
    std::vector<std::string> titles_;
    std::shared_ptr<const ReportRows> rows_;
    std::vector<int> order_;
};

// The shown table through a grid over PrintedReportModel, and a grid printer set up for it.
class ReportPrint : public ui::PreviewDocument {
public:
    ReportPrint(ReportTableView& view, const analysis::ReportTable& heading,
                std::shared_ptr<const ReportRows> rows, std::vector<int> order, QString title)
        : heading_(std::move(title)),
          owner_(view.window()),
          model_(heading.titles, std::move(rows), std::move(order)),
          grid_(&model_, nullptr) {
        ui::setUpListPrint(printer_, grid_, 40, 90);
        printer_.ProcessEvents = false;
        const int cols = int(heading.titles.size());
        for (int c = 0; c < cols; ++c) {
            grid_.setColWidths(c, std::max(60, std::min(200, view.columnWidth(c) + 12)));
            if (std::size_t(c) < heading.rightAligned.size() &&
                heading.rightAligned[std::size_t(c)])
                grid_.CellKind(c).setAlignment(20);  // figures to the right
        }
        printer_.OnHeader = [this](QObject*, int&, int, int y) {
            printer_.TextOutAt(printer_.LeftMargin, y, heading_);
        };
        for (int c = 0; c < cols; ++c) width_ += grid_.ColWidths(c);
    }
    void setUp(QPrinter& target) const {
        target.setPageOrientation(width_ > 700 ? QPageLayout::Landscape : QPageLayout::Portrait);
        ui::keepPrintableMargins(target);
        target.setDocName(heading_);
    }
    int layOut(QPrinter& target) override {
        setUp(target);
        return printer_.PreparePages(target);
    }
    void drawPage(QPainter& painter, int page) override { printer_.PrintPage(painter, page); }
    void print(QPrinter& target) override { printAll(target); }
    // Prints every page; a print of kAskFromPages pages or more asks first, and from a
    // second on a progress dialog can cancel. Returns the pages printed, 0 when refused or
    // cancelled.
    int printAll(QPrinter& target) {
        setUp(target);
        const int pages = printer_.PageCount(target);
        return ui::printWithProgress(printer_, target, pages, owner_,
                                     {kAskFromPages, progressDelay()})
            .value_or(0);
    }

    static constexpr int kAskFromPages = 1000;

private:
    QString heading_;
    QPointer<QWidget> owner_;  // the window the question and progress belong to
    PrintedReportModel model_;
    ui::TComboGrid grid_;
    ui::TGridPrinter printer_;
    int width_ = 0;
};

}  // namespace

int ReportTableView::print(QPrinter& target, const QString& heading) {
    ReportPrint job(*this, model_->heading(), model_->sharedRows(), model_->order(), heading);
    return job.printAll(target);
}

void ReportTableView::printPreview(const QString& heading) {
    auto* preview = new ui::PrintPreview(
        nullptr,
        std::make_unique<ReportPrint>(*this, model_->heading(), model_->sharedRows(),
                                      model_->order(), heading),
        window());
    preview->setObjectName(QStringLiteral("ReportPreview"));
    preview->setWindowTitle(heading + QStringLiteral("－印刷プレビュー"));
    preview->open();
}

void ReportTableView::setProgressDelayForTesting(int ms) { progressDelay() = ms; }

void ReportTableView::setFileChooserForTesting(std::function<QString(const QString&)> f) {
    chooser() = std::move(f);
}

}  // namespace quil::analysis
