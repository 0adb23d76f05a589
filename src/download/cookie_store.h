#pragma once
// The cookies of a command's album runs, for the front ends: read from a file
// in the Netscape format before the first run, shared by every run (see
// net/cookies.h for how requests send and keep them), and written out only
// when asked to. The HTTP layer stays the engine's business.

#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>

namespace gathrix {

namespace net {
class Cookies;
}

class CookieStore {
public:
    // No cookies yet; the servers' will be kept. nullptr when none can be held.
    static std::unique_ptr<CookieStore> Empty();
    // The cookies of a cookie file's text; cookie_lines counts its lines that
    // are cookies (none: the file is of another format). nullptr when none
    // can be held.
    static std::unique_ptr<CookieStore> FromText(const std::string& text, std::size_t& cookie_lines);

    ~CookieStore();
    CookieStore(const CookieStore&) = delete;
    CookieStore& operator=(const CookieStore&) = delete;

    // Writes every cookie held now to file (readable by its owner only), as a
    // new file put in place of what is there. False when it cannot be
    // written; error then holds the errno.
    bool Save(const std::filesystem::path& file, int& error) const;

    // For the engine's sessions.
    net::Cookies& Net() const { return *cookies_; }

private:
    explicit CookieStore(std::unique_ptr<net::Cookies> cookies);
    std::unique_ptr<net::Cookies> cookies_;
};

}  // namespace gathrix
