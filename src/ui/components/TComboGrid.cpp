#include "ui/components/TComboGrid.h"

#include <QAbstractButton>
#include <QApplication>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionFocusRect>

#include "ui/components/DisplayPattern.h"
#include "ui/components/TComboGridDelegate.h"
#include "ui/components/TComboGridHeader.h"
#include "ui/components/TComboInplaceEdit.h"
#include "ui/components/TStringTableModel.h"
#include "ui/components/TValueList.h"

namespace quil::ui {

int ButtonWidth() {
    static const int width = [] {
        const int w = QApplication::style()->pixelMetric(QStyle::PM_ScrollBarExtent);
        return w > 0 ? w : 16;
    }();
    return width;
}

TComboGrid::TComboGrid(QWidget* parent) : TComboGrid(nullptr, parent) {}

TComboGrid::TComboGrid(QAbstractItemModel* model, QWidget* parent)
    : QTableView(parent),
      stringModel_(new TStringTableModel(this)),
      delegate_(new TComboGridDelegate(this)),
      colHeader_(new TComboGridHeader(Qt::Horizontal, this)),
      rowHeader_(new TComboGridHeader(Qt::Vertical, this)) {
    setHorizontalHeader(colHeader_);
    setVerticalHeader(rowHeader_);
    setItemDelegate(delegate_);
    colHeader_->setDefaultSectionSize(defaultColWidth_);
    colHeader_->setStretchLastSection(false);
    // Every row has the same fixed height: the view never measures rows, which keeps a
    // 100,000-row table as fast as a 10-row one.
    rowHeader_->setSectionResizeMode(QHeaderView::Fixed);
    rowHeader_->setDefaultSectionSize(defaultRowHeight_);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setHorizontalScrollMode(ScrollPerPixel);
    setVerticalScrollMode(ScrollPerItem);
    setTabKeyNavigation(false);
    corner_ = findChild<QAbstractButton*>(QString(), Qt::FindDirectChildrenOnly);
    if (corner_) corner_->installEventFilter(this);
    setModel(model);
    applyOptions();
}

TComboGrid::~TComboGrid() = default;

// ---- Model and size ---------------------------------------------------------------------

void TComboGrid::setModel(QAbstractItemModel* model) {
    if (!model) model = stringModel_;
    if (QTableView::model() == model) return;
    if (QTableView::model()) QTableView::model()->disconnect(this);
    QTableView::setModel(model);
    // Header sections are rebuilt on a reset: keep the widths and the fixed area.
    connect(model, &QAbstractItemModel::modelAboutToBeReset, this, [this] {
        fixedColWidths_.resize(
            std::max<std::size_t>(fixedColWidths_.size(), std::size_t(std::max(0, ColCount()))),
            defaultColWidth_);
        for (int c = fixedCols_; c < ColCount(); ++c) fixedColWidths_[c] = ColWidths(c);
    });
    connect(model, &QAbstractItemModel::modelReset, this, [this] {
        for (int c = fixedCols_; c < ColCount() && c < int(fixedColWidths_.size()); ++c) {
            colHeader_->resizeSection(c, fixedColWidths_[c]);
        }
        applyFixedArea();
    });
    // The headers move hidden sections along with an insertion, so only an insertion into
    // the fixed area (or the first body row) needs the fixed area applied again; a table
    // that grows one row at a time stays cheap.
    connect(model, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int) {
                if (first < fixedRows_ || !currentIndex().isValid()) applyFixedArea();
            });
    connect(model, &QAbstractItemModel::columnsInserted, this,
            [this](const QModelIndex&, int first, int) {
                if (first < fixedCols_ || !currentIndex().isValid()) applyFixedArea();
            });
    connect(model, &QAbstractItemModel::layoutChanged, this, [this] { applyFixedArea(); });
    applyFixedArea();
}

int TComboGrid::ColCount() const { return model()->columnCount(); }
int TComboGrid::RowCount() const { return model()->rowCount(); }

void TComboGrid::setColCount(int count) {
    if (model() == stringModel_) stringModel_->setSize(count, RowCount());
}

void TComboGrid::setRowCount(int count) {
    if (model() == stringModel_) stringModel_->setSize(ColCount(), count);
}

void TComboGrid::setFixedCols(int count) {
    count = std::max(0, count);
    if (count == fixedCols_) return;
    if (int(fixedColWidths_.size()) < std::max(count, fixedCols_)) {
        fixedColWidths_.resize(std::max(count, fixedCols_), defaultColWidth_);
    }
    for (int c = fixedCols_; c < count; ++c) {
        if (c < ColCount()) fixedColWidths_[c] = colHeader_->sectionSize(c);
    }
    const int old = fixedCols_;
    fixedCols_ = count;
    applyFixedArea();
    for (int c = count; c < old && c < ColCount(); ++c)
        colHeader_->resizeSection(c, fixedColWidths_[c]);
}

