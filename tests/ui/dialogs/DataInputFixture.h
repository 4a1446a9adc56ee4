#pragma once
// The record entry dialog over a temporary data folder, with a stand-in main window and
// scripted message boxes.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <cstring>
#include <functional>

#include "DialogFixture.h"
#include "RecordBuilders.h"
#include "TempDir.h"
#include "store/Date.h"
#include "store/ItemStore.h"
#include "store/RecordStore.h"
#include "ui/dialogs/MainContext.h"
#include "ui/dialogs/Prompts.h"
#include "ui/dialogs/TDataInputForm.h"

namespace quil::entrytest {

using store::DataRecord;
using store::encodeDate;
using store::encodeTime;
using store::ItemKind;

using FakeMain = testing::StandInMain;

// Item positions of the seeded master file.
enum Pos : int {
    kCarA = 0,
    kUserYamada = 1,
    kPurposeDelivery = 2,
    kStationX = 3,
    kOilChange = 4,
    kParking = 5,
    kShopAbc = 6,
    kCarB = 7,
    kUserSato = 8,
    kPurposeSales = 9,
};

class DataInputTest : public testing::DialogFixture {
protected:
    testing::TempDir dir;
    std::unique_ptr<ui::TDataInputForm> form;

    void SetUp() override {
        DialogFixture::SetUp();
        main.folder = dir.dir();
        main.window.move(200, 100);
        form = std::make_unique<ui::TDataInputForm>(main, &main.window);
    }

    void addItem(ItemKind kind, const char* name, bool deleted = false) {
        store::ItemRecord item = testing::makeItem(kind, name, deleted, main.stamp);
        item.setOrder(999);
        store::ItemStore(main.folder).append(item);
    }
    // Positions as in Pos.
    void seedItems() {
        addItem(ItemKind::Vehicle, "車両A");
        addItem(ItemKind::User, "山田");
        addItem(ItemKind::Purpose, "配達");
        addItem(ItemKind::GasStation, "スタンドX");
        addItem(ItemKind::MaintenanceItem, "オイル交換");
        addItem(ItemKind::ExpenseItem, "駐車場");
        addItem(ItemKind::Shop, "ABC商店");
        addItem(ItemKind::Vehicle, "車両B");
        addItem(ItemKind::User, "佐藤");
        addItem(ItemKind::Purpose, "営業");
    }

    // Saves records and writes Data.idx listing them in file order as rows 1, 2, ...
    void storeRecords(const std::vector<DataRecord>& records) {
        store::RecordStore rs(main.folder);
        for (const auto& r : records) rs.save(r, std::nullopt);
        std::vector<std::int32_t> rows;
        for (std::int32_t p = 0; p < rs.count(); ++p) rows.push_back(p);
        store::writeRowIndex(main.folder + store::kRowIndexFileName, rows);
    }
    DataRecord record(int kind, store::DateTime date, int vehicle = kCarA, int user = kUserYamada) {
        return testing::entryRecord(kind, date, vehicle, user, main.stamp);
    }

    void open(const char* caption) {
        form->setWindowTitle(QString::fromUtf8(caption));
        form->show();
    }
    void pressOk() { QTest::mouseClick(form->Button1(), Qt::LeftButton); }

    static void setText(QComboBox* box, const char* text) {
        box->setEditText(QString::fromUtf8(text));
    }
    static void setText(QLineEdit* box, const char* text) { box->setText(QString::fromUtf8(text)); }

    std::int64_t recordCount() const { return store::RecordStore(main.folder).count(); }
    DataRecord stored(std::int64_t position) const {
        return store::RecordStore(main.folder).read(position);
    }
    bool recordFileExists() const { return store::RecordStore(main.folder).exists(); }

    // Whether the focus of the dialog is on `w` (or inside it, for an editable list).
    bool focusOn(const QWidget* w) const {
        QWidget* f = form->focusWidget();
        return f && (f == w || w->isAncestorOf(f));
    }
};

// Little-endian fields read straight from the 256 bytes of a record.
template <typename T>
T fieldAt(const DataRecord& r, std::size_t offset) {
    T v;
    std::memcpy(&v, r.data() + offset, sizeof v);
    return v;
}
inline std::string shortStringAt(const DataRecord& r, std::size_t offset) {
    return std::string(reinterpret_cast<const char*>(r.data() + offset + 1), r.data()[offset]);
}

}  // namespace quil::entrytest
