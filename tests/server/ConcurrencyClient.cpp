// quil_server_test_client CONNINFO CLIENT COUNT LOG: one of the many programs of the
// concurrency tests. Makes COUNT saves through ServerDataSet: adds, and edits and deletes of
// its own records and of the records others added last (read fresh from the server just
// before, so that several clients go for the same record and some find it changed). A
// refusal because the record changed is counted, not a failure. Everything is logged as
// ClientLog.h describes. Then it writes "ready" on stdout, waits for its stdin to close
// and logs its scan of the list (so that all clients scan once all have finished).
// Exit status: 0 done, 2 bad arguments or no connection, 3 an unexpected error.

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "ClientLog.h"
#include "server/ServerDataSet.h"

namespace {

using quil::server::ServerError;
using K = ServerError::Kind;

class Log {
public:
    explicit Log(const std::string& path)
        : fd_(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND, 0644)) {
        if (fd_ < 0) {
            std::perror(path.c_str());
            std::exit(2);
        }
    }
    // One whole line per write, so that a kill leaves only whole lines behind it.
    void line(const std::string& text) {
        const std::string l = text + "\n";
        if (::write(fd_, l.data(), l.size()) != ssize_t(l.size())) std::exit(3);
    }

private:
    int fd_;
};

// The ids of the records added last, by anyone; this client's own plain queries ride out a
// lost connection as the data set's calls do.
std::vector<std::int64_t> recentIds(quil::server::ServerDataSet& data) {
    for (int attempt = 0;; ++attempt) {
        try {
            const auto r = data.connection().exec(
                "SELECT id FROM quil_records WHERE NOT deleted ORDER BY id DESC LIMIT 30");
            std::vector<std::int64_t> ids;
            for (int i = 0; i < r.rows(); ++i) ids.push_back(r.integer(i, 0));
            return ids;
        } catch (const ServerError& e) {
            if (e.kind() != K::Connection || attempt >= 30) throw;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            data.connection().reconnect();
        }
    }
}

std::string words(std::initializer_list<std::string> parts) {
    std::string out;
    for (const std::string& p : parts) out += (out.empty() ? "" : " ") + p;
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s CONNINFO CLIENT COUNT LOG\n", argv[0]);
        return 2;
    }
    const std::string conninfo = argv[1];
    const int client = std::atoi(argv[2]);
    const int count = std::atoi(argv[3]);
    Log log(argv[4]);
    std::mt19937 rng(std::random_device{}() ^ unsigned(client * 7919));
    const auto chance = [&](int percent) { return int(rng() % 100) < percent; };

    try {
        quil::server::ServerDataSet data(conninfo);
        std::vector<std::int64_t> mine;  // own records, live when last seen
        int adds = 0, edits = 0, dels = 0, conflicts = 0;
        for (int seq = 0; seq < count; ++seq) {
            const std::string key = quil::server::newSaveKey();
            const std::string s = std::to_string(seq);
            std::int64_t id = 0;
            std::optional<quil::server::RecordRow> target;
            if (!chance(45)) {
                if (!mine.empty() && chance(50)) {
                    id = mine[rng() % mine.size()];
                } else {
                    const auto ids = recentIds(data);
                    if (!ids.empty()) id = ids[rng() % ids.size()];
                }
                if (id != 0) {
                    target = data.readRecord(id);
                    if (target->record.deleted()) target.reset();
                }
            }
            if (!target) {
                log.line(words({"try add", key, s, "0 0"}));
                const auto row = data.addRecord(quil::test::clientRecord(client, seq), key);
                log.line(words(
                    {"ok add", key, s, std::to_string(row.id), "0", std::to_string(row.version)}));
                mine.push_back(row.id);
                ++adds;
                continue;
            }
            // A moment between reading and saving, as a person takes, for others to get in.
            if (chance(30)) std::this_thread::sleep_for(std::chrono::microseconds(rng() % 3000));
            const bool edit = chance(70);
            const std::string op = edit ? "edit" : "del";
            const std::string ids = std::to_string(id);
            const std::string from = std::to_string(target->version);
            log.line(words({"try", op, key, s, ids, from}));
            try {
                if (edit) {
                    const auto row =
                        data.editRecord(id, target->version,
                                        quil::test::editedRecord(target->record, client, seq), key);
                    log.line(words({"ok edit", key, s, ids, from, std::to_string(row.version)}));
                    ++edits;
                } else {
                    data.deleteRecord(id, target->version, key);
                    log.line(
                        words({"ok del", key, s, ids, from, std::to_string(target->version + 1)}));
                    std::erase(mine, id);
                    ++dels;
                }
            } catch (const ServerError& e) {
                if (e.kind() != K::Conflict) throw;
                log.line(words({"conflict", op, key, s, ids, from}));
                ++conflicts;
            }
        }
        log.line(words({"summary", std::to_string(adds), std::to_string(edits),
                        std::to_string(dels), std::to_string(conflicts)}));

        std::fputs("ready\n", stdout);
        std::fflush(stdout);
        for (char c; ::read(0, &c, 1) > 0;) {
        }
        std::string order = "order";
        data.scanRecords(
            [&](const quil::server::RecordRow& r) { order += " " + std::to_string(r.id); });
        log.line(order);
    } catch (const std::exception& e) {
        log.line(std::string("error ") + e.what());
        std::fprintf(stderr, "client %d: %s\n", client, e.what());
        return 3;
    }
    return 0;
}
