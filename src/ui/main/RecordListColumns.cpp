#include "ui/main/RecordListColumns.h"

#include <array>

#include "store/ListRows.h"

namespace quil::ui {
namespace {

// Alignments of columns 5, 6, 8 and 9 per tab: 1 = caLeft, 4 = caRight.
constexpr std::array<std::array<quint8, 4>, kTabCount> kAlign = {{
    {1, 1, 4, 4},
    {4, 4, 1, 1},
    {1, 4, 4, 1},
    {1, 4, 1, 1},
}};

bool validTab(int tab) { return tab >= 0 && tab < kTabCount; }

}  // namespace

int columnCount(int tab) { return store::listColumnCount(tab); }

QString columnTitle(int tab, int column) {
    return QString::fromUtf8(store::listColumnTitle(tab, column));
}

int builtInColumnWidth(int tab, int column) {
    switch (column) {
        case 0: return 25;
        case 1: return 30;
        case 2: return 70;
        case 11: return tab == 0 ? 75 : 60;
        default: return 60;
    }
}

std::optional<quint8> columnAlignment(int tab, int column) {
    if (!validTab(tab)) return std::nullopt;
    const auto& a = kAlign[std::size_t(tab)];
    switch (column) {
        case 5: return a[0];
        case 6: return a[1];
        case 8: return a[2];
        case 9: return a[3];
        default: return std::nullopt;
    }
}

QString tabTitle(int tab) {
    static const char* names[] = {"走行記録", "給油記録", "点検・整備記録", "出費記録"};
    return validTab(tab) ? QString::fromUtf8(names[tab]) : QString();
}

}  // namespace quil::ui
