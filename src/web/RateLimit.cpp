#include "web/RateLimit.h"

#include <algorithm>

namespace quil::web {

namespace {
// Addresses kept before the full buckets are dropped (a full bucket is a new address), at
// most once a second; past the hard cap every bucket is dropped (a flood of addresses).
constexpr std::size_t kPruneAbove = 10000;
constexpr std::size_t kHardCap = 50000;
}  // namespace

RateLimit::RateLimit(int perMinute, Clock clock)
    : perMinute_(std::max(perMinute, 1)), clock_(std::move(clock)) {
    if (!clock_) clock_ = [] { return std::chrono::steady_clock::now(); };
}

bool RateLimit::allow(const std::string& address) {
    const auto now = clock_();
    std::lock_guard lock(mutex_);
    if (buckets_.size() > kPruneAbove && now - lastPrune_ >= std::chrono::seconds(1)) {
        forgetIdle(now);
        lastPrune_ = now;
    }
    if (buckets_.size() > kHardCap) buckets_.clear();
    auto [it, added] = buckets_.try_emplace(address, Bucket{double(perMinute_), now});
    Bucket& b = it->second;
    if (!added) {
        const double seconds = std::chrono::duration<double>(now - b.at).count();
        b.tokens = std::min(double(perMinute_), b.tokens + std::max(seconds, 0.0) * perSecond());
        b.at = now;
    }
    if (b.tokens < 1) return false;
    b.tokens -= 1;
    return true;
}

void RateLimit::forgetIdle(std::chrono::steady_clock::time_point now) {
    std::erase_if(buckets_, [&](const auto& entry) {
        const double seconds = std::chrono::duration<double>(now - entry.second.at).count();
        return entry.second.tokens + seconds * perSecond() >= perMinute_;
    });
}

}  // namespace quil::web
