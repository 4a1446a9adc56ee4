#pragma once
// Where the windows of licences and papers read and write: QuilExt.db of the data folder or
// the tables of the server data set. What names the data set is taken on the window's
// thread, so that a worker can open its own access with it.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "papers/PaperStore.h"
#include "reports/RegisterNames.h"
#include "store/DataSetChange.h"
#include "ui/dialogs/DataSetAccess.h"
#include "ui/dialogs/ServerOpeners.h"

namespace quil::ui {
class MainContext;
}

namespace quil::papers {

// How the windows open where the entries are kept: QuilExt.db of a data folder, or the
// tables of a server data set by its connection string. The program's composition (app/)
// gives both, so that these windows never choose the server's code themselves.
struct PaperStores {
    std::function<std::unique_ptr<PaperStore>(const std::string& dataFolder)> folder;
    ui::ServerOpeners::Open<PaperStore> server;
};

struct PaperSource {
    std::string conninfo;  // empty for a data folder
    std::string folder;
    bool readOnly = false;  // this user or copy may only read (閲覧 on a server)
    ui::DataSetOpener openDataSet;
    PaperStores stores;

    PaperSource(const ui::MainContext& context, PaperStores stores);
    std::unique_ptr<PaperStore> open() const;
    // Whether licence numbers are read: a server's 閲覧 may not, and is not asked to.
    bool readsNumbers() const { return conninfo.empty() || !readOnly; }
    alcohol::RegisterNames names() const;
};

// What the list of expiries shows: the current entries (without numbers) and the names of
// the items.
struct PaperData {
    std::vector<DriverLicence> licences;
    std::vector<VehiclePaper> papers;
    alcohol::RegisterNames names;
    static PaperData readCurrent(const PaperSource& source);
};

// Whether a change of the data set changes what the windows of papers show: the entries
// themselves, the names of the items, or the whole data set (records do not).
bool changesPapers(const store::DataSetChange& change);

}  // namespace quil::papers
