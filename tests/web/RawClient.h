#pragma once
// Plain sockets for the tests that act as hostile clients: from a chosen loopback address
// (127.0.0.0/8 gives many), sending what they like as slowly as they like.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <string_view>

namespace quil::test {

class RawClient {
public:
    RawClient(const std::string& from, int port) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        inet_pton(AF_INET, from.c_str(), &a.sin_addr);
        sockaddr_in to = a;
        to.sin_port = htons(std::uint16_t(port));
        inet_pton(AF_INET, "127.0.0.1", &to.sin_addr);
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
            ::connect(fd_, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0)
            close();
    }
    ~RawClient() { close(); }
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    bool connected() const { return fd_ >= 0; }
    bool send(std::string_view data) {
        while (fd_ >= 0 && !data.empty()) {
            const ssize_t n = ::send(fd_, data.data(), data.size(), MSG_NOSIGNAL);
            if (n <= 0) return false;
            data.remove_prefix(std::size_t(n));
        }
        return fd_ >= 0;
    }
    // What arrives within `ms`, until the server closes (`closed` says whether it did) or
    // the text has `until`.
    std::string read(int ms, std::string_view until = {}) {
        std::string out;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (fd_ >= 0 && !closed && (until.empty() || out.find(until) == std::string::npos)) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, std::max(0, int(left.count()))) <= 0) break;
            char buf[4096];
            const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
            if (n <= 0)
                closed = true;
            else
                out.append(buf, std::size_t(n));
        }
        return out;
    }
    bool closed = false;

private:
    void close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    int fd_ = -1;
};

}  // namespace quil::test
