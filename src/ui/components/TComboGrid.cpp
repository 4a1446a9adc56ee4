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

TComboGrid::TComboGrid(QWidget* parent)
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
    setModel(nullptr);
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

// ---- Drawing ----------------------------------------------------------------------------

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
    return ApplyDisplayPattern(text, kind.DisplayPattern());
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
    const QPoint origin =
        TextOrigin(R, fm.horizontalAdvance(text), fm.height(), A, M, DrawState.Fixed);
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

// ---- Input ------------------------------------------------------------------------------

void TComboGrid::DoGridBtnClick(int ACol, int ARow) { Q_EMIT OnGridBtnClick(this, ACol, ARow); }

QString TComboGrid::ToggleCheck(int ACol, const QString& text) {
    const TCellItems& items = CellKind(ACol).Items;
    const int i = items.IndexOf(text);
    if (i < 0 || items.Objects(i) == 1) return items.TextAt(0);
    for (int j = 0; j < items.Count(); ++j) {
        if (items.Objects(j) == 1) return items.Strings(j);
    }
    return items.Strings(i);
}

void TComboGrid::pressAt(QPoint P) {
    pressedCol_ = pressedRow_ = -1;
    int c = -1;
    int r = -1;
    if (!MouseToCell(P, c, r)) return;
    const QRect R = CellRect(c, r);
    if (!R.contains(P) || r < fixedRows_) return;
    const TCellKind& kind = CellKind(c);
    const bool qualifies =
        kind.Kind == ckButton || (kind.Kind == ckCheck && kind.Editable && (options_ & goEditing));
    if (!qualifies) return;
    pressedCol_ = c;
    pressedRow_ = r;
    pressedFocused_ = c == Col() && r == Row();
    Invalidate();
}

void TComboGrid::releaseAt(QPoint P) {
    if (editor_) editor_->updateTextArea();
    if (pressedCol_ < 0) return;
    const int c = pressedCol_;
    const int r = pressedRow_;
    const QRect R = CellRect(c, r);
    Invalidate();
    if (R.contains(P)) {
        if (CellKind(c).Kind == ckCheck) setCells(c, r, ToggleCheck(c, Cells(c, r)));
        DoGridBtnClick(c, r);
    }
    pressedCol_ = pressedRow_ = -1;
}

template <typename Handle>
void TComboGrid::reportUserMove(Handle&& handle) {
    const QModelIndex current = currentIndex();
    const QItemSelection selection =
        selectionModel() ? selectionModel()->selection() : QItemSelection();
    handle();
    const QItemSelection after =
        selectionModel() ? selectionModel()->selection() : QItemSelection();
    if (currentIndex() != current || after != selection) Q_EMIT OnUserMove(this);
}

void TComboGrid::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        reportUserMove([&] { QTableView::mousePressEvent(event); });
        return;
    }
    QTableView::mousePressEvent(event);
    if (event->button() != Qt::LeftButton) return;
    mouseHeld_ = true;
    pressAt(event->position().toPoint() + viewport()->pos());
}

void TComboGrid::mouseReleaseEvent(QMouseEvent* event) {
    QTableView::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton) return;
    mouseHeld_ = false;
    releaseAt(event->position().toPoint() + viewport()->pos());
}

void TComboGrid::mouseDoubleClickEvent(QMouseEvent* event) {
    QTableView::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton) Q_EMIT OnDblClick(this);
}

