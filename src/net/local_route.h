#pragma once
// For the fuzz harnesses only: every request of the process goes to one local
// server, whatever host its address names, so that pages full of made-up
// addresses can be read without a name lookup or a connection to anywhere
// else. While it is off (the default) every request goes where its address
// says, exactly as without it.
//
// Only the test variant of the net library has it: a target that includes this
// header sets the property GATHRIX_TEST_HOOKS (src/net/CMakeLists.txt), or it
// does not link. The installed programs are built without it.

#include <functional>
#include <string>

namespace gathrix::net {

struct LocalRoute {
    // Requests connect to 127.0.0.1 on this port and nowhere else, never
    // through a proxy, and speak plain http only (an https request, or a
    // redirect to one, fails at once). 0: off.
    int port = 0;
    // Told the address of each request as it is sent, on the thread that sends it.
    std::function<void(const std::string& address)> on_request;
};

// Applies to every request started from now on. Set it before any request
// runs; it is not guarded against requests in flight on other threads.
void SetLocalRoute(LocalRoute route);

}  // namespace gathrix::net
