#pragma once
// The licences and papers of a server data set: quil_driver_licence and quil_vehicle_paper,
// with the behaviour of QuilExt.db's (server/FolderPaperStore). The server's grants decide
// who may do what: 閲覧 reads the papers and the licences without their numbers, and a
// change or a number asked for by a role that may not is refused (ServerError, NotAllowed).

#include <memory>
#include <string>

#include "PgConnection.h"
#include "papers/PaperStore.h"

namespace quil::server {

class ServerPaperStore final : public papers::PaperStore {
public:
    // Connects and checks the data set as ServerDataSet does (an older one is upgraded when
    // the user may). Throws ServerError.
    explicit ServerPaperStore(const std::string& conninfo);

    std::vector<papers::DriverLicence> licences(bool withNumbers) override;
    std::vector<papers::VehiclePaper> papers() override;
    std::vector<papers::DriverLicence> currentLicences() override;
    std::vector<papers::VehiclePaper> currentPapers() override;
    std::int64_t addLicence(const papers::DriverLicence& licence) override;
    std::int64_t addPaper(const papers::VehiclePaper& paper) override;
    void addAll(const std::vector<papers::DriverLicence>& licences,
                const std::vector<papers::VehiclePaper>& papers) override;
    void correctLicence(const papers::DriverLicence& was,
                        const papers::DriverLicence& now) override;
    void correctPaper(const papers::VehiclePaper& was, const papers::VehiclePaper& now) override;
    void removeLicence(const papers::DriverLicence& was) override;
    void removePaper(const papers::VehiclePaper& was) override;

    PgConnection& connection() { return conn_; }

private:
    PgConnection conn_;
};

// The opener the program's composition gives the windows of licences and papers.
std::unique_ptr<papers::PaperStore> openServerPaperStore(const std::string& conninfo);

}  // namespace quil::server
