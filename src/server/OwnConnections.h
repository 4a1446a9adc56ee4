#pragma once
// The server connections of one program beside the one its watch listens on (the register's
// and the analysis settings' stores connect on their own): a change notice sent by any of
// them is the program's own, which it announced already when it wrote. Kept by backend pid
// while the connection is open (the server may give a closed one's pid to another program's
// backend), the last few hundred only; safe to use from several threads.

#include <algorithm>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <utility>

namespace quil::server {

class OwnConnections {
public:
    void add(int backendPid) {
        if (backendPid <= 0) return;
        const std::lock_guard lock(mutex_);
        if (std::find(pids_.begin(), pids_.end(), backendPid) != pids_.end()) return;
        pids_.push_back(backendPid);
        if (pids_.size() > kKept) pids_.pop_front();
    }
    void remove(int backendPid) {
        const std::lock_guard lock(mutex_);
        pids_.erase(std::remove(pids_.begin(), pids_.end(), backendPid), pids_.end());
    }
    bool contains(int backendPid) const {
        const std::lock_guard lock(mutex_);
        return std::find(pids_.begin(), pids_.end(), backendPid) != pids_.end();
    }

private:
    // A notice is taken within seconds of its write: older connections need not be known,
    // and a pid the server gives again to another program's backend is soon forgotten.
    static constexpr std::size_t kKept = 256;
    mutable std::mutex mutex_;
    std::deque<int> pids_;
};

// One connection's place among the program's own while it lives: declared after the
// connection, so that its pid is forgotten as the connection closes.
class OwnConnection {
public:
    OwnConnection(std::shared_ptr<OwnConnections> own, int backendPid)
        : own_(std::move(own)), pid_(backendPid) {
        if (own_) own_->add(pid_);
    }
    ~OwnConnection() {
        if (own_) own_->remove(pid_);
    }
    OwnConnection(const OwnConnection&) = delete;
    OwnConnection& operator=(const OwnConnection&) = delete;

private:
    std::shared_ptr<OwnConnections> own_;
    int pid_;
};

}  // namespace quil::server
