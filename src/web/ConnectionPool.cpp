#include "web/ConnectionPool.h"

namespace quil::web {

using server::PgConnection;
using server::ServerError;

ConnectionPool::ConnectionPool(std::string conninfo, int size)
    : conninfo_(std::move(conninfo)), size_(size < 1 ? 1 : size) {}

std::unique_ptr<PgConnection> ConnectionPool::take() {
    std::unique_lock lock(mutex_);
    freed_.wait(lock, [&] { return !idle_.empty() || made_ < size_; });
    if (!idle_.empty()) {
        auto c = std::move(idle_.back());
        idle_.pop_back();
        return c;
    }
    ++made_;
    lock.unlock();
    try {
        return std::make_unique<PgConnection>(conninfo_);
    } catch (...) {
        lock.lock();
        --made_;
        freed_.notify_one();
        throw;
    }
}

void ConnectionPool::give(std::unique_ptr<PgConnection> c) {
    std::lock_guard lock(mutex_);
    if (c)
        idle_.push_back(std::move(c));
    else
        --made_;
    freed_.notify_one();
}

void ConnectionPool::run(const std::function<void(PgConnection&)>& work) {
    std::unique_ptr<PgConnection> c = take();
    try {
        if (!c->alive() && !c->reconnect())
            throw ServerError(ServerError::Kind::Connection, c->where(),
                              "データベースのサーバーにつながりません。");
        try {
            work(*c);
        } catch (const ServerError& e) {
            if (e.kind() != ServerError::Kind::Connection || c->alive()) throw;
            if (!c->reconnect()) throw;
            work(*c);
        }
    } catch (...) {
        // A connection left broken is dropped; the next request makes a new one.
        give(c->alive() ? std::move(c) : nullptr);
        throw;
    }
    give(std::move(c));
}

}  // namespace quil::web