void TComboGrid::setFixedRows(int count) {
    count = std::max(0, count);
    if (count == fixedRows_) return;
    const int old = fixedRows_;
    fixedRows_ = count;
    for (int r = count; r < old && r < RowCount(); ++r) setRowHidden(r, false);
    applyFixedArea();
}

// Hides the fixed rows and columns from the body (the headers draw them) and sizes the
// headers to hold them.
void TComboGrid::applyFixedArea() {
    for (int r = 0; r < fixedRows_ && r < RowCount(); ++r) setRowHidden(r, true);
    for (int c = 0; c < ColCount(); ++c) {
        const bool fixed = c < fixedCols_;
        if (isColumnHidden(c) != fixed) setColumnHidden(c, fixed);
    }
    colHeader_->setVisible(fixedRows_ > 0);
    rowHeader_->setVisible(fixedCols_ > 0);
    updateGeometries();
    ensureCurrentCell();
    Invalidate();
}

void TComboGrid::ensureCurrentCell() {
    const QModelIndex cur = currentIndex();
    if (cur.isValid() && cur.row() >= fixedRows_ && cur.column() >= fixedCols_) return;
    if (RowCount() > fixedRows_ && ColCount() > fixedCols_) {
        setCurrentIndex(model()->index(fixedRows_, fixedCols_));
    }
}

// Cells(ACol, ARow) and every other cell call of the grid take the column first, as the
// component always has; Qt's models take the row first, so each call below turns the pair
// round: index(ARow, ACol).
QString TComboGrid::Cells(int ACol, int ARow) const {
    if (model() == stringModel_) return stringModel_->cell(ACol, ARow);
    return model()->data(model()->index(ARow, ACol), Qt::DisplayRole).toString();
}

void TComboGrid::setCells(int ACol, int ARow, const QString& text) {
    if (model() == stringModel_) {
        stringModel_->setCell(ACol, ARow, text);
    } else {
        model()->setData(model()->index(ARow, ACol), text, Qt::EditRole);
    }
}

void TComboGrid::setRowTexts(int ARow, const QStringList& texts, int firstCol) {
    if (model() == stringModel_) {
        stringModel_->setRow(ARow, texts, firstCol);
        return;
    }
    for (int i = 0; i < texts.size(); ++i) setCells(firstCol + i, ARow, texts.at(i));
}

void TComboGrid::setDefaultColWidth(int width) {
    defaultColWidth_ = std::max(0, width);
    colHeader_->setDefaultSectionSize(defaultColWidth_);
}

void TComboGrid::setDefaultRowHeight(int height) {
    defaultRowHeight_ = std::max(1, height);
    rowHeader_->setMinimumSectionSize(1);
    rowHeader_->setDefaultSectionSize(defaultRowHeight_);
    updateGeometries();
}

int TComboGrid::ColWidths(int ACol) const {
    if (ACol < fixedCols_) {
        return ACol >= 0 && ACol < int(fixedColWidths_.size()) ? fixedColWidths_[ACol]
                                                               : defaultColWidth_;
    }
    return ACol < ColCount() ? colHeader_->sectionSize(ACol) : defaultColWidth_;
}

void TComboGrid::setColWidths(int ACol, int width) {
    if (ACol < 0) return;
    width = std::max(0, width);
    if (ACol < fixedCols_) {
        if (int(fixedColWidths_.size()) <= ACol) fixedColWidths_.resize(ACol + 1, defaultColWidth_);
        fixedColWidths_[ACol] = width;
        updateGeometries();
        Invalidate();
    } else if (ACol < ColCount()) {
        colHeader_->resizeSection(ACol, width);
    }
}

int TComboGrid::RowHeights(int ARow) const {
    if (ARow < fixedRows_ || ARow >= RowCount()) return defaultRowHeight_;
    return rowHeader_->sectionSize(ARow);
}

int TComboGrid::Col() const {
    const QModelIndex cur = currentIndex();
    return cur.isValid() ? cur.column() : -1;
}

int TComboGrid::Row() const {
    const QModelIndex cur = currentIndex();
    return cur.isValid() ? cur.row() : -1;
}

QRect TComboGrid::Selection() const {
    const QModelIndex cur = currentIndex();
    if (!cur.isValid()) return {};
    QRect box(cur.column(), cur.row(), 1, 1);
    if (selectionModel()) {
        for (const QItemSelectionRange& range : selectionModel()->selection()) {
            box |= QRect(QPoint(range.left(), range.top()), QPoint(range.right(), range.bottom()));
        }
    }
    return box;
}

void TComboGrid::setCurrentCell(int ACol, int ARow) {
    if (ACol < fixedCols_ || ARow < fixedRows_ || ACol >= ColCount() || ARow >= RowCount()) return;
    setCurrentIndex(model()->index(ARow, ACol));
}

void TComboGrid::setOptions(TGridOptions options) {
    options_ = options;
    applyOptions();
}

