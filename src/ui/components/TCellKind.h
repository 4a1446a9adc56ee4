#pragma once
// The kind of one column of a TComboGrid: how its cells are drawn and edited.

#include <QList>
#include <QString>
#include <QtGlobal>

namespace quil::ui {

class TComboGrid;

// Cell kind codes. A stored form may carry any other 8-bit code; such a column behaves
// as text without edit mask, display pattern or edit limit.
enum TCellKindCode : quint8 { ckText = 0, ckList = 1, ckButton = 2, ckCheck = 3 };

// Alignment flags, one bit each. caRight wins over caCenter, caBottom over caTop; with
// neither caCenter nor caRight the text is left-aligned, with neither caTop nor caBottom
// it is vertically centred.
enum TCellAlignFlag : quint8 {
    caLeft = 1,
    caCenter = 2,
    caRight = 4,
    caTop = 8,
    caMiddle = 16,
    caBottom = 32,
};
inline constexpr quint8 caDefault = caLeft | caMiddle;  // 17

// Entry 0 of a ckButton column: every button shows its own cell's text (exact match).
inline constexpr char kUseCellDataMarker[] = "%%USECELLDATA%%";

// One entry of a kind's Items: a text with an integer value (the value is meaningful,
// and stored, only for ckCheck columns).
struct TCellItem {
    QString Text;
    qint32 Value = 0;
    bool operator==(const TCellItem&) const = default;
};

class TCellItems {
public:
    int Count() const { return int(items_.size()); }
    const QString& Strings(int i) const { return items_.at(i).Text; }
    qint32 Objects(int i) const { return items_.at(i).Value; }
    void Add(const QString& text, qint32 value = 0) { items_.append({text, value}); }
    void Clear() { items_.clear(); }
    // Index of the first entry equal to `text`, letter case ignored; -1 when none.
    int IndexOf(const QString& text) const;
    // Entry i's text, or an empty text when there is no such entry.
    QString TextAt(int i) const { return i >= 0 && i < Count() ? items_.at(i).Text : QString(); }
    const QList<TCellItem>& list() const { return items_; }
    bool operator==(const TCellItems&) const = default;

private:
    QList<TCellItem> items_;
};

// Items of a ckText column: entry 0 is the in-place editor's edit mask, entry 1 the numeric
// display pattern. ckList: the drop-down entries. ckButton: entry 0 is the caption (or
// kUseCellDataMarker). ckCheck: the states; value 0 draws a cross, any other value an empty
// box, a text matching no entry a grey box.
class TCellKind {
public:
    explicit TCellKind(TComboGrid* grid = nullptr) : grid_(grid) {}
    TCellKind(const TCellKind&) = delete;
    TCellKind& operator=(const TCellKind&) = delete;

    // Setting an alignment to a new value repaints the owning grid.
    quint8 Alignment() const { return alignment_; }
    void setAlignment(quint8 value);
    quint8 FixedAlignment() const { return fixedAlignment_; }
    void setFixedAlignment(quint8 value);

    TComboGrid* Grid() const { return grid_; }
    void setGrid(TComboGrid* grid) { grid_ = grid; }

    // Copies every field but Grid, the alignments without a repaint.
    void Assign(const TCellKind& source);
    // Copies the entries with their values; nullptr clears.
    void setItems(const TCellItems* source);

    quint8 Kind = ckText;
    TCellItems Items;
    bool Editable = true;
    qint32 ListWidth = 0;  // minimum width of a ckList column's drop-down list
    qint8 Margin = 2;      // pixels from the left edge (left text) or right edge (right text)
    qint32 EditLimit = 0;  // ckText editor limit in CP932 bytes; 0 = none

    // Derived views used by the drawing and the editor.
    bool IsButtonOrCheck() const { return Kind == ckButton || Kind == ckCheck; }
    QString EditMask() const { return Kind == ckText ? Items.TextAt(0) : QString(); }
    QString DisplayPattern() const { return Kind == ckText ? Items.TextAt(1) : QString(); }

private:
    void repaintGrid();

    quint8 alignment_ = caDefault;
    quint8 fixedAlignment_ = caDefault;
    TComboGrid* grid_ = nullptr;
};

}  // namespace quil::ui
