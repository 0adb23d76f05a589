#pragma once
// Socket pieces shared by the test servers that speak HTTP by hand.

#include <atomic>
#include <cstddef>
#include <string>

namespace gathrix::test {

// A socket listening on 127.0.0.1 at a free port; throws naming who when it
// cannot be had.
int ListenOnLoopback(int& port, const char* who);

// The next client of listener, or -1 when none came within 50 ms.
int AcceptClient(int listener);

// Sends all of data to client; false once the client has gone.
bool SendAll(int client, const char* data, std::size_t size);

// Reads a request head (up to the blank line) from client, giving up when
// stopping is set or the client hangs up.
std::string ReadRequestHead(int client, const std::atomic<bool>& stopping);

}  // namespace gathrix::test
