#pragma once
// What the analysis windows keep in QuilExt.db (component "analysis"): the maintenance
// cycles and the odometer check's daily limit. A data folder without QuilExt.db has no
// cycles and the default limit; reading never creates the file, saving does.

#include <string>
#include <vector>

#include "ext/ExtDatabase.h"
#include "reports/MaintenanceSchedule.h"

namespace quil::insight {

class AnalysisData {
public:
    static const QString& component();
    // Version 1 held the cycles by months and km; version 2 added the first-time months and
    // the settings table.
    static const std::vector<ext::Migration>& migrations();

    static std::vector<fleet::MaintenanceCycle> loadCycles(const std::string& dataFolder);
    // Replaces every cycle by `cycles` (inactive ones are dropped) in one transaction.
    static void saveCycles(const std::string& dataFolder,
                           const std::vector<fleet::MaintenanceCycle>& cycles);

    static double dailyLimitKm(const std::string& dataFolder);
    static void setDailyLimitKm(const std::string& dataFolder, double km);
};

}  // namespace quil::insight
