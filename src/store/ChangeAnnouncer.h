#pragma once
// What a store tells of its own writes, for the stores beside the records (the register,
// the analysis settings), as DataStore::setChangeListener does for the records and items.
// No Qt here.

#include <functional>
#include <utility>

#include "store/DataSetChange.h"

namespace quil::store {

class ChangeAnnouncer {
public:
    // Called with what each write changed, once it is stored; a refused write is not told.
    // A listener's failure comes out of the write that stored the change.
    using ChangeListener = std::function<void(const DataSetChange&)>;
    void setChangeListener(ChangeListener listener) { listener_ = std::move(listener); }

protected:
    ~ChangeAnnouncer() = default;
    void announce(ExtensionPart part) const {
        if (listener_) listener_(DataSetChange::extensionChanged(part));
    }

private:
    ChangeListener listener_;
};

}  // namespace quil::store
