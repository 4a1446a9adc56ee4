#pragma once
// What the concurrency tests' client program (quil_server_test_client) saves, and the log it
// keeps of it, shared by the client and the tests that check the server against the logs.
//
// The log has one line per event, written with write(2) so that a client killed at any
// moment leaves every line it finished:
//   try <op> <key> <seq> <id> <from>      before a save is sent (op: add, edit, del)
//   ok <op> <key> <seq> <id> <from> <to>  the save was committed; record id went from
//                                         version <from> (0 for an add) to <to>
//   conflict <op> <key> <seq> <id> <from> the record had changed: refused, nothing saved
//   error <text>                          anything else: the client stops
//   summary <adds> <edits> <dels> <conflicts>
//   order <id> <id> ...                   the client's scan of the list at the end

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "store/Records.h"

namespace quil::test {

// The remarks of the record client `client` adds as its save number `seq`.
inline std::string addTag(int client, int seq) {
    return "c" + std::to_string(client) + "-" + std::to_string(seq);
}

// The record client `client` adds as its save number `seq`: few dates, vehicles and users,
// so that many records share a place in the order and the order of entry decides. The
// remarks name the add ("c3-17"), so that a row can be traced back to it.
inline store::DataRecord clientRecord(int client, int seq) {
    store::DataRecord r;
    r.setKind(0);
    r.setDate(45000 + (seq * 7 + client * 3) % 40);
    r.setReturnTime(45000.5 + (seq * 7 + client * 3) % 40);
    r.setVehicle(static_cast<std::int16_t>((seq + client) % 3));
    r.setUser(static_cast<std::int16_t>(3 + (seq / 3 + client) % 2));
    r.setDistance1(1000 + seq);
    r.setDistance2(1010 + seq);
    r.setRemarks(addTag(client, seq));
    r.setDestination("追加");
    return r;
}

// An edit by client `client` as its save number `seq`: a new date, vehicle and destination
// over whatever the record held; the rest (the remarks naming the add) stays.
inline store::DataRecord editedRecord(store::DataRecord r, int client, int seq) {
    r.setDate(45000 + (seq * 11 + client * 5) % 40);
    r.setVehicle(static_cast<std::int16_t>((seq * 2 + client) % 3));
    r.setDestination("修正" + addTag(client, seq));
    r.setDeleted(false);
    return r;
}

struct LoggedSave {
    int client = 0;
    std::string op;  // add, edit, del
    std::string key;
    int seq = 0;
    std::int64_t id = 0;
    std::int64_t from = 0;
    std::int64_t to = 0;
};

struct ClientLog {
    int client = 0;
    std::vector<LoggedSave> tries;
    std::vector<LoggedSave> committed;
    int conflicts = 0;
    std::vector<std::string> errors;
    bool summarized = false;
    int summary[4] = {0, 0, 0, 0};  // adds, edits, deletes, conflicts
    bool hasOrder = false;
    std::vector<std::int64_t> order;
};

inline ClientLog readClientLog(const std::string& path, int client) {
    ClientLog log;
    log.client = client;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        std::string what;
        words >> what;
        if (what == "try" || what == "ok" || what == "conflict") {
            LoggedSave s;
            s.client = client;
            words >> s.op >> s.key >> s.seq >> s.id >> s.from;
            if (what == "ok") words >> s.to;
            if (!words) continue;  // a line cut short
            if (what == "try")
                log.tries.push_back(s);
            else if (what == "ok")
                log.committed.push_back(s);
            else
                ++log.conflicts;
        } else if (what == "error") {
            log.errors.push_back(line);
        } else if (what == "summary") {
            for (int& n : log.summary) words >> n;
            log.summarized = bool(words);
        } else if (what == "order") {
            log.hasOrder = true;
            for (std::int64_t id; words >> id;) log.order.push_back(id);
        }
    }
    return log;
}

}  // namespace quil::test
