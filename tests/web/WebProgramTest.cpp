// The quil-web program as systemd and the browser tests start it: --check-config's answer
// and exit status, the one line it writes once it listens, and a clean stop on SIGTERM.

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <thread>
#include <vector>

#include "RawClient.h"
#include "TempDir.h"

namespace {

struct Ran {
    int status = -1;
    std::string out;
};

// Runs the program with `args`, its standard output and error together.
Ran run(const std::string& args) {
    Ran r;
    FILE* p = popen((std::string(QUIL_WEB_PROGRAM) + " " + args + " 2>&1").c_str(), "r");
    if (!p) return r;
    char buf[512];
    while (fgets(buf, sizeof buf, p)) r.out += buf;
    const int s = pclose(p);
    r.status = WIFEXITED(s) ? WEXITSTATUS(s) : -1;
    return r;
}

int freePort() {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    close(s);
    return ntohs(a.sin_port);
}

}  // namespace

TEST(WebProgram, CheckConfigAnswersInJapaneseWithItsExitStatus) {
    quil::testing::TempDir dir;
    const std::string good = dir.path() + "/good.conf", bad = dir.path() + "/bad.conf";
    std::ofstream(good) << "conninfo = host=/nonexistent-quil-socket dbname=quil\n";
    std::ofstream(bad) << "conninfo = dbname=quil\nport = http\n";
    // Settings that read well but reach no database: what to look at, and status 3.
    const Ran away = run("--check-config " + good);
    EXPECT_EQ(away.status, 3) << away.out;
    EXPECT_EQ(away.out.rfind("quil-web: " + good +
                                 " の設定では、データベースにつながりません: "
                                 "データベースサーバーにつながりません。PostgreSQL が動いているか",
                             0),
              0u)
        << away.out;
    const Ran refused = run("--check-config " + bad);
    EXPECT_EQ(refused.status, 2);
    EXPECT_EQ(refused.out, "quil-web: " + bad +
                               " の 2 行目: port は 1 から 65535 までの整数で書いてください "
                               "(「http」は使えません)。\n");
    EXPECT_EQ(run("--check-config " + dir.path() + "/none.conf").status, 2);
    EXPECT_EQ(run("--bogus").status, 2);
    // Reachable from anywhere behind a "proxy": anyone could name his address.
    const std::string open = dir.path() + "/open.conf";
    std::ofstream(open) << "conninfo = dbname=quil\nlisten = 0.0.0.0\nbehind_proxy = true\n";
    const Ran warned = run("--check-config " + open);
    EXPECT_EQ(warned.status, 3);  // the warning comes first; no database answers here
    EXPECT_EQ(
        warned.out.rfind("quil-web: 注意: behind_proxy = true なのに listen = 0.0.0.0 です。", 0),
        0u)
        << warned.out;
}

TEST(WebProgram, SaysWhereItListensAndStopsCleanlyOnSigterm) {
    quil::testing::TempDir dir;
    const int port = freePort();
    const std::string conf = dir.path() + "/web.conf";
    // No database behind it: the program still listens, and says it cannot reach it.
    std::ofstream(conf) << "listen = 127.0.0.1\nport = " << port
                        << "\nconninfo = host=" << dir.path() << " dbname=quil\n";
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        dup2(pipeFds[1], 2);
        close(pipeFds[0]);
        execl(QUIL_WEB_PROGRAM, QUIL_WEB_PROGRAM, "--config", conf.c_str(), nullptr);
        _exit(127);
    }
    close(pipeFds[1]);
    FILE* err = fdopen(pipeFds[0], "r");
    char line[1024] = {};
    ASSERT_TRUE(fgets(line, sizeof line, err));
    EXPECT_EQ(std::string(line),
              "quil-web: 127.0.0.1:" + std::to_string(port) + " で待ち受けています\n");
    // Seventy clients in the middle of their requests do not hold the stop up.
    std::vector<std::unique_ptr<quil::test::RawClient>> slow;
    for (int i = 0; i < 70; ++i) {
        slow.push_back(std::make_unique<quil::test::RawClient>("127.0.0.8", port));
        slow.back()->send(i % 2 ? "GET /login HTTP/1.1\r\nHost: x\r\n"
                                : "POST /login HTTP/1.1\r\nContent-Length: 99\r\n\r\nlogin=");
    }
    usleep(200000);
    const auto stopAsked = std::chrono::steady_clock::now();
    kill(pid, SIGTERM);
    // They go on sending a byte a second, as slow clients do.
    std::atomic<bool> stopped{false};
    std::thread trickle([&] {
        for (int t = 0; t < 10 && !stopped; ++t) {
            for (auto& c : slow) c->send("a");
            for (int i = 0; i < 10 && !stopped; ++i) usleep(100000);
        }
    });
    // Stopped within ten seconds, or killed and failed (never a hanging suite).
    int status = 0;
    pid_t done = 0;
    for (int i = 0; i < 1000 && done == 0; ++i) {
        done = waitpid(pid, &status, WNOHANG);
        if (done == 0) usleep(10000);
    }
    stopped = true;
    trickle.join();
    if (done == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        FAIL() << "quil-web did not stop on SIGTERM";
    }
    ASSERT_EQ(done, pid);
    EXPECT_LT(std::chrono::steady_clock::now() - stopAsked, std::chrono::seconds(5));
    fclose(err);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
}
