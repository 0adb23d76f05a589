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
#include <variant>
#include <vector>

#include "cli/cli_front_end.h"
#include "cli/exit_status.h"
#include "cli/failure_text.h"
#include "cli/options.h"
#include "cli/record_listing.h"
#include "cli/usage.h"
#include "download/cookie_store.h"
#include "download/download_command.h"
#include "download/flickr_api.h"
#include "download/settings.h"
#include "text/strings.h"
#include "text/utf8.h"
#include "update/update_check.h"
#include "update/version.h"

namespace {

using enum gathrix::ExitStatus;

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
    ::_exit(gathrix::kExitSignalBase + signal_number);
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

// What the Flickr API's albums of the run remember from one to the next (one
// run per process).
gathrix::FlickrApiMemory& FlickrApiOfTheRun() {
    static gathrix::FlickrApiMemory memory;
    return memory;
}

// The key (--flickr-api-key, else GATHRIX_FLICKR_API_KEY), the run's API
// memory and --write-metadata, put into settings.
void ApplyFlickrApiOptions(const gathrix::CliOptions& options, gathrix::Settings& settings) {
    if (options.flickr_api_key) settings.flickr_api_key = *options.flickr_api_key;
    settings.flickr_api = &FlickrApiOfTheRun();
    settings.write_metadata = settings.write_metadata || options.write_metadata;
}

// What an address asks of Flickr's API; FlickrApiForm::None without a key.
gathrix::FlickrApiTarget FlickrApiTargetOf(const std::string& address, const gathrix::CliOptions& options) {
    gathrix::Settings settings = gathrix::Settings::FromEnvironment();
    ApplyFlickrApiOptions(options, settings);
    if (settings.flickr_api_key.empty()) return {};
    return gathrix::ParseFlickrApiTarget(address);
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
    settings.update = settings.update || options.update;
    settings.verify = options.verify;
    settings.overwrite = options.overwrite;
    settings.remote_time = options.remote_time;
    settings.cookies = cookies;
    ApplyFlickrApiOptions(options, settings);
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

// The albums Flickr's API reads, among several: each in a folder "ID TITLE"
// below parent, found again by its ID in a later run (and then kept under the
// name it has); a user's album list given among other addresses in a folder
// named after USER as written, alone directly below base.
struct FlickrApiAlbums {
    const std::filesystem::path& base;
    const gathrix::CliOptions& options;
    gathrix::CookieStore* cookies;
    std::set<std::string>& used;        // folders below base of this run's albums
    std::set<std::string>& downloaded;  // SameAlbumKey of the albums done

    // The album id at address into a folder below parent (base when none):
    // the one an earlier run made for it, else "ID TITLE" (the title when
    // known, else learnt from the run, the folder then being renamed).
    int Album(const std::string& address, const std::string& id, const std::optional<std::string>& title,
              const std::optional<std::filesystem::path>& parent = std::nullopt) {
        namespace fs = std::filesystem;
        const fs::path under = parent.value_or(base);
        std::set<std::string> own_used;
        std::set<std::string>& taken = parent ? own_used : used;
        std::optional<std::string> folder =
            gathrix::FindFlickrAlbumFolder(under, id, [&taken](const std::string& name) { return !taken.contains(name); });
        const bool found = folder.has_value();
        if (!found) folder = Free(under, gathrix::FlickrAlbumFolderName(id, title.value_or("")), taken);
        if (const int error = MakeDirectory(under / *folder); error != 0) return FolderError(under / *folder, error);
        taken.insert(*folder);
        const int status = DownloadAlbum(address, under / *folder, options, cookies, true);
        downloaded.insert(SameAlbumKey(address));
        // A new folder named before the title was known gets it now.
        const auto learnt = FlickrApiOfTheRun().titles.find(id);
        if (!found && !title && learnt != FlickrApiOfTheRun().titles.end() && !learnt->second.empty()) {
            const std::string named = gathrix::FlickrAlbumFolderName(id, learnt->second);
            std::error_code ec;
            if (fs::symlink_status(under / named, ec).type() == fs::file_type::not_found) {
                fs::rename(under / *folder, under / named, ec);
                if (!ec) taken.insert(named);
            }
        }
        return status;
    }

    // Every album of the list at address, in the owner's order.
    int List(const std::string& address, const gathrix::FlickrApiTarget& target, bool among_several) {
        namespace fs = std::filesystem;
        fs::path parent = base;
        if (among_several) {
            const std::string folder = gathrix::AlbumFolderName("/" + target.user, [this](const std::string& name) {
                std::error_code ec;
                const fs::file_type type = fs::symlink_status(base / name, ec).type();
                return used.contains(name) || (type != fs::file_type::not_found && type != fs::file_type::directory);
            });
            if (const int error = MakeDirectory(base / folder); error != 0) return FolderError(base / folder, error);
            used.insert(folder);
            parent = base / folder;
        }
        downloaded.insert(SameAlbumKey(address));
        gathrix::CliFrontEnd front_end(stdout, stderr);
        if (options.quiet) front_end.Quiet();
        gathrix::Settings settings = gathrix::Settings::FromEnvironment();
        settings.retries = options.retries;
        if (options.timeout) settings.request_timeout = *options.timeout;
        settings.max_time = std::chrono::seconds(options.max_time);
        if (options.cacert) settings.ca_file = *options.cacert;
        settings.cookies = cookies;
        ApplyFlickrApiOptions(options, settings);
        const std::optional<std::vector<gathrix::FlickrApiAlbum>> albums =
            gathrix::ListFlickrApiAlbums(front_end, address, parent, settings);
        if (!albums) return kExitPageFailed;
        int worst = kExitCompleted;
        for (const gathrix::FlickrApiAlbum& album : *albums) {
            if (downloaded.contains(SameAlbumKey(album.address))) continue;
            worst = std::max(worst, Album(album.address, album.id, album.title,
                                          among_several ? std::optional<fs::path>(parent) : std::nullopt));
        }
        return worst;
    }

private:
    // name, or name-2, name-3, ... when taken by this run or by anything but a directory.
    static std::string Free(const std::filesystem::path& under, const std::string& name,
                            const std::set<std::string>& taken) {
        namespace fs = std::filesystem;
        const auto in_use = [&](const std::string& candidate) {
            std::error_code ec;
            const fs::file_type type = fs::symlink_status(under / candidate, ec).type();
            return taken.contains(candidate) || (type != fs::file_type::not_found && type != fs::file_type::directory);
        };
        if (!in_use(name)) return name;
        for (int n = 2;; ++n) {
            const std::string numbered = name + "-" + std::to_string(n);
            if (!in_use(numbered)) return numbered;
        }
    }

    static int FolderError(const std::filesystem::path& folder, int error) {
        std::error_code ec;
        std::fprintf(stderr, "gathrix-cli: cannot make or enter the folder '%s': %s\n",
                     gathrix::EscapeForTerminal(std::filesystem::absolute(folder, ec).lexically_normal().string()).c_str(),
                     std::strerror(error));
        return kExitNoFolder;
    }
};

// Several albums: each in a folder of its own below base. A folder an earlier
// run made for the album is used again, so that running a list twice fills
// the same folders; another album of this run, or anything but a directory
// (a file, a link, which is never followed), makes it "-2", "-3", ... An
// album this run has downloaded already is skipped (nothing fetched, no
// folder), and an address that is refused leaves no folder behind.
int DownloadAlbums(const std::vector<std::string>& addresses, const std::filesystem::path& base,
                   const gathrix::CliOptions& options, gathrix::CookieStore* cookies) {
    if (addresses.size() == 1 &&
        FlickrApiTargetOf(addresses.front(), options).form != gathrix::FlickrApiForm::AlbumList) {
        return DownloadAlbum(addresses.front(), base, options, cookies);
    }
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
        // Flickr's albums through the API have folders of their own making.
        if (const gathrix::FlickrApiTarget target = FlickrApiTargetOf(address, options);
            target.form == gathrix::FlickrApiForm::Album || target.form == gathrix::FlickrApiForm::AlbumList) {
            FlickrApiAlbums albums{base, options, cookies, used, downloaded};
            const int status = target.form == gathrix::FlickrApiForm::Album
                                   ? albums.Album(address, target.album_id, std::nullopt)
                                   : albums.List(address, target, addresses.size() > 1);
            worst = std::max(worst, status);
            continue;
        }
        const std::string folder = gathrix::AlbumFolderName(address, [&base, &used](const std::string& name) {
            std::error_code ec;
            const fs::file_type type = fs::symlink_status(base / name, ec).type();
            return used.contains(name) || (type != fs::file_type::not_found && type != fs::file_type::directory);
        });
        std::error_code ec;
        const bool existed = fs::symlink_status(base / folder, ec).type() != fs::file_type::not_found;
        const int error = MakeDirectory(base / folder);
        const bool made = !existed && error == 0;
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

// A regular file read whole, at most max bytes of it. Anything else is refused
// unopened: a pipe may never end, and a device is no file of settings.
struct FileRead {
    bool missing = false;  // there is nothing of that name
    int error = 0;         // the errno that stopped the reading, if any
    std::string reason;    // why it cannot be read; empty when it was
};

FileRead ReadRegularFile(const std::string& path, std::string& text, std::size_t max) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        const int error = errno;
        return {error == ENOENT, error, std::strerror(error)};
    }
    if (S_ISDIR(st.st_mode)) return {false, EISDIR, std::strerror(EISDIR)};
    if (!S_ISREG(st.st_mode)) return {false, 0, "not a regular file"};
    const int error = ReadWhole(path, text, max);
    return {false, error, error != 0 ? std::strerror(error) : ""};
}

// The options of the configuration file put before those of the command line,
// which therefore win. Returns false (having said why) when the file cannot
// be read or holds a bad line; a missing file is no configuration. Only a
// regular file of at most 1 MiB is read.
bool WithConfiguration(std::vector<std::string>& args) {
    const std::string path = gathrix::ConfigFilePath();
    if (path.empty()) return true;
    constexpr std::size_t kMaxConfigBytes = 1024 * 1024;
    std::string text;
    FileRead read = ReadRegularFile(path, text, kMaxConfigBytes);
    if (read.missing) return true;
    if (read.error == EFBIG) read.reason = "larger than 1 MiB";
    if (!read.reason.empty()) {
        std::fprintf(stderr, "gathrix-cli: cannot read the configuration file '%s': %s\n",
                     gathrix::EscapeForTerminal(path).c_str(), read.reason.c_str());
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

// The options of the command line and the configuration file, or the exit
// status of a usage error (told already).
std::variant<gathrix::CliOptions, int> OptionsOfTheRun(std::vector<std::string> args) {
    const gathrix::ParsedOptions command_line = gathrix::ParseCliOptions(args, false);
    if (!command_line.options) return UsageError(command_line.error);
    if (!command_line.options->no_config && !WithConfiguration(args)) return kExitUsage;
    gathrix::ParsedOptions parsed = gathrix::ParseCliOptions(args);
    if (!parsed.options) return UsageError(parsed.error);
    // Albums named on the command line replace the configuration's lists.
    if (!command_line.options->addresses.empty() || !command_line.options->input_files.empty()) {
        parsed.options->input_files = command_line.options->input_files;
    }
    return *parsed.options;
}

// The addresses of the arguments, then those of the lists, into addresses:
// kExitCompleted, or the exit status of a list that cannot be read or of no
// address at all (told already).
int AddressesOfTheRun(const gathrix::CliOptions& options, std::vector<std::string>& addresses) {
    addresses = options.addresses;
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
    return kExitCompleted;
}

// What must hold before any request: stdin read once at the most, a cookie
// jar that can be written and a certificate file that can be read.
// kExitCompleted, or kExitUsage once told why not.
int FilesOfTheRunUsable(const gathrix::CliOptions& options) {
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
        if (const FileRead read = ReadRegularFile(*options.cacert, pem, 64 * 1024 * 1024); !read.reason.empty()) {
            std::fprintf(stderr, "gathrix-cli: cannot read the certificate file '%s': %s\n",
                         gathrix::EscapeForTerminal(*options.cacert).c_str(), read.reason.c_str());
            return kExitUsage;
        }
    }
    return kExitCompleted;
}

// The cookies of every album of the run: the file's, and those the servers
// set; none without --cookies or --cookie-jar (only --cookie-jar writes them
// anywhere). The file is read once (it may be a pipe, or stdin for "-"), and
// at most 64 MiB of it. kExitCompleted, or kExitUsage once told why not.
int CookiesOfTheRun(const gathrix::CliOptions& options, std::unique_ptr<gathrix::CookieStore>& cookies) {
    if (options.cookies) {
        std::string text;
        if (const int error = ReadWhole(*options.cookies, text, 64 * 1024 * 1024); error != 0) {
            std::fprintf(stderr, "gathrix-cli: cannot read the cookie file '%s': %s\n",
                         gathrix::EscapeForTerminal(*options.cookies).c_str(), ReadFailure(error).c_str());
            return kExitUsage;
        }
        std::size_t cookie_lines = 0;
        cookies = gathrix::CookieStore::FromText(text, cookie_lines);
        if (cookies && cookie_lines == 0) {
            std::fprintf(stderr, "gathrix-cli: no cookies in '%s' (a cookie file is in the Netscape format)\n",
                         gathrix::EscapeForTerminal(*options.cookies).c_str());
        }
    } else if (options.jar) {
        cookies = gathrix::CookieStore::Empty();
    } else {
        return kExitCompleted;
    }
    if (!cookies) {
        std::fprintf(stderr, "gathrix-cli: cannot keep cookies: %s\n", std::strerror(ENOMEM));
        return kExitUsage;
    }
    return kExitCompleted;
}

// The directory the albums go below, into base: the current one, or -P's
// (made when missing). kExitCompleted, or kExitUsage once told why not.
int BaseOfTheRun(const gathrix::CliOptions& options, std::filesystem::path& base) {
    base = ".";
    if (!options.directory) return kExitCompleted;
    base = *options.directory;
    if (const int error = MakeDirectory(base); error != 0) {
        std::fprintf(stderr, "gathrix-cli: cannot make or enter the directory '%s': %s\n",
                     gathrix::EscapeForTerminal(*options.directory).c_str(), std::strerror(error));
        return kExitUsage;
    }
    return kExitCompleted;
}

// The run's cookies written to --cookie-jar's file: status, or kExitUsage
// when higher and the jar cannot be written (told why).
int SaveCookieJar(const gathrix::CliOptions& options, const gathrix::CookieStore& cookies, int status) {
    int error = 0;
    std::optional<std::string> refusal = JarRefusal(*options.jar);
    if (!refusal && !cookies.Save(*options.jar, error)) refusal = std::strerror(error);
    if (!refusal) return status;
    std::fprintf(stderr, "gathrix-cli: cannot write the cookie jar '%s': %s\n",
                 gathrix::EscapeForTerminal(*options.jar).c_str(), refusal->c_str());
    return std::max<int>(status, kExitUsage);
}

// The albums of the run downloaded, once everything they need is ready.
int Download(const gathrix::CliOptions& options) {
    std::vector<std::string> addresses;
    std::unique_ptr<gathrix::CookieStore> cookies;
    std::filesystem::path base;
    int status = AddressesOfTheRun(options, addresses);
    if (status == kExitCompleted) status = FilesOfTheRunUsable(options);
    if (status == kExitCompleted) status = CookiesOfTheRun(options, cookies);
    if (status == kExitCompleted) status = BaseOfTheRun(options, base);
    if (status != kExitCompleted) return status;
    CatchStopSignals();
    status = DownloadAlbums(addresses, base, options, cookies.get());
    return options.jar ? SaveCookieJar(options, *cookies, status) : status;
}

// --show-record [FOLDER]: the folder given, else the album folder below -P's
// directory or the current one.
int ShowRecordOf(const gathrix::CliOptions& options) {
    if (options.addresses.size() > 1) return UsageError("--show-record takes one folder");
    std::filesystem::path folder;
    if (!options.addresses.empty()) {
        folder = options.addresses.front();
    } else {
        folder = std::filesystem::path(options.directory.value_or(".")) / gathrix::kWorkingFolderName;
    }
    return gathrix::ShowRecord(folder, options.verify, stdout, stderr);
}

}  // namespace

int main(int argc, char** argv) {
    const std::variant<gathrix::CliOptions, int> run = OptionsOfTheRun({argv + 1, argv + argc});
    if (const int* status = std::get_if<int>(&run)) return *status;
    const gathrix::CliOptions& options = std::get<gathrix::CliOptions>(run);
    switch (options.action) {
        case gathrix::CliOptions::Action::Help:
            std::fputs(gathrix::kUsage, stdout);
            return kExitCompleted;
        case gathrix::CliOptions::Action::Version:
            std::printf("%s %s\n", gathrix::kProductName, gathrix::kProgramVersion);
            return kExitCompleted;
        case gathrix::CliOptions::Action::CheckUpdate:
            return CheckUpdate(options.quiet);
        case gathrix::CliOptions::Action::ShowRecord:
            return ShowRecordOf(options);
        case gathrix::CliOptions::Action::Download:
            break;
    }
    return Download(options);
}