void TComboGrid::keyPressEvent(QKeyEvent* event) {
    const int c = Col();
    const quint8 kind = c >= 0 ? CellKind(c).Kind : quint8(ckText);
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter ||
                       (event->key() == Qt::Key_M && event->modifiers() == Qt::ControlModifier);
    if (enter && kind == ckButton) {
        DoGridBtnClick(c, Row());
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Space && (kind == ckButton || kind == ckCheck) && !mouseHeld_ &&
        !spacePressed_) {
        const QRect R = CellRect(c, Row());
        if (!R.isEmpty()) {
            spacePressed_ = true;
            const QPoint at = R.topLeft() - viewport()->pos();
            QMouseEvent press(QEvent::MouseButtonPress, QPointF(at), viewport()->mapToGlobal(at),
                              Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(viewport(), &press);
        }
        event->accept();
        return;
    }
    reportUserMove([&] { QTableView::keyPressEvent(event); });
}

void TComboGrid::keyReleaseEvent(QKeyEvent* event) {
    const int c = Col();
    const quint8 kind = c >= 0 ? CellKind(c).Kind : quint8(ckText);
    if (event->key() == Qt::Key_Space && !event->isAutoRepeat() &&
        (kind == ckButton || kind == ckCheck)) {
        spacePressed_ = false;
        const QRect R = CellRect(c, Row());
        const QPoint at = R.topLeft() - viewport()->pos();
        QMouseEvent release(QEvent::MouseButtonRelease, QPointF(at), viewport()->mapToGlobal(at),
                            Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(viewport(), &release);
        event->accept();
        return;
    }
    QTableView::keyReleaseEvent(event);
}

// ---- Editor -----------------------------------------------------------------------------

bool TComboGrid::EditorMode() const { return state() == EditingState && editor_; }

void TComboGrid::setEditorMode(bool on) {
    if (on) {
        const QModelIndex cur = currentIndex();
        if (!EditorMode() && cur.isValid() && editAllowed(cur.column())) QTableView::edit(cur);
    } else {
        leaveEditorMode();
    }
}

void TComboGrid::leaveEditorMode() {
    if (!EditorMode()) return;
    QWidget* e = editor_;
    commitData(e);
    closeEditor(e, QAbstractItemDelegate::NoHint);
}

void TComboGrid::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) {
    if (editor == editor_) editor_ = nullptr;
    QTableView::closeEditor(editor, hint);
}

bool TComboGrid::editAllowed(int ACol) {
    if (!(options_ & goEditing) || (options_ & goRowSelect)) return false;
    const TCellKind& kind = CellKind(ACol);
    return kind.Editable && !kind.IsButtonOrCheck();
}

// The editor-show rule: the base answer (editing on, no row selection, in editor mode and
// focused or always-show); button and check columns and columns that are not Editable never
// show the editor; with goAlwaysShowEditor an editable text or list column always may.
bool TComboGrid::CanEditShow() {
    const QModelIndex cur = currentIndex();
    if (!cur.isValid()) return false;
    const bool focused = hasFocus() || (editor_ && editor_->hasFocus());
    const bool base = (options_ & goEditing) && !(options_ & goRowSelect) && EditorMode() &&
                      ((options_ & goAlwaysShowEditor) || focused);
    TCellKind& kind = CellKind(cur.column());
    if (editor_) editor_->setCellKind(&kind);
    if (kind.Editable && !kind.IsButtonOrCheck()) {
        return base || (!EditorMode() && (options_ & goAlwaysShowEditor));
    }
    leaveEditorMode();
    Invalidate();
    return false;
}

QString TComboGrid::GetEditMask(int, int) const { return {}; }

int TComboGrid::GetEditLimit() {
    const int c = Col();
    if (c < 0) return 0;
    const TCellKind& kind = CellKind(c);
    return kind.Kind == ckText ? kind.EditLimit : 0;
}

bool TComboGrid::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
    if (index.isValid() && !editAllowed(index.column())) return false;
    return QTableView::edit(index, trigger, event);
}

void TComboGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTableView::currentChanged(current, previous);
    if (current.isValid() && editor_) editor_->setCellKind(&CellKind(current.column()));
}

void TComboGrid::scrollContentsBy(int dx, int dy) {
    QTableView::scrollContentsBy(dx, dy);
    const QModelIndex cur = currentIndex();
    if (!cur.isValid()) return;
    const QRect R = visualRect(cur);
    if (R.isEmpty() || !viewport()->rect().intersects(R)) {
        leaveEditorMode();
    } else if (!EditorMode() && CanEditShow() && editAllowed(cur.column())) {
        QTableView::edit(cur);
    }
}

// ---- Stored form ------------------------------------------------------------------------

