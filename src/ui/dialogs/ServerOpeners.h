#pragma once
// How the stores of a data set on a server are opened from its connection string. The
// program's composition (the main window) supplies them through MainContext::serverOpeners,
// so that no dialog or ツール window chooses the server's code itself. Each raises
// store::StoreError; one the program was put together without refuses the same way.

#include <functional>
#include <memory>
#include <string>

#include "store/StoreError.h"

namespace quil::store {
class DataStore;
}
namespace quil::alcohol {
class CheckStore;
}
namespace quil::fleet {
class AnalysisStore;
}

namespace quil::ui {

struct ServerOpeners {
    template <typename Store>
    using Open = std::function<std::unique_ptr<Store>(const std::string& conninfo)>;
    Open<store::DataStore> dataSet;         // the records and master lists
    Open<alcohol::CheckStore> checks;       // the alcohol-check register
    Open<fleet::AnalysisStore> analysis;    // the analysis settings
};

// Calls `open` with `conninfo`, or refuses naming the data set when there is no such opener.
template <typename Store>
std::unique_ptr<Store> openOnServer(const ServerOpeners::Open<Store>& open,
                                    const std::string& conninfo) {
    if (!open) throw store::StoreError(conninfo, "このプログラムはサーバーのデータセットを開けません。");
    return open(conninfo);
}

}  // namespace quil::ui
