#pragma once
// A data set other programs change too (one on a server): how this program hears of their
// changes and keeps its connection while the server comes and goes. The main window's watch
// (ui/main/ServerWatch) works through this alone; the server's store implements it. No Qt.

#include <functional>
#include <memory>
#include <vector>

#include "store/DataSetChange.h"
#include "store/DataStore.h"

namespace quil::store {

class ChangeWatch {
public:
    virtual ~ChangeWatch() = default;
    // Starts hearing of the changes other programs make. Throws StoreError on a failure.
    virtual void listen() = 0;
    // The descriptor that turns readable when a notice arrives; -1 while disconnected.
    virtual int socket() const = 0;
    // The changes other programs made since the last call (ChangeSource::Elsewhere).
    virtual std::vector<DataSetChange> takeChanges() = 0;
    // Whether the connection still stands.
    virtual bool alive() const = 0;
    // A connection made again, listening, ready to take the broken one's place.
    class Reconnection {
    public:
        virtual ~Reconnection() = default;
    };
    // A task, safe to run on another thread, that connects again: null while the data set is
    // out of reach (it may wait for the connection's timeout).
    virtual std::function<std::unique_ptr<Reconnection>()> reconnector() const = 0;
    // On the owner's thread, without a word to the server: the connection made takes the
    // broken one's place, and changes are heard from the state it read.
    virtual void takeOver(Reconnection& made) = 0;
    // Whether a request fails at once while the connection is down (the window's own
    // connection) instead of connecting again with waits between the attempts.
    virtual void setFailFast(bool failFast) = 0;
};

// The store of such a data set, with the watch over it.
class WatchedDataStore : public DataStore, public ChangeWatch {};

}  // namespace quil::store
