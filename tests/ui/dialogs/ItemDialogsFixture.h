#pragma once
// The master list editor, the vehicle dialog and the display filters over a temporary
// folder, with a stand-in main window that counts what it is asked to do and scripted
// message boxes.

#include <gtest/gtest.h>

#include <QListWidget>
#include <QTest>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <vector>

#include "DialogFixture.h"
#include "RecordBuilders.h"
#include "TempDir.h"
#include "store/Date.h"
#include "store/ItemStore.h"
#include "store/RecordStore.h"
#include "store/Settings.h"
#include "ui/dialogs/MainContext.h"
#include "ui/dialogs/Prompts.h"

namespace quil::itemtest {

using store::ItemKind;

using testing::StandInMain;

class ItemDialogTest : public testing::DialogFixture {
protected:
    testing::TempDir dir;

    void SetUp() override {
        DialogFixture::SetUp();
        main.folder = dir.dir();
        main.window.move(200, 120);
    }

    int addItem(ItemKind kind, const char* name, bool deleted = false) {
        store::ItemRecord item = testing::makeItem(kind, name, deleted, main.stamp);
        item.setOrder(1);
        return store::ItemStore(main.folder).append(item);
    }
    // A record naming `item` in the field of its kind.
    void addRecordReferring(int item, ItemKind kind, bool deleted) {
        store::DataRecord r;
        r.setStamp(main.stamp);
        r.setKind(store::RecordKind::Refuelling);
        r.setDate(store::encodeDate(2024, 1, 5));
        r.setVehicle(kind == ItemKind::Vehicle ? static_cast<std::int16_t>(item) : 99);
        r.setUser(kind == ItemKind::User ? static_cast<std::int16_t>(item) : 99);
        r.setItem(-1);
        r.setPlace(kind == ItemKind::GasStation || kind == ItemKind::Shop
                       ? static_cast<std::int16_t>(item)
                       : -1);
        store::RecordStore rs(main.folder);
        const auto pos = rs.save(r, std::nullopt).position;
        if (deleted) rs.markDeleted(pos);
    }

    store::Settings settings() const { return store::Settings(main.folder); }

    // The raw bytes of Quil.qui.
    std::vector<std::uint8_t> itemFileBytes() const {
        std::ifstream in(main.folder + store::kItemFileName, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    // The 128 bytes of the item at `position`.
    std::vector<std::uint8_t> itemBytes(int position) const {
        const auto all = itemFileBytes();
        const auto from = static_cast<std::size_t>(position) * 128;
        if (all.size() < from + 128) return {};
        return {all.begin() + static_cast<std::ptrdiff_t>(from),
                all.begin() + static_cast<std::ptrdiff_t>(from + 128)};
    }
};

template <typename T>
T fieldAt(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
    T v{};
    if (bytes.size() >= offset + sizeof v) std::memcpy(&v, bytes.data() + offset, sizeof v);
    return v;
}
// The bytes of the short string (length byte first) at `offset`, as CP932.
inline std::string shortStringAt(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
    if (bytes.size() <= offset) return {};
    return std::string(reinterpret_cast<const char*>(bytes.data() + offset + 1), bytes[offset]);
}

}  // namespace quil::itemtest
