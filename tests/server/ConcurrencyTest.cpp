// Many programs saving into one server data set at once, each a separate process
// (quil_server_test_client, see ClientLog.h), checked afterwards against what every client
// logged as committed: every add present once, every edit or delete applied to the version
// it read and to no other, nothing lost, nothing half-written, and every client's list in
// the server's order. Then the same with a client killed in the middle of its saves, and
// with the server stopped at once and started again while the clients save.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <span>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "ClientLog.h"
#include "PgTestCluster.h"
#include "TempDir.h"
#include "server/ServerDataSet.h"
#include "server/ServerSchema.h"

extern char** environ;

namespace {

using namespace quil;
using namespace std::chrono_literals;
using test::ClientLog;
using test::LoggedSave;

// One client program, killed when the object goes if it still runs.
class ClientProcess {
public:
    ClientProcess(const std::string& conninfo, int client, int count, std::string log)
        : log_(std::move(log)) {
        int in[2], out[2];
        if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) std::abort();
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        const std::string clientNo = std::to_string(client), n = std::to_string(count);
        const char* argv[] = {QUIL_SERVER_TEST_CLIENT,
                              conninfo.c_str(),
                              clientNo.c_str(),
                              n.c_str(),
                              log_.c_str(),
                              nullptr};
        const int err = posix_spawn(&pid_, QUIL_SERVER_TEST_CLIENT, &actions, nullptr,
                                    const_cast<char**>(argv), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]);
        ::close(out[1]);
        toClient_ = in[1];
        fromClient_ = out[0];
        if (err != 0) {
            pid_ = -1;
            ADD_FAILURE() << "cannot start " << QUIL_SERVER_TEST_CLIENT << ": " << err;
        }
    }
    ~ClientProcess() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            wait();
        }
        closeFd(toClient_);
        closeFd(fromClient_);
    }
    ClientProcess(const ClientProcess&) = delete;
    ClientProcess& operator=(const ClientProcess&) = delete;

    const std::string& log() const { return log_; }

    // Waits until the client has made all its saves (it says "ready"); false when it ended
    // first or the time ran out.
    bool waitReady(std::chrono::seconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        std::string got;
        while (got.find("ready\n") == std::string::npos) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            pollfd p{fromClient_, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&p, 1, int(left.count())) <= 0) return false;
            char buf[64];
            const ssize_t n = ::read(fromClient_, buf, sizeof buf);
            if (n <= 0) return false;
            got.append(buf, std::size_t(n));
        }
        return true;
    }
    // Lets the client scan the list and end.
    void go() { closeFd(toClient_); }
    // Waits for the end: the exit status, or 128 + the signal that ended it.
    int wait() {
        if (pid_ <= 0) return -1;
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    // Stops the client where it is (SIGSTOP) and waits until it has stopped; resume goes on.
    void pause() {
        ::kill(pid_, SIGSTOP);
        int status = 0;
        while (::waitpid(pid_, &status, WUNTRACED) < 0 && errno == EINTR) {
        }
    }
    void resume() { ::kill(pid_, SIGCONT); }
    int kill9() {
        ::kill(pid_, SIGKILL);
        return wait();
    }

private:
    static void closeFd(int& fd) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
    std::string log_;
    pid_t pid_ = -1;
    int toClient_ = -1;
    int fromClient_ = -1;
};

// The number of saves a log shows committed so far.
int committedSoFar(const std::string& log) {
    std::ifstream in(log);
    int n = 0;
    for (std::string line; std::getline(in, line);) n += line.starts_with("ok ");
    return n;
}

std::string lastLine(const std::string& log) {
    std::ifstream in(log);
    std::string last;
    for (std::string line; std::getline(in, line);) last = line;
    return last;
}

