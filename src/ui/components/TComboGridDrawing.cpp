// TComboGrid's painting: the cells by their kind's alignment, margin, display pattern,
// button and check rules, and the fixed area in the headers and the corner.

#include <QAbstractButton>
#include <QApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionFocusRect>

#include "ui/components/DisplayPattern.h"
#include "ui/components/TComboGrid.h"
#include "ui/components/TComboGridHeader.h"

namespace quil::ui {

void TComboGrid::Invalidate() {
    viewport()->update();
    colHeader_->viewport()->update();
    rowHeader_->viewport()->update();
    if (corner_) corner_->update();
}

QPoint TComboGrid::TextOrigin(const QRect& R, int textWidth, int textHeight, quint8 A, int M,
                              bool fixedCell) {
    int x = M;
    int y = (R.height() - textHeight) / 2;
    int left = x;  // the text's left edge for a reference point at x
    if (A & caCenter) {
        x = R.width() / 2;
        left = x - textWidth / 2;
    }
    if (A & caRight) {
        x = R.width() - M;
        left = x - textWidth;
    }
    if (A & caTop) y = 2;
    if (A & caBottom) y = fixedCell ? R.height() - textHeight - 2 : R.height() - textHeight;
    return {R.left() + left, R.top() + y};
}

QString TComboGrid::DisplayText(int ACol, int ARow) {
    const QString text = Cells(ACol, ARow);
    const TCellKind& kind = CellKind(ACol);
    if (kind.Kind != ckText || kind.Items.Count() < 2) return text;
    return applyDisplayPattern(text, kind.DisplayPattern());
}

QString TComboGrid::buttonText(int ACol, int ARow, const TCellKind& kind) {
    const QString entry0 = kind.Items.TextAt(0);
    return entry0 == QLatin1String(kUseCellDataMarker) ? Cells(ACol, ARow) : entry0;
}

void TComboGrid::DrawCell(QPainter& p, int ACol, int ARow, const QRect& R,
                          TGridDrawState DrawState) {
    if (R.isEmpty()) return;
    if (defaultDrawing_) {
        TCellKind& kind = CellKind(ACol);
        p.save();
        p.setFont(font());
        if (DrawState.Fixed && (ARow < fixedRows_ || !kind.IsButtonOrCheck())) {
            drawText(p, R, Cells(ACol, ARow), kind.FixedAlignment(), kind.Margin, DrawState);
        } else if (DrawState.Fixed) {
            const QString text = buttonText(ACol, ARow, kind);
            if (kind.Kind == ckButton) {
                drawButton(p, R, ACol == pressedCol_ && ARow == pressedRow_, text);
            } else {
                drawCheck(p, R, false, text, kind);
            }
        } else if (!kind.IsButtonOrCheck()) {
            drawText(p, R, DisplayText(ACol, ARow), kind.Alignment(), kind.Margin, DrawState);
        } else {
            const bool pressed = ACol == pressedCol_ && ARow == pressedRow_;
            if (kind.Kind == ckButton) {
                drawButton(p, R, pressed, buttonText(ACol, ARow, kind));
            } else {
                drawCheck(p, R, pressed, Cells(ACol, ARow), kind);
            }
            if (pressed) {
                // The pressed cell carries a focus rectangle until it is released.
                QStyleOptionFocusRect fr;
                fr.initFrom(this);
                fr.rect = R;
                style()->drawPrimitive(QStyle::PE_FrameFocusRect, &fr, &p, this);
            }
        }
        p.restore();
    }
    Q_EMIT OnDrawCell(this, ACol, ARow, R, DrawState, &p);
}

void TComboGrid::drawText(QPainter& p, const QRect& R, const QString& text, quint8 A, int M,
                          TGridDrawState DrawState) {
    const QPalette& pal = palette();
    QColor bg = pal.color(QPalette::Base);
    QColor fg = pal.color(QPalette::Text);
    if (DrawState.Fixed) {
        bg = pal.color(QPalette::Button);
        fg = pal.color(QPalette::ButtonText);
    } else if (DrawState.Selected &&
               (!DrawState.Focused || (options_ & (goDrawFocusSelected | goRowSelect)))) {
        bg = pal.color(QPalette::Highlight);
        fg = pal.color(QPalette::HighlightedText);
    }
    p.fillRect(R, bg);
    if (text.isEmpty()) return;
    const QFontMetrics fm(p.font());
    // Left-aligned text needs no width; measuring it would lay the text out twice.
    const int width = (A & (caCenter | caRight)) ? fm.horizontalAdvance(text) : 0;
    const QPoint origin = TextOrigin(R, width, fm.height(), A, M, DrawState.Fixed);
    p.setClipRect(R, Qt::IntersectClip);
    p.setPen(fg);
    p.drawText(QPoint(origin.x(), origin.y() + fm.ascent()), text);
}

void TComboGrid::drawButton(QPainter& p, const QRect& R, bool pressed, const QString& caption) {
    const QPalette& pal = palette();
    QStyleOptionButton opt;
    opt.initFrom(this);
    opt.rect = R;
    opt.state = QStyle::State_Enabled | (pressed ? QStyle::State_Sunken : QStyle::State_Raised);
    opt.palette = pal;
    style()->drawPrimitive(QStyle::PE_PanelButtonBevel, &opt, &p, this);
    QRect inner = R.adjusted(1, 1, -2, -2);
    if (pressed) inner.translate(1, 1);
    if (!inner.isEmpty()) {
        p.fillRect(inner, pal.color(QPalette::Button));
        const QFontMetrics fm(p.font());
        p.save();
        p.setClipRect(inner, Qt::IntersectClip);
        p.setPen(pal.color(QPalette::ButtonText));
        const int x = inner.left() + (inner.width() - fm.horizontalAdvance(caption)) / 2;
        const int y = inner.top() + (inner.height() - fm.height()) / 2;
        p.drawText(QPoint(x, y + fm.ascent()), caption);
        p.restore();
    }
    p.setPen(QPen(pal.color(QPalette::Light), 1));
    p.drawLine(R.left(), R.bottom(), R.left(), R.top());
    p.drawLine(R.left(), R.top(), R.right(), R.top());
}

void TComboGrid::drawCheck(QPainter& p, const QRect& R, bool pressed, const QString& text,
                           const TCellKind& kind) {
    const QPalette& pal = palette();
    const QColor face = pal.color(QPalette::Button);
    const QColor light = pal.color(QPalette::Light);
    const QColor shadow = pal.color(QPalette::Dark);
    auto frame = [&p](const QRect& r, const QColor& topLeft, const QColor& bottomRight) {
        p.fillRect(QRect(r.left(), r.top(), r.width(), 1), topLeft);
        p.fillRect(QRect(r.left(), r.top(), 1, r.height()), topLeft);
        p.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), bottomRight);
        p.fillRect(QRect(r.right(), r.top(), 1, r.height()), bottomRight);
    };
    p.fillRect(R, face);
    frame(R, light, shadow);
    frame(R.adjusted(1, 1, -1, -1), shadow, light);
    const QRect inner = R.adjusted(2, 2, -2, -2);
    const QRect box(inner.left() + inner.width() / 2 - 6, inner.top() + inner.height() / 2 - 6, 13,
                    13);
    const int i = kind.Items.IndexOf(text);
    QColor fill = pal.color(QPalette::Base);
    if (pressed) {
        fill = face;
    } else if (i < 0) {
        fill = pal.color(QPalette::Disabled, QPalette::Text);
    }
    p.save();
    p.setClipRect(R, Qt::IntersectClip);
    p.fillRect(box, fill);
    frame(box, shadow, light);
    frame(box.adjusted(1, 1, -1, -1), pal.color(QPalette::WindowText), face);
    if (i >= 0 && kind.Items.Objects(i) == 0) {
        const QRect b = box.adjusted(1, 1, -1, -1);
        p.setPen(QPen(pal.color(QPalette::ButtonText), 2));
        p.drawLine(b.topLeft(), b.bottomRight());
        p.drawLine(b.topRight(), b.bottomLeft());
    }
    p.restore();
}

