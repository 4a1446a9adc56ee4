#pragma once
// Writing a file the user names (a CSV export): never over a file of a data set, a
// read-only file or a folder, and never leaving half a file behind.

#include <functional>
#include <string>
#include <string_view>

#include "store/FileSystem.h"

namespace quil::folder {

using ExportSink = std::function<void(std::string_view)>;

// Thrown by a producer (or its caller's progress check) to stop an export the user
// cancelled: writeExportFile removes what it had written beside the target and lets it
// through, so the named file stays as it was.
struct ExportCancelled {};

// Why `path` may not be written by an export; empty when it may. A data set's or the
// program's own file (Quil.qui, Quil.qud, QuilExt.db, Quil.ini, Data.idx, the lock),
// whatever the case of its name, a folder and a read-only file are refused.
std::string exportTargetProblem(const std::string& path);

// Writes what `produce` hands its sink to `path`. A regular file is written beside the
// target, synced and renamed over it, so a failure leaves the old file (or none); a device
// or pipe (standard output, /dev/null) is written in place. Raises StoreError naming the
// file for a refused target or a failed write. `produce` may hand its bytes in as many
// pieces as it likes (a long table is written chunk by chunk, never held whole); whatever it
// throws, ExportCancelled included, removes the unfinished copy and is let through. Every file the
// program writes for the user (CSV of the list, the tables and the register) goes through here.
void writeExportFile(const std::string& path, const std::function<void(const ExportSink&)>& produce,
                     store::FileSystem& fs = store::FileSystem::current());

// The same for bytes already made.
void writeExportFile(const std::string& path, std::string_view bytes,
                     store::FileSystem& fs = store::FileSystem::current());

}  // namespace quil::folder
