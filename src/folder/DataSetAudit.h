#pragma once
// Looking into a data set without changing it: every problem of its two files (the
// command-line tool's check) and every item and record as readable lines (its dump).

#include <functional>
#include <string>
#include <vector>

#include "folder/CsvExport.h"
#include "store/FileSystem.h"

namespace quil::folder {

// One line per problem, in file order; empty when the data set is sound. Checks the
// signatures, versions and stamps of every record, the file sizes, the order of the
// record file, references to items that do not exist (or are of another kind) and
// records dated after `today`. A missing or unreadable Quil.qui is a problem; a missing
// Quil.qud is a data set without records.
std::vector<std::string> auditDataSet(const std::string& dataFolder, store::DateTime today,
                                      store::FileSystem& fs = store::FileSystem::current(),
                                      const Progress& progress = {});

// Every item and then every record, deleted ones marked, one UTF-8 line each.
void dumpDataSet(const std::string& dataFolder, const std::function<void(const std::string&)>& line,
                 store::FileSystem& fs = store::FileSystem::current());

}  // namespace quil::folder
