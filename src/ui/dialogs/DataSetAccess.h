#pragma once
// The data set a window reads for one piece of work, whichever kind it is: the data
// folder's files, or a connection of its own to the server (so that the work may run on
// another thread than the main window's list, which keeps its own connection).

#include <functional>
#include <memory>

#include "store/DataStore.h"
#include "ui/dialogs/MainContext.h"

namespace quil::ui {

// Throws store::StoreError (a server that cannot be reached, a folder without a data set).
std::unique_ptr<store::DataStore> openDataSet(const MainContext& context);

// The same, taken on the window's thread and opened later on a worker: what names the data
// set is copied now, the connection or the folder's files are opened by the call.
using DataSetOpener = std::function<std::unique_ptr<store::DataStore>()>;
DataSetOpener dataSetOpener(const MainContext& context);

}  // namespace quil::ui
