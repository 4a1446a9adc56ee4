#pragma once
// The record list's columns per tab, as the grid takes them: titles, counts, built-in widths
// and data alignments, all read from the tab's column table (store/ListRows.h).

#include <QString>
#include <optional>

#include "store/ListColumns.h"

namespace quil::ui {

inline constexpr int kTabCount = store::kListTabCount;

// The tab at a tab bar index; nullopt for an index that is no tab (-1 when the bar is empty).
inline std::optional<store::ListTab> listTabAt(int index) { return store::listTabOf(index); }
// The tab bar index of a tab.
inline int tabIndex(store::ListTab tab) { return static_cast<int>(tab); }

// Number of columns of a tab: 12, 10, 11, 10.
int columnCount(store::ListTab tab);
// Title of a column in row 0; column 0 (the marker) has none.
QString columnTitle(store::ListTab tab, int column);
// Width used when the settings file holds none: 25, 30, 70, then 60 (75 for the remarks
// of the driving tab); 60 for a column the tab does not have.
int builtInColumnWidth(store::ListTab tab, int column);
// The alignment flags the list sets on a column at every set-up (caLeft or caRight);
// nullopt where the column keeps its own.
std::optional<quint8> columnAlignment(store::ListTab tab, int column);
// Columns the grid keeps a kind for: as many as the widest tab has.
int columnSlots();
// The alignment flags a column has on every tab before the tab sets its own, as the column
// tables imply: caRight where a tab keeps a number there at that alignment, else caLeft;
// with caMiddle.
quint8 baseColumnAlignment(int column);
// The tab names: "走行記録", "給油記録", "点検・整備記録", "出費記録".
QString tabTitle(store::ListTab tab);

}  // namespace quil::ui
