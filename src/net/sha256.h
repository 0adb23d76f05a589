#pragma once
// SHA-256 of picture bodies: fed as the bytes stream in, or read from a file
// once (to check a stored picture against what was downloaded).

#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace gathrix::net {

class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    // Starts again from no bytes.
    void Reset();
    void Update(const char* data, std::size_t size);
    // The digest of the bytes so far, 64 lower-case hex digits; more may follow.
    std::string Hex() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The digest of a regular file's bytes (a link is not followed); nullopt when
// it cannot be read.
std::optional<std::string> FileSha256(const std::filesystem::path& path);

}  // namespace gathrix::net
