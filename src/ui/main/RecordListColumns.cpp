#include "ui/main/RecordListColumns.h"

#include "store/ListRows.h"
#include "ui/components/TCellKind.h"

namespace quil::ui {
namespace {

static_assert(quint8(store::listAlignLeft) == quint8(caLeft) &&
                  quint8(store::listAlignRight) == quint8(caRight),
              "the column tables name the grid's own alignment bits");
static_assert(kTabCount == store::kListTabCount);

constexpr int kFallbackWidth = 60;

const store::ListColumn* columnAt(int tab, int column) {
    const auto columns = store::listColumns(tab);
    return column >= 0 && std::size_t(column) < columns.size() ? &columns[std::size_t(column)]
                                                               : nullptr;
}

}  // namespace

int columnCount(int tab) { return store::listColumnCount(tab); }

QString columnTitle(int tab, int column) {
    return QString::fromUtf8(store::listColumnTitle(tab, column));
}

int builtInColumnWidth(int tab, int column) {
    const store::ListColumn* c = columnAt(tab, column);
    return c ? c->width : kFallbackWidth;
}

std::optional<quint8> columnAlignment(int tab, int column) {
    const store::ListColumn* c = columnAt(tab, column);
    if (!c || c->alignment == store::listAlignOwn) return std::nullopt;
    return quint8(c->alignment);
}

QString tabTitle(int tab) { return QString::fromStdString(store::recordKindName(tab)); }

}  // namespace quil::ui
