#pragma once
// The thin file-system layer under every file the store touches. Production uses the
// local POSIX files; tests install one that fails a chosen call.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace quil::store {

class File {
public:
    virtual ~File() = default;
    virtual std::uint64_t size() = 0;
    // Reads up to n bytes at offset; returns the number read (less only at end of file).
    virtual std::size_t readAt(std::uint64_t offset, void* buf, std::size_t n) = 0;
    // Writes all n bytes at offset or throws StoreError.
    virtual void writeAt(std::uint64_t offset, const void* buf, std::size_t n) = 0;
    virtual void truncate(std::uint64_t size) = 0;
    // Makes what was written durable before a rename publishes it.
    virtual void sync() = 0;
    const std::string& path() const { return path_; }

protected:
    explicit File(std::string path) : path_(std::move(path)) {}

private:
    std::string path_;
};

enum class OpenMode {
    Read,         // existing file, read only
    ReadWrite,    // existing file
    Create,       // created or truncated to zero, read and write
    OpenOrCreate,  // existing file kept, created when missing
    // A file made new, read and write: whatever had its name (a temporary file left by a run
    // cut short, a planted link) is removed first, and the file is then created exclusively,
    // never through a link. Every temporary and staged file is opened this way.
    CreateNew,
    // A file made new under a name nobody uses, read and write: a name already taken (by a
    // file, a link or another run's file) fails with StoreError and is left as it is.
    Exclusive
};

class FileSystem {
public:
    virtual ~FileSystem() = default;
    // Throws StoreError naming the file when it cannot be opened.
    virtual std::unique_ptr<File> open(const std::string& path, OpenMode mode) = 0;
    virtual bool exists(const std::string& path) = 0;
    virtual bool isDirectory(const std::string& path) = 0;
    // Replaces `to` by `from` in one step.
    virtual void rename(const std::string& from, const std::string& to) = 0;
    // Removes a file; a missing file is not an error.
    virtual void remove(const std::string& path) = 0;
    // Makes the folder's entries (a rename into it) durable. Throws StoreError.
    virtual void syncFolder(const std::string& folder);
    // Creates one folder (its parent must exist). Throws StoreError.
    virtual void makeFolder(const std::string& folder);
    // Removes a folder with everything in it; a missing folder is not an error. A link of
    // that name is refused (StoreError), never followed.
    virtual void removeFolder(const std::string& folder);
    // True when `path` itself is a symbolic link (whether or not its target exists).
    virtual bool isLink(const std::string& path);
    // True for an existing file that carries no write permission at all (the read-only
    // attribute), whoever runs the program.
    virtual bool isReadOnly(const std::string& path);
    // True for a folder whose entries can be listed.
    virtual bool canReadFolder(const std::string& folder);

    // The file system every store operation uses unless told otherwise.
    static FileSystem& current();
    // Installs `fs` (not owned) as current; nullptr restores the local one.
    static void setCurrent(FileSystem* fs);
    static FileSystem& local();
};

// The last component of a path, for messages.
std::string fileNameOf(const std::string& path);
// The folder part of a path, ending in '/' ("./" for a bare name).
std::string folderOf(const std::string& path);
// A folder path ending in '/' (an empty one stays empty), as every folder here is kept.
std::string withSeparator(std::string folder);

// A file made new (OpenMode::CreateNew) that holds `bytes`, synced and closed. On failure
// what was made of it stays: the caller knows what goes with it.
void writeNewFile(FileSystem& fs, const std::string& path, std::string_view bytes);

}  // namespace quil::store
