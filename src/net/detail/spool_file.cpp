#include "detail/spool_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "net/temp_files.h"

namespace gathrix::net::detail {

std::optional<SpoolFile> SpoolFile::Create(const std::filesystem::path& dir, const std::string& suffix) {
    std::optional<NewTemporaryFile> file = CreateTemporaryFile(dir, suffix);
    if (!file) return std::nullopt;
    return SpoolFile(file->fd, std::move(file->path));
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

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool SpoolFile::Write(const char* data, std::size_t size) {
    if (fd_ < 0 || !WriteAll(fd_, data, size)) return false;
    size_ += static_cast<std::int64_t>(size);
    return true;
}

bool SpoolFile::MakePrivate() { return fd_ >= 0 && ::fchmod(fd_, 0600) == 0; }

bool SpoolFile::CloseFd() {
    if (fd_ < 0) return true;
    int rc = ::close(fd_);
    fd_ = -1;
    return rc == 0;
}

bool SpoolFile::MoveTo(const std::filesystem::path& target) {
    if (path_.empty()) return false;
    bool ok = CloseFd() && RenameTemporaryFile(path_, target);
    if (ok) {
        path_.clear();
    } else {
        const int error = errno;  // the reason, not that of removing the file
        Discard();
        errno = error;
    }
    return ok;
}

void SpoolFile::Discard() {
    CloseFd();
    if (!path_.empty()) {
        RemoveTemporaryFile(path_);
        path_.clear();
    }
}

std::optional<std::filesystem::path> SpoolFile::Keep() {
    if (path_.empty()) return std::nullopt;
    if (!CloseFd()) {
        Discard();
        return std::nullopt;
    }
    return std::exchange(path_, std::filesystem::path());
}

}  // namespace gathrix::net::detail
