#pragma once
// The cookies of a run: read from a file in the Netscape format (what
// browsers' cookie exporters write), sent with every request of the sessions
// that share them as a browser would send them (domain, path, secure,
// expiry), updated by the servers' Set-Cookie headers, and written to a file
// only when asked to. Like a browser's, the store is bounded, so that a server
// setting cookies without end cannot slow the run down: a domain past
// kMaxPerDomain cookies is cut back to its newest kKeepPerDomain, and a store
// past kMaxCookies to its newest kKeepCookies (counted after every few cookies
// set), so that a server that keeps setting new ones does not cost a clean-up
// at every response.

#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>

namespace gathrix::net {

class Cookies {
public:
    static constexpr std::size_t kMaxPerDomain = 180;
    static constexpr std::size_t kKeepPerDomain = 120;
    static constexpr std::size_t kMaxCookies = 3300;
    static constexpr std::size_t kKeepCookies = 3000;

    // No cookies yet; the servers' will be kept. nullptr when none can be held.
    static std::unique_ptr<Cookies> Empty();
    // The cookies of a cookie file's text: every line but comments and blank
    // ones is handed to the store as it stands. cookie_lines counts the lines
    // that are cookies by their form (seven fields separated by tabs, or a
    // "Set-Cookie:" line), so that a file of another format can be told.
    // nullptr when none can be held.
    static std::unique_ptr<Cookies> FromText(const std::string& text, std::size_t& cookie_lines);

    ~Cookies();
    Cookies(const Cookies&) = delete;
    Cookies& operator=(const Cookies&) = delete;

    // Writes every cookie held now to file in the Netscape format: a new
    // file beside it, readable by its owner only, then renamed over it, so
    // that a link there is replaced and never followed, and an interruption
    // leaves the old file whole. False when it cannot be written; error then
    // holds the errno.
    bool Save(const std::filesystem::path& file, int& error) const;

    // A response has set `count` cookies (Set-Cookie headers); the store is
    // brought back within its bounds when it may have grown past them.
    void Received(std::size_t count);
    // The number of cookies held now.
    std::size_t Count() const;

    // The libcurl share handle (a CURLSH*) that every request of a session
    // using these cookies is attached to.
    void* Handle() const { return share_; }

private:
    explicit Cookies(void* share) : share_(share) {}
    // Drops the oldest cookies beyond the bounds.
    void Bound();

    void* share_;
    std::size_t unchecked_ = 0;  // cookies set since the store was last counted
};

}  // namespace gathrix::net
