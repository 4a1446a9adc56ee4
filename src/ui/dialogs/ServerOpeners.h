#pragma once
// How the stores of a data set on a server are opened from its connection string, and the
// data folder dialog's commands on one. The program's composition (src/app) supplies them to
// the main window (MainformOptions), which hands them on through MainContext::serverOpeners,
// so that no window under ui/ but the server's own chooses the server's code itself. Each
// raises store::StoreError; one the program was put together without refuses the same way.

#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "folder/DataSetFiles.h"
#include "store/StoreError.h"

namespace quil::store {
class DataStore;
class WatchedDataStore;
}
namespace quil::alcohol {
class CheckStore;
}
namespace quil::analysis {
class AnalysisStore;
}

namespace quil::ui {

struct ServerOpeners {
    template <typename Store>
    using Open = std::function<std::unique_ptr<Store>(const std::string& conninfo)>;
    Open<store::DataStore> dataSet;         // the records and master lists
    Open<alcohol::CheckStore> checks;       // the alcohol-check register
    Open<analysis::AnalysisStore> analysis;    // the analysis settings
    // The main window's own data set, with the watch over the other programs' changes.
    Open<store::WatchedDataStore> watched;

    // The data folder dialog's commands on the data set: a backup into `destFolder`, a
    // restore from the backup in `sourceFolder`, a legacy import (its log in `logFolder`).
    std::function<folder::DataSetResult(const std::string& conninfo,
                                        const std::string& destFolder,
                                        folder::ReplaceConsent consent)>
        backup;
    std::function<folder::DataSetResult(const std::string& conninfo,
                                        const std::string& sourceFolder)>
        restore;
    std::function<folder::DataSetResult(const std::string& conninfo,
                                        const std::string& legacyFolder,
                                        const std::string& logFolder,
                                        const folder::ImportProgress& progress)>
        importLegacy;
};

// Calls `open` with `conninfo` and the rest, or refuses naming the data set when there is no
// such opener or command.
template <typename Result, typename... Args, typename... Given>
Result openOnServer(const std::function<Result(const std::string&, Args...)>& open,
                    const std::string& conninfo, Given&&... rest) {
    if (!open) throw store::StoreError(conninfo, "このプログラムはサーバーのデータセットを開けません。");
    return open(conninfo, std::forward<Given>(rest)...);
}

}  // namespace quil::ui
