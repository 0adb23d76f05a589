#include "support/fake_server.h"

#include <httplib.h>

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <utility>

namespace gathrix::test {

namespace {

using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;

// Bytes are handed to the socket in pieces of this size by the streaming routes.
constexpr std::size_t kPiece = 64 * 1024;

// ServeGenerated's pattern repeats every 256 bytes, so one table with a spare
// period at its end serves any offset without computing bytes one by one.
const std::string& GeneratedTable() {
    static const std::string table = [] {
        std::string t(kPiece + 256, '\0');
        for (std::size_t i = 0; i < t.size(); ++i) t[i] = FakeServer::GeneratedByte(i);
        return t;
    }();
    return table;
}

// Local and peer port of a connected TCP socket; false for anything else.
bool SocketPorts(int fd, int& local_port, int& peer_port) {
    sockaddr_storage local{};
    sockaddr_storage peer{};
    socklen_t local_len = sizeof local;
    socklen_t peer_len = sizeof peer;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &local_len) != 0) return false;
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peer_len) != 0) return false;
    if (local.ss_family != AF_INET || peer.ss_family != AF_INET) return false;
    local_port = ntohs(reinterpret_cast<sockaddr_in*>(&local)->sin_port);
    peer_port = ntohs(reinterpret_cast<sockaddr_in*>(&peer)->sin_port);
    return true;
}

// A proxy configured in the environment (as on some build machines) must not
// carry the tests' requests away from this server: 127.0.0.1 is added to the
// proxy exceptions once, before the first server starts.
void KeepLoopbackOffProxies() {
    static std::once_flag once;
    std::call_once(once, [] {
        bool proxied = false;
        for (const char* name : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"}) {
            const char* value = std::getenv(name);
            proxied = proxied || (value && *value);
        }
        if (!proxied) return;
        for (const char* name : {"no_proxy", "NO_PROXY"}) {
            const char* value = std::getenv(name);
            std::string list = value && *value ? std::string(value) + ",127.0.0.1" : "127.0.0.1";
            setenv(name, list.c_str(), 1);
        }
    });
}

}  // namespace

// The requests being answered at once, and the most so far; shared by servers
// that count together.
struct AtOnce {
    std::mutex mutex;
    int now = 0;
    int most = 0;
};

struct FakeServer::Impl {
    httplib::Server server;
    std::thread thread;
    int port = 0;

    mutable std::mutex mutex;
    std::condition_variable stop_cv;
    bool stopping = false;
    std::map<std::string, Handler> routes;
    Responder others;                               // for requests that no route serves
    std::vector<std::string> requests;              // targets in arrival order
    std::vector<std::string> request_paths;         // the same without query
    std::vector<httplib::Headers> request_headers;  // the same requests' headers
    std::set<int> client_ports;
    std::shared_ptr<AtOnce> at_once = std::make_shared<AtOnce>();

    void Route(const std::string& path, Handler handler) {
        std::lock_guard lock(mutex);
        routes[path] = std::move(handler);
    }

    // Sleeps for d unless the server stops first; false when it stops.
    bool SleepUnlessStopping(std::chrono::milliseconds d) {
        std::unique_lock lock(mutex);
        return !stop_cv.wait_for(lock, d, [this] { return stopping; });
    }

    bool Stopping() const {
        std::lock_guard lock(mutex);
        return stopping;
    }

    void Dispatch(const httplib::Request& req, httplib::Response& res) {
        Handler handler;
        Responder respond;
        std::shared_ptr<AtOnce> counter;
        {
            std::lock_guard lock(mutex);
            auto it = routes.find(req.target);
            if (it == routes.end()) it = routes.find(req.path);
            if (it != routes.end()) handler = it->second;
            respond = others;
            counter = at_once;
        }
        {
            std::lock_guard lock(counter->mutex);
            counter->most = std::max(counter->most, ++counter->now);
        }
        if (handler) {
            handler(req, res);
        } else if (respond) {
            Reply reply = respond(req.get_header_value("Host"), req.target);
            res.status = reply.status;
            res.set_content(std::move(reply.body), "application/octet-stream");
        } else {
            res.status = 404;
            res.set_content("not found", "text/plain");
        }
        std::lock_guard lock(counter->mutex);
        --counter->now;
    }

