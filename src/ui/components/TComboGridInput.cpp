// TComboGrid's input: mouse and keys on button and check cells, the moves reported to the
// owner, and when the in-place editor shows.

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>

#include "ui/components/TComboGrid.h"
#include "ui/components/TComboInplaceEdit.h"

namespace quil::ui {
namespace {

// The space key works a button or check cell as the left button does: a press or a release
// sent to the viewport at the cell's top-left corner.
void sendLeftButton(QWidget* viewport, QEvent::Type type, const QRect& cell) {
    const QPoint at = cell.topLeft() - viewport->pos();
    const Qt::MouseButtons held = type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton;
    QMouseEvent event(type, QPointF(at), viewport->mapToGlobal(at), Qt::LeftButton, held,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(viewport, &event);
}

}  // namespace

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
            sendLeftButton(viewport(), QEvent::MouseButtonPress, R);
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
        sendLeftButton(viewport(), QEvent::MouseButtonRelease, CellRect(c, Row()));
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

}  // namespace quil::ui
