// Requests per address: a burst up to the limit passes, the next is refused, the bucket
// refills evenly, and one address's flood does not refuse another.

#include <gtest/gtest.h>

#include "web/RateLimit.h"

using namespace std::chrono_literals;
using quil::web::RateLimit;

TEST(WebRateLimit, ABurstUpToTheLimitPassesAndTheBucketRefillsOverAMinute) {
    auto t = std::chrono::steady_clock::time_point{} + 1000h;
    RateLimit limit(120, [&] { return t; });
    for (int i = 0; i < 120; ++i) ASSERT_TRUE(limit.allow("192.0.2.1")) << i;
    EXPECT_FALSE(limit.allow("192.0.2.1"));
    EXPECT_TRUE(limit.allow("192.0.2.2"));  // another address has its own bucket
    EXPECT_TRUE(limit.allow("2001:db8::1"));

    t += 1s;  // two requests' worth
    EXPECT_TRUE(limit.allow("192.0.2.1"));
    EXPECT_TRUE(limit.allow("192.0.2.1"));
    EXPECT_FALSE(limit.allow("192.0.2.1"));

    t += 10min;  // never more than a minute's worth
    int passed = 0;
    while (limit.allow("192.0.2.1") && passed < 1000) ++passed;
    EXPECT_EQ(passed, 120);
}

TEST(WebRateLimit, RefusedRequestsDoNotCountAndManyAddressesAreForgottenWhenIdle) {
    auto t = std::chrono::steady_clock::time_point{} + 1000h;
    RateLimit limit(60, [&] { return t; });
    for (int i = 0; i < 60; ++i) ASSERT_TRUE(limit.allow("198.51.100.9"));
    for (int i = 0; i < 500; ++i) ASSERT_FALSE(limit.allow("198.51.100.9"));
    t += 1s;  // one more, however many were refused meanwhile
    EXPECT_TRUE(limit.allow("198.51.100.9"));
    EXPECT_FALSE(limit.allow("198.51.100.9"));

    // Thousands of addresses that each came once: the busy one keeps its state through the
    // pruning of the idle ones.
    for (int i = 0; i < 12000; ++i)
        limit.allow("10.0." + std::to_string(i / 256) + "." + std::to_string(i % 256));
    t += 2s;
    limit.allow("10.1.0.1");  // prunes the buckets that are full again
    EXPECT_TRUE(limit.allow("198.51.100.9"));
    EXPECT_TRUE(limit.allow("198.51.100.9"));
    EXPECT_FALSE(limit.allow("198.51.100.9"));
}
