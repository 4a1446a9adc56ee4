#pragma once
// TComboGrid: a string grid whose columns each carry a TCellKind (text, drop-down list,
// push button or check box), drawn by the kind's alignment, margin, display pattern and
// button/check rules, with fixed rows and columns that stay in place while the body
// scrolls. The texts live in a model: by default a plain table of strings (Cells), or any
// table model given with setModel() (drawing uses its DisplayRole text, so a model may
// format rows lazily). Rows have a fixed height, so 100,000 rows scroll smoothly.
//
// Coordinates: cell (ACol, ARow) is column ACol, row ARow of the whole table, fixed cells
// included; rows 0..FixedRows-1 and columns 0..FixedCols-1 form the fixed area.

#include <QByteArray>
#include <QByteArrayView>
#include <QPointer>
#include <QTableView>
#include <memory>
#include <vector>

#include "ui/components/TCellKind.h"
#include "ui/components/TComboInplaceEdit.h"

namespace quil::ui {

class TComboGridDelegate;
class TComboGridHeader;
class TStringTableModel;
class TValueReader;
class TValueWriter;

// State of a cell being drawn (the grid's gdSelected, gdFocused, gdFixed).
struct TGridDrawState {
    bool Selected = false;
    bool Focused = false;
    bool Fixed = false;
    bool operator==(const TGridDrawState&) const = default;
};

enum TGridOption : quint32 {
    goEditing = 1u << 0,            // cells may be edited in place
    goAlwaysShowEditor = 1u << 1,   // the editor appears as soon as an editable cell is current
    goRowSelect = 1u << 2,          // whole rows are selected, never edited
    goDrawFocusSelected = 1u << 3,  // the current cell is highlighted like the other selected
    goRangeSelect = 1u << 4,        // a range of cells (rows with goRowSelect) may be selected
    goColSizing = 1u << 5,          // the user may resize columns
};
using TGridOptions = quint32;

// The width of a drop-down button: the platform's width of a scroll-bar arrow, read once.
int ButtonWidth();

class TComboGrid : public QTableView {
    Q_OBJECT
public:
    explicit TComboGrid(QWidget* parent = nullptr);
    // A grid over `model` from the start (the view is set up for one model only, which a
    // window showing a model of its own saves at every start-up).
    TComboGrid(QAbstractItemModel* model, QWidget* parent);
    ~TComboGrid() override;

    // ---- Table size and texts. With a model other than the default one, the counts are
    // the model's and setColCount/setRowCount do nothing.
    int ColCount() const;
    void setColCount(int count);
    int RowCount() const;
    void setRowCount(int count);
    int FixedCols() const { return fixedCols_; }
    void setFixedCols(int count);
    int FixedRows() const { return fixedRows_; }
    void setFixedRows(int count);
    // Column first, as the component always had it; Qt models are row first.
    QString Cells(int ACol, int ARow) const;  // the model's DisplayRole text
    void setCells(int ACol, int ARow, const QString& text);
    // Sets cells ARow, firstCol.. at once (one change notification on the default model).
    void setRowTexts(int ARow, const QStringList& texts, int firstCol = 0);

    int DefaultColWidth() const { return defaultColWidth_; }
    void setDefaultColWidth(int width);
    int DefaultRowHeight() const { return defaultRowHeight_; }  // 24
    void setDefaultRowHeight(int height);
    int ColWidths(int ACol) const;
    void setColWidths(int ACol, int width);
    int RowHeights(int ARow) const;

    // The current cell (always outside the fixed area); -1 when the table has no body.
    int Col() const;
    int Row() const;
    void setCurrentCell(int ACol, int ARow);
    // The selected range in cells, as columns left()..right() and rows top()..bottom()
    // (with goRowSelect the rows of the selection); the current cell alone when nothing
    // else is selected, an empty rectangle when there is no current cell.
    QRect Selection() const;

    TGridOptions Options() const { return options_; }
    void setOptions(TGridOptions options);
    // Off: the grid draws nothing itself, OnDrawCell still fires for every cell.
    bool DefaultDrawing() const { return defaultDrawing_; }
    void setDefaultDrawing(bool on);

    // Accepts any table model; nullptr returns to the default string model. The grid never
    // takes ownership of a model given here.
    void setModel(QAbstractItemModel* model) override;
    TStringTableModel* stringModel() const { return stringModel_; }

    // The cell's rectangle in this widget's coordinates; empty when not in view.
    QRect CellRect(int ACol, int ARow) const;
    // The cell under a point in this widget's coordinates; false when none.
    bool MouseToCell(QPoint p, int& ACol, int& ARow) const;

    // ---- Column kinds. Created on demand; they belong to column indexes and survive a
    // shrinking column count.
    TCellKind& CellKind(int ACol);
    int cellKindCount() const { return int(kinds_.size()); }
    bool HasCellKind(int ACol) const;  // true when the kind of ACol exists already