    // Half-closes every connection that clients still hold open to this server,
    // so that worker threads waiting on an idle keep-alive connection finish
    // at once instead of after the keep-alive time-out.
    void ShutdownConnections() const {
        DIR* dir = opendir("/proc/self/fd");
        if (!dir) return;
        std::vector<int> fds;
        while (dirent* entry = readdir(dir)) {
            if (entry->d_name[0] == '.') continue;
            fds.push_back(std::atoi(entry->d_name));
        }
        closedir(dir);
        for (int fd : fds) {
            int local_port = 0;
            int peer_port = 0;
            if (SocketPorts(fd, local_port, peer_port) && local_port == port) {
                shutdown(fd, SHUT_RDWR);
            }
        }
    }
};

FakeServer::FakeServer() : impl_(std::make_unique<Impl>()) {
    // A client that hangs up in the middle of a body must not kill the test
    // process when the server writes the next piece.
    std::signal(SIGPIPE, SIG_IGN);
    KeepLoopbackOffProxies();

    Impl& impl = *impl_;
    // Hanging and trickling handlers and idle keep-alive connections each hold a
    // worker, so give the server more than the default handful.
    impl.server.new_task_queue = [] { return new httplib::ThreadPool(24); };
    impl.server.set_keep_alive_max_count(1000);
    impl.server.set_keep_alive_timeout(5);
    // Headers and body go out in separate writes; without this a kept-alive
    // connection waits for the client's delayed acknowledgement in between.
    impl.server.set_tcp_nodelay(true);
    impl.server.set_pre_routing_handler([&impl](const httplib::Request& req, httplib::Response&) {
        std::lock_guard lock(impl.mutex);
        impl.requests.push_back(req.target);
        impl.request_paths.push_back(req.path);
        impl.request_headers.push_back(req.headers);
        impl.client_ports.insert(req.remote_port);
        return httplib::Server::HandlerResponse::Unhandled;
    });
    impl.server.Get(".*", [&impl](const httplib::Request& req, httplib::Response& res) { impl.Dispatch(req, res); });

    impl.port = impl.server.bind_to_any_port("127.0.0.1");
    if (impl.port <= 0) throw std::runtime_error("FakeServer: cannot bind to 127.0.0.1");
    impl.thread = std::thread([&impl] { impl.server.listen_after_bind(); });
    while (!impl.server.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

FakeServer::~FakeServer() {
    {
        std::lock_guard lock(impl_->mutex);
        impl_->stopping = true;
    }
    impl_->stop_cv.notify_all();
    impl_->server.stop();
    impl_->ShutdownConnections();
    if (impl_->thread.joinable()) impl_->thread.join();
}

int FakeServer::Port() const { return impl_->port; }

std::string FakeServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(impl_->port) + path;
}

void FakeServer::Serve(const std::string& path, std::string body, std::string content_type) {
    impl_->Route(path, [body = std::move(body), content_type = std::move(content_type)](const httplib::Request&,
                                                                                        httplib::Response& res) {
        res.status = 200;
        res.set_content(body, content_type);
    });
}

void FakeServer::ServeStatus(const std::string& path, int status, std::string body) {
    impl_->Route(path, [status, body = std::move(body)](const httplib::Request&, httplib::Response& res) {
        res.status = status;
        res.set_content(body, "text/html");
    });
}

void FakeServer::ServeTruncated(const std::string& path, std::string body, std::size_t send_bytes) {
    auto shared = std::make_shared<const std::string>(std::move(body));
    send_bytes = std::min(send_bytes, shared->size());
    impl_->Route(path, [shared, send_bytes](const httplib::Request&, httplib::Response& res) {
        res.status = 200;
        res.set_content_provider(shared->size(), "application/octet-stream",
                                 [shared, send_bytes](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                                     if (offset >= send_bytes) return false;  // hang up
                                     std::size_t n = std::min({length, send_bytes - offset, kPiece});
                                     return sink.write(shared->data() + offset, n);
                                 });
    });
}

void FakeServer::ServeChunked(const std::string& path, std::string body) {
    auto shared = std::make_shared<const std::string>(std::move(body));
    impl_->Route(path, [shared](const httplib::Request&, httplib::Response& res) {
        res.status = 200;
        res.set_chunked_content_provider("application/octet-stream",
                                         [shared](std::size_t offset, httplib::DataSink& sink) {
                                             if (offset >= shared->size()) {
                                                 sink.done();
                                                 return true;
                                             }
                                             std::size_t n = std::min(kPiece, shared->size() - offset);
                                             return sink.write(shared->data() + offset, n);
                                         });
    });
}

void FakeServer::ServeTrickle(const std::string& path, std::string body, std::size_t chunk_bytes,
                              std::chrono::milliseconds interval) {
    auto shared = std::make_shared<const std::string>(std::move(body));
    chunk_bytes = std::max<std::size_t>(chunk_bytes, 1);
    Impl* impl = impl_.get();
    impl_->Route(path, [shared, chunk_bytes, interval, impl](const httplib::Request&, httplib::Response& res) {
        res.status = 200;
        res.set_content_provider(
            shared->size(), "application/octet-stream",
            [shared, chunk_bytes, interval, impl](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                if (offset > 0 && !impl->SleepUnlessStopping(interval)) return false;
                std::size_t n = std::min({length, chunk_bytes, shared->size() - offset});
                return sink.write(shared->data() + offset, n);
            });
    });
}

void FakeServer::ServeGenerated(const std::string& path, std::size_t size) {
    Impl* impl = impl_.get();
    impl_->Route(path, [size, impl](const httplib::Request&, httplib::Response& res) {
        res.status = 200;
        res.set_content_provider(size, "application/octet-stream",
                                 [impl](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                                     if (impl->Stopping()) return false;
                                     const std::string& table = GeneratedTable();
                                     std::size_t n = std::min(length, kPiece);
                                     return sink.write(table.data() + offset % 256, n);
                                 });
    });
}

void FakeServer::ServeFlaky(const std::string& path, std::string body, int failures, int status,
                            std::vector<std::pair<std::string, std::string>> headers) {
    auto left = std::make_shared<std::atomic<int>>(failures);
    impl_->Route(path, [left, status, body = std::move(body), headers = std::move(headers)](const httplib::Request&,
                                                                                            httplib::Response& res) {
        if (left->fetch_sub(1) > 0) {
            res.status = status;
            for (const auto& [name, value] : headers) res.set_header(name, value);
            res.set_content("", "text/plain");
            return;
        }
        res.status = 200;
        res.set_content(body, "application/octet-stream");
    });
}

void FakeServer::ServeDelayed(const std::string& path, std::string body, std::chrono::milliseconds delay) {
    Impl* impl = impl_.get();
    auto shared = std::make_shared<const std::string>(std::move(body));
    impl_->Route(path, [impl, shared, delay](const httplib::Request&, httplib::Response& res) {
        if (!impl->SleepUnlessStopping(delay)) return;
        res.status = 200;
        res.set_content(*shared, "application/octet-stream");
    });
}

void FakeServer::ServeRepeated(const std::string& path, std::string head, std::string unit, std::size_t size) {
    // One piece of whole units after the head, so any offset is served by a copy.
    auto text = std::make_shared<std::string>(head);
    const std::size_t head_size = head.size();
    auto units = std::make_shared<std::string>();
    while (units->size() < kPiece) *units += unit;
    Impl* impl = impl_.get();
    impl_->Route(path, [text, units, head_size, size, unit_size = unit.size(), impl](const httplib::Request&,
                                                                                     httplib::Response& res) {
        res.status = 200;
        res.set_content_provider(
            size, "text/html", [=](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                if (impl->Stopping()) return false;
                if (offset < head_size) return sink.write(text->data() + offset, std::min(length, head_size - offset));
                const std::size_t at = (offset - head_size) % unit_size;
                return sink.write(units->data() + at, std::min({length, kPiece, units->size() - at}));
            });
    });
}

void FakeServer::ServeHang(const std::string& path) {
    Impl* impl = impl_.get();
    impl_->Route(path, [impl](const httplib::Request&, httplib::Response& res) {
        std::unique_lock lock(impl->mutex);
        impl->stop_cv.wait(lock, [impl] { return impl->stopping; });
        res.status = 503;
        res.set_content("stopped", "text/plain");
    });
}

void FakeServer::ServeWithHeaders(const std::string& path, std::string body,
                                  std::vector<std::pair<std::string, std::string>> headers) {
    impl_->Route(
        path, [body = std::move(body), headers = std::move(headers)](const httplib::Request&, httplib::Response& res) {
            res.status = 200;
            for (const auto& [name, value] : headers) res.set_header(name, value);
            res.set_content(body, "application/octet-stream");
        });
}

void FakeServer::ServeRedirect(const std::string& path, std::string location) {
    impl_->Route(path, [location = std::move(location)](const httplib::Request&, httplib::Response& res) {
        res.set_redirect(location, 302);
    });
}

void FakeServer::ServeRedirectLoop(const std::string& path) {
    impl_->Route(path, [path](const httplib::Request&, httplib::Response& res) { res.set_redirect(path, 302); });
}

void FakeServer::ServeOthers(Responder respond) {
    std::lock_guard lock(impl_->mutex);
    impl_->others = std::move(respond);
}

void FakeServer::Reset() {
    std::lock_guard lock(impl_->mutex);
    impl_->routes.clear();
    impl_->others = nullptr;
    impl_->requests.clear();
    impl_->request_paths.clear();
    impl_->request_headers.clear();
    impl_->client_ports.clear();
}

int FakeServer::Hits(const std::string& path) const {
    std::lock_guard lock(impl_->mutex);
    int hits = 0;
    for (std::size_t i = 0; i < impl_->requests.size(); ++i) {
        if (impl_->requests[i] == path || impl_->request_paths[i] == path) ++hits;
    }
    return hits;
}

std::vector<std::string> FakeServer::HeaderSeen(const std::string& path, const std::string& name) const {
    std::lock_guard lock(impl_->mutex);
    std::vector<std::string> values;
    for (std::size_t i = 0; i < impl_->requests.size(); ++i) {
        if (impl_->requests[i] != path && impl_->request_paths[i] != path) continue;
        const httplib::Headers& headers = impl_->request_headers[i];
        const auto found = headers.find(name);  // httplib compares names without regard to case
        values.push_back(found == headers.end() ? "-" : found->second);
    }
    return values;
}

std::vector<std::string> FakeServer::Requests() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->requests;
}

