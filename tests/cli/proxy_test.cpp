// gathrix-cli behind a proxy named in the environment: every request goes to
// the proxy as an absolute address, and the proxy alone can reach the album's
// made-up host.

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "cli/child_process.h"
#include "cli/exit_status.h"
#include "support/album_pages.h"
#include "support/fake_server.h"
#include "support/socket_util.h"

namespace gathrix::test {
namespace {

// An HTTP proxy on 127.0.0.1 that takes a GET of an absolute address, sends
// it to the test's server (whatever host it names, which stays in the Host
// header) and relays the answer; one connection at a time, each closed after
// its answer. It records the addresses asked for.
class ForwardProxy {
public:
    explicit ForwardProxy(int server_port) : server_port_(server_port) {
        listener_ = ListenOnLoopback(port_, "ForwardProxy");
        thread_ = std::thread([this] { Loop(); });
    }
    ~ForwardProxy() {
        stopping_ = true;
        thread_.join();
        close(listener_);
    }
    ForwardProxy(const ForwardProxy&) = delete;
    ForwardProxy& operator=(const ForwardProxy&) = delete;

    int Port() const { return port_; }
    std::vector<std::string> Requested() const {
        std::lock_guard lock(mutex_);
        return requested_;
    }

private:
    void Loop() {
        while (!stopping_) {
            pollfd waiting{listener_, POLLIN, 0};
            if (poll(&waiting, 1, 50) <= 0) continue;
            const int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0) continue;
            Forward(client);
            close(client);
        }
    }

    static void SendAll(int fd, const std::string& bytes) {
        std::size_t sent = 0;
        while (sent < bytes.size()) {
            const ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) return;
            sent += static_cast<std::size_t>(n);
        }
    }

    void Forward(int client) {
        const std::string head = ReadRequestHead(client, stopping_);
        const std::size_t line_end = head.find("\r\n");
        const std::string line = head.substr(0, line_end);
        // "GET http://host/path HTTP/1.1": only absolute addresses are proxied.
        const std::string prefix = "GET http://";
        const std::size_t space = line.rfind(' ');
        if (line_end == std::string::npos || !line.starts_with(prefix) || space <= prefix.size()) {
            SendAll(client, "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
            return;
        }
        const std::string address = line.substr(4, space - 4);
        {
            std::lock_guard lock(mutex_);
            requested_.push_back(address);
        }
        const std::size_t path_start = address.find('/', prefix.size() - 4);
        const std::string path = path_start == std::string::npos ? "/" : address.substr(path_start);
        // The client's headers, and an end to the connection after this request.
        const std::string upstream_head = "GET " + path + " HTTP/1.1" +
                                          head.substr(line_end, head.size() - line_end - 2) +
                                          "Connection: close\r\n\r\n";

        const int upstream = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in server{};
        server.sin_family = AF_INET;
        server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        server.sin_port = htons(static_cast<std::uint16_t>(server_port_));
        if (upstream < 0 || connect(upstream, reinterpret_cast<sockaddr*>(&server), sizeof server) != 0) {
            SendAll(client, "HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
            if (upstream >= 0) close(upstream);
            return;
        }
        SendAll(upstream, upstream_head);
        char buffer[65536];
        while (!stopping_) {
            pollfd readable{upstream, POLLIN, 0};
            if (poll(&readable, 1, 50) <= 0) continue;
            const ssize_t n = recv(upstream, buffer, sizeof buffer, 0);
            if (n <= 0) break;
            SendAll(client, std::string(buffer, static_cast<std::size_t>(n)));
        }
        close(upstream);
    }

    int server_port_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    mutable std::mutex mutex_;
    std::vector<std::string> requested_;
    std::thread thread_;
};

TEST(CliProxy, EveryRequestGoesThroughTheProxyFromTheEnvironment) {
    FakeServer server;
    const std::string host = "http://album.test";
    server.Serve("/picasaweb.google.com/u/Summer", PicasaPage({host + "/p/a.jpg", host + "/p/b.jpg"}));
    server.Serve("/p/a.jpg", "a");
    server.Serve("/p/b.jpg", "b");
    ForwardProxy proxy(server.Port());
    Sandbox sandbox;
    // Cookies of the made-up host go through the proxy too; one for https
    // only does not go with a request for http.
    WriteFile(sandbox.Path() + "/cookies.txt",
              "album.test\tFALSE\t/\tTRUE\t0\tsecure\t1\n"
              "album.test\tFALSE\t/\tFALSE\t0\tplain\t2\n");
    const std::string album = host + "/picasaweb.google.com/u/Summer";
    // no_proxy empty: the test process's own exceptions must not reach the
    // child, whose every request is for the proxy.
    const ProcessResult r = RunProcess({GATHRIX_CLI_PATH, "--cookies", "cookies.txt", album}, sandbox.Path(),
                                       {{"http_proxy", "http://127.0.0.1:" + std::to_string(proxy.Port())},
                                        {"no_proxy", ""},
                                        {"NO_PROXY", ""},
                                        {"GATHRIX_REQUEST_TIMEOUT", "5"}});
    EXPECT_EQ(r.exit_code, kExitCompleted) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(ReadFile(sandbox.Path() + "/AlbumDownload/a.jpg"), "a");
    EXPECT_EQ(ReadFile(sandbox.Path() + "/AlbumDownload/b.jpg"), "b");
    EXPECT_EQ(proxy.Requested(), (std::vector<std::string>{album, host + "/p/a.jpg", host + "/p/b.jpg"}));
    EXPECT_EQ(server.HeaderSeen("/p/a.jpg", "Host"), std::vector<std::string>{"album.test"});
    EXPECT_EQ(server.HeaderSeen("/p/b.jpg", "Cookie"), std::vector<std::string>{"plain=2"});
}

}  // namespace
}  // namespace gathrix::test
