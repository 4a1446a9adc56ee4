#include "ui/main/RecordListColumns.h"

#include <algorithm>

#include "store/ListRows.h"
#include "ui/components/TCellKind.h"

namespace quil::ui {
namespace {

static_assert(quint8(store::listAlignLeft) == quint8(caLeft) &&
                  quint8(store::listAlignRight) == quint8(caRight),
              "the column tables name the grid's own alignment bits");
constexpr int kFallbackWidth = 60;

constexpr bool showsNumber(store::ListContent content) {
    using C = store::ListContent;
    return content == C::Distance1 || content == C::Distance2 || content == C::DistanceDriven ||
           content == C::Price || content == C::Tax;
}

const store::ListColumn* columnAt(store::ListTab tab, int column) {
    const auto columns = store::listColumns(tab);
    return column >= 0 && std::size_t(column) < columns.size() ? &columns[std::size_t(column)]
                                                               : nullptr;
}

}  // namespace

int columnCount(store::ListTab tab) { return store::listColumnCount(tab); }

QString columnTitle(store::ListTab tab, int column) {
    return QString::fromUtf8(store::listColumnTitle(tab, column));
}

int builtInColumnWidth(store::ListTab tab, int column) {
    const store::ListColumn* c = columnAt(tab, column);
    return c ? c->width : kFallbackWidth;
}

std::optional<quint8> columnAlignment(store::ListTab tab, int column) {
    const store::ListColumn* c = columnAt(tab, column);
    if (!c || c->alignment == store::listAlignOwn) return std::nullopt;
    return quint8(c->alignment);
}

int columnSlots() {
    int most = 0;
    for (const store::ListTab tab : store::kListTabs) most = std::max(most, columnCount(tab));
    return most;
}

quint8 baseColumnAlignment(int column) {
    // A column a tab leaves at its own alignment shows a number on the right, a text on the
    // left: the tables put every such number column in the same place on each tab.
    for (const store::ListTab tab : store::kListTabs) {
        const store::ListColumn* c = columnAt(tab, column);
        if (c && c->alignment == store::listAlignOwn && showsNumber(c->content))
            return quint8(caRight | caMiddle);
    }
    return caDefault;
}

QString tabTitle(store::ListTab tab) {
    return QString::fromStdString(store::recordKindName(store::entryKindOf(tab)));
}

}  // namespace quil::ui
