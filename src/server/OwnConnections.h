#pragma once
// The server connections of one program beside the one its watch listens on (the register's
// and the analysis settings' stores connect on their own): a change notice sent by any of
// them is the program's own, which it announced already when it wrote. Kept by backend pid
// while the connection is open and for a few seconds after it closed (its last notices are
// heard after it closed); then the pid is forgotten, since the server may give it to another
// program's backend. The last few hundred only; safe to use from several threads.

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <utility>

namespace quil::server {

class OwnConnections {
public:
    using Clock = std::chrono::steady_clock;
    // `heardWithin`: how long after its connection closed a notice is still taken as ours.
    explicit OwnConnections(Clock::duration heardWithin = std::chrono::seconds(10))
        : heardWithin_(heardWithin) {}

    void add(int backendPid) {
        if (backendPid <= 0) return;
        const std::lock_guard lock(mutex_);
        closed_.erase(std::remove_if(closed_.begin(), closed_.end(),
                                     [&](const Closed& c) { return c.pid == backendPid; }),
                      closed_.end());
        if (std::find(open_.begin(), open_.end(), backendPid) != open_.end()) return;
        open_.push_back(backendPid);
        if (open_.size() > kKept) open_.pop_front();
    }
    // The connection closed: its pid is forgotten once its last notices were heard.
    void remove(int backendPid) {
        const std::lock_guard lock(mutex_);
        const auto it = std::find(open_.begin(), open_.end(), backendPid);
        if (it == open_.end()) return;
        open_.erase(it);
        closed_.push_back({backendPid, Clock::now()});
        if (closed_.size() > kKept) closed_.pop_front();
    }
    bool contains(int backendPid) const {
        const std::lock_guard lock(mutex_);
        if (std::find(open_.begin(), open_.end(), backendPid) != open_.end()) return true;
        const auto now = Clock::now();
        return std::any_of(closed_.begin(), closed_.end(), [&](const Closed& c) {
            return c.pid == backendPid && now - c.at < heardWithin_;
        });
    }

private:
    // A notice is taken within seconds of its write: older connections need not be known.
    static constexpr std::size_t kKept = 256;
    struct Closed {
        int pid;
        Clock::time_point at;
    };
    const Clock::duration heardWithin_;
    mutable std::mutex mutex_;
    std::deque<int> open_;
    std::deque<Closed> closed_;
};

// One connection's place among the program's own while it lives: declared after the
// connection, so that its pid is let go as the connection closes.
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
