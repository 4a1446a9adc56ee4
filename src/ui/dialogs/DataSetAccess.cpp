#include "ui/dialogs/DataSetAccess.h"

#include "ui/dialogs/ServerOpeners.h"

namespace quil::ui {

std::unique_ptr<store::DataStore> openDataSet(const MainContext& context) {
    const std::string conninfo = context.serverConninfo();
    if (!conninfo.empty()) return openOnServer(context.serverOpeners().dataSet, conninfo);
    return store::openFolderStore(context.dataFolder());
}

DataSetOpener dataSetOpener(const MainContext& context) {
    return [conninfo = context.serverConninfo(), folder = context.dataFolder(),
            open = context.serverOpeners().dataSet]() -> std::unique_ptr<store::DataStore> {
        if (!conninfo.empty()) return openOnServer(open, conninfo);
        return store::openFolderStore(folder);
    };
}

}  // namespace quil::ui