// Waits until every log shows at least `n` committed saves; false when the time ran out.
bool waitForCommits(std::span<const std::unique_ptr<ClientProcess>> clients, int n,
                    std::chrono::seconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        bool all = true;
        for (const auto& c : clients) all = all && committedSoFar(c->log()) >= n;
        if (all) return true;
        std::this_thread::sleep_for(5ms);
    }
    return false;
}

struct Row {
    std::int64_t version = 0;
    bool deleted = false;
    store::DataRecord record;
};

// Every row of the data set by id; a row whose columns disagree with its bytes fails the test.
std::map<std::int64_t, Row> readRows(server::PgConnection& c) {
    const server::PgResult r =
        c.exec("SELECT id, version, deleted, date, vehicle, user_no, kind, raw FROM quil_records",
               {}, true);
    std::map<std::int64_t, Row> rows;
    for (int i = 0; i < r.rows(); ++i) {
        const std::int64_t id = r.int64(i, 0);
        const std::string_view raw = r.bytes(i, 7);
        if (raw.size() != store::DataRecord::Size) {
            ADD_FAILURE() << "row " << id << " holds " << raw.size() << " bytes";
            continue;
        }
        const store::DataRecord rec(reinterpret_cast<const std::uint8_t*>(raw.data()));
        const bool deleted = r.text(i, 2)[0] != 0;
        EXPECT_EQ(deleted, rec.deleted()) << "row " << id;
        EXPECT_EQ(r.float8(i, 3), rec.date()) << "row " << id;
        EXPECT_EQ(r.int16(i, 4), rec.vehicle()) << "row " << id;
        EXPECT_EQ(r.int16(i, 5), rec.user()) << "row " << id;
        EXPECT_EQ(r.int16(i, 6), rec.kind()) << "row " << id;
        rows.emplace(id, Row{r.int64(i, 1), deleted, rec});
    }
    return rows;
}

// The ids of the live records in the server's order.
std::vector<std::int64_t> serverOrder(server::PgConnection& c) {
    const server::PgResult order = c.exec(
        "SELECT id FROM quil_records WHERE NOT deleted ORDER BY date, vehicle, user_no, entry");
    std::vector<std::int64_t> ids;
    for (int i = 0; i < order.rows(); ++i) ids.push_back(order.integer(i, 0));
    return ids;
}

// Each client's scan of the list (logged at its end) against the server's order.
void checkOrders(const std::vector<ClientLog>& logs, const std::vector<std::int64_t>& order) {
    for (const ClientLog& log : logs) {
        EXPECT_TRUE(log.hasOrder) << "client " << log.client << " logged no list";
        EXPECT_TRUE(log.order == order)
            << "client " << log.client << "'s list (" << log.order.size()
            << " records) is not in the server's order (" << order.size() << ")";
    }
}

