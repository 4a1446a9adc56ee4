#pragma once
// The combo grid's in-place editor: a line edit with the current column's edit mask and
// CP932 byte limit, and for ckList columns a drop-down button strip on its right edge that
// opens a TInplaceListBox below it.

#include <QLineEdit>
#include <QListWidget>
#include <QPointer>

#include "ui/components/TCellKind.h"

namespace quil::ui {

class TComboGrid;
class TComboInplaceEdit;

// The drop-down list of a ckList editor: a popup window (so it may reach beyond the grid
// and the window), hidden until dropped down; a press anywhere else closes it.
class TInplaceListBox : public QListWidget {
    Q_OBJECT
public:
    explicit TInplaceListBox(TComboInplaceEdit* editor);
    TComboInplaceEdit* Editor() const { return editor_; }

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    friend class TComboInplaceEdit;
    void takeSelection();
    TComboInplaceEdit* editor_;
    bool quiet_ = false;  // selection changed by the editor, not by the user
};

class TComboInplaceEdit : public QLineEdit {
    Q_OBJECT
public:
    TComboInplaceEdit(TComboGrid* grid, QWidget* parent);
    ~TComboInplaceEdit() override;

    TComboGrid* Grid() const { return grid_; }
    // The editor's own copy of the current column's kind; nullptr makes it plain ckText.
    const TCellKind& CellKind() const { return kind_; }
    void setCellKind(const TCellKind* value);
    // Edit mask in the stored form's syntax (see EditMask.h); empty = none.
    QString EditMask() const { return editMask_; }
    void setEditMask(const QString& mask);
    // Maximum length in CP932 bytes; 0 = none.
    int MaxLength() const { return maxBytes_; }
    void setMaxLength(int bytes);

    TInplaceListBox* ListBox() const { return list_; }
    bool ListVisible() const { return list_ && list_->isVisible(); }
    int DownX() const { return downX_; }
    // Opens the list when it is hidden, closes it when it is shown.
    void DropDown();
    void CloseUp();

protected:
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    friend class TComboGrid;
    friend class TInplaceListBox;
    bool onButtonStrip(int x) const;
    void updateTextArea();
    void listClicked();

    TComboGrid* grid_;
    TCellKind kind_;
    TInplaceListBox* list_ = nullptr;
    QString editMask_;
    int maxBytes_ = 0;
    int downX_ = -1;
    bool buttonDown_ = false;
};

}  // namespace quil::ui
