#include "web/HttpServer.h"

#include <arpa/inet.h>
#include <gnutls/gnutls.h>
#include <microhttpd.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <strings.h>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <unordered_map>

namespace quil::web::http {

using Clock = std::chrono::steady_clock;

bool NoCase::operator()(const std::string& a, const std::string& b) const {
    return strcasecmp(a.c_str(), b.c_str()) < 0;
}

std::string Request::get_header_value(const std::string& name) const {
    const auto it = headers.find(name);
    return it == headers.end() ? std::string() : it->second;
}

std::string Request::get_param_value(const std::string& name) const {
    const auto it = params.find(name);
    return it == params.end() ? std::string() : it->second;
}

namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A form field's text: `+` is a space, `%XY` a byte; a broken escape stays as it is.
std::string formDecode(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '+') {
            out += ' ';
        } else if (s[i] == '%' && i + 2 < s.size() && hexDigit(s[i + 1]) >= 0 &&
                   hexDigit(s[i + 2]) >= 0) {
            out += char(hexDigit(s[i + 1]) * 16 + hexDigit(s[i + 2]));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

void parseForm(std::string_view body, Params& params) {
    std::size_t pos = 0;
    while (pos <= body.size()) {
        std::size_t end = body.find('&', pos);
        if (end == std::string_view::npos) end = body.size();
        const std::string_view part = body.substr(pos, end - pos);
        if (!part.empty()) {
            const std::size_t eq = part.find('=');
            if (eq == std::string_view::npos)
                params.emplace(formDecode(part), std::string());
            else
                params.emplace(formDecode(part.substr(0, eq)), formDecode(part.substr(eq + 1)));
        }
        pos = end + 1;
    }
}

struct Route {
    std::string method;
    std::regex pattern;
    Handler handler;
    bool slow = false;
};

// One request on its way: read by the polling thread, answered by a worker.
struct Exchange {
    MHD_Connection* connection = nullptr;
    Request req;
    Response res;
    const Route* route = nullptr;  // none: 404
    bool tooBig = false;
    std::atomic<bool> ready{false};  // a worker has filled `res`
};

// A connection's clock for the whole-request deadline.
struct Tracked {
    int fd = -1;
    Clock::time_point since;
    bool busy = false;  // its request is with a worker: the client is not the one slow
    bool cut = false;
};

}  // namespace

struct Server::Impl {
    Limits limits;
    std::string certificate, key;
    std::vector<Route> routes;
    Headers defaults;
    std::function<bool(const Request&, Response&)> pre;
    Handler error;
    std::function<void(const Request&, Response&, std::exception_ptr)> exception;

    int listenFd = -1;
    MHD_Daemon* daemon = nullptr;

    // Requests waiting for a worker: the routes', and the slow routes' on their own.
    struct Lane {
        std::deque<Exchange*> waiting;
        std::condition_variable wake;  // a request waits, or the stop
        int limit = 0;
    };
    std::mutex mutex;
    Lane lanes[2];
    std::condition_variable ended;  // the stop, for the sweeper and the serving thread
    bool stopping = false;
    std::atomic<bool> running{false};

    std::mutex trackedMutex;
    std::unordered_map<MHD_Connection*, Tracked> tracked;

    void finishHeaders(Response& res) const {
        if (res.status < 0) res.status = 200;
        if (res.status >= 400 && error) error(Request(), res);
    }

    MHD_Result send(MHD_Connection* c, Response& res, bool close) {
        finishHeaders(res);
        MHD_Response* r = MHD_create_response_from_buffer(res.body.size(), res.body.data(),
                                                          MHD_RESPMEM_MUST_COPY);
        if (!r) return MHD_NO;
        for (const auto& [name, value] : defaults)
            if (!res.headers.count(name)) MHD_add_response_header(r, name.c_str(), value.c_str());
        for (const auto& [name, value] : res.headers)
            MHD_add_response_header(r, name.c_str(), value.c_str());
        if (close && !res.headers.count(MHD_HTTP_HEADER_CONNECTION))
            MHD_add_response_header(r, MHD_HTTP_HEADER_CONNECTION, "close");
        const MHD_Result ok = MHD_queue_response(c, unsigned(res.status), r);
        MHD_destroy_response(r);
        return ok;
    }

    MHD_Result refuse(MHD_Connection* c, int status) {
        Response res;
        res.status = status;
        return send(c, res, true);
    }

    void setBusy(MHD_Connection* c, bool busy) {
        std::lock_guard lock(trackedMutex);
        const auto it = tracked.find(c);
        if (it == tracked.end()) return;
        it->second.busy = busy;
        it->second.since = Clock::now();
    }