// Checks the data set against what the clients logged as committed (all of it, nothing
// else); `withOrder`: also each client's scan of the list against the server's order.
void checkAgainstLogs(const std::string& conninfo, const std::vector<ClientLog>& logs,
                      bool withOrder) {
    server::PgConnection c(conninfo);
    const std::map<std::int64_t, Row> rows = readRows(c);

    std::set<std::string> keys;
    std::map<std::int64_t, std::vector<LoggedSave>> byRecord;
    std::size_t saves = 0, adds = 0;
    for (const ClientLog& log : logs) {
        EXPECT_TRUE(log.errors.empty()) << "client " << log.client << ": " << log.errors.front();
        for (const LoggedSave& s : log.committed) {
            EXPECT_TRUE(keys.insert(s.key).second) << "save key used twice: " << s.key;
            byRecord[s.id].push_back(s);
            ++saves;
            adds += s.op == "add";
        }
        if (log.summarized) {
            int counted[4] = {0, 0, 0, log.conflicts};
            for (const LoggedSave& s : log.committed)
                ++counted[s.op == "add" ? 0 : s.op == "edit" ? 1 : 2];
            for (int i = 0; i < 4; ++i)
                EXPECT_EQ(log.summary[i], counted[i]) << "client " << log.client << " count " << i;
        }
    }

    // Every committed save is in the server's book of saves under its key with its answer,
    // and nothing else is.
    const server::PgResult book = c.exec("SELECT key, target, version FROM quil_saves");
    EXPECT_EQ(std::size_t(book.rows()), saves);
    std::map<std::string, std::pair<std::int64_t, std::int64_t>> answers;
    for (int i = 0; i < book.rows(); ++i)
        answers[std::string(book.text(i, 0))] = {book.integer(i, 1), book.integer(i, 2)};
    for (const auto& [id, list] : byRecord)
        for (const LoggedSave& s : list) {
            const auto a = answers.find(s.key);
            if (a == answers.end()) {
                ADD_FAILURE() << "committed save " << s.key << " is not on the server";
                continue;
            }
            EXPECT_EQ(a->second, std::pair(s.id, s.to)) << s.key;
        }

    // Every add once, and no row that no add made.
    EXPECT_EQ(rows.size(), adds);
    std::map<std::string, int> tags;
    for (const auto& [id, row] : rows) ++tags[row.record.remarks()];
    for (const auto& [tag, n] : tags)
        EXPECT_EQ(n, 1) << "record " << tag << " is there " << n << " times";

    // Per record: the saves form one chain of versions from the add (1) on, each edit or
    // delete made on the version before it (so none landed on a record changed since it
    // was read), and the row holds the bytes of the chain's last save.
    for (auto& [id, list] : byRecord) {
        std::sort(list.begin(), list.end(),
                  [](const LoggedSave& a, const LoggedSave& b) { return a.to < b.to; });
        const auto row = rows.find(id);
        if (row == rows.end()) {
            ADD_FAILURE() << "committed record " << id << " is missing";
            continue;
        }
        if (list.front().op != "add") {
            ADD_FAILURE() << "record " << id << " was changed but its add is not logged";
            continue;
        }
        store::DataRecord expected = test::clientRecord(list.front().client, list.front().seq);
        EXPECT_EQ(list.front().to, 1) << "record " << id;
        bool deleted = false;
        for (std::size_t i = 1; i < list.size(); ++i) {
            const LoggedSave& s = list[i];
            EXPECT_EQ(s.from, list[i - 1].to) << "record " << id << " save " << s.key;
            EXPECT_EQ(s.to, s.from + 1) << "record " << id << " save " << s.key;
            EXPECT_FALSE(deleted) << "record " << id << " changed after its delete";
            if (s.op == "edit")
                expected = test::editedRecord(expected, s.client, s.seq);
            else
                deleted = true;
        }
        expected.setDeleted(deleted);
        EXPECT_EQ(row->second.version, std::int64_t(list.size())) << "record " << id;
        EXPECT_EQ(row->second.deleted, deleted) << "record " << id;
        EXPECT_TRUE(row->second.record.bytes() == expected.bytes())
            << "record " << id << " does not hold the bytes of its last save";
    }

    if (withOrder) checkOrders(logs, serverOrder(c));
}

// A data set of its own in a scratch database of the shared cluster.
struct ScratchDataSet {
    test::ScratchDatabase db;
    ScratchDataSet() {
        server::PgConnection c(db.conninfo());
        server::initializeSchema(c);
    }
};

std::vector<ClientLog> readLogs(const std::vector<std::unique_ptr<ClientProcess>>& clients) {
    std::vector<ClientLog> logs;
    for (std::size_t i = 0; i < clients.size(); ++i)
        logs.push_back(test::readClientLog(clients[i]->log(), int(i)));
    return logs;
}

