// The printed list takes its widths from the list's column tables: one width for every column
// the list shows but its marker, in the list's order.
#include <gtest/gtest.h>

#include "ui/printing/Tpriansform.h"
#include "store/ListRows.h"

using namespace quil;

TEST(PrintedColumns, EveryListedColumnButTheMarkerHasAPrintedWidth) {
    for (const store::ListTab tab : store::kListTabs) {
        const std::vector<int> widths = ui::Tpriansform::printedWidths(tab);
        ASSERT_EQ(int(widths.size()), store::listColumnCount(tab) - 1) << int(tab);
        for (int w : widths) EXPECT_GT(w, 0) << int(tab);
    }
    // A tab the tables do not know prints as the driving list.
    EXPECT_EQ(ui::Tpriansform::printedTab(7), store::ListTab::Driving);
    EXPECT_EQ(ui::Tpriansform::printedTab(-1), store::ListTab::Driving);
    EXPECT_EQ(ui::Tpriansform::printedTab(2), store::ListTab::Maintenance);
}
