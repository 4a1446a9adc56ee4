#pragma once
// The fixed area of a TComboGrid: the horizontal header shows the fixed rows (stacked, one
// header section per column), the vertical header the fixed columns (side by side, one
// section per row). Both draw through TComboGrid::DrawCell, so fixed cells follow the
// column kinds like the body does, and they stay in place while the body scrolls.

#include <QHeaderView>

namespace quil::ui {

class TComboGrid;

class TComboGridHeader : public QHeaderView {
    Q_OBJECT
public:
    TComboGridHeader(Qt::Orientation orientation, TComboGrid* grid);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    TComboGrid* grid_;
};

}  // namespace quil::ui
