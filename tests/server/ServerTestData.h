#pragma once
// Small helpers of the suites on a server data set: a master item added through the data
// set, and the kind of the ServerError a call raises.

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <vector>

#include "SampleDataSet.h"
#include "server/ServerDataSet.h"
#include "store/Records.h"

namespace quil::test {

// The first changes `set` hears within `wait` (none when it hears nothing by then).
inline std::vector<store::DataSetChange> changesHeard(
    server::ServerDataSet& set, std::chrono::milliseconds wait = std::chrono::seconds(1)) {
    const auto until = std::chrono::steady_clock::now() + wait;
    std::vector<store::DataSetChange> got;
    while (got.empty() && std::chrono::steady_clock::now() < until) {
        set.connection().waitReadable(50);
        got = set.takeChanges();
    }
    return got;
}

// Adds a live (or deleted) item of `kind` named `name`; its position.
inline int addItem(server::ServerDataSet& set, store::ItemKind kind, const char* name,
                   bool deleted = false) {
    store::ItemRecord it =
        quil::testing::makeItem(kind, name, deleted, quil::testing::kSampleStamp);
    it.setOrder(999);
    return set.addItem(it, server::newSaveKey()).position;
}

// The kind of the ServerError `f` raises; a test failure when it raises none.
inline server::ServerError::Kind kindOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const server::ServerError& e) {
        return e.kind();
    }
    ADD_FAILURE() << "no ServerError";
    return server::ServerError::Kind::Other;
}

}  // namespace quil::test
