// gathrix-cli: downloads one photo album into "AlbumDownload" below the current
// directory, writing the progress log to stdout.

#include <atomic>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <string_view>
#include <utility>

#include "cli/cli_front_end.h"
#include "download/download_command.h"
#include "download/settings.h"
#include "net/http.h"
#include "update/update_check.h"
#include "update/version.h"

namespace {

enum ExitStatus {
    kExitCompleted = 0,
    kExitUsage = 1,
    kExitInvalidUrl = 2,
    kExitRejected = 3,
};

constexpr const char* kUsage =
    "Usage: gathrix-cli ADDRESS\n"
    "       gathrix-cli --check-update | --version | --help\n"
    "\n"
    "Downloads the photo album at ADDRESS (Picasa Web Albums, Flickr photo set or\n"
    "Webshots album) into the folder \"AlbumDownload\" below the current directory.\n"
    "The progress log is written to stdout as it grows (CR LF line ends), followed\n"
    "by the number of files downloaded; errors go to stderr.\n"
    "\n"
    "Options:\n"
    "  --check-update  ask the maker's site whether a new version is published\n"
    "  --version       print the program's version\n"
    "  --help          print this text\n"
    "  --              the next argument is the address, even if it starts with '-'\n"
    "\n"
    "Exit status: 0 done, 1 usage error or blank address, 2 invalid address,\n"
    "3 address rejected (not an image set); --check-update: 1 when the page\n"
    "cannot be contacted.\n"
    "\n"
    "Environment: GATHRIX_REQUEST_TIMEOUT (seconds), GATHRIX_FLICKR_BASE_URL,\n"
    "GATHRIX_WEBSHOTS_THUMBNAIL_PREFIX, GATHRIX_WEBSHOTS_FULLSIZE_BASE,\n"
    "GATHRIX_MAKER_SITE_URL.\n";

// Ctrl-C (or SIGTERM) while a picture is coming in works like the window's Exit:
// the transfer is cancelled, so that its partial body is removed, and the
// program ends. At any other moment the signal ends the program as usual.
std::atomic<std::int64_t> g_last_pump_ms{-1};
static_assert(std::atomic<std::int64_t>::is_always_lock_free);
volatile std::sig_atomic_t g_stop_signal = 0;

std::int64_t MonotonicMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

extern "C" void OnStopSignal(int signal_number) {
    // The fetcher pumps at least every 20 ms while it waits for a picture.
    constexpr std::int64_t kWaiting = 200;
    const std::int64_t last = g_last_pump_ms.load();
    if (last >= 0 && MonotonicMs() - last < kWaiting) {
        g_stop_signal = signal_number;
        return;
    }
    std::signal(signal_number, SIG_DFL);
    std::raise(signal_number);
}

class InterruptibleFrontEnd : public gathrix::CliFrontEnd {
public:
    InterruptibleFrontEnd(std::string address, gathrix::net::Transfer& inet)
        : CliFrontEnd(std::move(address), stdout, stderr), inet_(inet) {}

    void PumpEvents() override {
        g_last_pump_ms.store(MonotonicMs());
        if (g_stop_signal != 0) Stop();
    }

    [[noreturn]] void Stop() {
        inet_.Cancel();
        EndLine();
        std::_Exit(128 + g_stop_signal);
    }

private:
    gathrix::net::Transfer& inet_;
};

int UsageError(const char* message) {
    std::fprintf(stderr, "gathrix-cli: %s\n%s", message, kUsage);
    return kExitUsage;
}

int DownloadAlbum(const std::string& address) {
    gathrix::net::Transfer inet;
    InterruptibleFrontEnd front_end(address, inet);
    const gathrix::Settings settings = gathrix::Settings::FromEnvironment();
    std::signal(SIGINT, OnStopSignal);
    std::signal(SIGTERM, OnStopSignal);
    const gathrix::DownloadOutcome outcome = gathrix::Dowload(front_end, inet, settings);
    if (g_stop_signal != 0) front_end.Stop();
    front_end.EndLine();
    switch (outcome) {
        case gathrix::DownloadOutcome::Completed:
            return kExitCompleted;
        case gathrix::DownloadOutcome::InvalidUrl:
            return kExitInvalidUrl;
        case gathrix::DownloadOutcome::Rejected:
            return kExitRejected;
        case gathrix::DownloadOutcome::EmptyAddress:
            break;
    }
    std::fputs("gathrix-cli: the album address is blank\n", stderr);
    return kExitUsage;
}

int CheckUpdate() {
    gathrix::CliFrontEnd front_end(std::string(), stdout, stderr);
    const bool contacted = gathrix::CheckForUpdate(front_end, gathrix::MakerSiteUrl());
    front_end.EndLine();
    return contacted ? kExitCompleted : kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--") == 0) return DownloadAlbum(argv[2]);
    if (argc != 2) return UsageError(argc < 2 ? "an album address is needed" : "too many arguments");

    const std::string_view argument = argv[1];
    if (argument == "--help" || argument == "-h") {
        std::fputs(kUsage, stdout);
        return kExitCompleted;
    }
    if (argument == "--version") {
        std::printf("%s %s\n", gathrix::kProductName, gathrix::kProgramVersion);
        return kExitCompleted;
    }
    if (argument == "--check-update") return CheckUpdate();
    if (argument.size() > 1 && argument.front() == '-') return UsageError("unknown option");
    return DownloadAlbum(std::string(argument));
}
