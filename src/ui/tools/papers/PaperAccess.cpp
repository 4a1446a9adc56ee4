#include "ui/tools/papers/PaperAccess.h"

#include "papers/PaperEntry.h"
#include "ui/dialogs/MainContext.h"

namespace quil::papers {

PaperSource::PaperSource(const ui::MainContext& context, PaperStores paperStores)
    : conninfo(context.serverConninfo()),
      folder(context.dataFolder()),
      readOnly(context.dataSetReadOnly()),
      openDataSet(ui::dataSetOpener(context)),
      stores(std::move(paperStores)) {}

std::unique_ptr<PaperStore> PaperSource::open() const {
    if (!conninfo.empty()) return ui::openOnServer(stores.server, conninfo);
    if (!stores.folder)
        throw store::StoreError(folder, "このプログラムは運転免許証・車検の記録を開けません。");
    return stores.folder(folder);
}

alcohol::RegisterNames PaperSource::names() const {
    return conninfo.empty() ? alcohol::RegisterNames::load(folder)
                            : alcohol::RegisterNames::load(*openDataSet());
}

PaperData PaperData::readCurrent(const PaperSource& source) {
    PaperData data;
    const std::unique_ptr<PaperStore> store = source.open();
    data.licences = store->currentLicences();
    data.papers = store->currentPapers();
    data.names = source.names();
    return data;
}

bool changesPapers(const store::DataSetChange& c) {
    using What = store::DataSetChange::What;
    return c.isWhole() || c.what == What::ItemsChanged ||
           (c.what == What::ExtensionChanged && c.part == store::ExtensionPart::Papers);
}

}  // namespace quil::papers
