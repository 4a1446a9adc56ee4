// DataStore over a server data set: ServerDataSet with conflicts reported as
// store::RecordChangedError, as a data folder reports them.

#include "ServerDataSet.h"

namespace quil::server {
namespace {

class ServerStore final : public store::DataStore {
public:
    explicit ServerStore(const std::string& conninfo) : set_(conninfo) {}

    std::string where() const override { return set_.where(); }
    bool writable() override { return set_.writable(); }

    void scanRecords(const std::function<void(const store::StoredRecord&)>& f,
                     bool withDeleted) override {
        set_.scanRecords([&](const RecordRow& r) { f({r.id, r.version, r.record}); },
                         withDeleted);
    }
    std::int64_t recordCount(bool withDeleted) override { return set_.recordCount(withDeleted); }
    store::StoredRecord readRecord(std::int64_t id) override {
        return conflicts([&] {
            const RecordRow r = set_.readRecord(id);
            return store::StoredRecord{r.id, r.version, r.record};
        });
    }
    store::StoredRecord addRecord(const store::DataRecord& record,
                                  const std::string& saveKey) override {
        const RecordRow r = set_.addRecord(record, saveKey);
        return {r.id, r.version, r.record};
    }
    store::StoredRecord editRecord(const store::StoredRecord& loaded,
                                   const store::DataRecord& record,
                                   const std::string& saveKey) override {
        return conflicts([&] {
            const RecordRow r = set_.editRecord(loaded.id, loaded.version, record, saveKey);
            return store::StoredRecord{r.id, r.version, r.record};
        });
    }
    void deleteRecord(const store::StoredRecord& loaded, const std::string& saveKey) override {
        conflicts([&] {
            set_.deleteRecord(loaded.id, loaded.version, saveKey);
            return 0;
        });
    }
    bool refersTo(int position, store::ItemKind kind) override {
        return set_.refersTo(position, kind);
    }
    std::vector<store::StoredItem> items() override {
        std::vector<store::StoredItem> out;
        for (const ItemRow& r : set_.items()) out.push_back({r.position, r.version, r.item});
        return out;
    }
    store::StoredItem addItem(const store::ItemRecord& item, const std::string& saveKey) override {
        const ItemRow r = set_.addItem(item, saveKey);
        return {r.position, r.version, r.item};
    }
    store::StoredItem rewriteItem(const store::StoredItem& loaded, const store::ItemRecord& item,
                                  const std::string& saveKey) override {
        return conflicts([&] {
            const ItemRow r = set_.rewriteItem(loaded.position, loaded.version, item, saveKey);
            return store::StoredItem{r.position, r.version, r.item};
        });
    }

private:
    template <typename F>
    auto conflicts(F&& f) -> decltype(f()) {
        try {
            return f();
        } catch (const ServerError& e) {
            if (e.kind() != ServerError::Kind::Conflict) throw;
            throw store::RecordChangedError(e.file(), e.reason());
        }
    }
    ServerDataSet set_;
};

}  // namespace

std::unique_ptr<store::DataStore> openServerStore(const std::string& conninfo) {
    return std::make_unique<ServerStore>(conninfo);
}

}  // namespace quil::server
