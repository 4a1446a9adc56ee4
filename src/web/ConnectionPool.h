#pragma once
// The service's database connections: at most one per worker thread, made when first
// needed, handed to one request at a time, and made again when the server went away.

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "server/PgConnection.h"

namespace quil::web {

class ConnectionPool {
public:
    ConnectionPool(std::string conninfo, int size);

    // Runs `work` with a connection of its own. When the connection turns out broken (the
    // server restarted), it is made again and `work` runs once more: the page's writes
    // carry save keys, so a repeat stores nothing twice. Raises ServerError Connection when
    // the server cannot be reached.
    void run(const std::function<void(server::PgConnection&)>& work);

private:
    std::unique_ptr<server::PgConnection> take();
    void give(std::unique_ptr<server::PgConnection> c);

    std::string conninfo_;
    int size_;
    int made_ = 0;
    std::mutex mutex_;
    std::condition_variable freed_;
    std::vector<std::unique_ptr<server::PgConnection>> idle_;
};

}  // namespace quil::web
