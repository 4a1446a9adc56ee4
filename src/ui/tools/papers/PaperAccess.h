#pragma once
// Where the windows of licences and papers read and write: QuilExt.db of the data folder or
// the tables of the server data set. What names the data set is taken on the window's
// thread, so that a worker can open its own access with it.

#include <memory>
#include <string>
#include <vector>

#include "papers/PaperStore.h"
#include "reports/RegisterNames.h"
#include "store/DataSetChange.h"
#include "ui/dialogs/DataSetAccess.h"

namespace quil::ui {
class MainContext;
}

namespace quil::papers {

struct PaperSource {
    std::string conninfo;  // empty for a data folder
    std::string folder;
    bool readOnly = false;  // this user or copy may only read (閲覧 on a server)
    ui::DataSetOpener openDataSet;

    explicit PaperSource(const ui::MainContext& context);
    std::unique_ptr<PaperStore> open() const;
    // Whether licence numbers are read: a server's 閲覧 may not, and is not asked to.
    bool readsNumbers() const { return conninfo.empty() || !readOnly; }
    alcohol::RegisterNames names() const;
};

// Everything the windows show: every entry, history included, and the names of the items.
struct PaperData {
    std::vector<DriverLicence> licences;
    std::vector<VehiclePaper> papers;
    alcohol::RegisterNames names;
    static PaperData read(const PaperSource& source, bool withNumbers);
};

// Whether a change of the data set changes what the windows of papers show: the entries
// themselves, the names of the items, or the whole data set (records do not).
bool changesPapers(const store::DataSetChange& change);

}  // namespace quil::papers