    // ---- Input (press/release of button and check cells, editor).
    int PressedCol() const { return pressedCol_; }
    int PressedRow() const { return pressedRow_; }
    bool PressedFocused() const { return pressedFocused_; }
    // Fires OnGridBtnClick with this grid as Sender.
    void DoGridBtnClick(int ACol, int ARow);
    // The next state of a ckCheck cell of column ACol holding `text`.
    QString ToggleCheck(int ACol, const QString& text);
    // Whether the in-place editor may be shown on the current cell now (see the .cpp).
    virtual bool CanEditShow();
    // The edit mask for columns that have none of their own; empty by default.
    virtual QString GetEditMask(int ACol, int ARow) const;
    int GetEditLimit();  // CP932 bytes; 0 = none
    bool EditorMode() const;
    void setEditorMode(bool on);
    TComboInplaceEdit* inplaceEditor() const { return editor_; }

    // ---- Drawing.
    // Draws one cell by the column's kind (when DefaultDrawing) and fires OnDrawCell.
    void DrawCell(QPainter& painter, int ACol, int ARow, const QRect& R, TGridDrawState DrawState);
    // Top-left corner of a text of the given size placed in R by alignment flags A and margin
    // M; the bottom inset is 2 pixels in fixed cells and 0 in ordinary ones.
    static QPoint TextOrigin(const QRect& R, int textWidth, int textHeight, quint8 A, int M,
                             bool fixedCell);
    // The text an ordinary cell of a text or list column shows (display pattern applied).
    QString DisplayText(int ACol, int ARow);
    void Invalidate();  // repaints the whole grid

    // ---- Stored form: the CellData and CellKind properties in the value-list encoding.
    void WriteCellData(TValueWriter& writer) const;  // the value list only
    void WriteCellKind(TValueWriter& writer);        // one group per column 0..ColCount-1
    // Read a value list and apply it; on a TStoredFormError the grid is unchanged.
    void ReadCellData(TValueReader& reader);
    void ReadCellKind(TValueReader& reader);
    // "CellData" and "CellKind", each name followed by its value list.
    QByteArray StoredForm();
    // Reads properties written by StoredForm (either or both, any order). Everything is
    // checked before anything changes; throws TStoredFormError.
    void ReadStoredForm(QByteArrayView bytes);

Q_SIGNALS:
    // Fired for every painted cell with a non-empty rectangle; `Canvas` is the painter the
    // cell was drawn with (R in its coordinates).
    void OnDrawCell(quil::ui::TComboGrid* Sender, int ACol, int ARow, const QRect& Rect,
                    quil::ui::TGridDrawState State, QPainter* Canvas);
    void OnGridBtnClick(quil::ui::TComboGrid* Sender, int ACol, int ARow);
    // Fired after the user moved the current cell or the selection with the keyboard or a
    // right-button press (left clicks report through `clicked`). Programmatic moves do not fire it.
    void OnUserMove(quil::ui::TComboGrid* Sender);
    // Fired for a left double click anywhere on the grid: a cell, a fixed cell, the title
    // row or the blank area below the rows.
    void OnDblClick(quil::ui::TComboGrid* Sender);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    // Typing never jumps to a row that starts with the typed letters.
    void keyboardSearch(const QString&) override {}
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Runs `handle` and fires OnUserMove when it moved the current cell or the selection.
    template <typename Handle>
    void reportUserMove(Handle&& handle);

    friend class TComboGridHeader;
    friend class TComboGridDelegate;
    friend class TComboInplaceEdit;

    void applyFixedArea();
    void applyOptions();
    void ensureCurrentCell();
    void paintCorner(QPainter& painter);
    void pressAt(QPoint gridPos);
    void releaseAt(QPoint gridPos);
    void drawText(QPainter& p, const QRect& R, const QString& text, quint8 A, int M,
                  TGridDrawState DrawState);
    void drawButton(QPainter& p, const QRect& R, bool pressed, const QString& caption);
    void drawCheck(QPainter& p, const QRect& R, bool pressed, const QString& text,
                   const TCellKind& kind);
    QString buttonText(int ACol, int ARow, const TCellKind& kind);
    void setEditor(TComboInplaceEdit* editor) { editor_ = editor; }
    void leaveEditorMode();
    bool editAllowed(int ACol);

    TStringTableModel* stringModel_;
    TComboGridDelegate* delegate_;
    TComboGridHeader* colHeader_;  // the fixed rows
    TComboGridHeader* rowHeader_;  // the fixed columns
    QPointer<QWidget> corner_;
    std::vector<std::unique_ptr<TCellKind>> kinds_;
    std::vector<int> fixedColWidths_;  // widths of columns while they are fixed
    int fixedCols_ = 0;
    int fixedRows_ = 0;
    int defaultColWidth_ = 64;
    int defaultRowHeight_ = 24;
    TGridOptions options_ = 0;
    bool defaultDrawing_ = true;
    int pressedCol_ = -1;
    int pressedRow_ = -1;
    bool pressedFocused_ = false;
    bool spacePressed_ = false;  // a Space key-down has sent a press that is still held
    bool mouseHeld_ = false;
    QPointer<TComboInplaceEdit> editor_;
};

}  // namespace quil::ui
