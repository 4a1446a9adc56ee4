#pragma once
// What the analysis windows keep in QuilExt.db (component "analysis"): the maintenance
// cycles and the odometer check's daily limit. A data folder without QuilExt.db has no
// cycles and the default limit; reading never creates the file, saving does.

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ext/ExtDatabase.h"
#include "reports/ExtensionStore.h"

namespace quil::ui {
class MainContext;
}

namespace quil::analysis {

class AnalysisData final : public analysis::AnalysisStore {
public:
    // `dataFolder` ends with '/'. Each call opens the file for its own piece of work.
    explicit AnalysisData(std::string dataFolder) : dataFolder_(std::move(dataFolder)) {}

    static const QString& component();
    // Version 1 held the cycles by months and km; version 2 added the first-time months and
    // the settings table.
    static const std::vector<ext::Migration>& migrations();

    std::vector<analysis::MaintenanceCycle> loadCycles() override;
    void saveCycles(const std::vector<analysis::MaintenanceCycle>& cycles) override;
    double dailyLimitKm() override;
    void setDailyLimitKm(double km) override;

private:
    std::string dataFolder_;
};

// The analysis settings of the main window's data set: QuilExt.db in a data folder, the
// server's tables on a server data set.
std::unique_ptr<analysis::AnalysisStore> openAnalysisStore(const ui::MainContext& context);
// The same, named now and opened by the call (on a worker: see ui::dataSetOpener).
using AnalysisStoreOpener = std::function<std::unique_ptr<analysis::AnalysisStore>()>;
AnalysisStoreOpener analysisStoreOpener(const ui::MainContext& context);

}  // namespace quil::analysis
