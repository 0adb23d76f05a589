#pragma once
// A small web server for the tests, bound to 127.0.0.1 on a free port and run on
// a thread of the test process. It serves the pages and files a test gives it and
// misbehaves on request, so the HTTP layer and the engine can be tried against
// the failures real sites produce.

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace gathrix::test {

class FakeServer {
public:
    FakeServer();   // starts listening; ready when the constructor returns
    ~FakeServer();  // stops and joins; hanging handlers are released first
    FakeServer(const FakeServer&) = delete;
    FakeServer& operator=(const FakeServer&) = delete;

    int Port() const;
    // "http://127.0.0.1:PORT" followed by path (which should begin with "/").
    std::string Url(const std::string& path) const;

    // 200 with body and a Content-Length.
    void Serve(const std::string& path, std::string body, std::string content_type = "application/octet-stream");
    // status (e.g. 404, 500) with body.
    void ServeStatus(const std::string& path, int status, std::string body = "error page");
    // Announces the whole Content-Length, sends the first send_bytes bytes, then closes.
    void ServeTruncated(const std::string& path, std::string body, std::size_t send_bytes);
    // 200 without Content-Length (chunked transfer encoding).
    void ServeChunked(const std::string& path, std::string body);
    // 200 that sends chunk_bytes every interval (with Content-Length).
    void ServeTrickle(const std::string& path, std::string body, std::size_t chunk_bytes,
                      std::chrono::milliseconds interval);
    // A body of size bytes generated on the fly (byte i is static_cast<char>(i * 31 + 7)),
    // with Content-Length; for big transfers without holding them in memory.
    void ServeGenerated(const std::string& path, std::size_t size);
    // status (with an empty body and the given headers, such as Retry-After) for
    // the first `failures` requests, then 200 with body.
    void ServeFlaky(const std::string& path, std::string body, int failures, int status = 503,
                    std::vector<std::pair<std::string, std::string>> headers = {});
    // 200 with body and a Content-Length, sent after waiting delay (a distant server).
    void ServeDelayed(const std::string& path, std::string body, std::chrono::milliseconds delay);
    // 200 with a Content-Length: head, then unit repeated until size bytes in all;
    // generated on the fly, for huge pages.
    void ServeRepeated(const std::string& path, std::string head, std::string unit, std::size_t size);
    // Accepts the request and never answers (until the server stops).
    void ServeHang(const std::string& path);
    // 200 with body, a Content-Length and the given headers besides (Set-Cookie,
    // Last-Modified, ...).
    void ServeWithHeaders(const std::string& path, std::string body,
                          std::vector<std::pair<std::string, std::string>> headers);
    // 302 to location (absolute or a path on this server).
    void ServeRedirect(const std::string& path, std::string location);
    // A path that redirects to itself forever.
    void ServeRedirectLoop(const std::string& path);

    // What ServeOthers answers: a status and a body, sent with a Content-Length.
    struct Reply {
        int status = 200;
        std::string body;
    };
    // Answers every request that no route above serves (instead of a 404) with
    // respond(host, target): the request's Host header and its path and query.
    // Called on the server's threads, several at once.
    using Responder = std::function<Reply(const std::string& host, const std::string& target)>;
    void ServeOthers(Responder respond);
    // Forgets every route, ServeOthers, and the requests and connections seen so far.
    void Reset();

    // How many requests reached path (any route, also unknown paths -> 404).
    int Hits(const std::string& path) const;
    // Paths of every request in arrival order.
    std::vector<std::string> Requests() const;
    // The value of header name (case-insensitive) in every request to path,
    // in arrival order; "-" for a request without it.
    std::vector<std::string> HeaderSeen(const std::string& path, const std::string& name) const;
    // How many distinct client connections have sent requests so far (a client
    // that keeps its connection alive across requests counts once).
    int Connections() const;
    // The most requests answered at once since the last call, a request being
    // open from its arrival to its route's end (a ServeDelayed answer for its
    // delay). After CountWith(other), this server's requests and other's count
    // together, on either.
    int MostAtOnce();
    void CountWith(FakeServer& other);

    // The byte that ServeGenerated puts at position i.
    static char GeneratedByte(std::size_t i) { return static_cast<char>(i * 31 + 7); }

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// A fresh temporary directory, removed with its contents by the destructor.
class Sandbox {
public:
    Sandbox();
    ~Sandbox();
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

// Makes dir the current directory for the lifetime of the object.
class ScopedCwd {
public:
    explicit ScopedCwd(const std::string& dir);
    ~ScopedCwd();
    ScopedCwd(const ScopedCwd&) = delete;
    ScopedCwd& operator=(const ScopedCwd&) = delete;

private:
    std::string old_;
};

// Sets (or, with nullopt, removes) an environment variable for the lifetime of
// the object and puts back what was there before.
class ScopedEnv {
public:
    ScopedEnv(const char* name, std::optional<std::string> value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::optional<std::string> old_;
};

// Reads a whole file; empty when missing.
std::string ReadFile(const std::string& path);
// Writes a whole file.
void WriteFile(const std::string& path, const std::string& content);

}  // namespace gathrix::test