// Lets every client scan its list and waits for all to end; each must end well.
void finish(std::vector<std::unique_ptr<ClientProcess>>& clients, std::size_t from = 0) {
    for (std::size_t i = from; i < clients.size(); ++i)
        EXPECT_TRUE(clients[i]->waitReady(120s)) << "client " << i << " did not finish its saves";
    for (std::size_t i = from; i < clients.size(); ++i) clients[i]->go();
    for (std::size_t i = from; i < clients.size(); ++i)
        EXPECT_EQ(clients[i]->wait(), 0) << "client " << i << " (log " << clients[i]->log() << ")";
}

constexpr int kClients = 10;
constexpr int kSavesEach = 1000;

TEST(ServerConcurrency, TenClientsAddEditAndDeleteAtOnceAndNothingIsLostOrOverwritten) {
    ScratchDataSet set;
    const quil::testing::TempDir logs;
    std::vector<std::unique_ptr<ClientProcess>> clients;
    for (int i = 0; i < kClients; ++i)
        clients.push_back(std::make_unique<ClientProcess>(
            set.db.conninfo(), i, kSavesEach, logs.file("client" + std::to_string(i) + ".log")));
    finish(clients);
    const std::vector<ClientLog> logged = readLogs(clients);

    // The run did what it is for: all saves made, and clients did get in each other's way.
    int conflicts = 0, edits = 0, deletes = 0, othersEdited = 0;
    std::map<std::int64_t, int> adder;
    for (const ClientLog& log : logged)
        for (const LoggedSave& s : log.committed)
            if (s.op == "add") adder[s.id] = log.client;
    for (const ClientLog& log : logged) {
        EXPECT_EQ(log.committed.size() + std::size_t(log.conflicts), std::size_t(kSavesEach))
            << "client " << log.client;
        conflicts += log.conflicts;
        for (const LoggedSave& s : log.committed) {
            edits += s.op == "edit";
            deletes += s.op == "del";
            othersEdited += s.op != "add" && adder[s.id] != log.client;
        }
    }
    EXPECT_GT(conflicts, 0) << "no client ever found a record changed: the test tests nothing";
    EXPECT_GT(edits, 0);
    EXPECT_GT(deletes, 0);
    EXPECT_GT(othersEdited, 0);
    std::cout << "saves " << kClients * kSavesEach << ", edits " << edits << ", deletes " << deletes
              << " (" << othersEdited << " of others' records), refused as changed " << conflicts
              << "\n";

    checkAgainstLogs(set.db.conninfo(), logged, true);
}

