#include "web/WebConfig.h"

#include <arpa/inet.h>
#include <libpq-fe.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <charconv>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <sstream>

#include "web/TimeZone.h"

namespace quil::web {

namespace {

std::string trimmed(std::string_view s) {
    const auto first = s.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    return std::string(s.substr(first, s.find_last_not_of(" \t\r") - first + 1));
}

bool isIpAddress(const std::string& text, bool& loopback) {
    unsigned char buf[16];
    if (inet_pton(AF_INET, text.c_str(), buf) == 1) {
        loopback = buf[0] == 127;
        return true;
    }
    if (inet_pton(AF_INET6, text.c_str(), buf) == 1) {
        loopback = text == "::1";
        return true;
    }
    return false;
}

std::optional<long long> number(const std::string& value) {
    long long n = 0;
    const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), n);
    if (ec != std::errc() || end != value.data() + value.size()) return std::nullopt;
    return n;
}

// Why the PEM certificate and private key cannot serve HTTPS, or empty when they can: each
// must parse (a key with a passphrase cannot: the service has nobody to type it) and the key
// must be the certificate's.
std::string tlsProblem(const std::string& certificate, const std::string& key) {
    using Cert = std::unique_ptr<X509, decltype(&X509_free)>;
    using Key = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
    using File = std::unique_ptr<BIO, decltype(&BIO_free)>;
    const auto noPassphrase = [](char*, int, int, void*) { return 0; };
    File certFile(BIO_new_file(certificate.c_str(), "r"), BIO_free);
    Cert cert(certFile ? PEM_read_bio_X509(certFile.get(), nullptr, nullptr, nullptr) : nullptr,
              X509_free);
    if (!cert) return "証明書 " + certificate + " は PEM 形式の証明書ではありません。";
    File keyFile(BIO_new_file(key.c_str(), "r"), BIO_free);
    Key pkey(
        keyFile ? PEM_read_bio_PrivateKey(keyFile.get(), nullptr, noPassphrase, nullptr) : nullptr,
        EVP_PKEY_free);
    if (!pkey)
        return "秘密鍵 " + key +
               " は PEM 形式の秘密鍵ではないか、パスフレーズ付きです (サービスはパスフレーズを"
               "入力できません)。";
    if (X509_check_private_key(cert.get(), pkey.get()) != 1)
        return "秘密鍵 " + key + " は証明書 " + certificate + " の鍵ではありません。";
    return {};
}

bool readable(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return in.good();
}

// One settings file's lines: each refusal names the file and the line.
class ConfigLines {
public:
    explicit ConfigLines(const std::string& name) : name_(name) {}

    // Reads `text` into `cfg`: "key = value" lines, # comments, each key once.
    void read(std::string_view text, WebConfig& cfg) {
        std::set<std::string> seen;
        std::istringstream lines{std::string(text)};
        std::string line;
        const auto setter = setters(cfg);
        while (std::getline(lines, line)) {
            ++lineNo_;
            const std::string t = trimmed(line);
            if (t.empty() || t[0] == '#') continue;
            const auto eq = t.find('=');
            if (eq == std::string::npos)
                fail("「キー = 値」の形で書いてください (「" + t + "」)。");
            const std::string key = trimmed(t.substr(0, eq));
            const std::string value = trimmed(t.substr(eq + 1));
            const auto found = setter.find(key);
            if (found == setter.end()) fail("「" + key + "」という設定はありません。");
            if (!seen.insert(key).second) fail(key + " が2回書かれています。");
            found->second(key, value);
        }
    }

private:
    using Setter = std::function<void(const std::string&, const std::string&)>;

    [[noreturn]] void fail(const std::string& what) const {
        throw ConfigError(name_ + " の " + std::to_string(lineNo_) + " 行目: " + what);
    }
    long long integer(const std::string& key, const std::string& value, long long min,
                      long long max) const {
        const auto n = number(value);
        if (!n || *n < min || *n > max)
            fail(key + " は " + std::to_string(min) + " から " + std::to_string(max) +
                 " までの整数で書いてください (「" + value + "」は使えません)。");
        return *n;
    }
    bool boolean(const std::string& key, const std::string& value) const {
        if (value == "true" || value == "yes" || value == "on") return true;
        if (value == "false" || value == "no" || value == "off") return false;
        fail(key + " は true か false で書いてください (「" + value + "」は使えません)。");
    }
    void conninfo(const std::string& key, const std::string& value, WebConfig& cfg) const {
        char* error = nullptr;
        PQconninfoOption* options = PQconninfoParse(value.c_str(), &error);
        if (!options) {
            std::string why = error ? trimmed(error) : std::string();
            PQfreemem(error);
            fail(key + " をデータベースへの接続として読めません (" + why + ")。");
        }
        PQconninfoFree(options);
        cfg.conninfo = value;
    }