    MHD_Result onRequest(MHD_Connection* c, const char* url, const char* method, const char* upload,
                         std::size_t* uploadSize, void** slot);
    // The headers are in: everything that can be refused before the body is.
    MHD_Result onHeaders(MHD_Connection* c, const char* url, const char* method, void** slot);
    // The whole request is in: its route found, it waits for a worker of its lane.
    MHD_Result dispatch(MHD_Connection* c, Exchange* ex);
    void serve(Exchange& ex);
    void work(Lane& lane);
    void sweep();
};

namespace {

MHD_Result collectHeader(void* cls, MHD_ValueKind, const char* key, const char* value) {
    static_cast<Headers*>(cls)->emplace(key, value ? value : "");
    return MHD_YES;
}

MHD_Result collectParam(void* cls, MHD_ValueKind, const char* key, const char* value) {
    static_cast<Params*>(cls)->emplace(key, value ? value : "");
    return MHD_YES;
}

std::string peerAddress(MHD_Connection* c) {
    const MHD_ConnectionInfo* info = MHD_get_connection_info(c, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    if (!info || !info->client_addr) return {};
    char buf[INET6_ADDRSTRLEN] = {};
    const sockaddr* a = info->client_addr;
    if (a->sa_family == AF_INET)
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(a)->sin_addr, buf, sizeof buf);
    else if (a->sa_family == AF_INET6)
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(a)->sin6_addr, buf, sizeof buf);
    return buf;
}

MHD_Result accessCallback(void* cls, MHD_Connection* c, const char* url, const char* method,
                          const char*, const char* upload, std::size_t* uploadSize, void** slot) {
    return static_cast<Server::Impl*>(cls)->onRequest(c, url, method, upload, uploadSize, slot);
}

void completedCallback(void* cls, MHD_Connection* c, void** slot, MHD_RequestTerminationCode) {
    delete static_cast<Exchange*>(*slot);
    *slot = nullptr;
    static_cast<Server::Impl*>(cls)->setBusy(c, false);
}

void connectionCallback(void* cls, MHD_Connection* c, void**, MHD_ConnectionNotificationCode code) {
    auto* s = static_cast<Server::Impl*>(cls);
    std::lock_guard lock(s->trackedMutex);
    if (code == MHD_CONNECTION_NOTIFY_STARTED) {
        const MHD_ConnectionInfo* info =
            MHD_get_connection_info(c, MHD_CONNECTION_INFO_CONNECTION_FD);
        s->tracked[c] = Tracked{info ? info->connect_fd : -1, Clock::now(), false, false};
    } else {
        s->tracked.erase(c);
    }
}

}  // namespace

MHD_Result Server::Impl::onHeaders(MHD_Connection* c, const char* url, const char* method,
                                   void** slot) {
    auto* ex = new Exchange;
    *slot = ex;
    ex->connection = c;
    Request& req = ex->req;
    req.method = std::strcmp(method, MHD_HTTP_METHOD_HEAD) == 0 ? "GET" : method;
    req.path = url ? url : "/";
    req.remote_addr = peerAddress(c);
    const int count = MHD_get_connection_values(c, MHD_HEADER_KIND, collectHeader, &req.headers);
    MHD_get_connection_values(c, MHD_GET_ARGUMENT_KIND, collectParam, &req.params);
    if (count > limits.headerCount) return refuse(c, 431);
    if (pre && pre(req, ex->res)) return send(c, ex->res, true);
    const std::string length = req.get_header_value(MHD_HTTP_HEADER_CONTENT_LENGTH);
    if (!length.empty() &&
        (length.size() > 18 || std::strtoull(length.c_str(), nullptr, 10) > limits.bodyBytes))
        return refuse(c, 413);
    return MHD_YES;
}

MHD_Result Server::Impl::onRequest(MHD_Connection* c, const char* url, const char* method,
                                   const char* upload, std::size_t* uploadSize, void** slot) {
    auto* ex = static_cast<Exchange*>(*slot);
    if (!ex) return onHeaders(c, url, method, slot);
    if (*uploadSize > 0) {
        // A body over the limit, however it is sent (chunked too), is not kept.
        if (!ex->tooBig && ex->req.body.size() + *uploadSize > limits.bodyBytes) {
            ex->tooBig = true;
            std::string().swap(ex->req.body);
        }
        if (!ex->tooBig) ex->req.body.append(upload, *uploadSize);
        *uploadSize = 0;
        return MHD_YES;
    }
    if (ex->ready) return send(c, ex->res, false);
    if (ex->tooBig) return refuse(c, 413);
    return dispatch(c, ex);
}

