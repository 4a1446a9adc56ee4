#pragma once
// The record list's tabs and their columns: one table per tab, each column with its title,
// its built-in width on screen, its alignment, what it shows of a record, its printed width
// and the entry field the CSV import reads from it. The list on screen, the CSV export, the
// CSV import and the printed list all take their columns from these tables.

#include <cstdint>
#include <optional>
#include <span>

#include "EntryField.h"
#include "Records.h"

namespace quil::store {

// The tabs of the record list, in the tab bar's order (the index is the tab bar's and the
// one Quil.ini keeps). A kind's records are listed on the tab of the same number; the
// expense tab lists every record with a cost.
enum class ListTab : std::uint8_t { Driving = 0, Refuelling = 1, Maintenance = 2, Expense = 3 };
inline constexpr int kListTabCount = 4;
// Every tab, in the tab bar's order.
inline constexpr ListTab kListTabs[kListTabCount] = {ListTab::Driving, ListTab::Refuelling,
                                                     ListTab::Maintenance, ListTab::Expense};

// The tab of a tab bar index or stored number; nullopt outside 0..3.
constexpr std::optional<ListTab> listTabOf(int index) {
    if (index < 0 || index >= kListTabCount) return std::nullopt;
    return static_cast<ListTab>(index);
}
// The tab that lists a kind's records (the expense tab lists the others' costs as well).
constexpr ListTab listTabOf(RecordKind kind) { return static_cast<ListTab>(kind); }

// The kind of record the entry and the CSV import of a tab add (the expense tab adds
// expenses).
constexpr RecordKind entryKindOf(ListTab tab) { return static_cast<RecordKind>(tab); }

// Whether a tab lists records of `kind` (the number stored in the record).
constexpr bool listTabShows(ListTab tab, std::int16_t kind) {
    if (tab == ListTab::Expense)
        return kind >= static_cast<std::int16_t>(RecordKind::Refuelling) &&
               kind <= static_cast<std::int16_t>(RecordKind::Expense);
    return kind == static_cast<std::int16_t>(tab);
}

// What a list cell shows of its record.
enum class ListContent : std::uint8_t {
    Marker,     // column 0: the selection arrow, drawn by the list itself
    RowNumber,  // the 1-based row
    Date,       // "yyyy/mm/dd"
    TimeSpan,   // "hh:mm ～ hh:mm"
    Vehicle,    // master-list names
    User,
    Item,
    CostItem,  // "給油代金", "点検・整備費" or the expense item's name
    Place,
    Distance1,  // one decimal
    Distance2,
    DistanceDriven,  // distance 2 − distance 1
    Price,           // whole yen
    Tax,
    Destination,  // free text
    Remarks,
};

// The grid's alignment bits a column sets at every set-up (the grid's caLeft and caRight);
// listAlignOwn leaves the column's own alignment.
enum ListAlign : std::uint8_t { listAlignOwn = 0, listAlignLeft = 1, listAlignRight = 4 };

struct ListColumn {
    const char* title;  // UTF-8; empty for the marker column
    int width;          // pixels, used when the settings file holds none
    ListAlign alignment;
    ListContent content;
    int printedWidth;  // pixels of the printed list; the marker column is not printed
    // What the CSV import reads from the column (the time column gives both times); none
    // for the marker, the row number, the distance driven (a result) and the remarks (read
    // by title, as a file may leave them out).
    std::optional<EntryField> imported;
};

namespace list_columns {

using C = ListContent;
using F = EntryField;

// Built-in widths: the marker, the row number and the date are narrow; remarks of the
// driving tab are wider than other texts.
inline constexpr int kMarkerWidth = 25, kRowWidth = 30, kDateWidth = 70, kWidth = 60,
                     kWideRemarks = 75;
inline constexpr ListAlign kOwn = listAlignOwn, kLeft = listAlignLeft, kRight = listAlignRight;

inline constexpr ListColumn kMarker = {"", kMarkerWidth, kOwn, C::Marker, 0, std::nullopt};
inline constexpr ListColumn kRowNumber = {"No", kRowWidth, kOwn, C::RowNumber, 30, std::nullopt};
inline constexpr ListColumn kDay = {"年月日", kDateWidth, kOwn, C::Date, 80, F::Date};

inline constexpr ListColumn kDriving[] = {
    kMarker,
    kRowNumber,
    kDay,
    {"時間", kWidth, kOwn, C::TimeSpan, 70, F::StartTime},
    {"車両", kWidth, kOwn, C::Vehicle, 70, F::Vehicle},
    {"使用者", kWidth, kLeft, C::User, 80, F::User},
    {"使用区分", kWidth, kLeft, C::Item, 70, F::ThirdList},
    {"出庫距離", kWidth, kOwn, C::Distance1, 70, F::Value1},
    {"入庫距離", kWidth, kRight, C::Distance2, 70, F::Value2},
    {"走行距離", kWidth, kRight, C::DistanceDriven, 400, std::nullopt},
    {"行き先", kWidth, kOwn, C::Destination, 100, F::Value3},
    {"備考", kWideRemarks, kOwn, C::Remarks, 300, std::nullopt},
};
inline constexpr ListColumn kRefuelling[] = {
    kMarker,
    kRowNumber,
    kDay,
    {"車両", kWidth, kOwn, C::Vehicle, 70, F::Vehicle},
    {"使用者", kWidth, kOwn, C::User, 70, F::User},
    {"給油量", kWidth, kRight, C::Distance2, 70, F::Value1},
    {"税抜金額", kWidth, kRight, C::Price, 70, F::Value2},
    {"消費税", kWidth, kOwn, C::Tax, 70, F::Value3},
    {"スタンド名", kWidth, kLeft, C::Place, 100, F::ThirdList},
    {"備考", kWidth, kLeft, C::Remarks, 380, std::nullopt},
};
inline constexpr ListColumn kMaintenance[] = {
    kMarker,
    kRowNumber,
    kDay,
    {"車両", kWidth, kOwn, C::Vehicle, 70, F::Vehicle},
    {"使用者", kWidth, kOwn, C::User, 70, F::User},
    {"項目", kWidth, kLeft, C::Item, 90, F::ThirdList},
    {"距離", kWidth, kRight, C::Distance1, 70, F::Value1},
    {"税抜金額", kWidth, kOwn, C::Price, 70, F::Value2},
    {"消費税", kWidth, kRight, C::Tax, 60, F::Value3},
    {"店", kWidth, kLeft, C::Place, 80, F::ShopList},
    {"備考", kWidth, kOwn, C::Remarks, 320, std::nullopt},
};
// Every record with a cost: refuelling and maintenance records show their kind as item.
inline constexpr ListColumn kExpense[] = {
    kMarker,
    kRowNumber,
    kDay,
    {"車両", kWidth, kOwn, C::Vehicle, 70, F::Vehicle},
    {"使用者", kWidth, kOwn, C::User, 70, F::User},
    {"項目", kWidth, kLeft, C::CostItem, 100, F::ThirdList},
    {"税抜金額", kWidth, kRight, C::Price, 70, F::Value2},
    {"消費税", kWidth, kOwn, C::Tax, 60, F::Value3},
    {"店", kWidth, kLeft, C::Place, 80, F::ShopList},
    {"備考", kWidth, kLeft, C::Remarks, 380, std::nullopt},
};

}  // namespace list_columns

// Every tab begins with the marker and the row number; the list's row 0 holds the titles.
inline constexpr int kListMarkerColumn = 0;
inline constexpr int kListRowNumberColumn = 1;
inline constexpr int kListFirstRecordRow = 1;

// The columns of a tab, the marker column 0 included.
constexpr std::span<const ListColumn> listColumns(ListTab tab) {
    switch (tab) {
        case ListTab::Driving: return list_columns::kDriving;
        case ListTab::Refuelling: return list_columns::kRefuelling;
        case ListTab::Maintenance: return list_columns::kMaintenance;
        case ListTab::Expense: return list_columns::kExpense;
    }
    return {};
}

static_assert([] {
    for (int t = 0; t < kListTabCount; ++t) {
        const auto columns = listColumns(static_cast<ListTab>(t));
        if (columns.size() < 2 || columns[kListMarkerColumn].content != ListContent::Marker ||
            columns[kListRowNumberColumn].content != ListContent::RowNumber)
            return false;
    }
    return true;
}());

}  // namespace quil::store
