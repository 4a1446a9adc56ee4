#pragma once
// The drivers' page's HTTP(S) transport over GNU libmicrohttpd: one polling thread reads every
// connection (epoll), so a client that sends slowly or nothing holds no worker; a complete
// request goes to a small pool of workers that run the routes, while its connection waits
// suspended. Every resource a client can make it spend is bounded: connections in total and
// per address, the time to send a whole request, idle kept-alive time, header size and
// count, body size whatever its encoding, and the queue of requests waiting for a worker.

#include <functional>
#include <map>
#include <memory>
#include <regex>
#include <string>
#include <vector>

namespace quil::web::http {

// Header names compare without case, as HTTP's do.
struct NoCase {
    bool operator()(const std::string& a, const std::string& b) const;
};
using Headers = std::multimap<std::string, std::string, NoCase>;
using Params = std::multimap<std::string, std::string>;

struct Request {
    std::string method;  // HEAD is answered as GET without its body
    std::string path;    // percent-decoded, without the query
    std::string remote_addr;
    Headers headers;
    Params params;  // the query's, then an urlencoded form body's, each in order
    std::string body;
    std::smatch matches;  // the route's groups

    bool has_header(const std::string& name) const { return headers.count(name) > 0; }
    std::string get_header_value(const std::string& name) const;
    std::string get_param_value(const std::string& name) const;
};

struct Response {
    int status = -1;
    Headers headers;
    std::string body;

    void set_header(const std::string& name, const std::string& value) {
        headers.emplace(name, value);
    }
    void set_content(std::string content, const std::string& type) {
        body = std::move(content);
        headers.erase("Content-Type");
        headers.emplace("Content-Type", type);
    }
};

using Handler = std::function<void(const Request&, Response&)>;

struct Limits {
    int workers = 8;      // threads that run the routes
    int queue = 256;      // complete requests waiting for a worker; more get 429
    int slowWorkers = 1;  // threads that run the slow routes (password verifications)
    int slowQueue = 128;
    int connections = 4000;       // open at once; more are refused at once
    int perAddress = 128;         // open at once from one address; 0: no limit (a proxy's)
    int requestSeconds = 10;      // to send a whole request, headers and body
    int idleSeconds = 5;          // a connection with nothing sent is closed
    int headerBytes = 16 * 1024;  // the request line and headers together
    int headerCount = 100;
    std::size_t bodyBytes = 16384;
};

class Server {
public:
    // `certificate` and `key`: PEM texts for HTTPS, both empty for plain HTTP.
    Server(Limits limits, std::string certificate = {}, std::string key = {});
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Routes: `pattern` matches the whole path (a regular expression). A slow route runs on
    // workers and a queue of its own, so that a flood of it leaves the other routes served.
    void Get(const std::string& pattern, Handler handler);
    void Post(const std::string& pattern, Handler handler);
    void SlowPost(const std::string& pattern, Handler handler);
    // Headers of every answer.
    void set_default_headers(Headers headers);
    // Runs on the polling thread once a request's headers are in, before its body: true when
    // it answered (the connection is then closed after the answer). Must not block.
    void set_pre_routing_handler(std::function<bool(const Request&, Response&)> handler);
    // Fills the body of an answer that has none and a status of 400 or more (404, 413, 431…).
    void set_error_handler(Handler handler);
    // An exception a route let out; the answer is 500 unless the handler says otherwise.
    void set_exception_handler(std::function<void(const Request&, Response&, std::exception_ptr)>);

    // Binds `address`:`port` (0: a free one), listening; the port bound, or -1.
    int bind(const std::string& address, int port);
    // Serves until stop(); false when the server could not start.
    bool listen_after_bind();
    // Ends run within seconds: no new connections, waiting requests answered 503, the ones
    // being answered finished, every connection closed.
    void stop();
    bool is_running() const;

    struct Impl;  // opaque; public for the library's callbacks

private:
    std::unique_ptr<Impl> d_;
};

// Whether `certificate` and `key` (PEM texts) make a usable pair for HTTPS.
bool usableCertificate(const std::string& certificate, const std::string& key);

}  // namespace quil::web::http
