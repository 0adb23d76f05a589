// The local route of the fuzz harnesses. Compiled into the test variant of the
// net library only (src/net/CMakeLists.txt), never into the programs.

#include "net/local_route.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>
#include <utility>

#include "detail/request_options.h"

namespace gathrix::net {

namespace {
// The local route and the libcurl list that carries it out.
struct RouteState {
    LocalRoute route;
    curl_slist* connect_to = nullptr;
};

RouteState& Route() {
    static RouteState state;
    return state;
}

// Opens a connection only to 127.0.0.1 on the route's port: should a request
// ever be about to connect anywhere else, it fails instead.
curl_socket_t OpenLocalSocket(void* /*clientp*/, curlsocktype purpose, curl_sockaddr* address) {
    if (purpose != CURLSOCKTYPE_IPCXN || address->family != AF_INET || address->addrlen < sizeof(sockaddr_in)) {
        return CURL_SOCKET_BAD;
    }
    sockaddr_in in{};
    std::memcpy(&in, &address->addr, sizeof in);
    if (in.sin_addr.s_addr != htonl(INADDR_LOOPBACK) || ntohs(in.sin_port) != Route().route.port) {
        return CURL_SOCKET_BAD;
    }
    return ::socket(address->family, address->socktype, address->protocol);
}
}  // namespace

void SetLocalRoute(LocalRoute route) {
    RouteState& state = Route();
    curl_slist_free_all(state.connect_to);
    state.connect_to = nullptr;
    if (route.port != 0) {
        // Any host, any port: connect to 127.0.0.1 on the route's port.
        const std::string entry = "::127.0.0.1:" + std::to_string(route.port);
        state.connect_to = curl_slist_append(nullptr, entry.c_str());
    }
    state.route = std::move(route);
}

}  // namespace gathrix::net

namespace gathrix::net::detail {

bool ApplyLocalRoute(CURL* easy, const std::string& address) {
    const RouteState& state = Route();
    if (state.route.port == 0) return true;
    bool ok = true;
    auto set = [&ok](CURLcode code) { ok = ok && code == CURLE_OK; };
    set(curl_easy_setopt(easy, CURLOPT_CONNECT_TO, state.connect_to));
    set(curl_easy_setopt(easy, CURLOPT_PROXY, ""));
    set(curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http"));
    set(curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http"));
    set(curl_easy_setopt(easy, CURLOPT_OPENSOCKETFUNCTION, &OpenLocalSocket));
    if (ok && state.route.on_request) state.route.on_request(address);
    return ok;
}

}  // namespace gathrix::net::detail
