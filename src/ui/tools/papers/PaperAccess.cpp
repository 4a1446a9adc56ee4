#include "ui/tools/papers/PaperAccess.h"

#include "papers/PaperEntry.h"
#include "server/FolderPaperStore.h"
#include "server/ServerPaperStore.h"
#include "ui/dialogs/MainContext.h"

namespace quil::papers {

PaperSource::PaperSource(const ui::MainContext& context)
    : conninfo(context.serverConninfo()),
      folder(context.dataFolder()),
      readOnly(context.dataSetReadOnly()),
      openDataSet(ui::dataSetOpener(context)) {}

std::unique_ptr<PaperStore> PaperSource::open() const {
    if (!conninfo.empty()) return std::make_unique<server::ServerPaperStore>(conninfo);
    return std::make_unique<server::FolderPaperStore>(folder);
}

alcohol::RegisterNames PaperSource::names() const {
    return conninfo.empty() ? alcohol::RegisterNames::load(folder)
                            : alcohol::RegisterNames::load(*openDataSet());
}

PaperData PaperData::read(const PaperSource& source, bool withNumbers) {
    PaperData data;
    const std::unique_ptr<PaperStore> store = source.open();
    data.licences = store->licences(withNumbers && source.readsNumbers());
    data.papers = store->papers();
    data.names = source.names();
    return data;
}

bool changesPapers(const store::DataSetChange& c) {
    using What = store::DataSetChange::What;
    return c.isWhole() || c.what == What::ItemsChanged ||
           (c.what == What::ExtensionChanged && c.part == store::ExtensionPart::Papers);
}

}  // namespace quil::papers
