#pragma once
// Requests per remote address: a bucket of `perMinute` requests per address that refills
// evenly over a minute, so a burst up to the limit passes and a steady flood is refused.

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <unordered_map>

namespace quil::web {

class RateLimit {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    explicit RateLimit(int perMinute, Clock clock = {});

    // Whether a request from `address` may go on now; counts it when it may.
    bool allow(const std::string& address);

private:
    struct Bucket {
        double tokens = 0;
        std::chrono::steady_clock::time_point at;
    };
    double perSecond() const { return perMinute_ / 60.0; }
    void forgetIdle(std::chrono::steady_clock::time_point now);

    int perMinute_;
    Clock clock_;
    std::mutex mutex_;
    std::unordered_map<std::string, Bucket> buckets_;
    std::chrono::steady_clock::time_point lastPrune_{};
};

}  // namespace quil::web
