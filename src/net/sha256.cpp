#include "net/sha256.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>

namespace gathrix::net {

struct Sha256::Impl {
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    ~Impl() { EVP_MD_CTX_free(context); }
};

Sha256::Sha256() : impl_(std::make_unique<Impl>()) { Reset(); }

Sha256::~Sha256() = default;

void Sha256::Reset() {
    if (impl_->context) EVP_DigestInit_ex(impl_->context, EVP_sha256(), nullptr);
}

void Sha256::Update(const char* data, std::size_t size) {
    if (impl_->context && size > 0) EVP_DigestUpdate(impl_->context, data, size);
}

std::string Sha256::Hex() const {
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int length = 0;
    EVP_MD_CTX* copy = EVP_MD_CTX_new();
    const bool ok = copy && impl_->context && EVP_MD_CTX_copy_ex(copy, impl_->context) == 1 &&
                    EVP_DigestFinal_ex(copy, digest.data(), &length) == 1;
    EVP_MD_CTX_free(copy);
    if (!ok) return {};
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(length * 2);
    for (unsigned int i = 0; i < length; ++i) {
        hex += kDigits[digest[i] >> 4];
        hex += kDigits[digest[i] & 0xF];
    }
    return hex;
}

std::optional<std::string> FileSha256(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return std::nullopt;
    }
    Sha256 hash;
    std::array<char, 1 << 16> buffer{};
    for (;;) {
        const ssize_t got = ::read(fd, buffer.data(), buffer.size());
        if (got == 0) break;
        if (got < 0) {
            if (errno == EINTR) continue;
            ::close(fd);
            return std::nullopt;
        }
        hash.Update(buffer.data(), static_cast<std::size_t>(got));
    }
    ::close(fd);
    return hash.Hex();
}

}  // namespace gathrix::net
