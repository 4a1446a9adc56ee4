#include "ItemStore.h"

#include "BinaryFile.h"
#include "StoreError.h"

namespace quil::store {

ItemStore::ItemStore(std::string dataDir, FileSystem& fs)
    : path_(std::move(dataDir) + kItemFileName), fs_(fs) {}

bool ItemStore::exists() const { return fs_.exists(path_); }

std::vector<ItemRecord> ItemStore::readAll() const {
    std::vector<ItemRecord> items;
    if (!exists()) return items;
    BinaryFile f(path_, ItemRecord::Size, OpenMode::Read, fs_);
    items.resize(static_cast<std::size_t>(f.count()));
    std::size_t got = f.readMany(0, items.size(), items.data());
    items.resize(got);
    return items;
}

std::vector<ItemEntry> ItemStore::listLive(ItemKind kind) const {
    std::vector<ItemEntry> out;
    auto items = readAll();
    for (std::size_t i = 0; i < items.size(); ++i) {
        const ItemRecord& it = items[i];
        if (!it.deleted() && it.kind() == static_cast<std::int16_t>(kind))
            out.push_back({static_cast<int>(i), it.name()});
    }
    return out;
}

ItemRecord ItemStore::read(int position) const {
    BinaryFile f(path_, ItemRecord::Size, OpenMode::Read, fs_);
    ItemRecord r;
    f.read(position, r.data());
    return r;
}

int ItemStore::append(const ItemRecord& item) {
    bool created = !exists();
    BinaryFile f(path_, ItemRecord::Size, created ? OpenMode::Create : OpenMode::ReadWrite, fs_);
    std::int64_t n = f.count();
    if (!created) {
        f.keepPartialTail(fs_);
        f.append(item.data());  // a failure leaves the file as it was
        return static_cast<int>(n);
    }
    try {
        f.write(n, item.data());
    } catch (...) {
        try {
            fs_.remove(path_);
        } catch (...) {
        }
        throw;
    }
    return static_cast<int>(n);
}

void ItemStore::rename(int position, std::string_view name) {
    BinaryFile f(path_, ItemRecord::Size, OpenMode::ReadWrite, fs_);
    ItemRecord r;
    f.read(position, r.data());
    r.setName(name);
    f.write(position, r.data());
}

void ItemStore::rewrite(int position, const ItemRecord& item) {
    BinaryFile f(path_, ItemRecord::Size, OpenMode::ReadWrite, fs_);
    if (position < 0 || position >= f.count())
        throw StoreError(kItemFileName,
                         "項目の位置が正しくありません（位置 " + std::to_string(position) + "）。");
    f.write(position, item.data());
}

void ItemStore::markDeleted(int position) {
    BinaryFile f(path_, ItemRecord::Size, OpenMode::ReadWrite, fs_);
    ItemRecord r;
    f.read(position, r.data());
    r.setDeleted(true);
    f.write(position, r.data());
}

std::string ItemStore::nameAt(int position) const {
    if (position < 0 || !exists()) return kOtherName;
    BinaryFile f(path_, ItemRecord::Size, OpenMode::Read, fs_);
    if (position >= f.count()) return kOtherName;
    ItemRecord r;
    f.read(position, r.data());
    return r.name();
}

ItemNames::ItemNames(const std::vector<ItemRecord>& items) {
    names_.reserve(items.size());
    for (const auto& it : items) names_.push_back(it.name());
}

const std::string& ItemNames::nameAt(int position) const {
    static const std::string other = kOtherName;
    if (position < 0 || static_cast<std::size_t>(position) >= names_.size()) return other;
    return names_[static_cast<std::size_t>(position)];
}

}  // namespace quil::store
