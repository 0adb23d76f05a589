#include "support/socket_util.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <stdexcept>

namespace gathrix::test {

int ListenOnLoopback(int& port, const char* who) {
    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener, 64) != 0 || getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw std::runtime_error(std::string(who) + ": cannot listen on 127.0.0.1");
    }
    port = ntohs(address.sin_port);
    return listener;
}

int AcceptClient(int listener) {
    pollfd waiting{listener, POLLIN, 0};
    if (poll(&waiting, 1, 50) <= 0) return -1;
    return accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
}

bool SendAll(int client, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = send(client, data, size, MSG_NOSIGNAL);
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

std::string ReadRequestHead(int client, const std::atomic<bool>& stopping) {
    std::string head;
    char buffer[4096];
    while (head.find("\r\n\r\n") == std::string::npos && !stopping) {
        pollfd readable{client, POLLIN, 0};
        if (poll(&readable, 1, 50) <= 0) continue;
        const ssize_t n = recv(client, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        head.append(buffer, static_cast<std::size_t>(n));
    }
    return head;
}

}  // namespace gathrix::test
