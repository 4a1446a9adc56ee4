#pragma once
// A temporary data folder with users, vehicles (one with a plate) and driving records, a
// stand-in main window and scripted message boxes, for the register's windows.

#include <gtest/gtest.h>

#include "StandInMain.h"
#include "TempDir.h"
#include "store/Date.h"
#include "store/ItemStore.h"
#include "store/RecordStore.h"
#include "ui/dialogs/Prompts.h"
#include "ui/tools/alcohol/AlcoholStore.h"

namespace quil::alcohol::test {

using store::encodeDate;
using store::encodeTime;

// Item positions of the seeded master file.
enum Pos : int { kCarA = 0, kYamada = 1, kCarB = 2, kSato = 3, kOldUser = 4 };

// "Today" in every register test.
inline const store::DateTime kToday = encodeDate(2024, 5, 10);

class RegisterTest : public ::testing::Test {
protected:
    quil::testing::TempDir dir;
    quil::testing::StandInMain main;
    ui::ScriptedPrompts prompts;

    void SetUp() override {
        main.folder = dir.dir();
        store::setClockForTesting([] { return kToday + encodeTime(18, 0); });
        addItem(store::ItemKind::Vehicle, "営業車1", true);
        addItem(store::ItemKind::User, "山田");
        addItem(store::ItemKind::Vehicle, "営業車2");
        addItem(store::ItemKind::User, "佐藤");
        addItem(store::ItemKind::User, "退職者", false, true);
    }
    void TearDown() override { store::setClockForTesting({}); }

    void addItem(store::ItemKind kind, const char* name, bool plate = false, bool deleted = false) {
        store::ItemRecord item;
        item.setKind(kind);
        item.setName(name);
        item.setDeleted(deleted);
        if (plate) {
            item.setPlateRegion("品川");
            item.setPlateClass("300");
            item.setPlateKana("あ");
            item.setPlateSerial1("12");
            item.setPlateSerial2("34");
        }
        store::ItemStore(main.folder).append(item);
    }
    void addDrive(store::DateTime departure, store::DateTime back, int user = kYamada,
                  int vehicle = kCarA) {
        store::DataRecord r;
        r.setKind(store::RecordKind::Driving);
        r.setDate(departure);
        r.setReturnTime(back);
        r.setUser(static_cast<std::int16_t>(user));
        r.setVehicle(static_cast<std::int16_t>(vehicle));
        store::RecordStore(main.folder).save(r, std::nullopt);
    }
    AlcoholCheck check(store::DateTime when, CheckTiming timing = CheckTiming::BeforeDrive,
                       int driver = kYamada, int vehicle = kCarA) {
        AlcoholCheck c;
        c.when = when;
        c.timing = timing;
        c.driver = driver;
        c.vehicle = vehicle;
        c.checker = "安全 太郎";
        return c;
    }
    std::int64_t store(const AlcoholCheck& c) { return AlcoholStore(main.folder).add(c); }
    std::vector<AlcoholCheck> stored(bool withDeleted = true) {
        CheckFilter f;
        f.withDeleted = withDeleted;
        return AlcoholStore(main.folder).load(f);
    }
};

}  // namespace quil::alcohol::test
