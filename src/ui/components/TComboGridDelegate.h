#pragma once
// Draws the body cells of a TComboGrid through TComboGrid::DrawCell and creates its
// in-place editor, a TComboInplaceEdit.

#include <QStyledItemDelegate>

namespace quil::ui {

class TComboGrid;

class TComboGridDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit TComboGridDelegate(TComboGrid* grid);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override;
    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const override;

protected:
    bool eventFilter(QObject* object, QEvent* event) override;

private:
    TComboGrid* grid_;
};

}  // namespace quil::ui
