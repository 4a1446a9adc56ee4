// quil-web's settings file: every key read, defaults for the rest, and each bad setting
// refused with a message that names the file, the line and what to write instead.

#include <gtest/gtest.h>

#include <fstream>

#include "TempDir.h"
#include "web/WebConfig.h"

using namespace quil::web;

namespace {

constexpr const char* kConninfo =
    "conninfo = host=/run/postgresql dbname=quil user=quil_web_service\n";

std::string refusal(const std::string& text) {
    try {
        parseWebConfig(text, "quil-web.conf");
    } catch (const ConfigError& e) {
        return e.what();
    }
    return "(accepted)";
}

}  // namespace

TEST(WebConfig, ReadsEveryKeyAndKeepsTheDefaultsOfTheRest) {
    const WebConfig defaults = parseWebConfig(kConninfo, "a.conf");
    EXPECT_EQ(defaults.listen, "127.0.0.1");
    EXPECT_EQ(defaults.port, 8080);
    EXPECT_EQ(defaults.conninfo, "host=/run/postgresql dbname=quil user=quil_web_service");
    EXPECT_FALSE(defaults.https());
    EXPECT_FALSE(defaults.behindProxy);
    EXPECT_TRUE(defaults.secureCookie);
    EXPECT_EQ(defaults.threads, 8);
    EXPECT_EQ(defaults.idleMinutes, 30);
    EXPECT_EQ(defaults.maxBody, 16384u);
    EXPECT_EQ(defaults.requestsPerMinute, 120);

    const WebConfig c = parseWebConfig(
        "# the service\n"
        "  listen = 0.0.0.0   \r\n"
        "port=8443\n"
        "\n"
        "conninfo = host=db.example dbname=quil user=web password=a#b=c\n"
        "certificate = /etc/quil/web.crt\n"
        "key = /etc/quil/web.key\n"
        "behind_proxy = true\n"
        "secure_cookie = true\n"
        "threads = 4\n"
        "idle_minutes = 15\n"
        "max_body = 32768\n"
        "requests_per_minute = 600\n",
        "b.conf");
    EXPECT_EQ(c.listen, "0.0.0.0");
    EXPECT_EQ(c.port, 8443);
    EXPECT_EQ(c.conninfo, "host=db.example dbname=quil user=web password=a#b=c");
    EXPECT_TRUE(c.https());
    EXPECT_EQ(c.certificate, "/etc/quil/web.crt");
    EXPECT_EQ(c.key, "/etc/quil/web.key");
    EXPECT_TRUE(c.behindProxy);
    EXPECT_EQ(c.threads, 4);
    EXPECT_EQ(c.idleMinutes, 15);
    EXPECT_EQ(c.maxBody, 32768u);
    EXPECT_EQ(c.requestsPerMinute, 600);

    EXPECT_EQ(parseWebConfig(std::string(kConninfo) + "listen = ::1\nsecure_cookie = false\n", "c")
                  .secureCookie,
              false);
}

TEST(WebConfig, EachBadSettingIsRefusedWithItsLineAndWhatToWrite) {
    const std::string c = kConninfo;
    const struct {
        std::string text;
        std::string expected;
    } cases[] = {
        {c + "prot = 80\n", "quil-web.conf の 2 行目: 「prot」という設定はありません。"},
        {c + "listen 127.0.0.1\n", "2 行目: 「キー = 値」の形で書いてください"},
        {c + "port = 80\nport = 81\n", "3 行目: port が2回書かれています。"},
        {c + "port = 0\n", "port は 1 から 65535 までの整数で書いてください (「0」は使えません)。"},
        {c + "port = 65536\n", "port は 1 から 65535 まで"},
        {c + "port = 80x\n", "(「80x」は使えません)"},
        {c + "threads = 0\n", "threads は 1 から 64 まで"},
        {c + "max_body = 100\n", "max_body は 1024 から 1048576 まで"},
        {c + "idle_minutes = -5\n", "idle_minutes は 1 から 1440 まで"},
        {c + "requests_per_minute = many\n", "requests_per_minute は 1 から 1000000 まで"},
        {c + "behind_proxy = maybe\n", "behind_proxy は true か false で書いてください (「maybe」"},
        {c + "listen = localhost\n", "listen は IP アドレスで書いてください"},
        {c + "listen = 300.1.1.1\n", "listen は IP アドレスで書いてください"},
        {"conninfo = host='unclosed\n", "1 行目: conninfo をデータベースへの接続として読めません"},
        {"port = 8080\n", "quil-web.conf: conninfo (データベースへの接続) が書かれていません。"},
        {c + "certificate = /etc/quil/web.crt\n",
         "certificate (証明書) と key (秘密鍵) の両方が要ります"},
        {c + "key = /etc/quil/web.key\n", "両方が要ります"},
        {c + "listen = 0.0.0.0\nsecure_cookie = false\n",
         "secure_cookie = false は listen が 127.0.0.1 か ::1 のとき (試験用) だけ使えます。"},
    };
    for (const auto& k : cases) {
        const std::string why = refusal(k.text);
        EXPECT_NE(why.find(k.expected), std::string::npos) << k.text << " -> " << why;
    }
}

TEST(WebConfig, TheFileAndTheCertificateItNamesMustBeReadable) {
    quil::testing::TempDir dir;
    const std::string path = dir.path() + "/quil-web.conf";
    try {
        readWebConfig(path);
        ADD_FAILURE() << "a missing file was read";
    } catch (const ConfigError& e) {
        EXPECT_EQ(std::string(e.what()), "設定ファイル " + path + " を読めません。");
    }

    const std::string cert = dir.path() + "/web.crt";
    std::ofstream(path) << kConninfo << "certificate = " << cert << "\nkey = " << cert << "\n";
    try {
        readWebConfig(path);
        ADD_FAILURE() << "a missing certificate was accepted";
    } catch (const ConfigError& e) {
        EXPECT_EQ(std::string(e.what()), path + ": 証明書 " + cert + " を読めません。");
    }
    // What is there must be a certificate and its own key: garbage, a key of another
    // certificate and a certificate named as its own key are refused.
    const std::string data = QUIL_TEST_DATA "/web/";
    const auto refusal = [&](const std::string& c, const std::string& k) {
        std::ofstream(path) << kConninfo << "certificate = " << c << "\nkey = " << k << "\n";
        try {
            readWebConfig(path);
        } catch (const ConfigError& e) {
            return std::string(e.what());
        }
        return std::string();
    };
    std::ofstream(cert) << "garbage\n";
    EXPECT_NE(refusal(cert, data + "test.key").find("PEM 形式の証明書ではありません"),
              std::string::npos);
    EXPECT_NE(refusal(data + "test.crt", cert).find("PEM 形式の秘密鍵ではない"), std::string::npos);
    EXPECT_NE(refusal(data + "test.crt", data + "test.crt").find("PEM 形式の秘密鍵ではない"),
              std::string::npos);
    EXPECT_NE(refusal(data + "test.crt", data + "other.key").find("の鍵ではありません"),
              std::string::npos);
    EXPECT_EQ(refusal(data + "test.crt", data + "test.key"), "");
    EXPECT_TRUE(readWebConfig(path).https());
}
