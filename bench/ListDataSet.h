#pragma once
// A data set for the list benchmarks: items (vehicle 0, user 1, purpose 2), settings that
// show every record, and `n` driving records in key order, written in chunks.

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "TempFolder.h"
#include "store/ItemStore.h"
#include "store/Period.h"
#include "store/Records.h"
#include "store/Settings.h"

namespace quil::bench {

inline store::DataRecord drivingRecord(long i) {
    store::DataRecord r;
    r.setKind(0);
    r.setDate(37000 + double(i) / 10.0);
    r.setReturnTime(37000 + double(i) / 10.0 + 0.05);
    r.setUser(1);
    r.setItem(2);
    r.setDistance1(1000 + double(i));
    r.setDistance2(1010 + double(i));
    r.setDestination("本社");
    r.setRemarks("定期便");
    return r;
}

// Settings of a program folder whose list shows every record of the data set.
inline void writeListSettings(const std::string& dir) {
    store::Settings s(dir);
    s.writeFirstRun(2003);
    s.setPeriodKind(store::PeriodKind::All);
    s.setCarMask("1");
    s.setDriverMask("1");
}

inline void makeListDataSet(const std::string& dir, long n) {
    store::ItemStore items(dir);
    store::ItemRecord v, u, p;
    v.setKind(store::ItemKind::Vehicle);
    v.setName("営業車");
    u.setKind(store::ItemKind::User);
    u.setName("山田太郎");
    p.setKind(store::ItemKind::Purpose);
    p.setName("配達");
    items.append(v);
    items.append(u);
    items.append(p);
    writeListSettings(dir);
    std::ofstream out(dir + "Quil.qud", std::ios::binary);
    std::vector<store::DataRecord> chunk;
    for (long i = 0; i < n; i += 4096) {
        chunk.clear();
        for (long k = i; k < std::min(n, i + 4096); ++k) chunk.push_back(drivingRecord(k));
        out.write(reinterpret_cast<const char*>(chunk.data()),
                  std::streamsize(chunk.size() * store::DataRecord::Size));
    }
}

// One list data set of each size for the whole run (a million records take a while to write).
inline const std::string& sharedListDataSet(long n) {
    static std::map<long, std::unique_ptr<TempFolder>> sets;
    auto& f = sets[n];
    if (!f) {
        f = std::make_unique<TempFolder>();
        makeListDataSet(f->dir, n);
    }
    return f->dir;
}

}  // namespace quil::bench
