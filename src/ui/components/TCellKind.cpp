#include "ui/components/TCellKind.h"

#include "ui/components/TComboGrid.h"

namespace quil::ui {

int TCellItems::IndexOf(const QString& text) const {
    for (int i = 0; i < Count(); ++i) {
        if (items_.at(i).Text.compare(text, Qt::CaseInsensitive) == 0) return i;
    }
    return -1;
}

void TCellKind::setAlignment(quint8 value) {
    if (value == alignment_) return;
    alignment_ = value;
    repaintGrid();
}

void TCellKind::setFixedAlignment(quint8 value) {
    if (value == fixedAlignment_) return;
    fixedAlignment_ = value;
    repaintGrid();
}

void TCellKind::setItems(const TCellItems* source) {
    if (source) {
        Items = *source;
    } else {
        Items.Clear();
    }
}

void TCellKind::Assign(const TCellKind& source) {
    if (&source == this) return;
    Kind = source.Kind;
    setItems(&source.Items);
    ListWidth = source.ListWidth;
    Margin = source.Margin;
    fixedAlignment_ = source.fixedAlignment_;
    alignment_ = source.alignment_;
    EditLimit = source.EditLimit;
    Editable = source.Editable;
}

void TCellKind::repaintGrid() {
    if (grid_) grid_->Invalidate();
}

}  // namespace quil::ui
