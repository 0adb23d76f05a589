// gathrix-cli: downloads one photo album into "AlbumDownload" below the current
// directory, writing the progress log to stdout.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli_front_end.h"
#include "cli/failure_text.h"
#include "cli/options.h"
#include "download/cookie_store.h"
#include "download/download_command.h"
#include "download/settings.h"
#include "text/strings.h"
#include "text/utf8.h"
#include "update/update_check.h"
#include "update/version.h"

namespace {

enum ExitStatus {
    kExitCompleted = 0,
    kExitUsage = 1,
    kExitInvalidUrl = 2,
    kExitRejected = 3,
    kExitPageFailed = 4,
    kExitPictureMissing = 5,
    kExitNoFolder = 6,
};

constexpr const char* kUsage =
    "Usage: gathrix-cli [OPTION]... ADDRESS...\n"
    "       gathrix-cli [OPTION]... -i FILE\n"
    "       gathrix-cli --check-update | --version | --help\n"
    "\n"
    "Downloads the photo album at ADDRESS (Picasa Web Albums, Flickr photo set or\n"
    "Webshots album) into the folder \"AlbumDownload\" below the current directory.\n"
    "A Flickr set's address is .../photos/USER/albums/ID, or the older\n"
    ".../photos/USER/sets/ID; a query or fragment after it is ignored, and a\n"
    "photo of it (.../albums/ID/with/PHOTO, .../PHOTO/in/album-ID) stands for it.\n"
    "Blanks and letters beyond ASCII in an address are sent percent-encoded.\n"
    "The progress log is written to stdout as it grows (CR LF line ends), followed\n"
    "by the number of files downloaded. Each album page that could not be\n"
    "downloaded and each picture that is missing in the end is reported on stderr\n"
    "with the reason, and an album whose pages list no picture at all is named\n"
    "there too. Addresses and names on stderr show control characters and\n"
    "invalid UTF-8 as \\xNN. Pictures of one name at different addresses are\n"
    "stored as NAME.EXT, NAME-2.EXT, NAME-3.EXT, ... in album order, failed\n"
    "pictures included, so that a re-run finds each under the same name. Several\n"
    "albums are downloaded one after another, each in a folder of its own named\n"
    "after the album; a folder of that name from an earlier run is used again\n"
    "(\"-2\", \"-3\", ... for another album of the same run, or when a file or a\n"
    "link is in the way). An address given again (but for a trailing \"/\", a\n"
    "fragment or the scheme's case) is skipped, and an invalid or rejected one\n"
    "is named on stderr; neither leaves a folder. A picture or page that cannot\n"
    "be written is reported with the path and the system's reason.\n"
    "\n"
    "Options:\n"
    "  -j, --jobs N          fetch up to N pictures at once (1 to 16; default 1, or\n"
    "                        GATHRIX_JOBS); the log and the files stay the same\n"
    "      --retries N       send a request that failed with a connection error, a\n"
    "                        time-out or status 408, 429, 500, 502, 503 or 504 again,\n"
    "                        up to N times, after 1 s, 2 s, 4 s, ... (default 0);\n"
    "                        each retry is told on stderr\n"
    "      --timeout SECONDS a request fails when nothing has arrived for SECONDS,\n"
    "                        connecting included (1 to 86400, a fraction such as\n"
    "                        2.5 too; default 60, or GATHRIX_REQUEST_TIMEOUT)\n"
    "      --max-time SECONDS a request fails when it takes longer than SECONDS in\n"
    "                        all, however steadily it arrives (default: no cap);\n"
    "                        retried like a time-out\n"
    "      --limit-rate RATE receive at most RATE bytes a second, all transfers\n"
    "                        together; k, m or g after it: 1024, 1024^2, 1024^3;\n"
    "                        0: no limit (the default)\n"
    "      --wait SECONDS    pause SECONDS between the end of one picture request and\n"
    "                        the start of the next; with -j, they start at least\n"
    "                        SECONDS apart (default 0; a fraction such as 1.5 too)\n"
    "  -i, --input-file FILE read album addresses from FILE, one a line (\"-\": stdin;\n"
    "                        blank lines and lines starting with \"#\" are skipped)\n"
    "  -P, --directory DIR   start in DIR (made when missing), not the current directory\n"
    "      --no-progress     no progress display on stderr (shown only on a terminal)\n"
    "  -q, --quiet           no log on stdout and no progress display; the lines on\n"
    "                        stderr and the exit status stay the same\n"
    "  -nc, --skip-existing  do not fetch a picture whose file is already in the\n"
    "                        folder (and big enough for the service's size check):\n"
    "                        \"already here.\" in the log, counted as downloaded\n"
    "  -c, --continue        as --skip-existing, and keep a picture that was cut off\n"
    "                        (interrupted, stalled, connection lost) in a hidden\n"
    "                        file .gathrix-partial-NAME, so that the next run with\n"
    "                        --continue asks the server only for the rest\n"
    "      --no-skip-existing, --no-continue  undo the configuration file's\n"
    "                        skip-existing or continue\n"
    "      --no-config       do not read the configuration file (below)\n"
    "  -R, --remote-time     give each stored picture the time of the server's\n"
    "                        Last-Modified header (without one: the time it came)\n"
    "      --cookies FILE    send the cookies in FILE (Netscape format, as browsers'\n"
    "                        cookie exporters write it) with every request they fit\n"
    "                        (domain, path, secure, expiry), and those the servers\n"
    "                        set during the run as well; FILE is only read, once\n"
    "                        (a pipe will do; \"-\": stdin). At most 180 cookies of a\n"
    "                        domain are kept (past that, its newest 120), 3300 in all\n"
    "      --cookie-jar FILE write the run's cookies to FILE when it ends (readable by\n"
    "                        you only; a new file renamed over it, so FILE must be a\n"
    "                        regular file or missing, never a link); without it no\n"
    "                        cookie is written anywhere\n"
    "      --cacert FILE     trust the certificate authorities in FILE (PEM) for\n"
    "                        https, such as a home server's own\n"
    "      --check-update    ask the maker's site whether a new version is published\n"
    "      --version         print the program's version\n"
    "  -h, --help            print this text\n"
    "      --                the next arguments are addresses, even if they start with '-'\n"
    "\n"
    "A long option may be shortened to any prefix that names only it (--job 4,\n"
    "--dir=DIR); an unknown one close to a known one names it (\"did you mean\").\n"
    "A usage error is one line on stderr that names the argument,\n"
    "and a line pointing to --help; a list or a directory that cannot be read\n"
    "or made, and a cookie file that cannot be read or a cookie jar that cannot\n"
    "be written, is named with the system's reason.\n"
    "\n"
    "Exit status: 0 every album page read and no picture missing; 1 usage error or\n"
    "blank address, a cookie file that cannot be read (before any request) or a\n"
    "cookie jar that cannot be written; 2 invalid address; 3 address rejected (not\n"
    "an image set); 4 an album page could not be downloaded; 5 a picture is\n"
    "missing; 6 the folder AlbumDownload could not be made or entered, or takes\n"
    "no page. With several albums, or a cookie jar that cannot be written, the\n"
    "highest.\n"
    "--check-update: 1 when the page cannot be contacted or holds no version\n"
    "(versions are compared number by number). Interrupted by a signal:\n"
    "128 + the signal's number, with no temporary file left (with --continue, the\n"
    "pictures cut off stay hidden for the next run).\n"
    "\n"
    "Configuration file: $XDG_CONFIG_HOME/gathrix/gathrix-cli.conf (default\n"
    "~/.config/gathrix/gathrix-cli.conf): long options, one a line, as \"jobs 4\",\n"
    "\"jobs = 4\" or \"--skip-existing\"; \"#\" starts a comment (at the start or after a\n"
    "blank); \"~/\" at the start of a value is your home folder. Options on the command\n"
    "line win; a bad line is named with its line number and stops the run, as\n"
    "does a file that is not a regular file or is larger than 1 MiB.\n"
    "\n"
    "Environment: GATHRIX_JOBS, GATHRIX_REQUEST_TIMEOUT (seconds), GATHRIX_SKIP_EXISTING=1\n"
    "(as --skip-existing, also for the window), GATHRIX_FLICKR_BASE_URL,\n"
    "GATHRIX_WEBSHOTS_THUMBNAIL_PREFIX, GATHRIX_WEBSHOTS_FULLSIZE_BASE,\n"
    "GATHRIX_MAKER_SITE_URL. A proxy is taken from http_proxy (for http addresses)\n"
    "and https_proxy (for https), as http://HOST:PORT; no_proxy lists the hosts\n"
    "reached without it (comma-separated, \"*\" for all).\n";

// Ctrl-C, SIGTERM, SIGHUP and a closed stdout (SIGPIPE) end the run at once, at
// any moment: the handler removes every temporary file (the body of the picture
// coming in, the saved page being read), closes the open log line and exits.
gathrix::CliFrontEnd* g_front_end = nullptr;

extern "C" void OnStopSignal(int signal_number) {
    gathrix::RemovePartialFiles();
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

// How long a named pipe may stay without a writer.
constexpr int kPipeWriterWaitMs = 10000;

// The whole of a file, or of stdin for "-", read once: 0, or the errno that
// stopped it (EFBIG past max bytes; ETIMEDOUT for a named pipe that nothing
// was written to within kPipeWriterWaitMs).
int ReadWhole(const std::string& name, std::string& text, std::size_t max = std::string::npos) {
    // Opening a named pipe without O_NONBLOCK would wait for a writer for ever.
    const int fd = name == "-" ? STDIN_FILENO : ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return errno;
    struct stat st {};
    int error = ::fstat(fd, &st) != 0 ? errno : S_ISDIR(st.st_mode) ? EISDIR : 0;
    if (error == 0 && fd != STDIN_FILENO && S_ISFIFO(st.st_mode)) {
        // Until something comes (or its writer closes it), then read to the end.
        pollfd wait_for{fd, POLLIN, 0};
        int ready = 0;
        while ((ready = ::poll(&wait_for, 1, kPipeWriterWaitMs)) < 0 && errno == EINTR) {
        }
        if (ready == 0) error = ETIMEDOUT;
        if (ready < 0) error = errno;
    }
    // Blocking again, for a pipe whose writer is still at work.
    if (error == 0 && fd != STDIN_FILENO) error = ::fcntl(fd, F_SETFL, 0) != 0 ? errno : 0;
    char buffer[65536];
    while (error == 0) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) error = errno;
        if (n <= 0) break;
        if (text.size() + static_cast<std::size_t>(n) > max) error = EFBIG;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    if (fd != STDIN_FILENO) ::close(fd);
    return error;
}

// The words for what stopped ReadWhole.
std::string ReadFailure(int error) {
    if (error == ETIMEDOUT) return "nothing was written to the pipe within 10 s";
    return std::strerror(error);
}

// Why the cookie jar cannot be written at path, or nothing: it is written
// as a new file put in place of what is there, which must be a regular file
// (never a link, which would be replaced rather than followed) or nothing.
std::optional<std::string> JarRefusal(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return std::nullopt;
    if (S_ISLNK(st.st_mode)) return "it is a symbolic link";
    if (S_ISDIR(st.st_mode)) return std::strerror(EISDIR);
    if (!S_ISREG(st.st_mode)) return "it is not a regular file";
    return std::nullopt;
}

// message quotes arguments as the user gave them, so it is escaped for the
// terminal. The whole usage text is for --help; here it would push the one
// line that matters off the screen.
int UsageError(const std::string& message) {
    std::fprintf(stderr, "gathrix-cli: %s\nTry 'gathrix-cli --help' for more information.\n",
                 gathrix::EscapeForTerminal(message).c_str());
    return kExitUsage;
}

// Whether two descriptors are the same terminal (stdout and stderr in an
// interactive shell).
bool SameTerminal(int a, int b) {
    struct stat sa {};
    struct stat sb {};
    return ::isatty(a) == 1 && ::isatty(b) == 1 && ::fstat(a, &sa) == 0 && ::fstat(b, &sb) == 0 &&
           sa.st_rdev == sb.st_rdev;
}

// One album into base/AlbumDownload, with the run's cookies (nullptr: none).
// One of several has its address named in its error messages. A blank address
// is refused before anything is made.
int DownloadAlbum(const std::string& address, const std::filesystem::path& base, const gathrix::CliOptions& options,
                  gathrix::CookieStore* cookies, bool one_of_several = false) {
    if (gathrix::TrimBlanks(address).empty()) {
        std::fputs("gathrix-cli: the album address is blank\n", stderr);
        return kExitUsage;
    }
    gathrix::CliFrontEnd front_end(stdout, stderr);
    if (options.quiet) front_end.Quiet();
    if (one_of_several) front_end.NameAlbum(address);
    front_end.EnableProgress(options.progress && !options.quiet && ::isatty(STDERR_FILENO) == 1,
                             SameTerminal(STDOUT_FILENO, STDERR_FILENO));
    gathrix::Settings settings = gathrix::Settings::FromEnvironment();
    if (settings.rejected_jobs) std::fputs(gathrix::RejectedJobsText(*settings.rejected_jobs).c_str(), stderr);
    if (options.jobs) settings.jobs = *options.jobs;
    settings.retries = options.retries;
    if (options.timeout) settings.request_timeout = *options.timeout;
    settings.max_time = std::chrono::seconds(options.max_time);
    settings.rate_limit = options.limit_rate;
    settings.picture_wait = options.wait;
    if (options.cacert) settings.ca_file = *options.cacert;
    settings.skip_existing = settings.skip_existing || options.skip_existing;
    settings.resume = options.resume;
    settings.remote_time = options.remote_time;
    settings.cookies = cookies;
    g_front_end = &front_end;
    const gathrix::DownloadOutcome outcome =
        gathrix::RunDownload(front_end, address, base / gathrix::kWorkingFolderName, settings);
    front_end.ClearProgress();
    front_end.EndLine();
    g_front_end = nullptr;
    switch (outcome) {
        case gathrix::DownloadOutcome::Completed:
            if (front_end.FolderFailures() > 0) return kExitNoFolder;
            if (front_end.PageFailures() > 0) return kExitPageFailed;
            return front_end.MissingPictures() > 0 ? kExitPictureMissing : kExitCompleted;
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

// Makes path and the directories above it when missing: 0 once it is a
// directory the program can go into, or the errno that says why not.
int MakeDirectory(const std::filesystem::path& path) {
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return ec ? ec.value() : errno;
    if (!S_ISDIR(st.st_mode)) return ENOTDIR;
    return ::access(path.c_str(), X_OK) == 0 ? 0 : errno;
}

// An album address as the run compares it with those it has downloaded:
// without a fragment and a trailing "/", its scheme in small letters.
std::string SameAlbumKey(std::string address) {
    address = std::string(gathrix::TrimBlanks(address));
    address.erase(std::min(address.find('#'), address.size()));
    if (address.ends_with('/')) address.pop_back();
    const std::size_t scheme_end = address.find("://");
    if (scheme_end != std::string::npos) {
        std::transform(address.begin(), address.begin() + static_cast<std::ptrdiff_t>(scheme_end), address.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    }
    return address;
}

// Several albums: each in a folder of its own below base. A folder an earlier
// run made for the album is used again, so that running a list twice fills
// the same folders; another album of this run, or anything but a directory
// (a file, a link, which is never followed), makes it "-2", "-3", ... An
// album this run has downloaded already is skipped (nothing fetched, no
// folder), and an address that is refused leaves no folder behind.
int DownloadAlbums(const std::vector<std::string>& addresses, const std::filesystem::path& base,
                   const gathrix::CliOptions& options, gathrix::CookieStore* cookies) {
    if (addresses.size() == 1) return DownloadAlbum(addresses.front(), base, options, cookies);
    namespace fs = std::filesystem;
    int worst = kExitCompleted;
    std::set<std::string> used;
    std::set<std::string> downloaded;
    for (const std::string& address : addresses) {
        if (downloaded.contains(SameAlbumKey(address))) {
            std::fprintf(stderr, "gathrix-cli: %s: downloaded already in this run, skipped\n",
                         gathrix::EscapeForTerminal(address).c_str());
            continue;
        }
        const std::string folder = gathrix::AlbumFolderName(address, [&base, &used](const std::string& name) {
            std::error_code ec;
            const fs::file_type type = fs::symlink_status(base / name, ec).type();
            return used.contains(name) || (type != fs::file_type::not_found && type != fs::file_type::directory);
        });
        std::error_code ec;
        const bool made = fs::create_directory(base / folder, ec);
        const int error = MakeDirectory(base / folder);
        int status = kExitNoFolder;
        if (error == 0) {
            status = DownloadAlbum(address, base / folder, options, cookies, true);
        } else {
            std::fprintf(stderr, "gathrix-cli: the folder %s could not be made or entered\n",
                         gathrix::EscapeForTerminal(folder).c_str());
            std::fprintf(
                stderr, "gathrix-cli: cannot make or enter the folder '%s': %s\n",
                gathrix::EscapeForTerminal(fs::absolute(base / folder, ec).lexically_normal().string()).c_str(),
                std::strerror(error));
        }
        if (status == kExitUsage || status == kExitInvalidUrl || status == kExitRejected) {
            if (made) fs::remove(base / folder, ec);  // only when still empty
        } else {
            used.insert(folder);
            // Downloaded, whatever became of its pages and pictures.
            if (status != kExitNoFolder) downloaded.insert(SameAlbumKey(address));
        }
        worst = std::max(worst, status);
    }
    return worst;
}

int CheckUpdate(bool quiet) {
    gathrix::CliFrontEnd front_end(stdout, stderr);
    if (quiet) front_end.Quiet();
    const bool contacted = gathrix::CheckForUpdate(front_end, gathrix::MakerSiteUrl());
    front_end.EndLine();
    return contacted ? kExitCompleted : kExitUsage;
}

}  // namespace

// The options of the configuration file put before those of the command line,
// which therefore win. Returns false (having said why) when the file cannot
// be read or holds a bad line; a missing file is no configuration. Only a
// regular file of at most 1 MiB is read: never a pipe, which may never end,
// nor a device.
bool WithConfiguration(std::vector<std::string>& args) {
    const std::string path = gathrix::ConfigFilePath();
    if (path.empty()) return true;
    constexpr std::size_t kMaxConfigBytes = 1024 * 1024;
    std::string text;
    std::string reason;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        if (errno == ENOENT) return true;
        reason = std::strerror(errno);
    } else if (!S_ISREG(st.st_mode)) {
        reason = S_ISDIR(st.st_mode) ? std::strerror(EISDIR) : "not a regular file";
    } else if (const int error = ReadWhole(path, text, kMaxConfigBytes); error == EFBIG) {
        reason = "larger than 1 MiB";
    } else if (error != 0) {
        reason = std::strerror(error);
    }
    if (!reason.empty()) {
        std::fprintf(stderr, "gathrix-cli: cannot read the configuration file '%s': %s\n",
                     gathrix::EscapeForTerminal(path).c_str(), reason.c_str());
        return false;
    }
    const gathrix::ConfigArguments config = gathrix::ArgumentsFromConfig(text, path);
    if (!config.error.empty()) {
        std::fprintf(stderr, "gathrix-cli: %s\n", gathrix::EscapeForTerminal(config.error).c_str());
        return false;
    }
    args.insert(args.begin(), config.args.begin(), config.args.end());
    return true;
}

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    const gathrix::ParsedOptions command_line = gathrix::ParseCliOptions(args, false);
    if (!command_line.options) return UsageError(command_line.error);
    if (!command_line.options->no_config && !WithConfiguration(args)) return kExitUsage;
    gathrix::ParsedOptions parsed = gathrix::ParseCliOptions(args);
    if (!parsed.options) return UsageError(parsed.error);
    // Albums named on the command line replace the configuration's lists.
    if (!command_line.options->addresses.empty() || !command_line.options->input_files.empty()) {
        parsed.options->input_files = command_line.options->input_files;
    }
    const gathrix::CliOptions& options = *parsed.options;
    switch (options.action) {
        case gathrix::CliOptions::Action::Help:
            std::fputs(kUsage, stdout);
            return kExitCompleted;
        case gathrix::CliOptions::Action::Version:
            std::printf("%s %s\n", gathrix::kProductName, gathrix::kProgramVersion);
            return kExitCompleted;
        case gathrix::CliOptions::Action::CheckUpdate:
            return CheckUpdate(options.quiet);
        case gathrix::CliOptions::Action::Download:
            break;
    }

    std::vector<std::string> addresses = options.addresses;
    for (const std::string& file : options.input_files) {
        std::string text;
        if (const int error = ReadWhole(file, text); error != 0) {
            std::fprintf(stderr, "gathrix-cli: cannot read the address list '%s': %s\n",
                         gathrix::EscapeForTerminal(file).c_str(), ReadFailure(error).c_str());
            return kExitUsage;
        }
        const std::vector<std::string> listed = gathrix::AddressesFromList(text);
        addresses.insert(addresses.end(), listed.begin(), listed.end());
    }
    if (addresses.empty()) return UsageError("the address list holds no address");

    // The cookies of every album of the run: the file's, and those the servers
    // set. Only --cookie-jar writes them anywhere. The file is read once (it
    // may be a pipe, or stdin for "-"), and at most 64 MiB of it.
    if (options.cookies && *options.cookies == "-" &&
        std::find(options.input_files.begin(), options.input_files.end(), "-") != options.input_files.end()) {
        return UsageError("stdin cannot be both the address list and the cookie file");
    }
    if (options.jar) {
        if (const std::optional<std::string> refusal = JarRefusal(*options.jar)) {
            std::fprintf(stderr, "gathrix-cli: cannot write the cookie jar '%s': %s\n",
                         gathrix::EscapeForTerminal(*options.jar).c_str(), refusal->c_str());
            return kExitUsage;
        }
    }
    if (options.cacert) {
        // libcurl reads it at every connection: a regular file, tried before
        // any request so that a wrong name is told at once.
        std::string pem;
        struct stat st {};
        std::string reason;
        if (::stat(options.cacert->c_str(), &st) != 0) {
            reason = std::strerror(errno);
        } else if (!S_ISREG(st.st_mode)) {
            reason = S_ISDIR(st.st_mode) ? std::strerror(EISDIR) : "not a regular file";
        } else if (const int error = ReadWhole(*options.cacert, pem, 64 * 1024 * 1024); error != 0) {
            reason = std::strerror(error);
        }
        if (!reason.empty()) {
            std::fprintf(stderr, "gathrix-cli: cannot read the certificate file '%s': %s\n",
                         gathrix::EscapeForTerminal(*options.cacert).c_str(), reason.c_str());
            return kExitUsage;
        }
    }
    std::unique_ptr<gathrix::CookieStore> cookies;
    if (options.cookies) {
        std::string text;
        if (const int error = ReadWhole(*options.cookies, text, 64 * 1024 * 1024); error != 0) {
            std::fprintf(stderr, "gathrix-cli: cannot read the cookie file '%s': %s\n",
                         gathrix::EscapeForTerminal(*options.cookies).c_str(), ReadFailure(error).c_str());
            return kExitUsage;
        }
        std::size_t cookie_lines = 0;
        cookies = gathrix::CookieStore::FromText(text, cookie_lines);
        if (!cookies) {
            std::fprintf(stderr, "gathrix-cli: cannot keep cookies: %s\n", std::strerror(ENOMEM));
            return kExitUsage;
        }
        if (cookie_lines == 0) {
            std::fprintf(stderr, "gathrix-cli: no cookies in '%s' (a cookie file is in the Netscape format)\n",
                         gathrix::EscapeForTerminal(*options.cookies).c_str());
        }
    } else if (options.jar) {
        cookies = gathrix::CookieStore::Empty();
        if (!cookies) {
            std::fprintf(stderr, "gathrix-cli: cannot keep cookies: %s\n", std::strerror(ENOMEM));
            return kExitUsage;
        }
    }

    // The directory the albums go below: the current one, or -P's (made when missing).
    std::filesystem::path base = ".";
    if (options.directory) {
        base = *options.directory;
        if (const int error = MakeDirectory(base); error != 0) {
            std::fprintf(stderr, "gathrix-cli: cannot make or enter the directory '%s': %s\n",
                         gathrix::EscapeForTerminal(*options.directory).c_str(), std::strerror(error));
            return kExitUsage;
        }
    }
    CatchStopSignals();
    int status = DownloadAlbums(addresses, base, options, cookies.get());
    if (options.jar) {
        int error = 0;
        std::optional<std::string> refusal = JarRefusal(*options.jar);
        if (!refusal && !cookies->Save(*options.jar, error)) refusal = std::strerror(error);
        if (refusal) {
            std::fprintf(stderr, "gathrix-cli: cannot write the cookie jar '%s': %s\n",
                         gathrix::EscapeForTerminal(*options.jar).c_str(), refusal->c_str());
            status = std::max<int>(status, kExitUsage);
        }
    }
    return status;
}
