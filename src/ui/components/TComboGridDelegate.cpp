#include "ui/components/TComboGridDelegate.h"

#include <QKeyEvent>
#include <QPainter>

#include "ui/components/TComboGrid.h"
#include "ui/components/TComboInplaceEdit.h"

namespace quil::ui {

TComboGridDelegate::TComboGridDelegate(TComboGrid* grid) : QStyledItemDelegate(grid), grid_(grid) {}

void TComboGridDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const {
    const TGridDrawState state{option.state.testFlag(QStyle::State_Selected),
                               index == grid_->currentIndex() && grid_->hasFocus(), false};
    grid_->DrawCell(*painter, index.column(), index.row(), option.rect, state);
}

QSize TComboGridDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex& index) const {
    return {grid_->ColWidths(index.column()), grid_->DefaultRowHeight()};
}

QWidget* TComboGridDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&,
                                          const QModelIndex& index) const {
    auto* editor = new TComboInplaceEdit(grid_, parent);
    TCellKind& kind = grid_->CellKind(index.column());
    editor->setCellKind(&kind);
    const QString ownMask = kind.EditMask();
    editor->setEditMask(ownMask.isEmpty() ? grid_->GetEditMask(index.column(), index.row())
                                          : ownMask);
    editor->setMaxLength(kind.Kind == ckText ? kind.EditLimit : 0);
    grid_->setEditor(editor);
    return editor;
}

void TComboGridDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
    static_cast<TComboInplaceEdit*>(editor)->setText(index.data(Qt::EditRole).toString());
}

void TComboGridDelegate::setModelData(QWidget* editor, QAbstractItemModel* model,
                                      const QModelIndex& index) const {
    model->setData(index, static_cast<TComboInplaceEdit*>(editor)->text(), Qt::EditRole);
}

void TComboGridDelegate::updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                                              const QModelIndex&) const {
    editor->setGeometry(option.rect);
}

// Escape in a list column's editor only closes the drop-down list; the base delegate would
// end editing with it.
bool TComboGridDelegate::eventFilter(QObject* object, QEvent* event) {
    auto* editor = qobject_cast<TComboInplaceEdit*>(object);
    if (editor && event->type() == QEvent::KeyPress && editor->CellKind().Kind == ckList &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        editor->CloseUp();
        return true;
    }
    return QStyledItemDelegate::eventFilter(object, event);
}

}  // namespace quil::ui