void TComboGrid::applyOptions() {
    EditTriggers triggers = NoEditTriggers;
    if ((options_ & goEditing) && !(options_ & goRowSelect)) {
        triggers = DoubleClicked | EditKeyPressed | AnyKeyPressed;
        if (options_ & goAlwaysShowEditor) triggers |= CurrentChanged | SelectedClicked;
    }
    setEditTriggers(triggers);
    setSelectionBehavior((options_ & goRowSelect) ? SelectRows : SelectItems);
    setSelectionMode((options_ & goRangeSelect) ? ContiguousSelection : SingleSelection);
    colHeader_->setSectionResizeMode((options_ & goColSizing) ? QHeaderView::Interactive
                                                              : QHeaderView::Fixed);
    Invalidate();
}

void TComboGrid::setDefaultDrawing(bool on) {
    defaultDrawing_ = on;
    Invalidate();
}

QRect TComboGrid::CellRect(int ACol, int ARow) const {
    if (ACol < 0 || ARow < 0 || ACol >= ColCount() || ARow >= RowCount()) return {};
    QRect r;
    QPoint origin;
    QRect visible;
    auto fixedX = [this](int c) {
        int x = 0;
        for (int i = 0; i < c; ++i) x += ColWidths(i);
        return x;
    };
    auto fixedY = [this](int row) { return row * defaultRowHeight_; };
    if (ACol >= fixedCols_ && ARow >= fixedRows_) {
        r = visualRect(model()->index(ARow, ACol));
        origin = viewport()->pos();
        visible = viewport()->rect();
    } else if (ACol < fixedCols_ && ARow >= fixedRows_) {
        if (rowHeader_->isHidden()) return {};
        r = QRect(fixedX(ACol), rowHeader_->sectionViewportPosition(ARow), ColWidths(ACol) - 1,
                  rowHeader_->sectionSize(ARow) - 1);
        origin = rowHeader_->pos();
        visible = rowHeader_->rect();
    } else if (ARow < fixedRows_ && ACol >= fixedCols_) {
        if (colHeader_->isHidden()) return {};
        r = QRect(colHeader_->sectionViewportPosition(ACol), fixedY(ARow),
                  colHeader_->sectionSize(ACol) - 1, defaultRowHeight_ - 1);
        origin = colHeader_->pos();
        visible = colHeader_->rect();
    } else {
        if (!corner_ || corner_->isHidden()) return {};
        r = QRect(fixedX(ACol), fixedY(ARow), ColWidths(ACol) - 1, defaultRowHeight_ - 1);
        origin = corner_->pos();
        visible = corner_->rect();
    }
    if (r.isEmpty() || !visible.intersects(r)) return {};
    return r.translated(origin);
}

bool TComboGrid::MouseToCell(QPoint p, int& ACol, int& ARow) const {
    ACol = ARow = -1;
    auto fixedCol = [this](int x) {
        for (int c = 0, left = 0; c < fixedCols_; ++c) {
            left += ColWidths(c);
            if (x < left) return c;
        }
        return -1;
    };
    auto fixedRow = [this](int y) {
        const int r = y / std::max(1, defaultRowHeight_);
        return y >= 0 && r < fixedRows_ ? r : -1;
    };
    if (viewport()->geometry().contains(p)) {
        const QModelIndex i = indexAt(p - viewport()->pos());
        if (!i.isValid()) return false;
        ACol = i.column();
        ARow = i.row();
    } else if (rowHeader_->isVisible() && rowHeader_->geometry().contains(p)) {
        const QPoint q = p - rowHeader_->pos();
        ARow = rowHeader_->logicalIndexAt(q.y());
        ACol = fixedCol(q.x());
    } else if (colHeader_->isVisible() && colHeader_->geometry().contains(p)) {
        const QPoint q = p - colHeader_->pos();
        ACol = colHeader_->logicalIndexAt(q.x());
        ARow = fixedRow(q.y());
    } else if (corner_ && corner_->isVisible() && corner_->geometry().contains(p)) {
        const QPoint q = p - corner_->pos();
        ACol = fixedCol(q.x());
        ARow = fixedRow(q.y());
    }
    if (ACol < 0 || ARow < 0) {
        ACol = ARow = -1;
        return false;
    }
    return true;
}

// ---- Kinds ------------------------------------------------------------------------------

TCellKind& TComboGrid::CellKind(int ACol) {
    Q_ASSERT(ACol >= 0);
    ACol = std::max(0, ACol);
    if (ACol >= int(kinds_.size())) kinds_.resize(ACol + 1);
    auto& slot = kinds_[ACol];
    if (!slot) slot = std::make_unique<TCellKind>(this);
    return *slot;
}

bool TComboGrid::HasCellKind(int ACol) const {
    return ACol >= 0 && ACol < int(kinds_.size()) && kinds_[ACol];
}

}  // namespace quil::ui