int FakeServer::Connections() const {
    std::lock_guard lock(impl_->mutex);
    return static_cast<int>(impl_->client_ports.size());
}

int FakeServer::MostAtOnce() {
    std::shared_ptr<AtOnce> counter;
    {
        std::lock_guard lock(impl_->mutex);
        counter = impl_->at_once;
    }
    std::lock_guard lock(counter->mutex);
    return std::exchange(counter->most, counter->now);
}

void FakeServer::CountWith(FakeServer& other) {
    std::shared_ptr<AtOnce> shared;
    {
        std::lock_guard lock(other.impl_->mutex);
        shared = other.impl_->at_once;
    }
    std::lock_guard lock(impl_->mutex);
    impl_->at_once = std::move(shared);
}

// ---------------------------------------------------------------------------

Sandbox::Sandbox() {
    std::error_code ec;
    std::filesystem::path base = std::filesystem::temp_directory_path(ec);
    if (ec) base = "/tmp";
    std::string pattern = (base / "gathrix-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("Sandbox: cannot create " + pattern);
    path_ = pattern;
}

Sandbox::~Sandbox() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

ScopedCwd::ScopedCwd(const std::string& dir) {
    std::error_code ec;
    old_ = std::filesystem::current_path(ec).string();
    std::filesystem::current_path(dir);
}

ScopedCwd::~ScopedCwd() {
    std::error_code ec;
    std::filesystem::current_path(old_, ec);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void WriteFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

ScopedEnv::ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) {
        ::setenv(name, value->c_str(), 1);
    } else {
        ::unsetenv(name);
    }
}

ScopedEnv::~ScopedEnv() {
    if (old_) {
        ::setenv(name_.c_str(), old_->c_str(), 1);
    } else {
        ::unsetenv(name_.c_str());
    }
}

}  // namespace gathrix::test
