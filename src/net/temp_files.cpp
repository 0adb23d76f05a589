#include "net/temp_files.h"

#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

namespace gathrix::net {

namespace {

// A handful of slots is plenty: a run has at most a picture body and two pages
// in flight at once. Each slot is claimed and released with an atomic flag, so
// a signal handler never sees half a path.
struct Slot {
    std::atomic<int> state{0};  // 0 free, 1 being filled or emptied, 2 holds a path
    char path[PATH_MAX]{};
};
constexpr std::size_t kSlots = 64;
std::array<Slot, kSlots> g_slots;
static_assert(std::atomic<int>::is_always_lock_free);

// Holds off the signals that end a run while a file and its registration change
// together, so that a handler sees either both or neither.
class SignalBlock {
public:
    SignalBlock() {
        sigset_t stop;
        sigemptyset(&stop);
        for (int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGQUIT}) sigaddset(&stop, s);
        pthread_sigmask(SIG_BLOCK, &stop, &old_);
    }
    ~SignalBlock() { pthread_sigmask(SIG_SETMASK, &old_, nullptr); }
    SignalBlock(const SignalBlock&) = delete;
    SignalBlock& operator=(const SignalBlock&) = delete;

private:
    sigset_t old_;
};

bool Register(const std::string& path) {
    if (path.size() >= PATH_MAX) return false;
    for (Slot& slot : g_slots) {
        int expected = 0;
        if (slot.state.compare_exchange_strong(expected, 1)) {
            std::memcpy(slot.path, path.c_str(), path.size() + 1);
            slot.state.store(2);
            return true;
        }
    }
    return false;
}

void Forget(const std::string& path) {
    for (Slot& slot : g_slots) {
        int expected = 2;
        if (slot.state.load() == 2 && std::strcmp(slot.path, path.c_str()) == 0 &&
            slot.state.compare_exchange_strong(expected, 1)) {
            slot.path[0] = '\0';
            slot.state.store(0);
            return;
        }
    }
}

std::string RandomName(const std::string& suffix) {
    static constexpr char kAlphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    thread_local std::mt19937_64 random{std::random_device{}()};
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kAlphabet - 2);
    std::string name = ".gathrix-";
    for (int i = 0; i < 6; ++i) name += kAlphabet[pick(random)];
    return name + suffix;
}

}  // namespace

std::optional<NewTemporaryFile> CreateTemporaryFile(const std::filesystem::path& dir, const std::string& suffix) {
    std::error_code ec;
    const std::filesystem::path folder = std::filesystem::absolute(dir.empty() ? "." : dir, ec);
    if (ec) return std::nullopt;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::filesystem::path path = folder / RandomName(suffix);
        SignalBlock block;
        // Created like any other file (mode 0666 less the umask), so that the
        // picture it may become has the usual permissions.
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return std::nullopt;
        }
        if (!Register(path.string())) {
            ::close(fd);
            ::unlink(path.c_str());
            return std::nullopt;
        }
        return NewTemporaryFile{fd, std::move(path)};
    }
    return std::nullopt;
}

bool RenameTemporaryFile(const std::filesystem::path& path, const std::filesystem::path& target) {
    SignalBlock block;
    const bool ok = std::rename(path.c_str(), target.c_str()) == 0;
    if (ok) Forget(path.string());
    return ok;
}

bool RegisterTemporaryFile(const std::filesystem::path& path) {
    SignalBlock block;
    return Register(path.string());
}

void ForgetTemporaryFile(const std::filesystem::path& path) {
    SignalBlock block;
    Forget(path.string());
}

void RemoveTemporaryFile(const std::filesystem::path& path) {
    SignalBlock block;
    ::unlink(path.c_str());
    Forget(path.string());
}

void RemoveTemporaryFiles() noexcept {
    for (Slot& slot : g_slots) {
        if (slot.state.load() == 2) ::unlink(slot.path);
    }
}

}  // namespace gathrix::net
