#pragma once
// The one way the program writes a file the user names (a CSV export, a PDF, a PNG) or pulls
// from the server: written beside the target through the file-system seam, synced and renamed
// over it, so a failure at any step leaves the old file (or none). A data set's or the
// program's own file is never a target for the user's files.

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "store/FileSystem.h"

namespace quil::folder {

using ExportSink = std::function<void(std::string_view)>;

// Thrown by a producer (or its caller's progress check) to stop an export the user
// cancelled: writeExportFile removes what it had written beside the target and lets it
// through, so the named file stays as it was.
struct ExportCancelled {};

// What the file written is.
enum class FileRole {
    UserNamed,      // a file the user named: a data set's own file is refused
    ProgramFile,  // a file of the program's own it puts in place itself (Quil.kept)
};

// Why `path` may not be written as a file the user names because it is a data set's or the
// program's own file (or a link to one); empty when it is not.
std::string ownFileProblem(const std::string& path);

// Why `path` may not be written as a file the user names; empty when it may. A data set's or
// the program's own file (Quil.qui, Quil.qud, QuilExt.db and its journals, Quil.ini,
// Data.idx, the lock, a swap's journal or mark), whatever the case of its name and also when
// `path` is a link to one, a folder and a read-only file are refused.
std::string exportTargetProblem(const std::string& path);

// A new version of a file, written beside it ("<name>.<run>.part", a name of this run's
// own, made new and never opened through a link) and put in place by commit(). A file that is not committed is removed
// when the object goes, and the named file stays as it was. A link to a regular file is
// written through: the file it points to is replaced and the link stays. A device or pipe
// (standard output, /dev/null) is written in place. Every StoreError names the target, not
// the copy beside it.
class FileBeside {
public:
    // Raises StoreError naming the file for a refused target (see exportTargetProblem; a
    // pulled data-set file refuses only a link and a folder).
    explicit FileBeside(const std::string& path, FileRole role = FileRole::UserNamed,
                        store::FileSystem& fs = store::FileSystem::current());
    ~FileBeside();
    FileBeside(const FileBeside&) = delete;
    FileBeside& operator=(const FileBeside&) = delete;

    void write(std::string_view bytes);
    // Syncs the copy, renames it over the target and syncs the folder.
    void commit();
    const std::string& path() const { return path_; }

private:
    template <class F>
    void naming(F&& step);
    void discard();

    std::string path_;    // the name the user knows
    std::string target_;  // the file replaced: the path, or where its link points
    std::string part_;    // what is written now (the target itself for a device)
    store::FileSystem& fs_;
    std::unique_ptr<store::File> file_;
    std::uint64_t offset_ = 0;
    bool inPlace_ = false;
    bool done_ = false;
};

// Writes what `produce` hands its sink to `path` through a FileBeside. `produce` may hand its
// bytes in as many pieces as it likes (a long table is written chunk by chunk, never held
// whole); whatever it throws, ExportCancelled included, removes the unfinished copy and is
// let through. Every file the program writes for the user (CSV of the list, the tables and
// the register, PDF, PNG) goes through here.
void writeExportFile(const std::string& path, const std::function<void(const ExportSink&)>& produce,
                     store::FileSystem& fs = store::FileSystem::current());

// The same for bytes already made.
void writeExportFile(const std::string& path, std::string_view bytes,
                     store::FileSystem& fs = store::FileSystem::current());

}  // namespace quil::folder
