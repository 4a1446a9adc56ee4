#pragma once
// The server benchmarks' own throwaway PostgreSQL cluster, started with scripts/pg-cluster.sh
// on first use (path in QUIL_PG_CLUSTER_SCRIPT) and stopped when the program ends, however it
// ends: a watchdog process holds one end of a pipe whose other end only this process holds,
// so that the pipe closes when this process exits, crashes or is killed, and the watchdog
// then stops the cluster. A cluster that cannot start ends the program with a message: no
// benchmark runs without its server.

#include <fcntl.h>
#include <libpq-fe.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace quil::bench {

class BenchCluster {
public:
    // The cluster, started on the first call.
    static BenchCluster& get() {
        static BenchCluster c;
        return c;
    }

    std::string conninfo(const std::string& dbname) const {
        return "host=" + socketDir_ + " port=5432 user=quil_test dbname=" + dbname;
    }

    // A new empty database `name`.
    std::string freshDatabase(const std::string& name) const {
        PGconn* c = PQconnectdb(conninfo("postgres").c_str());
        if (PQstatus(c) != CONNECTION_OK) die(std::string("cannot connect: ") + PQerrorMessage(c));
        const std::string sql = "CREATE DATABASE " + name;
        PGresult* r = PQexec(c, sql.c_str());
        if (PQresultStatus(r) != PGRES_COMMAND_OK) die(sql + ": " + PQerrorMessage(c));
        PQclear(r);
        PQfinish(c);
        return conninfo(name);
    }

private:
    BenchCluster() {
        std::string tmpl =
            (std::filesystem::temp_directory_path() / "quil-bench-pg-XXXXXX").string();
        const int fd = ::mkstemp(tmpl.data());
        if (fd < 0) die("cannot make the cluster's state file");
        ::close(fd);
        state_ = tmpl;

        int pipeFds[2];
        if (::pipe2(pipeFds, O_CLOEXEC) != 0) die("cannot make the watchdog's pipe");
        std::fflush(nullptr);
        watchdog = ::fork();
        if (watchdog < 0) die("cannot start the watchdog");
        if (watchdog == 0) {
            // The watchdog outlives Ctrl-C and the like, waits for the pipe to close, stops.
            ::signal(SIGINT, SIG_IGN);
            ::signal(SIGTERM, SIG_IGN);
            ::signal(SIGHUP, SIG_IGN);
            ::close(pipeFds[1]);
            char byte;
            for (;;) {
                const ssize_t n = ::read(pipeFds[0], &byte, 1);
                if (n == 0 || (n < 0 && errno != EINTR)) break;
            }
            runScript("stop", true);
        }
        ::close(pipeFds[0]);
        pipeWrite = pipeFds[1];
        std::atexit(stopNow);

        if (!runScript("start", false)) die("the cluster did not start (see above)");
        std::ifstream in(state_);
        if (!std::getline(in, socketDir_) || socketDir_.empty())
            die("the cluster's state file is empty");
        if (PQping(conninfo("postgres").c_str()) != PQPING_OK)
            die("the cluster does not answer in " + socketDir_);
    }

    // Runs the cluster script (its output goes to stderr, so that stdout stays the report's);
    // `replace` makes this process the script (the watchdog).
    bool runScript(const char* what, bool replace) const {
        const pid_t pid = replace ? 0 : ::fork();
        if (pid < 0) return false;
        if (pid == 0) {
            ::dup2(2, 1);
            ::execl(QUIL_PG_CLUSTER_SCRIPT, QUIL_PG_CLUSTER_SCRIPT, what, state_.c_str(),
                    static_cast<char*>(nullptr));
            std::perror(QUIL_PG_CLUSTER_SCRIPT);
            ::_exit(127);
        }
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }

    // At exit: closes the pipe and waits until the watchdog has stopped the cluster. Static,
    // so that an exit during the start does not reach for the object being made.
    static void stopNow() {
        if (pipeWrite < 0) return;
        ::close(pipeWrite);
        pipeWrite = -1;
        int status = 0;
        while (::waitpid(watchdog, &status, 0) < 0 && errno == EINTR) {
        }
    }

    [[noreturn]] static void die(const std::string& why) {
        std::fprintf(stderr, "benchmark cluster: %s\n", why.c_str());
        std::exit(1);
    }

    std::string state_;
    std::string socketDir_;
    static inline pid_t watchdog = -1;
    static inline int pipeWrite = -1;
};

}  // namespace quil::bench