namespace {

struct StoredCell {
    int col;
    int row;
    QString text;
};

std::vector<StoredCell> parseCellData(TValueReader& reader) {
    std::vector<StoredCell> cells;
    reader.ReadListBegin();
    while (!reader.EndOfList()) {
        const qsizetype at = reader.Position();
        StoredCell cell;
        cell.col = reader.ReadInteger();
        cell.row = reader.ReadInteger();
        cell.text = reader.ReadString();
        if (cell.col < 0 || cell.row < 0) {
            throw TStoredFormError(
                at, QStringLiteral("セルの位置 (%1, %2) が負の値です").arg(cell.col).arg(cell.row));
        }
        cells.push_back(std::move(cell));
    }
    reader.ReadListEnd();
    return cells;
}

std::vector<std::unique_ptr<TCellKind>> parseCellKind(TValueReader& reader, TComboGrid* grid) {
    std::vector<std::unique_ptr<TCellKind>> kinds;
    reader.ReadListBegin();
    while (!reader.EndOfList()) {
        auto kind = std::make_unique<TCellKind>(grid);
        kind->Kind = quint8(reader.ReadInteger());
        const quint8 fixedAlignment = quint8(reader.ReadInteger());
        const quint8 alignment = quint8(reader.ReadInteger());
        const qsizetype at = reader.Position();
        const qint32 n = reader.ReadInteger();
        if (n < 0) throw TStoredFormError(at, QStringLiteral("項目数 %1 が負の値です").arg(n));
        for (qint32 i = 0; i < n; ++i) {
            const QString text = reader.ReadString();
            const qint32 value = kind->Kind == ckCheck ? reader.ReadInteger() : 0;
            kind->Items.Add(text, value);
        }
        kind->ListWidth = reader.ReadInteger();
        kind->Margin = qint8(quint8(reader.ReadInteger()));
        kind->EditLimit = reader.ReadInteger();
        kind->Editable = reader.ReadBoolean();
        // Set without a repaint: the grid repaints once when the whole list is in place.
        kind->setGrid(nullptr);
        kind->setFixedAlignment(fixedAlignment);
        kind->setAlignment(alignment);
        kind->setGrid(grid);
        kinds.push_back(std::move(kind));
    }
    reader.ReadListEnd();
    return kinds;
}

void checkCellsFit(const std::vector<StoredCell>& cells, int cols, int rows) {
    for (const StoredCell& cell : cells) {
        if (cell.col >= cols || cell.row >= rows) {
            throw TStoredFormError(0,
                                   QStringLiteral("セル (%1, %2) が %3 列 %4 行の表の外にあります")
                                       .arg(cell.col)
                                       .arg(cell.row)
                                       .arg(cols)
                                       .arg(rows));
        }
    }
}

}  // namespace

void TComboGrid::WriteCellData(TValueWriter& writer) const {
    writer.WriteListBegin();
    const int cols = ColCount();
    const int rows = RowCount();
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < cols; ++c) {
            const QString text = Cells(c, r);
            if (text.isEmpty()) continue;
            writer.WriteInteger(c);
            writer.WriteInteger(r);
            writer.WriteString(text);
        }
    }
    writer.WriteListEnd();
}

void TComboGrid::WriteCellKind(TValueWriter& writer) {
    writer.WriteListBegin();
    for (int c = 0; c < ColCount(); ++c) {
        const TCellKind& kind = CellKind(c);
        writer.WriteInteger(kind.Kind);
        writer.WriteInteger(kind.FixedAlignment());
        writer.WriteInteger(kind.Alignment());
        writer.WriteInteger(kind.Items.Count());
        for (int i = 0; i < kind.Items.Count(); ++i) {
            writer.WriteString(kind.Items.Strings(i));
            if (kind.Kind == ckCheck) writer.WriteInteger(kind.Items.Objects(i));
        }
        writer.WriteInteger(kind.ListWidth);
        writer.WriteInteger(kind.Margin);
        writer.WriteInteger(kind.EditLimit);
        writer.WriteBoolean(kind.Editable);
    }
    writer.WriteListEnd();
}

void TComboGrid::ReadCellData(TValueReader& reader) {
    const auto cells = parseCellData(reader);
    checkCellsFit(cells, ColCount(), RowCount());
    for (const StoredCell& cell : cells) setCells(cell.col, cell.row, cell.text);
}

void TComboGrid::ReadCellKind(TValueReader& reader) {
    kinds_ = parseCellKind(reader, this);
    Invalidate();
}

QByteArray TComboGrid::StoredForm() {
    TValueWriter writer;
    writer.WritePropName("CellData");
    WriteCellData(writer);
    writer.WritePropName("CellKind");
    WriteCellKind(writer);
    return writer.Data();
}

void TComboGrid::ReadStoredForm(QByteArrayView bytes) {
    TValueReader reader(bytes);
    std::optional<std::vector<StoredCell>> cells;
    std::optional<std::vector<std::unique_ptr<TCellKind>>> kinds;
    while (!reader.AtEnd()) {
        const qsizetype at = reader.Position();
        const QByteArray name = reader.ReadPropName();
        if (name == "CellData") {
            cells = parseCellData(reader);
        } else if (name == "CellKind") {
            kinds = parseCellKind(reader, this);
        } else {
            throw TStoredFormError(
                at, QStringLiteral("未知のプロパティ「%1」です").arg(QString::fromLatin1(name)));
        }
    }
    if (cells) checkCellsFit(*cells, ColCount(), RowCount());
    if (kinds) kinds_ = std::move(*kinds);
    if (cells) {
        for (const StoredCell& cell : *cells) setCells(cell.col, cell.row, cell.text);
    }
    Invalidate();
}

}  // namespace quil::ui
