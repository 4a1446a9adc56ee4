// quil-web: the drivers' web page of a server data set. Reads its settings, binds its
// address and serves until SIGTERM or SIGINT.

#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>

#include <algorithm>
#include <clocale>
#include <cstring>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "web/DatabaseCheck.h"
#include "web/WebConfig.h"
#include "web/app/WebApp.h"

namespace {

void usage(std::ostream& out) {
    out << "使い方: quil-web [--config ファイル]\n"
           "        quil-web --check-config ファイル\n"
           "        quil-web --help | --version\n"
           "設定ファイルの既定は "
        << quil::web::kDefaultConfigPath << " です。\n";
}

// The command line: the settings file and whether only to check it; an exit code when the
// command is answered here (help, version, a wrong argument).
struct Arguments {
    std::string path = quil::web::kDefaultConfigPath;
    bool checkOnly = false;
    int exitCode = -1;
};

Arguments parseArguments(int argc, char** argv) {
    Arguments a;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "--config" || arg == "--check-config") && i + 1 < argc) {
            a.checkOnly = a.checkOnly || arg == "--check-config";
            a.path = argv[++i];
        } else if (arg == "--help" || arg == "-h") {
            usage(std::cout);
            a.exitCode = 0;
            return a;
        } else if (arg == "--version") {
            std::cout << "quil-web " << QUIL_BUILD_VERSION << "\n";
            a.exitCode = 0;
            return a;
        } else {
            std::cerr << "quil-web: 「" << arg << "」は使えない指定です。\n";
            usage(std::cerr);
            a.exitCode = 2;
            return a;
        }
    }
    return a;
}

// --check-config: the warnings, and whether the service can log in to its data set.
int checkSettings(const quil::web::WebConfig& config, const std::string& path) {
    const std::vector<std::string> warnings = quil::web::webConfigWarnings(config);
    for (const std::string& w : warnings) std::cout << "quil-web: 注意: " << w << "\n";
    // The settings are right only if the service can also log in to its data set.
    if (const std::string why = quil::web::databaseProblem(config.conninfo); !why.empty()) {
        std::cerr << "quil-web: " << path << " の設定では、データベースにつながりません: " << why
                  << "\n";
        return 3;
    }
    if (!warnings.empty()) return 0;
    std::cout << "quil-web: " << path << " の設定に問題はありません。\n";
    return 0;
}

// The signals are taken by one thread of their own, which stops the server; every other
// thread (the workers too) inherits the blocked mask. Returns the signals it waits for.
sigset_t prepareProcess() {
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);
    // Thousands of open connections need as many descriptors; the soft limit a service gets
    // is often 1024, the hard one far more.
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < 8192 &&
        files.rlim_max > files.rlim_cur) {
        files.rlim_cur = std::min<rlim_t>(files.rlim_max, 8192);
        setrlimit(RLIMIT_NOFILE, &files);
    }
    return stopSignals;
}

// Says in one journal line when the data set cannot be reached yet (the pages answer 503).
void reportDatabase(quil::web::WebApp& app) {
    std::string why = app.probeDatabase();
    // libpq ends its messages with a line break: one journal line each.
    while (!why.empty() && (why.back() == '\n' || why.back() == ' ')) why.pop_back();
    for (char& c : why)
        if (c == '\n') c = ' ';
    if (!why.empty())
        std::cerr << "quil-web: データベースにまだつながりません (つながるまでページは 503 "
                     "を返します): "
                  << why << std::endl;
}

int serve(const quil::web::WebConfig& config, sigset_t stopSignals) {
    try {
        quil::web::WebApp app(config);
        app.bind();
        std::thread watcher([&] {
            int sig = 0;
            sigwait(&stopSignals, &sig);
            app.stop();
        });
        // The tests and the journal wait for exactly this line.
        std::cerr << "quil-web: " << config.listen << ":" << app.port() << " で待ち受けています"
                  << std::endl;
        reportDatabase(app);
        app.run();
        // run() also ends when the server failed; wake the watcher so it can be joined.
        pthread_kill(watcher.native_handle(), SIGTERM);
        watcher.join();
    } catch (const std::exception& e) {
        std::cerr << "quil-web: " << e.what() << "\n";
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // libpq's messages in the language the environment names (the unit's or the shell's).
    std::setlocale(LC_CTYPE, "");
    std::setlocale(LC_MESSAGES, "");
    const Arguments args = parseArguments(argc, argv);
    if (args.exitCode >= 0) return args.exitCode;
    quil::web::WebConfig config;
    try {
        config = quil::web::readWebConfig(args.path);
    } catch (const quil::web::ConfigError& e) {
        std::cerr << "quil-web: " << e.what() << "\n";
        return 2;
    }
    if (args.checkOnly) return checkSettings(config, args.path);
    return serve(config, prepareProcess());
}