// After the cells, a current button or check cell is drawn once more with an empty state
// so that it never shows the selection marks; while the grid has the focus it then gets
// the focus rectangle, as a pressed and released button does.
void TComboGrid::paintEvent(QPaintEvent* event) {
    QTableView::paintEvent(event);
    const QModelIndex cur = currentIndex();
    if (!cur.isValid() || !CellKind(cur.column()).IsButtonOrCheck()) return;
    const QRect R = visualRect(cur);
    if (R.isEmpty() || !R.intersects(event->rect())) return;
    QPainter p(viewport());
    DrawCell(p, cur.column(), cur.row(), R, TGridDrawState{});
    if (hasFocus() && pressedCol_ < 0) {
        QStyleOptionFocusRect fr;
        fr.initFrom(this);
        fr.rect = R;
        // Drawn whether the focus came by key or by mouse (some styles draw it for keys only).
        fr.state |= QStyle::State_KeyboardFocusChange;
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &fr, &p, this);
    }
}

bool TComboGrid::eventFilter(QObject* watched, QEvent* event) {
    if (watched == corner_ && event->type() == QEvent::Paint) {
        QPainter p(corner_);
        paintCorner(p);
        return true;
    }
    if (watched == corner_ && (event->type() == QEvent::MouseButtonPress ||
                               event->type() == QEvent::MouseButtonRelease)) {
        return true;
    }
    return QTableView::eventFilter(watched, event);
}

void TComboGrid::paintCorner(QPainter& p) {
    const QColor line = palette().color(QPalette::Dark);
    int y = 0;
    for (int r = 0; r < fixedRows_; ++r) {
        int x = 0;
        for (int c = 0; c < fixedCols_; ++c) {
            const int w = ColWidths(c);
            DrawCell(p, c, r, QRect(x, y, w - 1, defaultRowHeight_ - 1),
                     TGridDrawState{false, false, true});
            p.fillRect(QRect(x + w - 1, y, 1, defaultRowHeight_), line);
            p.fillRect(QRect(x, y + defaultRowHeight_ - 1, w, 1), line);
            x += w;
        }
        y += defaultRowHeight_;
    }
}

}  // namespace quil::ui
