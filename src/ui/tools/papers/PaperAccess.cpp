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

namespace {
bool lapsed(store::DateTime expiry, store::DateTime today) {
    return expiryState(expiry, today, 0) == ExpiryState::Lapsed;
}
}  // namespace

std::string driverLapsed(const std::vector<DriverLicence>& licences, int driver,
                         store::DateTime today) {
    std::string out;
    for (const DriverLicence& l : licences)
        if (l.driver == driver && !l.renewed && lapsed(l.expiry, today))
            out += "運転免許証の" + lapsedWarning(l.expiry);
    return out;
}

std::string vehicleLapsed(const std::vector<VehiclePaper>& papers, int vehicle,
                          store::DateTime today) {
    std::string out;
    for (const VehiclePaper& p : papers)
        if (p.vehicle == vehicle && !p.renewed &&
            (p.kind == PaperKind::Inspection || p.kind == PaperKind::Compulsory) &&
            lapsed(p.expiry, today))
            out += paperLabel(p) + "の" + lapsedWarning(p.expiry);
    return out;
}

}  // namespace quil::papers
