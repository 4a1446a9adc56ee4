#pragma once
// The settings of quil-web, read from its configuration file (/etc/quil/quil-web.conf):
// `key = value` lines, `#` starting a comment line. Every problem is reported in Japanese
// with the file and line it is on, and nothing starts with a setting that cannot work.

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace quil::web {

inline constexpr const char* kDefaultConfigPath = "/etc/quil/quil-web.conf";

struct WebConfig {
    std::string listen = "127.0.0.1";
    int port = 8080;
    std::string conninfo;     // libpq connection string of the service's login
    std::string certificate;  // both set: HTTPS; both empty: plain HTTP
    std::string key;
    bool behindProxy = false;  // the client's address from X-Forwarded-For's last entry
    bool secureCookie = true;
    int threads = 8;  // page workers, each with one database connection of the pool
    int idleMinutes = 30;
    std::size_t maxBody = 16384;
    int requestsPerMinute = 120;
    std::string timeZone = "Asia/Tokyo";  // the zone of every date and time the page uses

    bool https() const { return !certificate.empty(); }
};

// A setting that cannot be used; what() says which and what to write instead.
class ConfigError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Reads the settings from `text`; `name` is the file's name for the messages. Checks each
// value and the settings together (a certificate needs its key); not the files they name.
WebConfig parseWebConfig(std::string_view text, const std::string& name);

// Reads and checks the file, and that the certificate and key it names can be read.
WebConfig readWebConfig(const std::string& path);

// Settings that work but are likely a mistake, each a line in Japanese for --check-config.
std::vector<std::string> webConfigWarnings(const WebConfig& config);

}  // namespace quil::web
