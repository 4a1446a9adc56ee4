#include "ui/components/TComboGridHeader.h"

#include <QMouseEvent>
#include <QPainter>

#include "ui/components/TComboGrid.h"

namespace quil::ui {

TComboGridHeader::TComboGridHeader(Qt::Orientation orientation, TComboGrid* grid)
    : QHeaderView(orientation, grid), grid_(grid) {
    setSectionsClickable(false);
    setHighlightSections(false);
    setMinimumSectionSize(0);
    setMinimumSize(0, 0);
}

// The header holds the grid's fixed rows (or columns), so its depth is theirs; along the
// grid it is as long as its sections. Nothing is measured: the cells are drawn by the grid
// in the sizes the grid sets.
QSize TComboGridHeader::sizeHint() const {
    if (orientation() == Qt::Horizontal) {
        int h = 0;
        for (int r = 0; r < grid_->FixedRows(); ++r) h += grid_->RowHeights(r);
        return {length(), h};
    }
    int w = 0;
    for (int c = 0; c < grid_->FixedCols(); ++c) w += grid_->ColWidths(c);
    return {w, length()};
}

void TComboGridHeader::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const {
    if (!rect.isValid()) return;
    const QColor line = palette().color(QPalette::Dark);
    if (orientation() == Qt::Horizontal) {
        int y = rect.top();
        for (int r = 0; r < grid_->FixedRows(); ++r) {
            const int h = grid_->RowHeights(r);
            grid_->DrawCell(*painter, logicalIndex, r,
                            QRect(rect.left(), y, rect.width() - 1, h - 1),
                            TGridDrawState{false, false, true});
            painter->fillRect(QRect(rect.right(), y, 1, h), line);
            painter->fillRect(QRect(rect.left(), y + h - 1, rect.width(), 1), line);
            y += h;
        }
        return;
    }
    int x = rect.left();
    for (int c = 0; c < grid_->FixedCols(); ++c) {
        const int w = grid_->ColWidths(c);
        grid_->DrawCell(*painter, c, logicalIndex, QRect(x, rect.top(), w - 1, rect.height() - 1),
                        TGridDrawState{false, false, true});
        painter->fillRect(QRect(x + w - 1, rect.top(), 1, rect.height()), line);
        painter->fillRect(QRect(x, rect.bottom(), w, 1), line);
        x += w;
    }
}

// The fixed columns hold cells, not row handles: a press goes to the grid's button and
// check handling instead of selecting the row.
void TComboGridHeader::mousePressEvent(QMouseEvent* event) {
    if (orientation() == Qt::Horizontal) {
        QHeaderView::mousePressEvent(event);  // column sizing
        return;
    }
    if (event->button() == Qt::LeftButton) {
        grid_->mouseHeld_ = true;
        grid_->pressAt(viewport()->mapTo(grid_, event->position().toPoint()));
    }
}

void TComboGridHeader::mouseReleaseEvent(QMouseEvent* event) {
    if (orientation() == Qt::Horizontal) {
        QHeaderView::mouseReleaseEvent(event);
        return;
    }
    if (event->button() == Qt::LeftButton) {
        grid_->mouseHeld_ = false;
        grid_->releaseAt(viewport()->mapTo(grid_, event->position().toPoint()));
    }
}

void TComboGridHeader::mouseMoveEvent(QMouseEvent* event) {
    if (orientation() == Qt::Horizontal) QHeaderView::mouseMoveEvent(event);
}

// The fixed rows and columns belong to the grid: a double click there is the grid's.
void TComboGridHeader::mouseDoubleClickEvent(QMouseEvent* event) {
    if (orientation() == Qt::Horizontal) QHeaderView::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton) Q_EMIT grid_->OnDblClick(grid_);
}

}  // namespace quil::ui
