#pragma once
// A data folder with n vehicles and n users for the benchmarks of licences and papers: each
// driver with a licence and its renewal, each vehicle with 車検, 自賠責 and 任意保険 and the
// renewal of its 車検, expiries spread from the past into the next years.

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "papers/Papers.h"
#include "server/FolderPaperStore.h"
#include "store/Date.h"
#include "store/ItemStore.h"
#include "store/Records.h"

namespace quil::bench {

// Writes Quil.qui, an empty Quil.qud and QuilExt.db into `dir` (ending with '/'),
// replacing what a former call wrote there.
inline void makePaperFolder(const std::string& dir, int n) {
    constexpr double kStamp = 45000.25;
    std::filesystem::remove(dir + "QuilExt.db");
    const store::DateTime today = store::today();
    {
        std::string bytes;
        const auto add = [&](const store::ItemRecord& it) {
            bytes.append(reinterpret_cast<const char*>(it.bytes().data()), it.Size);
        };
        for (const store::ItemRecord& it : store::firstRunItems(kStamp, today - 400)) add(it);
        for (int i = 0; i < 2 * n; ++i) {
            store::ItemRecord it;
            it.setStamp(kStamp);
            it.setKind(i % 2 ? store::ItemKind::User : store::ItemKind::Vehicle);
            it.setName((i % 2 ? "運転者" : "車両") + std::to_string(i / 2));
            it.setOrder(999);
            add(it);
        }
        std::ofstream(dir + store::kItemFileName, std::ios::binary | std::ios::trunc) << bytes;
        std::ofstream(dir + "Quil.qud", std::ios::binary | std::ios::trunc);
    }
    std::vector<papers::DriverLicence> licences;
    std::vector<papers::VehiclePaper> papers;
    for (int i = 0; i < n; ++i) {
        const int first = 7 + 2 * i;
        papers::DriverLicence l;
        l.driver = first + 1;
        l.number = std::to_string(100000000000LL + i);
        l.kinds = "普通";
        l.expiry = today - 1000 + i % 1500;
        licences.push_back(l);
        l.expiry += 1095;
        licences.push_back(l);
        for (int k = 0; k < 3; ++k) {
            papers::VehiclePaper p;
            p.vehicle = first;
            p.kind = static_cast<papers::PaperKind>(k);
            p.expiry = today - 30 + (i * 7 + k * 11) % 800;
            p.number = "No." + std::to_string(i);
            papers.push_back(p);
        }
        papers.push_back(papers[papers.size() - 3]);
        papers.back().expiry += 730;
    }
    server::FolderPaperStore(dir).addAll(licences, papers);
}

}  // namespace quil::bench
