#include "ui/components/TComboGridHeader.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <algorithm>

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

// QHeaderView paints every section when the area to paint starts after the last one: it takes
// "no section there" for "from the first section to the last". Removing the last row of a grid
// scrolled to its end asks for just such an area (the removed row's place), and at a million
// rows every section drawn reads its record. Such an area is handed on with its start moved
// back to the last shown section, so that section and the empty area after it are drawn; the
// painter stays clipped to the area asked for, so the screen shows the same.
void TComboGridHeader::paintEvent(QPaintEvent* event) {
    const bool vertical = orientation() == Qt::Vertical;
    const QRect area = event->rect();
    const int start = vertical ? area.top() : area.left();
    if (count() == 0 || (!vertical && isRightToLeft()) || start < length() - offset()) {
        QHeaderView::paintEvent(event);
        return;
    }
    int last = count() - 1;
    while (last >= 0 && isSectionHidden(logicalIndex(last))) --last;
    if (last < 0) {
        QHeaderView::paintEvent(event);
        return;
    }
    QRect widened = area;
    const int from = sectionViewportPosition(logicalIndex(last));
    if (vertical)
        widened.setTop(std::min(from, area.top()));
    else
        widened.setLeft(std::min(from, area.left()));
    QPaintEvent widenedEvent(widened);
    QHeaderView::paintEvent(&widenedEvent);
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