MHD_Result Server::Impl::dispatch(MHD_Connection* c, Exchange* ex) {
    const std::string type = ex->req.get_header_value(MHD_HTTP_HEADER_CONTENT_TYPE);
    if (strncasecmp(type.c_str(), "application/x-www-form-urlencoded", 33) == 0)
        parseForm(ex->req.body, ex->req.params);
    for (const Route& route : routes)
        if (route.method == ex->req.method &&
            std::regex_match(ex->req.path, ex->req.matches, route.pattern)) {
            ex->route = &route;
            break;
        }
    Lane& lane = lanes[ex->route && ex->route->slow ? 1 : 0];
    std::unique_lock lock(mutex);
    if (stopping) {
        lock.unlock();
        return refuse(c, 503);
    }
    // Too many waiting already: the client is asked to come back, not made to wait longer.
    if (int(lane.waiting.size()) >= lane.limit) {
        lock.unlock();
        Response res;
        res.status = 429;
        res.set_header("Retry-After", "10");
        return send(c, res, true);
    }
    setBusy(c, true);
    MHD_suspend_connection(c);
    lane.waiting.push_back(ex);
    lane.wake.notify_one();
    return MHD_YES;
}

void Server::Impl::serve(Exchange& ex) {
    Request& req = ex.req;
    Response& res = ex.res;
    try {
        if (ex.route)
            ex.route->handler(req, res);
        else
            res.status = 404;
    } catch (...) {
        res = Response();
        res.status = 500;
        if (exception) exception(req, res, std::current_exception());
    }
}

void Server::Impl::work(Lane& lane) {
    for (;;) {
        std::unique_lock lock(mutex);
        lane.wake.wait(lock, [&] { return stopping || !lane.waiting.empty(); });
        if (lane.waiting.empty()) return;
        Exchange* ex = lane.waiting.front();
        lane.waiting.pop_front();
        const bool late = stopping;
        lock.unlock();
        if (late)
            ex->res.status = 503;  // stopping: what waits is not started
        else
            serve(*ex);
        ex->ready = true;
        setBusy(ex->connection, false);
        MHD_resume_connection(ex->connection);
    }
}

void Server::Impl::sweep() {
    const auto deadline = std::chrono::seconds(limits.requestSeconds);
    std::unique_lock lock(mutex);
    while (!ended.wait_for(lock, std::chrono::milliseconds(250), [&] { return stopping; })) {
        const auto now = Clock::now();
        std::lock_guard trackedLock(trackedMutex);
        // A connection is cut when its request (or its TLS handshake, or the answer it does
        // not read) took longer than the deadline; the polling thread then sees it closed.
        for (auto& [connection, t] : tracked)
            if (!t.busy && !t.cut && t.fd >= 0 && now - t.since > deadline) {
                ::shutdown(t.fd, SHUT_RDWR);
                t.cut = true;
            }
    }
}

Server::Server(Limits limits, std::string certificate, std::string key)
    : d_(std::make_unique<Impl>()) {
    d_->limits = limits;
    d_->certificate = std::move(certificate);
    d_->key = std::move(key);
}

Server::~Server() {
    stop();
    if (d_->listenFd >= 0) ::close(d_->listenFd);
}

void Server::Get(const std::string& pattern, Handler handler) {
    d_->routes.push_back({"GET", std::regex(pattern), std::move(handler)});
}

void Server::Post(const std::string& pattern, Handler handler) {
    d_->routes.push_back({"POST", std::regex(pattern), std::move(handler), false});
}

void Server::SlowPost(const std::string& pattern, Handler handler) {
    d_->routes.push_back({"POST", std::regex(pattern), std::move(handler), true});
}

void Server::set_default_headers(Headers headers) { d_->defaults = std::move(headers); }

void Server::set_pre_routing_handler(std::function<bool(const Request&, Response&)> handler) {
    d_->pre = std::move(handler);
}

void Server::set_error_handler(Handler handler) { d_->error = std::move(handler); }

void Server::set_exception_handler(
    std::function<void(const Request&, Response&, std::exception_ptr)> handler) {
    d_->exception = std::move(handler);
}

