#pragma once
// The licences and papers of a data folder, in QuilExt.db's tables driver_licence and
// vehicle_paper, through SQLite's C library (quil-tool has no Qt). The component "papers"
// is created by the same statements the program's QuilExt.db store runs
// (folder/ExtensionSchema.h). A QuilExt.db that records another data set's stamp is
// refused, never read against this data set's items (the program sets such a file aside).

#include <memory>
#include <string>

#include "SqliteFile.h"
#include "papers/PaperStore.h"

namespace quil::server {

class FolderPaperStore final : public papers::PaperStore {
public:
    // `dataFolder` ends with '/'. Nothing is opened until the first call; reading a folder
    // without QuilExt.db (or without its papers) gives nothing and creates nothing.
    explicit FolderPaperStore(std::string dataFolder);

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

private:
    // The open file with the component's tables; none when only reading and they are absent.
    SqliteFile* file(bool forWriting);
    template <typename F>
    void write(F&& work);
    std::int64_t insertLicence(const papers::DriverLicence& licence);
    std::int64_t insertPaper(const papers::VehiclePaper& paper);
    // Throws RecordChangedError unless the stored entry of that id is still as read.
    void requireUnchanged(const papers::DriverLicence& was);
    void requireUnchanged(const papers::VehiclePaper& was);

    std::string dataFolder_;
    std::unique_ptr<SqliteFile> file_;
    bool ready_ = false;  // the component's tables exist in file_
};

}  // namespace quil::server
