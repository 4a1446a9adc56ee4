#include "ui/dialogs/DataSetAccess.h"

#include "server/ServerStore.h"

namespace quil::ui {

std::unique_ptr<store::DataStore> openDataSet(const MainContext& context) {
    const std::string conninfo = context.serverConninfo();
    if (!conninfo.empty()) return server::openServerStore(conninfo);
    return store::openFolderStore(context.dataFolder());
}

}  // namespace quil::ui
