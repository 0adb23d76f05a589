#include "net/curl_common.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <random>
#include <utility>

#ifndef GATHRIX_VERSION_STRING
#define GATHRIX_VERSION_STRING "0"
#endif

namespace gathrix::net::detail {

bool EnsureCurl() {
    static const bool ok = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    return ok;
}

bool AddressAccepted(const std::string& address) {
    if (!EnsureCurl()) return false;
    CURLU* url = curl_url();
    if (!url) return false;
    bool ok = false;
    if (curl_url_set(url, CURLUPART_URL, address.c_str(), CURLU_GUESS_SCHEME) == CURLUE_OK) {
        char* scheme = nullptr;
        if (curl_url_get(url, CURLUPART_SCHEME, &scheme, 0) == CURLUE_OK && scheme) {
            std::string s = scheme;
            ok = s == "http" || s == "https";
        }
        curl_free(scheme);
    }
    curl_url_cleanup(url);
    return ok;
}

bool ApplyRequestOptions(CURL* easy, const std::string& address, std::chrono::seconds stall) {
    const long stall_s = stall.count() > 0 ? static_cast<long>(stall.count()) : 1L;
    bool ok = true;
    auto set = [&ok](CURLcode code) { ok = ok && code == CURLE_OK; };
    set(curl_easy_setopt(easy, CURLOPT_URL, address.c_str()));
    set(curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L));
    set(curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https"));
    set(curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https"));
    set(curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L));
    set(curl_easy_setopt(easy, CURLOPT_MAXREDIRS, kMaxRedirects));
    set(curl_easy_setopt(easy, CURLOPT_AUTOREFERER, 1L));
    set(curl_easy_setopt(easy, CURLOPT_USERAGENT, "Gathrix/" GATHRIX_VERSION_STRING));
    set(curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L));
    set(curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, stall_s));
    set(curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L));
    set(curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, stall_s));
    // Larger reads mean fewer system calls on big pictures; still small memory.
    set(curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, 128L * 1024L));
    return ok;
}

std::optional<std::int64_t> ContentLength(CURL* easy) {
    curl_off_t length = -1;
    if (curl_easy_getinfo(easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) != CURLE_OK || length < 0) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(length);
}

// ---------------------------------------------------------------------------

std::optional<SpoolFile> SpoolFile::Create(const std::filesystem::path& dir) {
    static constexpr char kAlphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    thread_local std::mt19937_64 random{std::random_device{}()};
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kAlphabet - 2);
    const std::filesystem::path folder = dir.empty() ? std::filesystem::path(".") : dir;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = ".gathrix-";
        for (int i = 0; i < 6; ++i) name += kAlphabet[pick(random)];
        name += ".part";
        std::filesystem::path path = folder / name;
        // Created like any other file (mode 0666 less the umask), so that the
        // picture it becomes has the usual permissions.
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) return SpoolFile(fd, std::move(path));
        if (errno != EEXIST) return std::nullopt;
    }
    return std::nullopt;
}

SpoolFile::SpoolFile(SpoolFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), path_(std::move(other.path_)), size_(other.size_) {
    other.path_.clear();
}

SpoolFile& SpoolFile::operator=(SpoolFile&& other) noexcept {
    if (this != &other) {
        Discard();
        fd_ = std::exchange(other.fd_, -1);
        path_ = std::move(other.path_);
        other.path_.clear();
        size_ = other.size_;
    }
    return *this;
}

SpoolFile::~SpoolFile() { Discard(); }

bool SpoolFile::Write(const char* data, std::size_t size) {
    if (fd_ < 0) return false;
    while (size > 0) {
        ssize_t n = ::write(fd_, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
        size_ += n;
    }
    return true;
}

bool SpoolFile::CloseFd() {
    if (fd_ < 0) return true;
    int rc = ::close(fd_);
    fd_ = -1;
    return rc == 0;
}

bool SpoolFile::MoveTo(const std::filesystem::path& target) {
    if (path_.empty()) return false;
    bool ok = CloseFd() && std::rename(path_.c_str(), target.c_str()) == 0;
    if (ok) {
        path_.clear();
    } else {
        Discard();
    }
    return ok;
}

void SpoolFile::Discard() {
    CloseFd();
    if (!path_.empty()) {
        ::unlink(path_.c_str());
        path_.clear();
    }
}

std::size_t WriteToSpool(char* data, std::size_t size, std::size_t count, void* userdata) {
    auto* spool = static_cast<SpoolFile*>(userdata);
    const std::size_t bytes = size * count;
    return spool->Write(data, bytes) ? bytes : 0;
}

}  // namespace gathrix::net::detail
