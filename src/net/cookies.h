#pragma once
// The cookies of a run: read from a file in the Netscape format (what
// browsers' cookie exporters write), sent with every request of the sessions
// that share them as a browser would send them (domain, path, secure,
// expiry), updated by the servers' Set-Cookie headers, and written to a file
// only when asked to.

#include <filesystem>
#include <memory>

namespace gathrix::net {

class Cookies {
public:
    // No cookies yet; the servers' will be kept.
    static std::unique_ptr<Cookies> Empty();
    // The cookies of file. nullptr when it cannot be read; error then holds
    // the errno that says why.
    static std::unique_ptr<Cookies> Load(const std::filesystem::path& file, int& error);

    ~Cookies();
    Cookies(const Cookies&) = delete;
    Cookies& operator=(const Cookies&) = delete;

    // Writes every cookie held now to file in the Netscape format (created
    // readable by its owner only, replaced when it exists). False when it
    // cannot be written; error then holds the errno.
    bool Save(const std::filesystem::path& file, int& error) const;

    // The libcurl share handle (a CURLSH*) that every request of a session
    // using these cookies is attached to.
    void* Handle() const { return share_; }

private:
    explicit Cookies(void* share) : share_(share) {}
    void* share_;
};

}  // namespace gathrix::net
