#pragma once
// Operations on the item master file Quil.qui: the master lists of vehicles, users,
// purposes, gas stations, maintenance items, expense items and shops.

#include <cstdint>
#include <string>
#include <vector>

#include "FileSystem.h"
#include "Records.h"

namespace quil::store {

inline constexpr const char* kItemFileName = "Quil.qui";
inline constexpr const char* kRecordFileName = "Quil.qud";
inline constexpr const char* kRowIndexFileName = "Data.idx";
inline constexpr const char* kTempFileName = "tmp.$$$";

struct ItemEntry {
    int position = -1;
    std::string name;
    friend bool operator==(const ItemEntry&, const ItemEntry&) = default;
};

class ItemStore {
public:
    // `dataDir` ends with the path separator.
    explicit ItemStore(std::string dataDir, FileSystem& fs = FileSystem::current());

    const std::string& path() const { return path_; }
    bool exists() const;

    // Live items of a kind in position order; a missing file has none.
    std::vector<ItemEntry> listLive(ItemKind kind) const;
    // Every record of the file, deleted ones included; a missing file has none.
    std::vector<ItemRecord> readAll() const;
    ItemRecord read(int position) const;
    // Writes the item at the end of the file (creating it) and returns its position.
    int append(const ItemRecord& item);
    // Replaces the name, cut to 30 bytes at a character boundary; other bytes stay.
    void rename(int position, std::string_view name);
    void rewrite(int position, const ItemRecord& item);
    void markDeleted(int position);

    // Name of the item at a position: "その他" for a negative position, a position past
    // the end of the file or a missing file. Deleted items keep their names.
    std::string nameAt(int position) const;

private:
    std::string path_;
    FileSystem& fs_;
};

// The names of every position of the item file, read once, for views that name many
// records (the record list reads the file once per load, not once per row).
class ItemNames {
public:
    ItemNames() = default;
    explicit ItemNames(const std::vector<ItemRecord>& items);
    static ItemNames load(const ItemStore& store) { return ItemNames(store.readAll()); }
    const std::string& nameAt(int position) const;
    std::size_t size() const { return names_.size(); }

private:
    std::vector<std::string> names_;
};

}  // namespace quil::store
