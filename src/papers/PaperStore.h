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
    // The current entries only (not renewed), without numbers and in no particular order:
    // all that what lapses and the warnings need, without reading the history.
    virtual std::vector<DriverLicence> currentLicences();
    virtual std::vector<VehiclePaper> currentPapers();

    // Stores a new entry and returns its id. Of one driver's licences (one vehicle's papers
    // of one kind and title) the entry with the latest expiry is current and the others are
    // marked renewed, in the same transaction, so nothing is ever removed by a renewal.
    virtual std::int64_t addLicence(const DriverLicence& licence) = 0;
    virtual std::int64_t addPaper(const VehiclePaper& paper) = 0;
    // Stores many new entries in one transaction (a CSV import): all or none.
    virtual void addAll(const std::vector<DriverLicence>& licences,
                        const std::vector<VehiclePaper>& papers) = 0;

    // Corrects a stored entry: `was` is the entry as it was read (numbers included), `now`
    // what it becomes under the same id. Which entry is current is settled again. When the
    // stored entry is no longer `was` (changed or removed meanwhile) nothing is written and
    // store::RecordChangedError says kEntryChangedText.
    virtual void correctLicence(const DriverLicence& was, const DriverLicence& now) = 0;
    virtual void correctPaper(const VehiclePaper& was, const VehiclePaper& now) = 0;
    // Removes an entry entered by mistake, under the same condition; the entry it had
    // replaced becomes current again.
    virtual void removeLicence(const DriverLicence& was) = 0;
    virtual void removePaper(const VehiclePaper& was) = 0;
};

inline constexpr const char* kEntryChangedText =
    "この記録は、ほかの操作で変更されたため保存できません。一覧を読み込み直します。";

}  // namespace quil::papers
