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
        const int client = AcceptClient(listener_);
        if (client < 0) continue;
        // Read the request head (a GET has no body), then answer and hang up.
        ReadRequestHead(client, stopping_);
        ++hits_;
        SendAll(client, response_.data(), response_.size());
        shutdown(client, SHUT_RDWR);
        close(client);
    }
}

}  // namespace gathrix::test
