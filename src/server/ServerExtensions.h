#pragma once
// The alcohol-check register and the analysis settings of a server data set: tables beside
// the records (schema 4), the same for every program on the data set.

#include <memory>
#include <string>

#include "OwnConnections.h"
#include "PgConnection.h"
#include "reports/ExtensionStore.h"

namespace quil::server {

// The register in quil_alcohol_check, quil_alcohol_detector and quil_alcohol_setting, with
// the behaviour of QuilExt.db's: checks in time order, deleted ones kept with who and when,
// a detector a check refers to never removed. Every change is one transaction; a user who
// may only read is refused by the server's grants (ServerError, NotAllowed).
class ServerCheckStore final : public alcohol::CheckStore {
public:
    // Connects and checks the data set as ServerDataSet does (an older one is upgraded when
    // the user may). Throws ServerError.
    // `own`: where the program keeps its connections, so that its watch knows this one's
    // notices as the program's own.
    explicit ServerCheckStore(const std::string& conninfo,
                              const std::shared_ptr<OwnConnections>& own = {});

    std::int64_t add(const alcohol::AlcoholCheck& check) override;
    void addAll(const std::vector<alcohol::AlcoholCheck>& checks) override;
    void update(const alcohol::AlcoholCheck& check) override;
    void markDeleted(std::int64_t id, const std::string& who, store::DateTime when) override;
    std::optional<alcohol::AlcoholCheck> find(std::int64_t id) override;
    std::vector<alcohol::AlcoholCheck> load(const alcohol::CheckFilter& filter) override;
    std::int64_t count() override;
    std::vector<std::string> checkerNames() override;
    std::vector<alcohol::Detector> detectors() override;
    std::int64_t addDetector(const alcohol::Detector& detector) override;
    void updateDetector(const alcohol::Detector& detector) override;
    bool removeDetector(std::int64_t id) override;
    std::string setting(const std::string& key, const std::string& defaultValue = {}) override;
    void setSetting(const std::string& key, const std::string& value) override;

private:
    PgConnection conn_;
    OwnConnection registered_;
};

// The maintenance cycles (quil_analysis_cycle) and the odometer check's daily limit
// (quil_analysis_setting).
class ServerAnalysisStore final : public analysis::AnalysisStore {
public:
    explicit ServerAnalysisStore(const std::string& conninfo,
                                 const std::shared_ptr<OwnConnections>& own = {});

    std::vector<analysis::MaintenanceCycle> loadCycles() override;
    void saveCycles(const std::vector<analysis::MaintenanceCycle>& cycles) override;
    double dailyLimitKm() override;
    void setDailyLimitKm(double km) override;

private:
    PgConnection conn_;
    OwnConnection registered_;
};

// Each connects on its own (one piece of work) and throws ServerError with the user's
// message; a user who may only read is refused every change by the server.
std::unique_ptr<alcohol::CheckStore> openServerCheckStore(
    const std::string& conninfo, const std::shared_ptr<OwnConnections>& own = {});
std::unique_ptr<analysis::AnalysisStore> openServerAnalysisStore(
    const std::string& conninfo, const std::shared_ptr<OwnConnections>& own = {});

}  // namespace quil::server
