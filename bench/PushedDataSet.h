#pragma once
// Server data sets for the benchmarks, on the run's own cluster (BenchCluster.h): an empty
// data set per name, and the list data set of n records (ListDataSet.h) pushed once.

#include <map>
#include <memory>
#include <string>

#include "BenchCluster.h"
#include "ListDataSet.h"
#include "server/PgConnection.h"
#include "server/ServerSchema.h"
#include "server/ServerTransfer.h"

namespace quil::bench {

// A database holding an empty data set, one per name for the whole run.
inline server::PgConnection& dataSetConnection(const std::string& name) {
    static std::map<std::string, std::unique_ptr<server::PgConnection>> connections;
    auto& c = connections[name];
    if (!c) {
        c = std::make_unique<server::PgConnection>(BenchCluster::get().freshDatabase(name));
        server::initializeSchema(*c);
    }
    return *c;
}

// The database name of the pushed data set of n records.
inline std::string pushedDataSetName(long n) { return "quil_bench_pull_" + std::to_string(n); }

// The list data set of n records on the server, pushed once for the whole run.
inline server::PgConnection& pushedDataSet(long n) {
    static std::map<long, bool> pushed;
    server::PgConnection& c = dataSetConnection(pushedDataSetName(n));
    if (!pushed[n]) {
        server::pushFolder(c, sharedListDataSet(n));
        c.run("VACUUM ANALYZE quil_records");
        pushed[n] = true;
    }
    return c;
}

}  // namespace quil::bench
