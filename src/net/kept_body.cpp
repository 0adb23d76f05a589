#include "net/kept_body.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "detail/response_judge.h"
#include "detail/spool_file.h"
#include "net/temp_files.h"

namespace gathrix::net::detail {

namespace {

// An info file is two short lines; anything longer is not one of ours.
constexpr std::size_t kLongestInfo = 64 * 1024;

// The validator on record for address in the info file; empty when there is
// none, or the file speaks of another address.
std::string RecordedValidator(const std::filesystem::path& info, const std::string& address) {
    // Only a file of ours: never through a link, and nothing that could make
    // the open or the reads wait (a FIFO, a device) counts as a record.
    const int fd = ::open(info.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return {};
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return {};
    }
    std::string text;
    char buffer[4096];
    ssize_t n = 0;
    while (text.size() <= kLongestInfo && (n = ::read(fd, buffer, sizeof buffer)) > 0) {
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    const std::size_t first = text.find('\n');
    if (n < 0 || text.size() > kLongestInfo || first == std::string::npos) return {};
    const std::size_t second = text.find('\n', first + 1);
    if (second == std::string::npos || text.compare(0, first, address) != 0 || first != address.size()) return {};
    return text.substr(first + 1, second - first - 1);
}

// A header's value, when it is there and fit to be written on a line.
std::optional<std::string> Usable(const ResponseHeaders& headers, const char* name) {
    std::optional<std::string> value = headers.Get(name);
    if (!value || value->empty() || value->find_first_of("\r\n") != std::string::npos) return std::nullopt;
    return value;
}

// Which version of the picture a response is of: its ETag, or when it has
// none its Last-Modified; empty when it has neither.
std::string VersionOf(const ResponseHeaders& headers) {
    if (std::optional<std::string> etag = Usable(headers, "ETag")) return *etag;
    return Usable(headers, "Last-Modified").value_or(std::string());
}

// The validator a response carries for If-Range: its version, unless that is
// a weak ETag (a date is no stand-in for one: the HTTP rules forbid a date in
// If-Range when the server sends an entity tag). Empty when there is none.
std::string ValidatorOf(const ResponseHeaders& headers) {
    std::string version = VersionOf(headers);
    return version.starts_with("W/") ? std::string() : version;
}

}  // namespace

std::unique_ptr<KeptBody> KeptBody::Open(const KeptBodyFiles& files, const std::string& address) {
    // Never through a link: the body is ours, in the album's folder.
    // Without waiting either: a FIFO or a device there is no body of ours.
    const int fd = ::open(files.body.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY, 0666);
    if (fd < 0) return nullptr;
    struct stat status {};
    const int flags = ::fcntl(fd, F_GETFL);
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || flags < 0 ||
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return nullptr;
    }
    std::unique_ptr<KeptBody> kept(new KeptBody(files, address, fd));
    kept->validator_ = RecordedValidator(files.info, address);
    const off_t size = ::lseek(fd, 0, SEEK_END);
    if (!kept->validator_.empty() && size > 0) {
        kept->offset_ = size;
        kept->on_record_ = true;
    } else {
        kept->validator_.clear();
        kept->StartAfresh();
    }
    return kept;
}

KeptBody::KeptBody(KeptBodyFiles files, std::string address, int fd)
    : files_(std::move(files)), address_(std::move(address)), fd_(fd) {}

KeptBody::~KeptBody() { Close(); }

// Empties the body and takes its version off the record: until a new
// validator is written, it is a temporary file that an interrupt removes.
void KeptBody::StartAfresh() {
    if (!registered_) registered_ = RegisterTemporaryFile(files_.body);
    if (on_record_) {
        ::unlink(files_.info.c_str());
        on_record_ = false;
    }
    // Emptied before a new version goes on record, so that the record never
    // names bytes of another version.
    if (::ftruncate(fd_, 0) != 0 || ::lseek(fd_, 0, SEEK_SET) != 0) discarding_ = true;
    offset_ = 0;
}

bool KeptBody::WriteInfo(const std::string& validator) {
    if (address_.find_first_of("\r\n") != std::string::npos) return false;
    std::optional<SpoolFile> info = SpoolFile::Create(files_.info.parent_path(), ".info");
    const std::string text = address_ + "\n" + validator + "\n";
    if (!info || !info->Write(text.data(), text.size()) || !info->MoveTo(files_.info)) return false;
    ForgetTemporaryFile(files_.body);
    registered_ = false;
    on_record_ = true;
    return true;
}

bool KeptBody::Begin(long status, const ResponseHeaders& headers) {
    began_ = true;
    received_ = 0;
    if (status >= 300) {
        // An error page is nobody's picture; the kept bytes stay as they are,
        // unless the server says their range is not to be had (416).
        discarding_ = true;
        start_over_ = status == 416 && offset_ > 0;
        return true;
    }
    if (status == 206) {
        const std::optional<std::string> value = headers.Get("Content-Range");
        const std::optional<ContentRange> range = value ? ParseContentRange(*value) : std::nullopt;
        const bool to_the_end = range && range->end + 1 == range->total;
        if (offset_ == 0) {
            // Asked for the whole: a 206 that covers it is the whole body, as a
            // 200 would be; any other is no picture (the request fails).
            if (!to_the_end || range->start != 0) return false;
        } else if (!to_the_end || range->start != offset_ || VersionOf(headers) != validator_) {
            // Another range, or the rest of another version: never appended.
            start_over_ = true;
            return false;
        } else {
            appending_ = true;
            total_ = range->total;
            return true;
        }
    }
    // The whole body: the server ignored the range, or the picture changed.
    // (A 206 reaches here only when it holds the whole.)
    StartAfresh();
    if (const std::string validator = ValidatorOf(headers); !validator.empty()) WriteInfo(validator);
    return !discarding_;
}

bool KeptBody::Write(const char* data, std::size_t size) {
    received_ += static_cast<std::int64_t>(size);
    return discarding_ || (fd_ >= 0 && WriteAll(fd_, data, size));
}

bool KeptBody::MoveTo(const std::filesystem::path& target) {
    if (fd_ < 0) return false;
    const bool closed = ::close(std::exchange(fd_, -1)) == 0;
    if (!closed || !RenameTemporaryFile(files_.body, target)) {
        Drop();
        return false;
    }
    ::unlink(files_.info.c_str());
    on_record_ = false;
    registered_ = false;
    return true;
}

void KeptBody::Close() {
    if (fd_ < 0) return;
    ::close(std::exchange(fd_, -1));
    if (!on_record_) RemoveTemporaryFile(files_.body);
    registered_ = false;
}

void KeptBody::Drop() {
    if (fd_ >= 0) ::close(std::exchange(fd_, -1));
    RemoveTemporaryFile(files_.body);
    ::unlink(files_.info.c_str());
    on_record_ = false;
    registered_ = false;
}

}  // namespace gathrix::net::detail
