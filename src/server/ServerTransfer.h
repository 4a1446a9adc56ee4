#pragma once
// Moving a data set between a data folder and a server: push copies a folder's item and
// record files into an empty server data set in one transaction (all or nothing); pull
// writes a server data set as a data folder the Windows program opens. A folder pushed and
// pulled again, with no change between, gives back Quil.qui and Quil.qud byte for byte.
// The alcohol-check register and the analysis settings go from QuilExt.db's tables into the
// server's and back into a QuilExt.db this program opens as its own.

#include <cstdint>
#include <functional>
#include <string>

#include "PgConnection.h"

namespace quil::server {

struct TransferCounts {
    std::int64_t items = 0;
    std::int64_t records = 0;
    bool extension = false;  // the register or analysis settings of QuilExt.db went too
};

// Called now and then with the records done so far and the records in all (0: not known).
using TransferProgress = std::function<void(std::int64_t done, std::int64_t total)>;

// `folder` ends with '/'. Raises ServerError (Refused) when the server data set holds any
// item or record, or when the folder's files are damaged (a size that is not whole
// records, records out of order); nothing is written then.
TransferCounts pushFolder(PgConnection& c, const std::string& folder,
                          const TransferProgress& progress = {});
// The same into a data set that may hold one already: its items, records and register go
// in the same transaction (a restore). Other programs hear that the data set was replaced.
TransferCounts replaceWithFolder(PgConnection& c, const std::string& folder,
                                 const TransferProgress& progress = {});

// `dest` ends with '/'; it is made when missing and must not hold a data set. Both files
// come from one snapshot of the server and appear only when both are written.
TransferCounts pullFolder(PgConnection& c, const std::string& dest,
                          const TransferProgress& progress = {});

}  // namespace quil::server
