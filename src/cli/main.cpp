// gathrix-cli: downloads one photo album into "AlbumDownload" below the current
// directory, writing the progress log to stdout.

#include <signal.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "cli/cli_front_end.h"
#include "cli/options.h"
#include "download/download_command.h"
#include "download/settings.h"
#include "net/http.h"
#include "net/temp_files.h"
#include "update/update_check.h"
#include "update/version.h"

namespace {

enum ExitStatus {
    kExitCompleted = 0,
    kExitUsage = 1,
    kExitInvalidUrl = 2,
    kExitRejected = 3,
    kExitNoFolder = 6,
};

constexpr const char* kUsage =
    "Usage: gathrix-cli [--jobs N] ADDRESS\n"
    "       gathrix-cli --check-update | --version | --help\n"
    "\n"
    "Downloads the photo album at ADDRESS (Picasa Web Albums, Flickr photo set or\n"
    "Webshots album) into the folder \"AlbumDownload\" below the current directory.\n"
    "The progress log is written to stdout as it grows (CR LF line ends), followed\n"
    "by the number of files downloaded; errors go to stderr.\n"
    "\n"
    "Options:\n"
    "  -j, --jobs N    fetch up to N pictures at once (1 to 16; default 1, or\n"
    "                  GATHRIX_JOBS); the log and the files stay the same\n"
    "  --check-update  ask the maker's site whether a new version is published\n"
    "  --version       print the program's version\n"
    "  --help          print this text\n"
    "  --              the next argument is the address, even if it starts with '-'\n"
    "\n"
    "Exit status: 0 done, 1 usage error or blank address, 2 invalid address,\n"
    "3 address rejected (not an image set), 6 the folder AlbumDownload could not\n"
    "be made or entered; --check-update: 1 when the page cannot be contacted.\n"
    "Interrupted by a signal: 128 + the signal's number, with no temporary file left.\n"
    "\n"
    "Environment: GATHRIX_JOBS, GATHRIX_REQUEST_TIMEOUT (seconds), GATHRIX_FLICKR_BASE_URL,\n"
    "GATHRIX_WEBSHOTS_THUMBNAIL_PREFIX, GATHRIX_WEBSHOTS_FULLSIZE_BASE,\n"
    "GATHRIX_MAKER_SITE_URL.\n";

// Ctrl-C, SIGTERM, SIGHUP and a closed stdout (SIGPIPE) end the run at once, at
// any moment: the handler removes every temporary file (the body of the picture
// coming in, the saved page being read), closes the open log line and exits.
gathrix::CliFrontEnd* g_front_end = nullptr;

extern "C" void OnStopSignal(int signal_number) {
    gathrix::net::RemoveTemporaryFiles();
    if (signal_number != SIGPIPE && g_front_end != nullptr && g_front_end->LineOpen()) {
        const ssize_t ignored = ::write(STDOUT_FILENO, "\r\n", 2);
        (void)ignored;
    }
    ::_exit(128 + signal_number);
}

void CatchStopSignals() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) sigaddset(&action.sa_mask, s);
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) sigaction(s, &action, nullptr);
}

int UsageError(const char* message) {
    std::fprintf(stderr, "gathrix-cli: %s\n%s", message, kUsage);
    return kExitUsage;
}

int DownloadAlbum(const std::string& address, const gathrix::CliOptions& options) {
    gathrix::net::Transfer inet;
    gathrix::CliFrontEnd front_end(address, stdout, stderr);
    gathrix::Settings settings = gathrix::Settings::FromEnvironment();
    if (options.jobs) settings.jobs = *options.jobs;
    g_front_end = &front_end;
    CatchStopSignals();
    const gathrix::DownloadOutcome outcome = gathrix::Dowload(front_end, inet, settings);
    front_end.EndLine();
    switch (outcome) {
        case gathrix::DownloadOutcome::Completed:
            return kExitCompleted;
        case gathrix::DownloadOutcome::InvalidUrl:
            return kExitInvalidUrl;
        case gathrix::DownloadOutcome::Rejected:
            return kExitRejected;
        case gathrix::DownloadOutcome::NoFolder:
            return kExitNoFolder;
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
    const gathrix::ParsedOptions parsed = gathrix::ParseCliOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.options) return UsageError(parsed.error.c_str());
    const gathrix::CliOptions& options = *parsed.options;
    switch (options.action) {
        case gathrix::CliOptions::Action::Help:
            std::fputs(kUsage, stdout);
            return kExitCompleted;
        case gathrix::CliOptions::Action::Version:
            std::printf("%s %s\n", gathrix::kProductName, gathrix::kProgramVersion);
            return kExitCompleted;
        case gathrix::CliOptions::Action::CheckUpdate:
            return CheckUpdate();
        case gathrix::CliOptions::Action::Download:
            break;
    }
    return DownloadAlbum(options.addresses.front(), options);
}