int Server::bind(const std::string& address, int port) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    if (getaddrinfo(address.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) return -1;
    int fd = -1;
    for (addrinfo* a = found; a && fd < 0; a = a->ai_next) {
        fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) continue;
        // Reuse of a port in TIME_WAIT after a restart; never SO_REUSEPORT, which would let a
        // second service bind the same port unnoticed.
        int yes = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        // A queue wide enough for fifty phones connecting at once.
        if (::bind(fd, a->ai_addr, a->ai_addrlen) != 0 || ::listen(fd, SOMAXCONN) != 0) {
            ::close(fd);
            fd = -1;
        }
    }
    freeaddrinfo(found);
    if (fd < 0) return -1;
    sockaddr_storage bound{};
    socklen_t size = sizeof bound;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &size);
    d_->listenFd = fd;
    return bound.ss_family == AF_INET6 ? ntohs(reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port)
                                       : ntohs(reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
}

bool Server::listen_after_bind() {
    Impl& s = *d_;
    {
        std::lock_guard lock(s.mutex);
        if (s.stopping) return true;
        if (s.listenFd < 0) return false;
    }
    const Limits& l = s.limits;
    s.lanes[0].limit = l.queue;
    s.lanes[1].limit = l.slowQueue;
    std::vector<MHD_OptionItem> options{
        {MHD_OPTION_LISTEN_SOCKET, s.listenFd, nullptr},
        {MHD_OPTION_CONNECTION_LIMIT, l.connections, nullptr},
        {MHD_OPTION_PER_IP_CONNECTION_LIMIT, l.perAddress, nullptr},
        {MHD_OPTION_CONNECTION_TIMEOUT, l.idleSeconds, nullptr},
        // The request line and headers must fit in a connection's memory, beside the
        // answer's headers; a request that does not gets 431.
        {MHD_OPTION_CONNECTION_MEMORY_LIMIT, l.headerBytes + 8192, nullptr},
        {MHD_OPTION_NOTIFY_COMPLETED, reinterpret_cast<intptr_t>(&completedCallback), &s},
        {MHD_OPTION_NOTIFY_CONNECTION, reinterpret_cast<intptr_t>(&connectionCallback), &s},
    };
    unsigned flags = MHD_USE_EPOLL_INTERNAL_THREAD | MHD_ALLOW_SUSPEND_RESUME;
    if (!s.certificate.empty()) {
        flags |= MHD_USE_TLS;
        options.push_back({MHD_OPTION_HTTPS_MEM_CERT, 0, s.certificate.data()});
        options.push_back({MHD_OPTION_HTTPS_MEM_KEY, 0, s.key.data()});
    }
    options.push_back({MHD_OPTION_END, 0, nullptr});
    s.daemon = MHD_start_daemon(flags, 0, nullptr, nullptr, &accessCallback, &s, MHD_OPTION_ARRAY,
                                options.data(), MHD_OPTION_END);
    if (!s.daemon) return false;
    s.running = true;

    std::vector<std::thread> threads;
    for (int i = 0; i < std::max(1, l.workers); ++i)
        threads.emplace_back([&s] { s.work(s.lanes[0]); });
    for (int i = 0; i < std::max(1, l.slowWorkers); ++i)
        threads.emplace_back([&s] { s.work(s.lanes[1]); });
    threads.emplace_back([&s] { s.sweep(); });
    {
        std::unique_lock lock(s.mutex);
        s.ended.wait(lock, [&] { return s.stopping; });
    }
    // No new connections; the workers answer what waits with 503 and finish what they do.
    const MHD_socket listening = MHD_quiesce_daemon(s.daemon);
    if (listening != MHD_INVALID_SOCKET && listening == s.listenFd) {
        ::close(s.listenFd);
        s.listenFd = -1;
    }
    for (std::thread& t : threads) t.join();
    MHD_stop_daemon(s.daemon);
    s.daemon = nullptr;
    s.running = false;
    return true;
}

void Server::stop() {
    std::lock_guard lock(d_->mutex);
    d_->stopping = true;
    for (auto& lane : d_->lanes) lane.wake.notify_all();
    d_->ended.notify_all();
}

bool Server::is_running() const { return d_->running; }

bool usableCertificate(const std::string& certificate, const std::string& key) {
    gnutls_certificate_credentials_t credentials = nullptr;
    if (gnutls_certificate_allocate_credentials(&credentials) != GNUTLS_E_SUCCESS) return false;
    gnutls_datum_t cert{reinterpret_cast<unsigned char*>(const_cast<char*>(certificate.data())),
                        unsigned(certificate.size())};
    gnutls_datum_t pem{reinterpret_cast<unsigned char*>(const_cast<char*>(key.data())),
                       unsigned(key.size())};
    const int r =
        gnutls_certificate_set_x509_key_mem(credentials, &cert, &pem, GNUTLS_X509_FMT_PEM);
    gnutls_certificate_free_credentials(credentials);
    return r >= 0;
}

}  // namespace quil::web::http
