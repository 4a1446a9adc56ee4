#pragma once
// The record list's columns per tab, as the grid takes them: titles, counts, built-in widths
// and data alignments, all read from the tab's column table (store/ListRows.h).

#include <QString>
#include <optional>

namespace quil::ui {

inline constexpr int kTabCount = 4;

// Number of columns of a tab: 12, 10, 11, 10.
int columnCount(int tab);
// Title of a column in row 0; column 0 (the marker) has none.
QString columnTitle(int tab, int column);
// Width used when the settings file holds none: 25, 30, 70, then 60 (75 for the remarks
// of the driving tab); 60 for a column the tab does not have.
int builtInColumnWidth(int tab, int column);
// The alignment flags the list sets on a column at every set-up (caLeft or caRight);
// nullopt where the column keeps its own.
std::optional<quint8> columnAlignment(int tab, int column);
// Columns the grid keeps a kind for: as many as the widest tab has.
int columnSlots();
// The alignment flags a column has on every tab before the tab sets its own, as the column
// tables imply: caRight where a tab keeps a number there at that alignment, else caLeft;
// with caMiddle.
quint8 baseColumnAlignment(int column);
// The tab names: "走行記録", "給油記録", "点検・整備記録", "出費記録".
QString tabTitle(int tab);

}  // namespace quil::ui
