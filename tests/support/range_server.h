#pragma once
// A picture server on 127.0.0.1 that answers "Range: bytes=N-" the way
// resuming clients meet it on real sites: 206 with the rest when If-Range
// names the picture's validator, 200 with the whole when it does not (or when
// the server ignores ranges), 416 when N is past the end; 304 to
// If-None-Match with its ETag (or If-Modified-Since with its date). It can cut every
// response off at a byte of the picture, hanging up or going silent, and it
// tells what each request asked and how many body bytes went out. A picture
// can be made to wait before its response, as a distant server does. Every
// response closes its connection.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace gathrix::test {

class RangeServer {
public:
    struct Picture {
        std::string body;
        std::size_t generated = 0;           // when body is empty: this many bytes of FakeServer::GeneratedByte
        std::string etag;                    // the ETag sent (with its quotes); empty: none
        std::string last_modified;           // sent when not empty
        std::optional<std::size_t> cut_at;   // no response goes past this byte of the picture
        bool hang = false;                   // at cut_at, stay silent instead of hanging up
        bool ignore_ranges = false;          // always 200 with the whole
        bool ignore_if_range = false;        // the range asked for, of this version, whatever If-Range says
        std::chrono::milliseconds delay{0};  // waited before every response (after the request is read)
    };
    // What one request asked for and got.
    struct Seen {
        std::string path;
        std::string range;     // the Range header, empty when none
        std::string if_range;  // the If-Range header
        int status = 0;
    };

    RangeServer();  // listening when it returns
    ~RangeServer();
    RangeServer(const RangeServer&) = delete;
    RangeServer& operator=(const RangeServer&) = delete;

    std::string Url(const std::string& path) const;
    void Serve(const std::string& path, Picture picture);  // replaces what path served
    std::vector<Seen> Requests() const;
    std::uint64_t BodyBytesSent() const { return body_bytes_.load(); }

private:
    void Loop();
    void Answer(int client);

    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<std::uint64_t> body_bytes_{0};
    mutable std::mutex mutex_;
    std::map<std::string, std::shared_ptr<const Picture>> pictures_;
    std::vector<Seen> seen_;
    std::atomic<int> answering_{0};  // connections being answered, each on a thread of its own
    std::thread thread_;
};

}  // namespace gathrix::test