// A client killed (SIGKILL) while it saves, with two others saving beside it: every save it
// logged as committed is there once, every row whole, and its last save sent again under
// its key (as a program does after a lost answer) is done at most once.
TEST(ServerConcurrency, ClientKilledWhileSavingLeavesNothingHalfDoneAndItsRetryMakesNoDuplicate) {
    ScratchDataSet set;
    const quil::testing::TempDir logs;
    std::vector<std::unique_ptr<ClientProcess>> clients;
    const int counts[] = {1000000, 300, 300};  // the first saves until it is killed
    for (int i = 0; i < 3; ++i)
        clients.push_back(std::make_unique<ClientProcess>(
            set.db.conninfo(), i, counts[i], logs.file("client" + std::to_string(i) + ".log")));
    ASSERT_TRUE(waitForCommits({clients.data(), 1}, 200, 60s));
    // Killed in the middle of a save: stopped now and then until its log's last line says it
    // sent a save and has no answer yet.
    bool midSave = false;
    for (int attempt = 0; attempt < 500 && !midSave; ++attempt) {
        clients[0]->pause();
        midSave = lastLine(clients[0]->log()).starts_with("try ");
        if (!midSave) {
            clients[0]->resume();
            std::this_thread::sleep_for(std::chrono::microseconds(200 + attempt * 37 % 500));
        }
    }
    EXPECT_TRUE(midSave) << "never caught the client in the middle of a save";
    EXPECT_EQ(clients[0]->kill9(), 128 + SIGKILL);
    finish(clients, 1);

    std::vector<ClientLog> logged = readLogs(clients);
    ClientLog& victim = logged[0];
    ASSERT_FALSE(victim.tries.empty());
    const std::size_t committedBeforeKill = victim.committed.size();
    EXPECT_FALSE(victim.summarized);
    {
        server::PgConnection c(set.db.conninfo());
        const std::vector<ClientLog> survivors(logged.begin() + 1, logged.end());
        checkOrders(survivors, serverOrder(c));
    }

    // Its last save (committed or not: it was killed around it) and its last add (committed
    // unless that was the last save), each sent again twice under its key.
    server::ServerDataSet data(set.db.conninfo());
    const auto committedAs = [&](const std::string& key) -> const LoggedSave* {
        for (const LoggedSave& s : victim.committed)
            if (s.key == key) return &s;
        return nullptr;
    };
    const LoggedSave last = victim.tries.back();
    const bool lastLogged = committedAs(last.key) != nullptr;
    LoggedSave lastAdd;
    for (const LoggedSave& t : victim.tries)
        if (t.op == "add") lastAdd = t;
    ASSERT_FALSE(lastAdd.key.empty());
    const bool lastReachedServer = data.connection()
                                       .exec("SELECT count(*) FROM quil_saves WHERE key = $1",
                                             {server::PgParam::text(last.key)})
                                       .integer(0, 0) == 1;
    std::vector<LoggedSave> retries{last};
    if (lastAdd.key != last.key) retries.push_back(lastAdd);
    for (const LoggedSave& t : retries) {
        const LoggedSave* logged0 = committedAs(t.key);
        if (t.op == "add") {
            const auto first = data.addRecord(test::clientRecord(0, t.seq), t.key);
            const auto again = data.addRecord(test::clientRecord(0, t.seq), t.key);
            EXPECT_EQ(first.id, again.id);
            EXPECT_EQ(first.version, again.version);
            if (logged0)
                EXPECT_EQ(first.id, logged0->id);
            else
                victim.committed.push_back({0, "add", t.key, t.seq, first.id, 0, first.version});
            continue;
        }
        try {
            std::int64_t to = t.from + 1;
            if (t.op == "edit") {
                const auto now = data.readRecord(t.id);
                const auto record = test::editedRecord(now.record, 0, t.seq);
                to = data.editRecord(t.id, t.from, record, t.key).version;
                EXPECT_EQ(data.editRecord(t.id, t.from, record, t.key).version, to);
            } else {
                data.deleteRecord(t.id, t.from, t.key);
                data.deleteRecord(t.id, t.from, t.key);
            }
            if (logged0)
                EXPECT_EQ(to, logged0->to);
            else
                victim.committed.push_back({0, t.op, t.key, t.seq, t.id, t.from, to});
        } catch (const server::ServerError& e) {
            // Refused as changed: then it was not done before either (a save done before
            // gives its first answer), and the others may well have changed the record
            // since the victim read it. The check below finds a save done but not logged.
            EXPECT_EQ(e.kind(), server::ServerError::Kind::Conflict) << e.what();
            EXPECT_EQ(logged0, nullptr) << "a committed save refused when sent again";
        }
    }
    std::cout << "killed after " << committedBeforeKill << " committed saves; its last save ("
              << last.op << ") was " << (lastLogged ? "logged" : "not logged")
              << " as committed and " << (lastReachedServer ? "had" : "had not")
              << " been committed on the server\n";
    checkAgainstLogs(set.db.conninfo(), logged, false);
}

// A cluster of the test's own (not the suite's shared one), stopped at once and started
// again in the middle of a run.
class PrivateCluster {
public:
    // `name` names its state file in the build folder: one per test, as ctest may run them
    // side by side; a cluster left by a run cut short is stopped by the next start.
    explicit PrivateCluster(const std::string& name)
        : state_(std::string(QUIL_PRIVATE_PG_STATE_DIR) + "/pg-cluster-" + name + ".state") {
        if (!script("start")) throw std::runtime_error("the private test cluster did not start");
        std::ifstream in(state_);
        std::getline(in, dir_);
    }
    ~PrivateCluster() { script("stop"); }
    PrivateCluster(const PrivateCluster&) = delete;
    PrivateCluster& operator=(const PrivateCluster&) = delete;

