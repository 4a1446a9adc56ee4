#pragma once
// The company's time zone, which decides "now" and "today" for every date and time the
// drivers' page shows, offers and checks, whatever zone the machine's clock is set to.

#include <string>

namespace quil::web {

inline constexpr const char* kDefaultTimeZone = "Asia/Tokyo";

// Why `name` is no time zone of the system's database (tzdata), in Japanese; empty when it is.
std::string timeZoneProblem(const std::string& name);

// Makes `name` the local zone of this process (the C library's local time, which
// store::now() reads). Called before any other thread starts; raises ConfigError for a
// zone the system does not know, leaving the process's zone as it was.
void useTimeZone(const std::string& name);

}  // namespace quil::web
