#pragma once
// A picture body kept across runs, so that a run cut off half-way (an
// interrupt, a stall, a lost connection) can be continued by the next one
// instead of starting over. Two hidden files beside the pictures hold it: the
// body as far as it came, and an info file with the address it came from and
// the validator the server sent with it (a strong ETag, else, when there is no
// ETag at all, Last-Modified; a weak ETag gives none). The next request for
// that address asks for the rest ("Range: bytes=N-") only if it still is that
// version ("If-Range: VALIDATOR"); whatever the server answers, the body is
// never a splice of two versions:
//   206 whose range starts at N and runs to the end, of the version on record
//   (its ETag, or without one its Last-Modified, is the validator): appended;
//   200, or a 206 of the whole: the body starts over from its first byte,
//   under the new validator;
//   416, or a 206 of any other range, length or version: dropped, and asked
//   for whole.
// A body without a validator on record cannot be continued: it is a temporary
// file like any other and goes when the run is interrupted.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace gathrix::net {

// Where one picture's body is kept.
struct KeptBodyFiles {
    std::filesystem::path body;
    std::filesystem::path info;
};

namespace detail {

class ResponseHeaders;

// The body file of one transfer that keeps its body, from the request to the
// moment it becomes the picture (MoveTo) or stays for later (Close).
class KeptBody {
public:
    // Opens (or creates) the body file; with an info file that matches address
    // and a body of at least one byte, Offset() and Validator() say what to ask
    // for. nullptr when the body file cannot be opened.
    static std::unique_ptr<KeptBody> Open(const KeptBodyFiles& files, const std::string& address);

    KeptBody(const KeptBody&) = delete;
    KeptBody& operator=(const KeptBody&) = delete;
    ~KeptBody();  // closes; see Close()

    // Bytes already held that the request asks to continue after (0: none, ask
    // for the whole body), and the validator that goes with them.
    std::int64_t Offset() const { return offset_; }
    const std::string& Validator() const { return validator_; }

    // How the response whose body begins now is to be stored, from its status
    // and headers. False when it does not fit what was asked for: the request
    // is then ended, and StartOver() says whether to ask again for the whole.
    bool Begin(long status, const ResponseHeaders& headers);
    bool Began() const { return began_; }
    // Stores body bytes of the response (discarded for a status of 300 or more).
    bool Write(const char* data, std::size_t size);
    // The bytes of this response so far, and the body's whole length so far.
    std::int64_t Received() const { return received_; }
    std::int64_t Size() const { return appending_ ? offset_ + received_ : received_; }
    // Whether this response continues the kept bytes (a 206 that fits).
    bool Appending() const { return appending_; }
    // Whether the bytes of this response go nowhere (an error status).
    bool Discarding() const { return discarding_; }
    // A 206 whose body is complete: the whole length is what its
    // Content-Range announced.
    bool WholeAfterAppend() const { return appending_ && offset_ + received_ == total_; }
    // The response did not fit the request: the kept bytes are dropped, and
    // the next attempt asks for the whole body.
    bool StartOver() const { return start_over_; }

    // Renames the body to target (replacing a file of that name in one step)
    // and removes the info file.
    bool MoveTo(const std::filesystem::path& target);
    // Closes the body file. It stays for a later run when a validator is on
    // record for it, and is removed otherwise.
    void Close();
    // Removes both files.
    void Drop();

private:
    KeptBody(KeptBodyFiles files, std::string address, int fd);
    bool WriteInfo(const std::string& validator);
    void StartAfresh();

    KeptBodyFiles files_;
    std::string address_;
    int fd_ = -1;
    std::int64_t offset_ = 0;
    std::string validator_;
    bool on_record_ = false;   // the info file names this body's version
    bool registered_ = false;  // a temporary file, removed by an interrupt
    bool began_ = false;
    bool discarding_ = false;  // an error status: its body goes nowhere
    bool appending_ = false;
    bool start_over_ = false;
    std::int64_t total_ = -1;  // the whole length a 206 announced
    std::int64_t received_ = 0;
};

}  // namespace detail
}  // namespace gathrix::net
