#pragma once
// A data folder with two vehicles, maintenance items and a few months of records, for the
// analysis windows (which see the main window as StandInMain).

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QCoreApplication>
#include <cstring>
#include <string>

#include "FailingFiles.h"
#include "ReportFixtures.h"
#include "StandInMain.h"
#include "ui/dialogs/BackgroundWork.h"
#include "ui/dialogs/Prompts.h"

namespace quil::testing {

// 車A (position 0) drives 1,000 → 1,700 km with a partial refuelling between two full
// ones; 車B (1) has no records. Items 3..5 are maintenance items.
inline void writeSampleFleet(const TempDir& dir) {
    using store::ItemKind;
    writeDataSet(
        dir,
        {item(ItemKind::Vehicle, "車A", day(2020, 4, 1)),
         item(ItemKind::Vehicle, "車B", day(2024, 3, 1), 10), item(ItemKind::User, "山田"),
         item(ItemKind::MaintenanceItem, "オイル交換"),
         item(ItemKind::MaintenanceItem, "12ヶ月点検"), item(ItemKind::MaintenanceItem, "車検")},
        {refuel(day(2024, 1, 5), 0, 30, 4000), driving(day(2024, 1, 5), 0, 1000, 1100),
         driving(day(2024, 1, 20), 0, 1100, 1400),
         refuel(day(2024, 1, 21), 0, 10, 1500, "部分給油"),
         maintenance(day(2024, 1, 25), 0, 3, 1400, 5000), driving(day(2024, 3, 2), 0, 1400, 1700),
         refuel(day(2024, 3, 3), 0, 20, 3000),
         driving(day(2024, 3, 4), 0, 1650, 1800),  // departs below 1,700
         expense(day(2024, 3, 15), 0, 2000)});
}

// While it lives, every opening of Quil.qud fails, as on a damaged disk.
struct UnreadableRecords : FailingFiles {
    UnreadableRecords() : FailingFiles({store::kRecordFileName}, Refuse::Everything) {}
};

// A server that takes connections and never answers them: `conninfo` gives up after two
// seconds.
struct SilentServer {
    SilentServer() {
        listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const std::string path = socketDir.dir() + ".s.PGSQL.5432";
        if (listener < 0 || path.size() >= sizeof address.sun_path) return;
        std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
        listening = ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                    ::listen(listener, 8) == 0;
    }
    ~SilentServer() {
        if (listener >= 0) ::close(listener);
    }
    SilentServer(const SilentServer&) = delete;
    SilentServer& operator=(const SilentServer&) = delete;
    std::string conninfo() const {
        return "host=" + socketDir.dir() + " port=5432 dbname=quil connect_timeout=2";
    }
    TempDir socketDir;
    int listener = -1;
    bool listening = false;
};

// While it lives, background work runs on real threads instead of inline (the test
// programs' default), so a test can see the window's events go on meanwhile.
struct OnWorkerThreads {
    OnWorkerThreads() { qApp->setProperty(ui::BackgroundWork::kInlineProperty, false); }
    ~OnWorkerThreads() { qApp->setProperty(ui::BackgroundWork::kInlineProperty, true); }
};

}  // namespace quil::testing
