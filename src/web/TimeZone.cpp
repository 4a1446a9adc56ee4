#include "web/TimeZone.h"

#include <cstdlib>
#include <ctime>
#include <fstream>

#include "web/WebConfig.h"

namespace quil::web {

namespace {

constexpr const char* kZoneDirectory = "/usr/share/zoneinfo/";

}  // namespace

std::string timeZoneProblem(const std::string& name) {
    // A zone is a relative name inside the database: letters, digits and "/_+-", no "..".
    const bool plain = !name.empty() && name.size() <= 64 && name.front() != '/' &&
                       name.find("..") == std::string::npos &&
                       name.find_first_not_of(
                           "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                           "0123456789/_+-") == std::string::npos;
    if (plain) {
        // A zone's file starts with "TZif"; a folder such as "Asia" or a stray file does not.
        std::ifstream in(kZoneDirectory + name, std::ios::binary);
        char magic[4] = {};
        if (in.read(magic, sizeof magic) && std::string(magic, 4) == "TZif") return {};
    }
    return "time_zone の「" + name +
           "」はタイムゾーンとして使えません。Asia/Tokyo のように書いてください "
           "(tzdata パッケージが入っていないときは入れてください)。";
}

void useTimeZone(const std::string& name) {
    if (std::string why = timeZoneProblem(name); !why.empty()) throw ConfigError(why);
    // The leading colon names a file of the database, never a POSIX rule.
    ::setenv("TZ", (":" + name).c_str(), 1);
    ::tzset();
}

}  // namespace quil::web
