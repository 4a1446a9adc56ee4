#pragma once
// The alcohol-check register of a data folder, in QuilExt.db. Each object opens its own
// connection for one piece of work.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "reports/ExtensionStore.h"
#include "reports/RegisterNames.h"

namespace quil::ext {
class ExtDatabase;
}
namespace quil::ui {
class MainContext;
}

namespace quil::alcohol {

class AlcoholStore final : public CheckStore {
public:
    // Opens (creating when needed) QuilExt.db in `dataFolder` and brings the register's
    // tables up to date. Throws ext::ExtError.
    explicit AlcoholStore(const std::string& dataFolder);
    ~AlcoholStore();
    AlcoholStore(const AlcoholStore&) = delete;
    AlcoholStore& operator=(const AlcoholStore&) = delete;

    std::int64_t add(const AlcoholCheck& check) override;
    void addAll(const std::vector<AlcoholCheck>& checks) override;
    void update(const AlcoholCheck& check) override;
    void markDeleted(std::int64_t id, const std::string& who, store::DateTime when) override;
    std::optional<AlcoholCheck> find(std::int64_t id) override;
    std::vector<AlcoholCheck> load(const CheckFilter& filter) override;
    std::int64_t count() override;
    std::vector<std::string> checkerNames() override;
    std::vector<Detector> detectors() override;
    std::int64_t addDetector(const Detector& detector) override;
    void updateDetector(const Detector& detector) override;
    bool removeDetector(std::int64_t id) override;
    std::string setting(const std::string& key, const std::string& defaultValue = {}) override;
    void setSetting(const std::string& key, const std::string& value) override;

private:
    // Refuses, with ext::ExtError, every change while the data folder is open read-only
    // (another computer holds it): SQLite writes past the file-system seam that refuses
    // the other files' changes.
    void checkWritable() const;

    std::unique_ptr<ext::ExtDatabase> db_;
};

// The register of the main window's data set: QuilExt.db in a data folder, the server's
// tables on a server data set. Throws what the store throws.
std::unique_ptr<CheckStore> openCheckStore(const ui::MainContext& context);
// Opens the register for reading on another thread (it tells no changes).
using CheckStoreOpener = std::function<std::unique_ptr<CheckStore>()>;
CheckStoreOpener checkStoreOpener(const ui::MainContext& context);
// Whether there is a register to read: always on a server; in a data folder, whether
// QuilExt.db exists (reading never creates it).
bool registerExists(const ui::MainContext& context);
// The drivers' and vehicles' names of the main window's data set, read once.
RegisterNames registerNames(const ui::MainContext& context);

}  // namespace quil::alcohol
