#include "net/cookies.h"

#include "net/curl_common.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

namespace gathrix::net {

namespace {

// Whether all of file can be read: 0, or the errno that stops it (a missing
// file, no permission, a directory).
int ReadableError(const std::filesystem::path& file) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno;
    char buffer[65536];
    int error = 0;
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) continue;
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) error = errno;
        break;
    }
    ::close(fd);
    return error;
}

// A handle on the share, for loading and listing its cookies.
CURL* HandleOn(CURLSH* share) {
    CURL* easy = curl_easy_init();
    if (easy && curl_easy_setopt(easy, CURLOPT_SHARE, share) != CURLE_OK) {
        curl_easy_cleanup(easy);
        return nullptr;
    }
    return easy;
}

bool WriteAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

std::unique_ptr<Cookies> Cookies::Empty() {
    if (!detail::EnsureCurl()) return nullptr;
    CURLSH* share = curl_share_init();
    if (!share) return nullptr;
    if (curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE) != CURLSHE_OK) {
        curl_share_cleanup(share);
        return nullptr;
    }
    return std::unique_ptr<Cookies>(new Cookies(share));
}

std::unique_ptr<Cookies> Cookies::Load(const std::filesystem::path& file, int& error) {
    error = ReadableError(file);
    if (error != 0) return nullptr;
    std::unique_ptr<Cookies> cookies = Empty();
    CURL* easy = cookies ? HandleOn(static_cast<CURLSH*>(cookies->share_)) : nullptr;
    // Read into the share once, here: a file named on every request would be
    // read again each time and undo what the servers have set since.
    const bool loaded = easy && curl_easy_setopt(easy, CURLOPT_COOKIEFILE, file.c_str()) == CURLE_OK &&
                        curl_easy_setopt(easy, CURLOPT_COOKIELIST, "RELOAD") == CURLE_OK;
    if (easy) curl_easy_cleanup(easy);
    if (!loaded) {
        error = ENOMEM;
        return nullptr;
    }
    return cookies;
}

Cookies::~Cookies() { curl_share_cleanup(static_cast<CURLSH*>(share_)); }

bool Cookies::Save(const std::filesystem::path& file, int& error) const {
    CURL* easy = HandleOn(static_cast<CURLSH*>(share_));
    curl_slist* list = nullptr;
    if (!easy || curl_easy_getinfo(easy, CURLINFO_COOKIELIST, &list) != CURLE_OK) {
        if (easy) curl_easy_cleanup(easy);
        error = ENOMEM;
        return false;
    }
    std::string text = "# Netscape HTTP Cookie File\n\n";
    for (const curl_slist* item = list; item; item = item->next) text += std::string(item->data) + "\n";
    curl_slist_free_all(list);
    curl_easy_cleanup(easy);

    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = errno;
        return false;
    }
    const bool written = WriteAll(fd, text);
    error = written ? 0 : errno;
    if (::close(fd) != 0 && written) error = errno;
    return error == 0;
}

}  // namespace gathrix::net
