#pragma once
// The cookies of a command's album runs, for the front ends: read from a file
// in the Netscape format before the first run, shared by every run (see
// net/cookies.h for how requests send and keep them), and written out only
// when asked to. The HTTP layer stays the engine's business.

#include <filesystem>
#include <memory>

namespace gathrix {

namespace net {
class Cookies;
}

class CookieStore {
public:
    // No cookies yet; the servers' will be kept. nullptr when none can be held.
    static std::unique_ptr<CookieStore> Empty();
    // The cookies of file. nullptr when it cannot be read; error then holds
    // the errno that says why.
    static std::unique_ptr<CookieStore> Load(const std::filesystem::path& file, int& error);

    ~CookieStore();
    CookieStore(const CookieStore&) = delete;
    CookieStore& operator=(const CookieStore&) = delete;

    // Writes every cookie held now to file (readable by its owner only).
    // False when it cannot be written; error then holds the errno.
    bool Save(const std::filesystem::path& file, int& error) const;

    // For the engine's sessions.
    net::Cookies& Net() const { return *cookies_; }

private:
    explicit CookieStore(std::unique_ptr<net::Cookies> cookies);
    std::unique_ptr<net::Cookies> cookies_;
};

}  // namespace gathrix
