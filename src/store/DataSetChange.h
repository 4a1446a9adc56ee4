#pragma once
// A change to a data set, as the windows that show its data hear of it. No Qt here: a store
// that learns of a change made on another computer describes it in the same terms as the
// commands of this program do, and every window follows it the same way.

#include <optional>
#include <vector>

#include "store/RecordStore.h"
#include "store/Records.h"

namespace quil::store {

// Who made the change: this program, or another one working on the same data set.
enum class ChangeSource { ThisProgram, Elsewhere };

// The part of QuilExt.db a change touched.
enum class ExtensionPart { AlcoholChecks, Detectors, MaintenanceCycles, Papers };

struct DataSetChange {
    enum class What {
        RecordSaved,       // one record added or edited (place, record; previous on an edit)
        RecordDeleted,     // the record at place.position marked deleted (record: as it was)
        RecordsChanged,    // records changed in a way not told record by record: read again
        ItemsChanged,      // the master lists in Quil.qui (itemKind: which, or every kind)
        ExtensionChanged,  // a part of QuilExt.db (part)
        FolderChanged,     // the program now works on the data set of another folder
        Replaced,          // the data set in the folder was replaced (restore, import)
    };
    What what = What::RecordsChanged;
    ChangeSource source = ChangeSource::ThisProgram;
    // RecordSaved: where the save put the record (positions after the save);
    // RecordDeleted: place.position is the deleted record's position.
    SavedPlace place;
    DataRecord record;
    // RecordSaved on an edit: the record as it was before.
    std::optional<DataRecord> previous;
    std::optional<ItemKind> itemKind;
    // RecordsChanged after a program saved or deleted one record of a server data set: its
    // id (and record, previous as for RecordSaved; made elsewhere, previous when the server
    // kept the record this program last heard of), so that a window can follow the change
    // in place. A listener that cannot reads the data set again, as for RecordsChanged.
    std::optional<std::int64_t> serverId;
    bool serverDeleted = false;
    // The row's version after the change, when a server told it (1: a record added, so a
    // change made elsewhere that has no former record to remove).
    std::int64_t serverVersion = 0;
    ExtensionPart part = ExtensionPart::AlcoholChecks;

    bool isRecord() const { return what == What::RecordSaved || what == What::RecordDeleted; }
    // Everything shown may be different: read the data set again.
    bool isWhole() const { return what == What::FolderChanged || what == What::Replaced; }
    // One record added by another program on a server data set.
    bool isAddedElsewhere() const {
        return serverId && !serverDeleted && serverVersion == 1 &&
               source == ChangeSource::Elsewhere && !previous;
    }

    // The records a change touched, as they are now and, on an edit, as they were, when it
    // tells them all: a window whose figures none of them enters need not read again, and
    // one whose figures add up record by record may take the former out and put the new in.
    // None for a change not told record by record, or an edit made elsewhere whose former
    // record the server could not tell.
    std::optional<std::vector<DataRecord>> touchedRecords() const {
        const bool told = isRecord() ||
                          (what == What::RecordsChanged && serverId &&
                           (source == ChangeSource::ThisProgram || serverDeleted ||
                            isAddedElsewhere() || previous));
        if (!told) return std::nullopt;
        std::vector<DataRecord> out{record};
        if (previous) out.push_back(*previous);
        return out;
    }

    // The record a change took out of the data set's live records and the one it put in,
    // when it tells them: an add has only `after`, a delete only `before`, an edit both. A
    // window whose figures add up record by record follows the change with them. None for
    // a change not told record by record.
    struct Swap {
        std::optional<DataRecord> before;
        std::optional<DataRecord> after;
    };
    std::optional<Swap> swap() const {
        if (!touchedRecords()) return std::nullopt;
        Swap s;
        const bool deleted = what == What::RecordDeleted || serverDeleted;
        if (deleted) {
            s.before = previous ? *previous : record;
            s.before->setDeleted(false);
        } else {
            s.before = previous;
            s.after = record;
        }
        return s;
    }

    static DataSetChange recordSaved(const SavedPlace& place, const DataRecord& record,
                                     std::optional<DataRecord> previous = std::nullopt) {
        DataSetChange c = ofRecord(What::RecordSaved, record, std::move(previous));
        c.place = place;
        return c;
    }
    static DataSetChange recordDeleted(std::int64_t position, const DataRecord& record) {
        DataSetChange c = ofRecord(What::RecordDeleted, record);
        c.place.position = position;
        return c;
    }
    static DataSetChange serverRecordSaved(std::int64_t id, const DataRecord& record,
                                           std::optional<DataRecord> previous = std::nullopt) {
        DataSetChange c = ofRecord(What::RecordsChanged, record, std::move(previous));
        c.serverId = id;
        return c;
    }
    static DataSetChange serverRecordDeleted(std::int64_t id, const DataRecord& record) {
        DataSetChange c = serverRecordSaved(id, record);
        c.serverDeleted = true;
        return c;
    }
    static DataSetChange itemsChanged(std::optional<ItemKind> kind = std::nullopt) {
        DataSetChange c;
        c.what = What::ItemsChanged;
        c.itemKind = kind;
        return c;
    }
    static DataSetChange extensionChanged(ExtensionPart part) {
        DataSetChange c;
        c.what = What::ExtensionChanged;
        c.part = part;
        return c;
    }
    // The data set changed under this program (another program, another computer, a file
    // restored by hand) in ways it cannot tell: every window reads it again.
    static DataSetChange changedElsewhere() {
        DataSetChange c;
        c.what = What::RecordsChanged;
        c.source = ChangeSource::Elsewhere;
        return c;
    }
    static DataSetChange of(What what) {
        DataSetChange c;
        c.what = what;
        return c;
    }
    // A change of one record: the record as it is now and, on an edit, as it was.
    static DataSetChange ofRecord(What what, const DataRecord& record,
                                  std::optional<DataRecord> previous = std::nullopt) {
        DataSetChange c = of(what);
        c.record = record;
        c.previous = std::move(previous);
        return c;
    }
};

}  // namespace quil::store