    std::string conninfo(const std::string& db) const {
        return "host=" + dir_ + " port=5432 user=quil_test dbname=" + db;
    }
    // A new database holding an empty data set.
    std::string newDataSet(const std::string& db) const {
        {
            server::PgConnection admin(conninfo("postgres"));
            admin.run("CREATE DATABASE " + db);
        }
        server::PgConnection c(conninfo(db));
        server::initializeSchema(c);
        return conninfo(db);
    }
    // Stops the server at once, as a crash would; starts it again.
    bool halt() const { return script("halt"); }
    bool resume() const { return script("resume"); }

private:
    bool script(const char* what) const {
        const std::string command = std::string("'") + QUIL_PG_CLUSTER_SCRIPT + "' " + what + " '" +
                                    state_ + "' >/dev/null";
        return std::system(command.c_str()) == 0;
    }
    std::string state_;
    std::string dir_;
};

// A program left open while the server restarted (its connection broken without a word)
// saves on its next try, once, and reads on.
TEST(ServerConcurrency, ProgramIdleAcrossAServerRestartSavesOnceOnItsNextTry) {
    PrivateCluster pg("idle");
    const std::string conninfo = pg.newDataSet("quil_idle");
    server::ServerDataSet data(conninfo);
    const auto first = data.addRecord(test::clientRecord(0, 0), server::newSaveKey());
    ASSERT_TRUE(pg.halt());
    ASSERT_TRUE(pg.resume());
    const std::string key = server::newSaveKey();
    const auto second = data.addRecord(test::clientRecord(0, 1), key);
    EXPECT_NE(second.id, first.id);
    EXPECT_EQ(data.recordCount(), 2);
    EXPECT_EQ(data.addRecord(test::clientRecord(0, 1), key).id, second.id);
    EXPECT_EQ(data.recordCount(), 2);
}

// The server stopped at once (as a crash) and started again about a second later while
// four clients save: the retries of the data set carry every client through, and nothing
// committed is lost or saved twice.
TEST(ServerConcurrency, ServerStoppedAndStartedWhileClientsSaveLosesNothingAndSavesNothingTwice) {
    PrivateCluster pg("restart");
    const std::string conninfo = pg.newDataSet("quil_restart");
    const quil::testing::TempDir logs;
    std::vector<std::unique_ptr<ClientProcess>> clients;
    for (int i = 0; i < 4; ++i)
        clients.push_back(std::make_unique<ClientProcess>(
            conninfo, i, 600, logs.file("client" + std::to_string(i) + ".log")));
    ASSERT_TRUE(waitForCommits(clients, 50, 60s));
    for (std::size_t i = 0; i < clients.size(); ++i)
        ASSERT_FALSE(test::readClientLog(clients[i]->log(), int(i)).summarized)
            << "client " << i << " finished before the server stopped: give it more to do";
    const auto stopped = std::chrono::steady_clock::now();
    ASSERT_TRUE(pg.halt());
    std::this_thread::sleep_for(700ms);
    ASSERT_TRUE(pg.resume());
    const double outage =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - stopped).count();
    finish(clients);

    const std::vector<ClientLog> logged = readLogs(clients);
    checkAgainstLogs(conninfo, logged, true);
    server::PgConnection c(conninfo);
    const std::int64_t after =
        c.exec("SELECT count(*) FROM quil_saves WHERE saved_at >= pg_postmaster_start_time()")
            .integer(0, 0);
    EXPECT_GT(after, 0) << "no save was made after the restart";
    std::cout << "server away " << outage << " s; saves after the restart " << after << "\n";
}

}  // namespace
