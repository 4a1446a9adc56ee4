#pragma once
// Where the licences and papers are kept, behind one interface with two implementations:
// QuilExt.db in a data folder (server/FolderPaperStore, SQLite's C library) and the tables
// of a server data set (server/ServerPaperStore). No Qt here.
//
// Every failure throws an exception derived from std::runtime_error whose message is
// Japanese and ready to show. Each object is opened for one piece of work and let go.

#include <cstdint>
#include <vector>

#include "papers/Papers.h"

namespace quil::papers {

class PaperStore {
public:
    virtual ~PaperStore() = default;

    // Every licence, history included, by driver, expiry and id. Without `withNumbers` the
    // numbers are left empty (and on a server not even read: 閲覧 may not read them).
    virtual std::vector<DriverLicence> licences(bool withNumbers) = 0;
    // Every paper, history included, by vehicle, kind, expiry and id.
    virtual std::vector<VehiclePaper> papers() = 0;

    // Stores a new entry and returns its id. Of one driver's licences (one vehicle's papers
    // of one kind and title) the entry with the latest expiry is current and the others are
    // marked renewed, in the same transaction, so nothing is ever removed by a renewal.
    virtual std::int64_t addLicence(const DriverLicence& licence) = 0;
    virtual std::int64_t addPaper(const VehiclePaper& paper) = 0;
    // Stores many new entries in one transaction (a CSV import): all or none.
    virtual void addAll(const std::vector<DriverLicence>& licences,
                        const std::vector<VehiclePaper>& papers) = 0;
};

}  // namespace quil::papers
