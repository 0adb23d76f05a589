#pragma once
// A server on 127.0.0.1 that answers every request with the same bytes, exactly
// as given, and then closes the connection: for responses that no well-behaved
// HTTP library would send (broken or repeated Content-Length headers and the like).

#include <atomic>
#include <string>
#include <thread>

namespace gathrix::test {

class RawServer {
public:
    explicit RawServer(std::string response);  // listening when it returns
    ~RawServer();
    RawServer(const RawServer&) = delete;
    RawServer& operator=(const RawServer&) = delete;

    // "http://127.0.0.1:PORT" followed by path.
    std::string Url(const std::string& path) const;
    // How many requests have been answered.
    int Hits() const { return hits_.load(); }

private:
    void Loop();

    std::string response_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<int> hits_{0};
    std::thread thread_;
};

}  // namespace gathrix::test
