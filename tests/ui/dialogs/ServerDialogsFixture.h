#pragma once
// The dialogs over a data set on a server: a scratch database holding the sample items
// (positions as in SampleDataSet.h), the stand-in main window pointing at it, a second
// connection for "another clerk", and a store that loses the answer of a save.

#include <gtest/gtest.h>

#include <QString>
#include <memory>
#include <vector>

#include "DialogFixture.h"
#include "PgTestCluster.h"
#include "SampleDataSet.h"
#include "TempDir.h"
#include "server/PgConnection.h"
#include "server/ServerDataSet.h"
#include "server/ServerSchema.h"
#include "server/ServerStore.h"
#include "server/ServerTransfer.h"
#include "store/DataStore.h"
#include "store/Date.h"
#include "ui/dialogs/DataSetEvents.h"
#include "ui/dialogs/Prompts.h"

namespace quil::servertest {

using store::ItemKind;

// Sample item positions.
enum Pos : int {
    kCar1 = 0,
    kUser1 = 1,
    kDelivery = 2,
    kSales = 3,
    kOilChange = 4,
    kTruck = 7,
    kYamada = 8,
    kStation = 9,
};

// Forwards every call to `real`; the next `loseAnswers` changes are made and then fail as
// if the connection broke before the answer came back.
class LosingAnswers : public store::DataStore {
public:
    // What the real store stores is announced as this one's, as the program hears its store.
    explicit LosingAnswers(store::DataStore& real) : real_(real) {
        real_.setChangeListener([this](const store::DataSetChange& c) { announce(c); });
    }
    int loseAnswers = 0;
    std::vector<std::string> keys;  // the save key of every change asked for

    std::string where() const override { return real_.where(); }
    bool writable() override { return real_.writable(); }
    void scanRecords(const std::function<void(const store::StoredRecord&)>& f,
                     bool withDeleted) override {
        real_.scanRecords(f, withDeleted);
    }
    std::int64_t recordCount(bool withDeleted) override { return real_.recordCount(withDeleted); }
    store::StoredRecord readRecord(std::int64_t id) override { return real_.readRecord(id); }
    std::vector<store::StoredRecord> readRecords(const std::vector<std::int64_t>& ids) override {
        return real_.readRecords(ids);
    }
    store::StoredRecord addRecord(const store::DataRecord& r, const std::string& key) override {
        return lost(key, real_.addRecord(r, key));
    }
    store::StoredRecord editRecord(const store::StoredRecord& loaded, const store::DataRecord& r,
                                   const std::string& key) override {
        return lost(key, real_.editRecord(loaded, r, key));
    }
    void deleteRecord(const store::StoredRecord& loaded, const std::string& key) override {
        real_.deleteRecord(loaded, key);
        lost(key, 0);
    }
    bool refersTo(int position, ItemKind kind) override { return real_.refersTo(position, kind); }
    std::vector<store::StoredItem> items() override { return real_.items(); }
    store::StoredItem addItem(const store::ItemRecord& item, const std::string& key) override {
        return lost(key, real_.addItem(item, key));
    }
    store::StoredItem rewriteItem(const store::StoredItem& loaded, const store::ItemRecord& item,
                                  const std::string& key) override {
        return lost(key, real_.rewriteItem(loaded, item, key));
    }

private:
    template <typename T>
    T lost(const std::string& key, T answer) {
        keys.push_back(key);
        if (loseAnswers > 0) {
            --loseAnswers;
            throw server::ServerError(server::ServerError::Kind::Connection, real_.where(),
                                      "サーバーとの接続が切れました（テスト）。"
                                      "サーバーが動いているかを確かめてください。");
        }
        return answer;
    }
    store::DataStore& real_;
};

class ServerDialogTest : public testing::DialogFixture {
protected:
    test::ScratchDatabase db;
    testing::TempDir programDir;  // Quil.ini: the display masks stay per person
    std::unique_ptr<store::DataStore> data;
    std::unique_ptr<store::DataStore> otherClerk;  // another clerk's program
    std::vector<store::DataSetChange> heard;

    void SetUp() override {
        DialogFixture::SetUp();
        {
            testing::TempDir items;
            testing::writeSampleItems(items.dir());
            server::PgConnection c(db.conninfo());
            server::initializeSchema(c);
            server::pushFolder(c, items.dir());
        }
        data = server::openServerStore(db.conninfo());
        otherClerk = server::openServerStore(db.conninfo());
        main.folder = programDir.dir();
        main.server = data.get();
        main.window.move(200, 100);
        ui::DataSetEvents::listen(&main.window,
                                  [this](const store::DataSetChange& c) { heard.push_back(c); });
    }

    std::vector<store::StoredRecord> records(bool withDeleted = false) {
        std::vector<store::StoredRecord> out;
        data->scanRecords([&](const store::StoredRecord& r) { out.push_back(r); }, withDeleted);
        return out;
    }
    store::StoredItem itemAt(int position) {
        for (const store::StoredItem& s : data->items())
            if (s.position == position) return s;
        ADD_FAILURE() << "no item at " << position;
        return {};
    }
};

}  // namespace quil::servertest
