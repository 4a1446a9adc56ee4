#pragma once
// Adding records from a CSV file in the layout of the list's export, through the same
// check and the same sorted save as the entry dialog. All or nothing: every row is
// checked before anything is written, and the records are saved into a copy of Quil.qud
// in a staging folder that replaces the original by one rename, so a refused row or an
// I/O error leaves the data set exactly as it was.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "folder/CsvExport.h"
#include "folder/FileCopy.h"
#include "store/FileSystem.h"

namespace quil::folder {

// A refusal: the line of the file where the row starts, the column (1-based, 0 when the
// problem is not one column's) with its title, and the message.
struct ImportProblem {
    std::size_t line = 0;
    int column = 0;
    std::string title;
    std::string message;
    // "行 5, 列 3 (時間): 正しい時間を入力して下さい！"
    std::string text() const;
};

// The bad rows an import lists one by one; those beyond are only counted.
inline constexpr std::size_t kMaxListedProblems = 100;

struct ImportResult {
    std::int64_t added = 0;
    // Rows of an expense-list file that show the cost of a refuelling or maintenance record:
    // those records come with the refuelling and maintenance files, so they are left out.
    std::int64_t skipped = 0;
    // Rows identical to a live stored record, left out (ImportDuplicates::Skip).
    std::int64_t identical = 0;
    std::optional<ImportProblem> problem;  // set when nothing was written: the first reason
    // Every bad row's problem in file order (one a row, the first of them is `problem`), at
    // most kMaxListedProblems; empty when the whole file was refused for one reason.
    std::vector<ImportProblem> rowProblems;
    std::int64_t badRows = 0;  // all bad rows, the unlisted ones too
};

// Whether rows identical to a stored record are added again.
enum class ImportDuplicates { Skip, Add };

// The staging folder inside the data folder.
inline constexpr const char* kImportStagingName = kCsvStaging;

// Imports records of `kind` (0..3) from CSV text already decoded to UTF-8. Names are
// looked up among the live items of the master lists. Every row is checked, and every bad
// row reported, before anything is written. Beyond the entry dialog's checks a row is
// refused when it cannot be stored exactly as given: a text longer than its field or with
// a character CP932 cannot hold or a control character, a number beyond what the list
// shows. Numbers may carry thousands separators ("12,345.6", as a spreadsheet saves a
// formatted number), times either wave dash, and a text the export guarded against
// formulas (CsvWriter) is read without its guard. Raises StoreError on an I/O error
// (the data set is then unchanged as well).
// A row identical byte for byte to a live stored record is left out and counted in
// `identical` (each stored record stands for one row), so an import run again adds
// nothing twice; ImportDuplicates::Add adds them all. The records are merged into a copy
// of Quil.qud in one pass, whatever their dates.
ImportResult importListCsv(const std::string& dataFolder, store::ListTab tab, std::string_view text,
                           store::FileSystem& fs = store::FileSystem::current(),
                           const Progress& progress = {},
                           ImportDuplicates duplicates = ImportDuplicates::Skip);

}  // namespace quil::folder
