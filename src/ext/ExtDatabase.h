#pragma once
// QuilExt.db: the SQLite file in the data folder that keeps what the extension windows add
// (maintenance cycles, alcohol checks …). The Windows data files are never touched here.
//
// Each feature ("component") keeps its own schema version in the table `schema_version`
// and brings its tables up to date with its own list of migrations (made from the tables
// described in folder/ExtensionSchema.h), so features can be added without knowing about
// each other. A connection lives as long as its ExtDatabase
// object; open one for a piece of work and let it go, so that backup, restore and moving
// the data folder never meet an open file. The journal stays in DELETE mode (no -wal file
// beside the database) and every write is synced, so copying the one file is enough.

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariant>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "folder/DataSetFiles.h"
#include "folder/ExtensionSchema.h"

namespace quil::ext {

inline constexpr const char* kExtFileName = folder::kExtensionFileName;

// A failure to open, read or write QuilExt.db. The message is Japanese, names the file and
// gives the driver's reason; it is ready to show.
class ExtError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One step of a component's schema: after it runs the component is at `version`.
struct Migration {
    int version = 0;
    std::vector<QString> statements;
};

// The migrations of one of the described components (folder/ExtensionSchema.h), one a
// version: what ExtDatabase::migrate runs for it.
std::vector<Migration> migrationsOf(const folder::extschema::Component& component);

class ExtDatabase {
public:
    // `dataFolder` ends with '/'. Nothing is opened yet.
    explicit ExtDatabase(const std::string& dataFolder);
    ~ExtDatabase();
    ExtDatabase(const ExtDatabase&) = delete;
    ExtDatabase& operator=(const ExtDatabase&) = delete;

    // Whether the data folder holds a QuilExt.db (a missing file means no extension data).
    static bool exists(const std::string& dataFolder);
    std::string path() const { return path_; }

    // Opens the file, creating it (with its version table) when it is missing and `create`
    // is set. Returns false, opening nothing, when it is missing and `create` is not set.
    // Throws ExtError when the file cannot be opened or is not a database.
    //
    // The file belongs to one data set: it records the stamp of its Quil.qui. A file whose
    // stamp differs (it came with another data set, or stayed behind when the data set was
    // replaced) is never read: it is set aside under another name, the set-aside handler is
    // told, and the open goes on as for a missing file. A file without a stamp (written
    // before stamps were kept) takes the current one.
    bool open(bool create = true);

    // Called with the old and the new path of a file set aside; the program shows a notice.
    using SetAsideHandler = std::function<void(const std::string& from, const std::string& to)>;
    static void setSetAsideHandler(SetAsideHandler handler);
    bool isOpen() const;
    // The connection (valid while this object is open).
    QSqlDatabase database() const;

    // Version of `component`'s tables in the file; 0 when it has none.
    int version(const QString& component);
    // Runs the migrations of `component` newer than its stored version, in order, in one
    // transaction, and stores the new version. A failure rolls everything back and throws
    // ExtError. A file written by a newer program (a stored version above the last
    // migration) is refused with ExtError, changing nothing.
    void migrate(const QString& component, const std::vector<Migration>& migrations);

    // Runs `work` in one transaction: committed when it returns, rolled back when it throws
    // (the exception goes on to the caller).
    void transaction(const std::function<void()>& work);

    // Prepares and runs `sql` with positional `binds` ('?'); throws ExtError on failure. The
    // returned query is positioned before its first row.
    QSqlQuery exec(const QString& sql, const QVariantList& binds = {});

private:
    [[noreturn]] void fail(const QString& what, const QString& reason) const;
    [[noreturn]] void fail(const QString& what, const class QSqlError& error) const;
    void close();
    // False when the open file belongs to another data set (it is then closed).
    bool belongsToDataSet();
    bool writable() const;

    std::string dataFolder_;
    std::string path_;
    QString connection_;
};

}  // namespace quil::ext
