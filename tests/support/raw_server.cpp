#include "support/raw_server.h"
#include "support/socket_util.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace gathrix::test {

RawServer::RawServer(std::string response) : response_(std::move(response)) {
    listener_ = ListenOnLoopback(port_, "RawServer");
    thread_ = std::thread([this] { Loop(); });
}

RawServer::~RawServer() {
    stopping_ = true;
    thread_.join();
    close(listener_);
}

std::string RawServer::Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }

void RawServer::Loop() {
    while (!stopping_) {
        pollfd waiting{listener_, POLLIN, 0};
        if (poll(&waiting, 1, 50) <= 0) continue;
        const int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) continue;
        // Read the request head (a GET has no body), then answer and hang up.
        ReadRequestHead(client, stopping_);
        ++hits_;
        std::size_t sent = 0;
        while (sent < response_.size()) {
            const ssize_t n = send(client, response_.data() + sent, response_.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) break;
            sent += static_cast<std::size_t>(n);
        }
        shutdown(client, SHUT_RDWR);
        close(client);
    }
}

}  // namespace gathrix::test