    // Each key's reading of its value into `cfg`.
    std::map<std::string, Setter> setters(WebConfig& cfg) const {
        using S = const std::string&;
        return {
            {"listen",
             [&](S k, S v) {
                 bool loopback = false;
                 if (!isIpAddress(v, loopback))
                     fail(k + " は IP アドレスで書いてください (例: 127.0.0.1、0.0.0.0、::1)。");
                 cfg.listen = v;
             }},
            {"port", [&](S k, S v) { cfg.port = int(integer(k, v, 1, 65535)); }},
            {"conninfo", [&](S k, S v) { conninfo(k, v, cfg); }},
            {"certificate", [&](S, S v) { cfg.certificate = v; }},
            {"key", [&](S, S v) { cfg.key = v; }},
            {"behind_proxy", [&](S k, S v) { cfg.behindProxy = boolean(k, v); }},
            {"secure_cookie", [&](S k, S v) { cfg.secureCookie = boolean(k, v); }},
            {"threads", [&](S k, S v) { cfg.threads = int(integer(k, v, 1, 64)); }},
            {"idle_minutes", [&](S k, S v) { cfg.idleMinutes = int(integer(k, v, 1, 24 * 60)); }},
            {"max_body",
             [&](S k, S v) { cfg.maxBody = std::size_t(integer(k, v, 1024, 1024 * 1024)); }},
            {"requests_per_minute",
             [&](S k, S v) { cfg.requestsPerMinute = int(integer(k, v, 1, 1000000)); }},
            {"time_zone",
             [&](S, S v) {
                 if (const std::string why = timeZoneProblem(v); !why.empty()) fail(why);
                 cfg.timeZone = v;
             }},
        };
    }

    const std::string& name_;
    int lineNo_ = 0;
};

// What the settings need as a whole, once every line is read.
void checkWhole(const WebConfig& cfg, const std::string& name) {
    auto missing = [&](const std::string& what) { throw ConfigError(name + ": " + what); };
    if (cfg.conninfo.empty())
        missing(
            "conninfo (データベースへの接続) が書かれていません。"
            "例: conninfo = host=/run/postgresql dbname=quil user=quil_web_service");
    if (cfg.certificate.empty() != cfg.key.empty())
        missing(
            "HTTPS には certificate (証明書) と key (秘密鍵) の両方が要ります。"
            "HTTP で動かすときは両方とも書かないでください。");
    bool loopback = false;
    isIpAddress(cfg.listen, loopback);
    if (!cfg.secureCookie && !loopback)
        missing(
            "secure_cookie = false は listen が 127.0.0.1 か ::1 のとき (試験用) だけ使えます。");
}

}  // namespace

WebConfig parseWebConfig(std::string_view text, const std::string& name) {
    WebConfig cfg;
    ConfigLines(name).read(text, cfg);
    checkWhole(cfg, name);
    return cfg;
}

WebConfig readWebConfig(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw ConfigError("設定ファイル " + path + " を読めません。");
    std::stringstream text;
    text << in.rdbuf();
    WebConfig cfg = parseWebConfig(text.str(), path);
    if (cfg.https()) {
        if (!readable(cfg.certificate))
            throw ConfigError(path + ": 証明書 " + cfg.certificate + " を読めません。");
        if (!readable(cfg.key)) throw ConfigError(path + ": 秘密鍵 " + cfg.key + " を読めません。");
        if (const std::string problem = tlsProblem(cfg.certificate, cfg.key); !problem.empty())
            throw ConfigError(path + ": " + problem);
    }
    return cfg;
}

std::vector<std::string> webConfigWarnings(const WebConfig& config) {
    std::vector<std::string> out;
    // Behind a proxy the client's address is taken from X-Forwarded-For: reachable from
    // anywhere, anyone could name any address and so escape the limits per address.
    if (config.behindProxy && (config.listen == "0.0.0.0" || config.listen == "::"))
        out.push_back("behind_proxy = true なのに listen = " + config.listen +
                      " です。プロキシを通らずにつないだ人が X-Forwarded-For "
                      "で好きなアドレスを名乗れます。listen = 127.0.0.1 "
                      "(プロキシと同じ機械のとき) にしてください。");
    return out;
}

}  // namespace quil::web
