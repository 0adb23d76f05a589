#include "support/range_server.h"
#include "support/socket_util.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>

#include "support/fake_server.h"

namespace gathrix::test {

namespace {

// The value of header name in a request head, empty when absent.
std::string HeaderValue(const std::string& head, const std::string& name) {
    const std::string key = "\r\n" + name + ": ";
    const std::size_t at = head.find(key);
    if (at == std::string::npos) return {};
    const std::size_t start = at + key.size();
    return head.substr(start, head.find("\r\n", start) - start);
}

}  // namespace

RangeServer::RangeServer() {
    listener_ = ListenOnLoopback(port_, "RangeServer");
    thread_ = std::thread([this] { Loop(); });
}

RangeServer::~RangeServer() {
    stopping_ = true;
    thread_.join();
    while (answering_.load() > 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    close(listener_);
}

std::string RangeServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void RangeServer::Serve(const std::string& path, Picture picture) {
    std::lock_guard lock(mutex_);
    pictures_[path] = std::make_shared<const Picture>(std::move(picture));
}

std::vector<RangeServer::Seen> RangeServer::Requests() const {
    std::lock_guard lock(mutex_);
    return seen_;
}

void RangeServer::Loop() {
    while (!stopping_) {
        const int client = AcceptClient(listener_);
        if (client < 0) continue;
        ++answering_;
        std::thread([this, client] {
            Answer(client);
            --answering_;
        }).detach();
    }
}

void RangeServer::Answer(int client) {
    const std::string head = ReadRequestHead(client, stopping_);
    char buffer[4096];
    const std::size_t path_start = head.find(' ') + 1;
    Seen seen{head.substr(path_start, head.find(' ', path_start) - path_start), HeaderValue(head, "Range"),
              HeaderValue(head, "If-Range")};
    std::shared_ptr<const Picture> picture;
    {
        std::lock_guard lock(mutex_);
        if (const auto it = pictures_.find(seen.path); it != pictures_.end()) picture = it->second;
    }

    const std::size_t size = picture ? (picture->body.empty() ? picture->generated : picture->body.size()) : 0;
    std::size_t from = 0;
    std::string response;
    if (!picture) {
        seen.status = 404;
        response = "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
    } else {
        // Only "bytes=N-" is understood, as the program asks; the version is
        // the one asked for when If-Range names the ETag or the date sent.
        const bool ranged = !picture->ignore_ranges && seen.range.starts_with("bytes=") && seen.range.ends_with("-");
        const bool same =
            picture->ignore_if_range || seen.if_range.empty() ||
            (!picture->etag.empty() ? seen.if_range == picture->etag : seen.if_range == picture->last_modified);
        if (ranged && same) from = std::stoull(seen.range.substr(6));
        std::string validators;
        if (!picture->etag.empty()) validators += "ETag: " + picture->etag + "\r\n";
        if (!picture->last_modified.empty()) validators += "Last-Modified: " + picture->last_modified + "\r\n";
        // A request for the picture only if it changed, as servers answer it:
        // If-None-Match names the ETag, or (without it) If-Modified-Since the date.
        const std::string if_none_match = HeaderValue(head, "If-None-Match");
        const std::string if_modified_since = HeaderValue(head, "If-Modified-Since");
        const bool unchanged = !if_none_match.empty()
                                   ? !picture->etag.empty() && if_none_match == picture->etag
                                   : !if_modified_since.empty() && if_modified_since == picture->last_modified;
        if (unchanged) {
            seen.status = 304;
            response = "HTTP/1.1 304 Not Modified\r\n" + validators + "Connection: close\r\n\r\n";
            from = size;
        } else if (ranged && same && from >= size) {
            seen.status = 416;
            response = "HTTP/1.1 416 Range Not Satisfiable\r\nContent-Range: bytes */" + std::to_string(size) +
                       "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
            from = size;
        } else if (ranged && same) {
            seen.status = 206;
            response = "HTTP/1.1 206 Partial Content\r\n" + validators + "Content-Range: bytes " +
                       std::to_string(from) + "-" + std::to_string(size - 1) + "/" + std::to_string(size) +
                       "\r\nContent-Length: " + std::to_string(size - from) + "\r\nConnection: close\r\n\r\n";
        } else {
            seen.status = 200;
            response = "HTTP/1.1 200 OK\r\n" + validators + "Content-Length: " + std::to_string(size) +
                       "\r\nConnection: close\r\n\r\n";
        }
    }
    {
        std::lock_guard lock(mutex_);
        seen_.push_back(seen);
    }

    if (picture && picture->delay.count() > 0) std::this_thread::sleep_for(picture->delay);
    bool sent = SendAll(client, response.data(), response.size());
    const std::size_t end = picture && picture->cut_at ? std::max(from, std::min(size, *picture->cut_at)) : size;
    std::string piece;
    for (std::size_t at = from; sent && at < end && seen.status < 300 && picture;) {
        const std::size_t n = std::min<std::size_t>(end - at, 64 * 1024);
        if (picture->body.empty()) {
            piece.resize(n);
            for (std::size_t i = 0; i < n; ++i) piece[i] = FakeServer::GeneratedByte(at + i);
        } else {
            piece.assign(picture->body, at, n);
        }
        sent = SendAll(client, piece.data(), n);
        if (sent) body_bytes_ += n;
        at += n;
    }
    // Cut off and silent: the client's stall limit (or an interrupt) ends it.
    while (picture && picture->hang && end < size && !stopping_) {
        pollfd closed{client, POLLIN, 0};
        if (poll(&closed, 1, 50) > 0 && recv(client, buffer, sizeof buffer, 0) <= 0) break;
    }
    shutdown(client, SHUT_RDWR);
    close(client);
}

}  // namespace gathrix::test
