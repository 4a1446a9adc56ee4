#pragma once
// The data folder dialog's commands on a server data set: a backup is the data set pulled
// and copied into a folder as a folder's backup is; a restore and a legacy import build a
// data folder as they always do, in a scratch folder, and replace the server's data set by
// it in one transaction. Nothing is written where a refusal or a failure comes first.

#include <string>

#include "PgConnection.h"
#include "folder/DataSetFiles.h"

namespace quil::server {

// `destFolder` (ends with '/') must exist. Another data set there is replaced only with
// consent (ReplaceOther otherwise, as for a folder).
folder::DataSetResult backupServer(PgConnection& c, const std::string& destFolder,
                                   folder::ReplaceConsent consent = {});

// The backup in `sourceFolder` is checked (and converted from the older format) as a
// folder's restore does; the server's data set then becomes it, all or nothing. A user
// whose role may not replace the data set is refused by the server (ServerError).
folder::DataSetResult restoreServer(PgConnection& c, const std::string& sourceFolder);

// The legacy data set in `legacyFolder`, converted as into a data folder; the conversion's
// log (Errlog.txt) is written into `logFolder` (ends with '/').
folder::DataSetResult importLegacyToServer(PgConnection& c, const std::string& legacyFolder,
                                           const std::string& logFolder,
                                           const folder::ImportProgress& progress = {});

}  // namespace quil::server
