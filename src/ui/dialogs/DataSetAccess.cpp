#include "ui/dialogs/DataSetAccess.h"

#include "server/ServerStore.h"

namespace quil::ui {

std::unique_ptr<store::DataStore> openDataSet(const MainContext& context) {
    const std::string conninfo = context.serverConninfo();
    if (!conninfo.empty()) return server::openServerStore(conninfo);
    return store::openFolderStore(context.dataFolder());
}

DataSetOpener dataSetOpener(const MainContext& context) {
    return [conninfo = context.serverConninfo(),
            folder = context.dataFolder()]() -> std::unique_ptr<store::DataStore> {
        if (!conninfo.empty()) return server::openServerStore(conninfo);
        return store::openFolderStore(folder);
    };
}

}  // namespace quil::ui
