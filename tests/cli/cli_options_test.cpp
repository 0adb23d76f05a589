// gathrix-cli's options, one row per case: the arguments, what the server
// serves, the exit status, the failures on stderr and the files left behind.
// Plus the progress display, which needs a terminal.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <ostream>
#include <regex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "cli/child_process.h"
#include "cli/exit_status.h"
#include "download/folder_record.h"
#include "support/album_pages.h"
#include "support/fake_server.h"

extern char** environ;

namespace gathrix::test {
namespace {

namespace fs = std::filesystem;

// An album at /picasaweb.google.com/<user>/<name> listing the given picture
// paths of the server; returns its address.
std::string Album(FakeServer& s, const std::string& user, const std::string& name,
                  const std::vector<std::string>& pictures) {
    std::vector<std::string> addresses;
    for (const std::string& p : pictures) addresses.push_back(s.Url(p));
    const std::string path = "/picasaweb.google.com/" + user + "/" + name;
    s.Serve(path, PicasaPage(addresses));
    return s.Url(path);
}

std::string Times(int n, const std::string& text) {
    std::string out;
    for (int i = 0; i < n; ++i) out += text;
    return out;
}

// A page at /picasaweb.google.com/u/Private listing the pictures, that sets
// the cookie "fresh=new"; returns its address.
std::string CookieAlbum(FakeServer& s, const std::vector<std::string>& pictures) {
    std::vector<std::string> addresses;
    for (const std::string& p : pictures) addresses.push_back(s.Url(p));
    s.ServeWithHeaders("/picasaweb.google.com/u/Private", PicasaPage(addresses), {{"Set-Cookie", "fresh=new; Path=/"}});
    return s.Url("/picasaweb.google.com/u/Private");
}

// What a browser's exporter writes: cookies for every path of the test's
// host, one only below /p/, one that expired in 2001, one of another host.
// (Loopback counts as secure, so a cookie for https only goes there too: the
// proxy test tries those on a host of another name.)
const std::string kCookieFile =
    "# Netscape HTTP Cookie File\n"
    "\n"
    "127.0.0.1\tFALSE\t/\tFALSE\t0\tsid\tabc\n"
    "#HttpOnly_127.0.0.1\tFALSE\t/\tFALSE\t0\tho\t1\n"
    "127.0.0.1\tFALSE\t/p/\tFALSE\t0\tpics\t2\n"
    "127.0.0.1\tFALSE\t/\tFALSE\t1000000000\told\t4\n"
    "other.example\tFALSE\t/\tFALSE\t0\telse\t5\n";

// The regular files below dir, relative to it, in order.
std::vector<std::string> FilesBelow(const std::string& dir) {
    std::vector<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        if (entry.is_regular_file()) files.push_back(fs::relative(entry.path(), dir).string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

// The lines of a cookie jar that hold cookies, in order.
std::vector<std::string> JarCookies(const std::string& path) {
    std::vector<std::string> lines;
    const std::string text = ReadFile(path);
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        const std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!line.empty() && (line[0] != '#' || line.starts_with("#HttpOnly_"))) lines.push_back(line);
        if (end == std::string::npos) break;
        start = end + 1;
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

std::time_t ModifiedAt(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_mtime : -1;
}

// Pictures with a Last-Modified date, without one and with one that is not a
// date.
std::string DatedAlbum(FakeServer& s) {
    s.ServeWithHeaders("/p/dated.jpg", "d", {{"Last-Modified", "Wed, 21 Oct 2015 07:28:00 GMT"}});
    s.Serve("/p/undated.jpg", "u");
    s.ServeWithHeaders("/p/baddate.jpg", "b", {{"Last-Modified", "soon\x1B[2J"}});
    return Album(s, "u", "Dated", {"/p/dated.jpg", "/p/undated.jpg", "/p/baddate.jpg"});
}

// A configuration file holding text; returns the arguments of a run of an
// album of a.jpg.
std::vector<std::string> WithConfig(FakeServer& s, const std::string& start, const std::string& text) {
    s.Serve("/p/a.jpg", "a");
    fs::create_directories(start + "/config/gathrix");
    WriteFile(start + "/config/gathrix/gathrix-cli.conf", text);
    return {Album(s, "u", "Summer", {"/p/a.jpg"})};
}

// A picture already in the folder, for the options that keep it.
void KeptPicture(const std::string& start) {
    fs::create_directories(start + "/AlbumDownload");
    WriteFile(start + "/AlbumDownload/a.jpg", "kept");
}

// Whether the picture's time is that of its storing, this minute.
bool StoredJustNow(const std::string& path) { return std::abs(std::time(nullptr) - ModifiedAt(path)) < 60; }

// An album of busy.jpg, which answers 429 with Retry-After: after once; the
// arguments of a run over it with options.
std::vector<std::string> Throttled(FakeServer& s, const std::string& after, std::vector<std::string> options) {
    s.ServeFlaky("/p/busy.jpg", "late", 1, 429, {{"Retry-After", after}});
    options.push_back(Album(s, "u", "Summer", {"/p/busy.jpg"}));
    return options;
}

const std::string kSummerSummary = "gathrix-cli: http://H/picasaweb.google.com/u/Summer: 1 new, 1 already here\n";

struct OptionsRow {
    const char* name;
    // Serves what the case needs; returns the arguments after the program name.
    std::function<std::vector<std::string>(FakeServer&, const std::string& start)> setup;
    int exit_code;
    std::string err;                                     // local addresses written http://H
    std::vector<std::string> files;                      // below the starting directory, each must exist
    std::vector<std::pair<std::string, int>> hits = {};  // requests a path must have seen
    std::optional<std::string> out = std::nullopt;       // stdout, where the row says
    // Further checks of what the server saw and the files, where the row needs them.
    std::function<void(const FakeServer&, const std::string& start)> check = nullptr;
};

// A row is shown by its name; printed byte for byte, its padding would be read
// uninitialised.
void PrintTo(const OptionsRow& row, std::ostream* os) { *os << row.name; }

// clang-format off
const OptionsRow kRows[] = {
    {"SeveralAlbumsEachInAFolderOfItsOwn",
     [](FakeServer& s, const std::string&) {
         s.Serve("/p/a.jpg", "a");
         s.Serve("/p/b.jpg", "b");
         return std::vector<std::string>{Album(s, "u", "Summer", {"/p/a.jpg"}), Album(s, "v", "Summer", {"/p/b.jpg"}),
                                         Album(s, "u", "Winter?authkey=1", {"/p/b.jpg"})};
     },
     kExitCompleted, "", {"Summer/AlbumDownload/a.jpg", "Summer-2/AlbumDownload/b.jpg", "Winter/AlbumDownload/b.jpg"}},
    {"AddressListWithCommentsAndBlankLines",
     [](FakeServer& s, const std::string& start) {
         s.Serve("/p/a.jpg", "a");
         WriteFile(start + "/list.txt", "# my albums\n\n   " + Album(s, "u", "Summer", {"/p/a.jpg"}) + "  \r\n#end\n");
         return std::vector<std::string>{"-i", "list.txt"};
     },
     kExitCompleted, "", {"AlbumDownload/a.jpg"}},
    {"AddressListWithAByteOrderMark",
     [](FakeServer& s, const std::string& start) {
         s.Serve("/p/a.jpg", "a");
         WriteFile(start + "/list.txt", "\xEF\xBB\xBF" + Album(s, "u", "Summer", {"/p/a.jpg"}) + "\r\n");
         return std::vector<std::string>{"-i", "list.txt"};
     },
     kExitCompleted, "", {"AlbumDownload/a.jpg"}},
    // Lines that end in CR LF: the CR is no part of an album's folder name.
    {"AddressListWithCrLfLinesNamesFoldersWithoutTheCr",
     [](FakeServer& s, const std::string& start) {
         s.Serve("/p/a.jpg", "a");
         WriteFile(start + "/list.txt", Album(s, "u", "Summer", {"/p/a.jpg"}) + "\r\n" +
                                            Album(s, "u", "Winter", {"/p/a.jpg"}) + "\r\n");
         return std::vector<std::string>{"-i", "list.txt"};
     },
     kExitCompleted, "", {"Summer/AlbumDownload/a.jpg", "Winter/AlbumDownload/a.jpg"}},
    // A folder name cut to 100 bytes ends before a two-byte character, not in it.
    {"LongAlbumNameCutBetweenCharacters",
     [](FakeServer& s, const std::string&) {
         s.Serve("/p/a.jpg", "a");
         return std::vector<std::string>{Album(s, "u", "a" + Times(60, "\xC3\xA9"), {"/p/a.jpg"}),
                                         Album(s, "u", "Summer", {"/p/a.jpg"})};
     },
     kExitCompleted, "", {"a" + Times(49, "\xC3\xA9") + "/AlbumDownload/a.jpg", "Summer/AlbumDownload/a.jpg"}},
    {"UnreadableAddressListNamedWithControls",
     [](FakeServer&, const std::string&) { return std::vector<std::string>{"-i", "no\x1B]0;x\x07.txt"}; },
     kExitUsage, "gathrix-cli: cannot read the address list 'no\\x1B]0;x\\x07.txt': No such file or directory\n", {}},
    {"AddressListThatIsADirectory",
     [](FakeServer&, const std::string&) { return std::vector<std::string>{"-i", "."}; },
     kExitUsage, "gathrix-cli: cannot read the address list '.': Is a directory\n", {}},
    {"StartDirectoryIsMade",
     [](FakeServer& s, const std::string&) {
         s.Serve("/p/a.jpg", "a");
         return std::vector<std::string>{"-P", "out/sub", Album(s, "u", "Summer", {"/p/a.jpg"})};
     },
     kExitCompleted, "", {"out/sub/AlbumDownload/a.jpg"}},
    {"StartDirectoryThatTheSystemRefuses",
     [](FakeServer& s, const std::string&) {
         return std::vector<std::string>{"-P", "/proc/x", Album(s, "u", "Summer", {"/p/a.jpg"})};
     },
     kExitUsage, "gathrix-cli: cannot make or enter the directory '/proc/x': No such file or directory\n", {},
     {{"/picasaweb.google.com/u/Summer", 0}}},
    {"StartDirectoryBelowAFile",
     [](FakeServer& s, const std::string& start) {
         WriteFile(start + "/f", "");
         return std::vector<std::string>{"--directory=f/\x1B[2J", Album(s, "u", "Summer", {"/p/a.jpg"})};
     },
     kExitUsage, "gathrix-cli: cannot make or enter the directory 'f/\\x1B[2J': Not a directory\n", {},
     {{"/picasaweb.google.com/u/Summer", 0}}},
    // Quiet leaves stdout empty; stderr, the status and the files are those of
    // a run without it.
    {"QuietWritesNothingOnStdout",
     [](FakeServer& s, const std::string&) {
         s.Serve("/p/a.jpg", "a");
         return std::vector<std::string>{"--quiet", Album(s, "u", "Holey", {"/p/a.jpg", "/p/none.jpg"})};
     },
     kExitPictureMissing, "gathrix-cli: picture http://H/p/none.jpg: HTTP 404\n", {"AlbumDownload/a.jpg"}, {}, ""},
    {"QuietWithSeveralAlbums",
     [](FakeServer& s, const std::string&) {
         s.Serve("/p/a.jpg", "a");
         return std::vector<std::string>{Album(s, "u", "Good", {"/p/a.jpg"}), "-q", s.Url("/picasaweb.google.com/u/Gone")};
     },
     kExitPageFailed, "gathrix-cli: album page http://H/picasaweb.google.com/u/Gone: HTTP 404\n", {"Good/AlbumDownload/a.jpg"}, {}, ""},
    // Long options shortened to a prefix that names one of them; the kept
    // picture is not asked for again, the flaky one is asked for twice.
    {"PrefixesOfLongOptions",
     [](FakeServer& s, const std::string& start) {
         s.Serve("/p/a.jpg", "a");
         s.ServeFlaky("/p/flaky.jpg", "late", 1, 503);
         fs::create_directories(start + "/out/AlbumDownload");
         WriteFile(start + "/out/AlbumDownload/a.jpg", "kept");
         return std::vector<std::string>{"--job", "4", "--retr=1", "--dir", "out", "--skip", "--no-p",
                                         Album(s, "u", "Summer", {"/p/a.jpg", "/p/flaky.jpg"})};
     },
     kExitCompleted, "gathrix-cli: retrying http://H/p/flaky.jpg in 1 s: HTTP 503 (attempt 2 of 2)\n" + kSummerSummary,
     {"out/AlbumDownload/a.jpg", "out/AlbumDownload/flaky.jpg", "out/AlbumDownload/.gathrix-record.sqlite"},
     {{"/p/a.jpg", 0}, {"/p/flaky.jpg", 2}}},
    {"PrefixWithAValueAfterTheEqualsSign",
     [](FakeServer& s, const std::string&) { return std::vector<std::string>{"--job=17", Album(s, "u", "S", {})}; },
     kExitUsage, "gathrix-cli: the number of transfers must be from 1 to 16, not '17'\n"
        "Try 'gathrix-cli --help' for more information.\n", {}, {{"/picasaweb.google.com/u/S", 0}}},
    {"AmbiguousPrefixNamesThePossibilities",
     [](FakeServer& s, const std::string&) { return std::vector<std::string>{"--c", Album(s, "u", "S", {})}; },
     kExitUsage, "gathrix-cli: option '--c' is ambiguous; possibilities: '--cacert' '--check-update' '--continue' "
        "'--cookie-jar' '--cookies'\n"
        "Try 'gathrix-cli --help' for more information.\n", {}, {{"/picasaweb.google.com/u/S", 0}}, ""},
    {"UnknownOptionIsOneLineAndAPointerToHelp",
     [](FakeServer&, const std::string&) { return std::vector<std::string>{"--fo\x1B[2J", "x"}; },
     kExitUsage, "gathrix-cli: unknown option '--fo\\x1B[2J'\nTry 'gathrix-cli --help' for more information.\n", {}, {}, ""},
    {"OptionWithoutAValueGivenOne",
     [](FakeServer&, const std::string&) { return std::vector<std::string>{"--quiet=yes", "x"}; },
     kExitUsage, "gathrix-cli: option '--quiet' doesn't allow an argument\n"
        "Try 'gathrix-cli --help' for more information.\n", {}},
    {"NoAddressAtAll",
     [](FakeServer&, const std::string&) { return std::vector<std::string>{"-q"}; },
     kExitUsage, "gathrix-cli: an album address is needed\nTry 'gathrix-cli --help' for more information.\n", {}, {}, ""},
    {"HighestStatusOfSeveralAlbums",
     [](FakeServer& s, const std::string&) {
         s.Serve("/p/a.jpg", "a");
         return std::vector<std::string>{Album(s, "u", "Good", {"/p/a.jpg"}), s.Url("/picasaweb.google.com/u/Gone"),
                                         Album(s, "u", "Holey", {"/p/a.jpg", "/p/none.jpg"})};
     },
     kExitPictureMissing,
     "gathrix-cli: album page http://H/picasaweb.google.com/u/Gone: HTTP 404\n"
     "gathrix-cli: picture http://H/p/none.jpg: HTTP 404\n",
     {"Good/AlbumDownload/a.jpg", "Holey/AlbumDownload/a.jpg"}},
    // Refused addresses among several name themselves and leave no folder.
    {"RefusedAddressesAmongSeveralAreNamed",
     [](FakeServer& s, const std::string&) {
         s.Serve("/p/a.jpg", "a");
         return std::vector<std::string>{"http://example.org/Lost", Album(s, "u", "Good", {"/p/a.jpg"}),
                                         s.Url("/flickr.com/photos/someone/5300123/")};
     },
     kExitRejected,
     "gathrix-cli: http://example.org/Lost: Invalid URL !\n"
     "gathrix-cli: http://H/flickr.com/photos/someone/5300123/: Only image sets are accepted !\n",
     {"Good/AlbumDownload/a.jpg"}, {}, std::nullopt,
     [](const FakeServer&, const std::string& start) {
         EXPECT_FALSE(fs::exists(start + "/Lost"));
         EXPECT_FALSE(fs::exists(start + "/5300123"));
     }},
    // Flickr addresses as the address bar shows them: a photo of an album, and
    // a photo "in" an album, are the album's set.
    {"FlickrPhotoOfAnAlbumIsTheAlbum",
     [](FakeServer& s, const std::string&) {
         s.Serve("/p/a_o.jpg", std::string(4000, 'a'));
         s.Serve("/flickr.com/photos/u/sets/72157/",
                 FlickrSetPage({{"/photos/u/1/in/album-72157/", s.Url("/p/a_s.jpg")}}));
         return std::vector<std::string>{"-q", s.Url("/flickr.com/photos/u/albums/72157/with/5300123"),
                                         s.Url("/flickr.com/photos/u/5300123/in/album-72157/")};
     },
     kExitCompleted, "", {"5300123/AlbumDownload/a_o.jpg", "album-72157/AlbumDownload/a_o.jpg"},
     {{"/flickr.com/photos/u/sets/72157/", 2}}},
    // The same album again in one run, written another way, is skipped.
    {"SameAlbumTwiceIsDownloadedOnce",
     [](FakeServer& s, const std::string&) {
         s.Serve("/p/a.jpg", "a");
         const std::string album = Album(s, "u", "Summer", {"/p/a.jpg"});
         return std::vector<std::string>{album, album + "/", "HTTP" + album.substr(4) + "#top"};
     },
     kExitCompleted,
     "gathrix-cli: http://H/picasaweb.google.com/u/Summer/: downloaded already in this run, skipped\n"
     "gathrix-cli: http://H/picasaweb.google.com/u/Summer#top: downloaded already in this run, skipped\n",
     {"Summer/AlbumDownload/a.jpg"}, {{"/picasaweb.google.com/u/Summer", 1}, {"/p/a.jpg", 1}}, std::nullopt,
     [](const FakeServer&, const std::string& start) { EXPECT_FALSE(fs::exists(start + "/Summer-2")); }},
    // Blanks and letters past ASCII are encoded when sent; the log, the names
    // and stderr keep the address as given, and "%" is never encoded again.
    {"AddressWithBlanksAndLettersPastAscii",
     [](FakeServer& s, const std::string&) {
         s.Serve("/p/a%20b%C3%A9.jpg", "a");
         s.Serve("/p/c%20d.jpg", "c");
         s.Serve("/picasaweb.google.com/u/%C3%89t%C3%A9%202009",
                 PicasaPage({s.Url("/p/a b\xC3\xA9.jpg"), s.Url("/p/c%20d.jpg"), s.Url("/p/x<{y}>.jpg")}));
         return std::vector<std::string>{"-q", s.Url("/picasaweb.google.com/u/\xC3\x89t\xC3\xA9 2009")};
     },
     kExitPictureMissing, "gathrix-cli: picture http://H/p/x<{y}>.jpg: HTTP 404\n",
     {"AlbumDownload/a b\xC3\xA9.jpg", "AlbumDownload/c%20d.jpg"}, {{"/p/x%3C%7By%7D%3E.jpg", 1}}},
    {"AlbumPageThatCannotBeReachedExitsWithFour",
     [](FakeServer&, const std::string&) { return std::vector<std::string>{"http://127.0.0.1:1/picasaweb.google.com/a"}; },
     kExitPageFailed, "gathrix-cli: album page http://H/picasaweb.google.com/a: connection refused\n", {}},
    {"RetriesUntilThePictureArrives",
     [](FakeServer& s, const std::string&) {
         s.ServeFlaky("/p/flaky.jpg", "late", 2, 503);
         return std::vector<std::string>{"--retries", "2", Album(s, "u", "Summer", {"/p/flaky.jpg"})};
     },
     kExitCompleted,
     "gathrix-cli: retrying http://H/p/flaky.jpg in 1 s: HTTP 503 (attempt 2 of 3)\n"
     "gathrix-cli: retrying http://H/p/flaky.jpg in 2 s: HTTP 503 (attempt 3 of 3)\n",
     {"AlbumDownload/flaky.jpg"}, {{"/p/flaky.jpg", 3}}},
    {"NoRetriesByDefault",
     [](FakeServer& s, const std::string&) {
         s.ServeFlaky("/p/flaky.jpg", "late", 2, 503);
         return std::vector<std::string>{Album(s, "u", "Summer", {"/p/flaky.jpg"})};
     },
     kExitPictureMissing, "gathrix-cli: picture http://H/p/flaky.jpg: HTTP 503\n", {}, {{"/p/flaky.jpg", 1}}},
    {"OtherStatusesAreNeverRetried",
     [](FakeServer& s, const std::string&) {
         s.ServeFlaky("/p/gone.jpg", "late", 1, 404);
         return std::vector<std::string>{"--retries", "3", Album(s, "u", "Summer", {"/p/gone.jpg"})};
     },
     kExitPictureMissing, "gathrix-cli: picture http://H/p/gone.jpg: HTTP 404\n", {}, {{"/p/gone.jpg", 1}}},
    // A server that throttles is asked again when its Retry-After says: in
    // seconds, or at a date (one gone by: at once); not without --retries.
    {"ThrottledPictureAfterItsRetryAfter",
     [](FakeServer& s, const std::string&) { return Throttled(s, "1", {"--retries", "1"}); },
     kExitCompleted, "gathrix-cli: retrying http://H/p/busy.jpg in 1 s: HTTP 429 (attempt 2 of 2)\n", {"AlbumDownload/busy.jpg"},
     {{"/p/busy.jpg", 2}}},
    {"ThrottledPictureAtADateGoneBy",
     [](FakeServer& s, const std::string&) {
         return Throttled(s, "Wed, 21 Oct 2015 07:28:00 GMT", {"--retries", "1"});
     },
     kExitCompleted, "gathrix-cli: retrying http://H/p/busy.jpg in 0 s: HTTP 429 (attempt 2 of 2)\n", {"AlbumDownload/busy.jpg"},
     {{"/p/busy.jpg", 2}}},
    {"ThrottledPictureWithoutRetries", [](FakeServer& s, const std::string&) { return Throttled(s, "1", {}); },
     kExitPictureMissing, "gathrix-cli: picture http://H/p/busy.jpg: HTTP 429\n", {}, {{"/p/busy.jpg", 1}}},
    // The configuration file gives defaults; the command line wins.
    {"ConfigFileGivesDefaults",
     [](FakeServer& s, const std::string& start) {
         s.Serve("/p/a.jpg", "a");
         s.ServeFlaky("/p/flaky.jpg", "late", 1, 503);
         fs::create_directories(start + "/mine/AlbumDownload");
         WriteFile(start + "/mine/AlbumDownload/a.jpg", "kept");
         fs::create_directories(start + "/config/gathrix");
         WriteFile(start + "/config/gathrix/gathrix-cli.conf",
                   "# defaults\n\ndirectory out\n  --retries = 1\nskip\nno-progress=\"\"\n");
         return std::vector<std::string>{"-P", "mine", Album(s, "u", "Summer", {"/p/a.jpg", "/p/flaky.jpg"})};
     },
     kExitCompleted, "gathrix-cli: retrying http://H/p/flaky.jpg in 1 s: HTTP 503 (attempt 2 of 2)\n" + kSummerSummary,
     {"mine/AlbumDownload/a.jpg", "mine/AlbumDownload/flaky.jpg"}, {{"/p/a.jpg", 0}, {"/p/flaky.jpg", 2}}},
    {"ConfigBadLineStopsBeforeAnyRequest",
     [](FakeServer& s, const std::string& start) {
         s.Serve("/p/a.jpg", "a");
         fs::create_directories(start + "/config/gathrix");
         WriteFile(start + "/config/gathrix/gathrix-cli.conf", "jobs 4\njbos 5\n");
         return std::vector<std::string>{Album(s, "u", "Summer", {"/p/a.jpg"})};
     },
     kExitUsage, "gathrix-cli: START/config/gathrix/gathrix-cli.conf:2: unknown option '--jbos'; did you mean '--jobs'?\n", {},
     {{"/picasaweb.google.com/u/Summer", 0}}},
    {"ConfigCannotAskForHelp",
     [](FakeServer& s, const std::string& start) {
         fs::create_directories(start + "/config/gathrix");
         WriteFile(start + "/config/gathrix/gathrix-cli.conf", "quiet\n--help\n");
         return std::vector<std::string>{Album(s, "u", "Summer", {})};
     },
     kExitUsage, "gathrix-cli: START/config/gathrix/gathrix-cli.conf:2: option '--help' has no place in the configuration file\n",
     {}},
    {"NoConfigSkipsTheFile",
     [](FakeServer& s, const std::string& start) {
         s.Serve("/p/a.jpg", "a");
         fs::create_directories(start + "/config/gathrix");
         WriteFile(start + "/config/gathrix/gathrix-cli.conf", "jbos 5\n");
         return std::vector<std::string>{"--no-config", Album(s, "u", "Summer", {"/p/a.jpg"})};
     },
     kExitCompleted, "", {"AlbumDownload/a.jpg"}},
    // Each request carries the cookies that fit it, the server's among them;
    // the file is only read.
    {"CookiesGoWithEveryRequestTheyFit",
     [](FakeServer& s, const std::string& start) {
         s.Serve("/p/a.jpg", "a");
         WriteFile(start + "/cookies.txt", kCookieFile);
         return std::vector<std::string>{"--cookies", "cookies.txt", CookieAlbum(s, {"/p/a.jpg"})};
     },
     kExitCompleted, "", {"AlbumDownload/a.jpg"}, {}, std::nullopt,
     [](const FakeServer& s, const std::string& start) {
         EXPECT_EQ(s.HeaderSeen("/picasaweb.google.com/u/Private", "Cookie"), std::vector<std::string>{"sid=abc; ho=1"});
         EXPECT_EQ(s.HeaderSeen("/p/a.jpg", "Cookie"), std::vector<std::string>{"pics=2; fresh=new; sid=abc; ho=1"});
         EXPECT_EQ(ReadFile(start + "/cookies.txt"), kCookieFile);
         EXPECT_EQ(FilesBelow(start), (std::vector<std::string>{"AlbumDownload/a.jpg", "cookies.txt"}));
     }},
    {"CookiesGoAlongWithSeveralJobsAndAlbums",
     [](FakeServer& s, const std::string& start) {
         s.Serve("/p/a.jpg", "a");
         s.Serve("/p/b.jpg", "b");
         WriteFile(start + "/cookies.txt", kCookieFile);
         return std::vector<std::string>{"--cookies=cookies.txt", "-j", "2", CookieAlbum(s, {"/p/a.jpg", "/p/b.jpg"}),
                                         Album(s, "u", "Other", {"/p/a.jpg"})};
     },
     kExitCompleted, "", {"Private/AlbumDownload/b.jpg", "Other/AlbumDownload/a.jpg"}, {}, std::nullopt,
     [](const FakeServer& s, const std::string&) {
         EXPECT_EQ(s.HeaderSeen("/p/b.jpg", "Cookie"), std::vector<std::string>{"pics=2; fresh=new; sid=abc; ho=1"});
         EXPECT_EQ(s.HeaderSeen("/picasaweb.google.com/u/Other", "Cookie"),
                   std::vector<std::string>{"fresh=new; sid=abc; ho=1"});
     }},
    {"NoCookieIsSentOrKeptWithoutTheOptions",
     [](FakeServer& s, const std::string&) {
         s.Serve("/p/a.jpg", "a");
         return std::vector<std::string>{CookieAlbum(s, {"/p/a.jpg"})};
     },
     kExitCompleted, "", {"AlbumDownload/a.jpg"}, {}, std::nullopt,
     [](const FakeServer& s, const std::string& start) {
         EXPECT_EQ(s.HeaderSeen("/p/a.jpg", "Cookie"), std::vector<std::string>{"-"});
         EXPECT_EQ(FilesBelow(start), std::vector<std::string>{"AlbumDownload/a.jpg"});
     }},
    {"CookieJarHoldsTheFilesCookiesAndTheServers",
     [](FakeServer& s, const std::string& start) {
         s.Serve("/p/a.jpg", "a");
         WriteFile(start + "/cookies.txt", kCookieFile);
         return std::vector<std::string>{"--cookies", "cookies.txt", "--cookie-jar", "jar.txt",
                                         CookieAlbum(s, {"/p/a.jpg"})};
     },
     kExitCompleted, "", {"AlbumDownload/a.jpg"}, {}, std::nullopt,
     [](const FakeServer&, const std::string& start) {
         EXPECT_EQ(JarCookies(start + "/jar.txt"), (std::vector<std::string>{
                                                       "#HttpOnly_127.0.0.1\tFALSE\t/\tFALSE\t0\tho\t1",
                                                       "127.0.0.1\tFALSE\t/\tFALSE\t0\tfresh\tnew",
                                                       "127.0.0.1\tFALSE\t/\tFALSE\t0\tsid\tabc",
                                                       "127.0.0.1\tFALSE\t/p/\tFALSE\t0\tpics\t2",
                                                       "other.example\tFALSE\t/\tFALSE\t0\telse\t5",
                                                   }));
         EXPECT_EQ(fs::status(start + "/jar.txt").permissions() & fs::perms::all,
                   fs::perms::owner_read | fs::perms::owner_write);
         EXPECT_EQ(ReadFile(start + "/cookies.txt"), kCookieFile);
     }},
    {"CookieJarAloneKeepsTheServersCookies",
     [](FakeServer& s, const std::string&) {
         s.Serve("/p/a.jpg", "a");
         return std::vector<std::string>{"--cookie-j=jar.txt", CookieAlbum(s, {"/p/a.jpg"})};
     },
     kExitCompleted, "", {"AlbumDownload/a.jpg"}, {}, std::nullopt,
     [](const FakeServer& s, const std::string& start) {
         EXPECT_EQ(s.HeaderSeen("/picasaweb.google.com/u/Private", "Cookie"), std::vector<std::string>{"-"});
         EXPECT_EQ(s.HeaderSeen("/p/a.jpg", "Cookie"), std::vector<std::string>{"fresh=new"});
         EXPECT_EQ(JarCookies(start + "/jar.txt"),
                   std::vector<std::string>{"127.0.0.1\tFALSE\t/\tFALSE\t0\tfresh\tnew"});
     }},
    {"CookieJarThatCannotBeWritten",
     [](FakeServer& s, const std::string&) {
         s.Serve("/p/a.jpg", "a");
         return std::vector<std::string>{"--cookie-jar", "/proc/x/jar", CookieAlbum(s, {"/p/a.jpg"})};
     },
     kExitUsage, "gathrix-cli: cannot write the cookie jar '/proc/x/jar': No such file or directory\n", {"AlbumDownload/a.jpg"}},
    {"MissingCookieFileStopsBeforeAnyRequest",
     [](FakeServer& s, const std::string&) {
         return std::vector<std::string>{"--cookies", "no\x1B[2J.txt", Album(s, "u", "S", {})};
     },
     kExitUsage, "gathrix-cli: cannot read the cookie file 'no\\x1B[2J.txt': No such file or directory\n", {},
     {{"/picasaweb.google.com/u/S", 0}}, ""},
    {"CookieFileThatIsADirectory",
     [](FakeServer& s, const std::string&) {
         return std::vector<std::string>{"--cookies=.", "--cookie-jar", "jar.txt", Album(s, "u", "S", {})};
     },
     kExitUsage, "gathrix-cli: cannot read the cookie file '.': Is a directory\n", {}, {{"/picasaweb.google.com/u/S", 0}}, "",
     [](const FakeServer&, const std::string& start) { EXPECT_EQ(FilesBelow(start), std::vector<std::string>{}); }},
    {"CookieJarThatIsALinkIsNeverWrittenThrough",
     [](FakeServer& s, const std::string& start) {
         WriteFile(start + "/victim.txt", "mine");
         fs::create_symlink("victim.txt", start + "/jar.txt");
         return std::vector<std::string>{"--cookie-jar", "jar.txt", CookieAlbum(s, {})};
     },
     kExitUsage, "gathrix-cli: cannot write the cookie jar 'jar.txt': it is a symbolic link\n", {},
     {{"/picasaweb.google.com/u/Private", 0}}, "",
     [](const FakeServer&, const std::string& start) { EXPECT_EQ(ReadFile(start + "/victim.txt"), "mine"); }},
    {"CookieJarThatIsAPipe",
     [](FakeServer& s, const std::string& start) {
         ::mkfifo((start + "/jar.txt").c_str(), 0600);
         return std::vector<std::string>{"--cookie-jar", "jar.txt", CookieAlbum(s, {})};
     },
     kExitUsage, "gathrix-cli: cannot write the cookie jar 'jar.txt': it is not a regular file\n", {},
     {{"/picasaweb.google.com/u/Private", 0}}},
    // The jar replaces the cookie file it was read from, readable by its owner only.
    {"CookieJarInPlaceOfTheCookieFile",
     [](FakeServer& s, const std::string& start) {
         s.Serve("/p/a.jpg", "a");
         WriteFile(start + "/cookies.txt", kCookieFile);
         fs::permissions(start + "/cookies.txt", fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read);
         return std::vector<std::string>{"--cookies", "cookies.txt", "--cookie-jar", "cookies.txt",
                                         CookieAlbum(s, {"/p/a.jpg"})};
     },
     kExitCompleted, "", {"AlbumDownload/a.jpg"}, {}, std::nullopt,
     [](const FakeServer&, const std::string& start) {
         EXPECT_EQ(JarCookies(start + "/cookies.txt").size(), 5u);
         EXPECT_EQ(fs::status(start + "/cookies.txt").permissions() & fs::perms::all,
                   fs::perms::owner_read | fs::perms::owner_write);
         EXPECT_EQ(FilesBelow(start), (std::vector<std::string>{"AlbumDownload/a.jpg", "cookies.txt"}));
     }},
    // A named pipe is read once, as its writer sends it.
    {"CookieFileFromAPipe",
     [](FakeServer& s, const std::string& start) {
         s.Serve("/p/a.jpg", "a");
         const std::string pipe = start + "/cookies.pipe";
         ::mkfifo(pipe.c_str(), 0600);
         std::thread([pipe] { WriteFile(pipe, kCookieFile); }).detach();
         return std::vector<std::string>{"--cookies", "cookies.pipe", CookieAlbum(s, {"/p/a.jpg"})};
     },
     kExitCompleted, "", {"AlbumDownload/a.jpg"}, {}, std::nullopt,
     [](const FakeServer& s, const std::string&) {
         EXPECT_EQ(s.HeaderSeen("/picasaweb.google.com/u/Private", "Cookie"), std::vector<std::string>{"sid=abc; ho=1"});
     }},
    {"CookieFileWithoutCookies",
     [](FakeServer& s, const std::string& start) {
         s.Serve("/p/a.jpg", "a");
         WriteFile(start + "/cookies.txt", "# exported\nsid=abc; Path=/\n");
         return std::vector<std::string>{"--cookies", "cookies.txt", CookieAlbum(s, {"/p/a.jpg"})};
     },
     kExitCompleted, "gathrix-cli: no cookies in 'cookies.txt' (a cookie file is in the Netscape format)\n", {"AlbumDownload/a.jpg"}},
    // A server that sets 50 new cookies at every picture (as many as libcurl
    // takes from one response): a domain past 180 is cut back to its newest 120.
    {"CookiesOfOneDomainAreBounded",
     [](FakeServer& s, const std::string&) {
         std::vector<std::string> pictures;
         for (int p = 1; p <= 4; ++p) {
             std::vector<std::pair<std::string, std::string>> headers;
             for (int c = 0; c < 50; ++c) {
                 headers.emplace_back("Set-Cookie", "c" + std::to_string(p) + "_" + std::to_string(c) + "=v; Path=/");
             }
             pictures.push_back("/p/" + std::to_string(p) + ".jpg");
             s.ServeWithHeaders(pictures.back(), "p", headers);
         }
         return std::vector<std::string>{"--cookie-jar", "jar.txt", Album(s, "u", "Flood", pictures)};
     },
     kExitCompleted, "", {"AlbumDownload/4.jpg"}, {}, std::nullopt,
     [](const FakeServer&, const std::string& start) {
         const std::vector<std::string> jar = JarCookies(start + "/jar.txt");
         EXPECT_EQ(jar.size(), 120u);
         for (const auto& [cookie, kept] : {std::pair{"\tc2_29\t", 0}, {"\tc2_30\t", 1}, {"\tc4_49\t", 1}}) {
             EXPECT_EQ(std::count_if(jar.begin(), jar.end(),
                                     [cookie](const std::string& line) { return line.find(cookie) != std::string::npos; }),
                       kept)
                 << cookie;
         }
     }},
    {"CookieOptionWithoutAFile",
     [](FakeServer&, const std::string&) { return std::vector<std::string>{"x", "--cookies"}; },
     kExitUsage, "gathrix-cli: option '--cookies' needs a cookie file\nTry 'gathrix-cli --help' for more information.\n", {}},
    // The stored pictures' times: the server's date where it gave one.
    {"RemoteTimeFromLastModified",
     [](FakeServer& s, const std::string&) { return std::vector<std::string>{"-R", DatedAlbum(s)}; },
     kExitCompleted, "", {}, {}, std::nullopt,
     [](const FakeServer&, const std::string& start) {
         EXPECT_EQ(ModifiedAt(start + "/AlbumDownload/dated.jpg"), 1445412480);
         EXPECT_TRUE(StoredJustNow(start + "/AlbumDownload/undated.jpg"));
         EXPECT_TRUE(StoredJustNow(start + "/AlbumDownload/baddate.jpg"));
     }},
    {"RemoteTimeWithPicturesFetchedAhead",
     [](FakeServer& s, const std::string&) { return std::vector<std::string>{"--remote-t", "-j", "3", DatedAlbum(s)}; },
     kExitCompleted, "", {}, {}, std::nullopt,
     [](const FakeServer&, const std::string& start) {
         EXPECT_EQ(ModifiedAt(start + "/AlbumDownload/dated.jpg"), 1445412480);
         EXPECT_TRUE(StoredJustNow(start + "/AlbumDownload/undated.jpg"));
     }},
    {"NoRemoteTimeWithoutTheOption",
     [](FakeServer& s, const std::string&) { return std::vector<std::string>{DatedAlbum(s)}; },
     kExitCompleted, "", {}, {}, std::nullopt,
     [](const FakeServer&, const std::string& start) {
         EXPECT_TRUE(StoredJustNow(start + "/AlbumDownload/dated.jpg"));
     }},
    {"TimeoutOptionWinsOverTheEnvironment",
     [](FakeServer& s, const std::string&) {
         s.ServeTrickle("/p/quiet.jpg", "abcdefgh", 2, std::chrono::minutes(10));
         return std::vector<std::string>{"--timeout", "1", Album(s, "u", "Summer", {"/p/quiet.jpg"})};
     },
     kExitPictureMissing, "gathrix-cli: picture http://H/p/quiet.jpg: no data for 1 s\n", {}, {{"/p/quiet.jpg", 1}}},
    {"MaxTimeEndsADripAndIsRetried",
     [](FakeServer& s, const std::string&) {
         s.ServeTrickle("/p/drip.jpg", std::string(1000, 'x'), 2, std::chrono::milliseconds(100));
         return std::vector<std::string>{"--max-time=1", "--retries", "1", Album(s, "u", "Summer", {"/p/drip.jpg"})};
     },
     kExitPictureMissing, "gathrix-cli: retrying http://H/p/drip.jpg in 1 s: took longer than 1 s (attempt 2 of 2)\n"
        "gathrix-cli: picture http://H/p/drip.jpg: took longer than 1 s\n", {}, {{"/p/drip.jpg", 2}}},
    {"MaxTimeLeavesAQuickPictureAlone",
     [](FakeServer& s, const std::string&) {
         s.Serve("/p/a.jpg", "a");
         return std::vector<std::string>{"--max", "5", "--limit-rate", "1.5k", "--wait", "0",
                                         Album(s, "u", "Summer", {"/p/a.jpg"})};
     },
     kExitCompleted, "", {"AlbumDownload/a.jpg"}, {{"/p/a.jpg", 1}}},
    {"TimeoutOfNoSeconds",
     [](FakeServer& s, const std::string&) { return std::vector<std::string>{"--timeout=0", Album(s, "u", "S", {})}; },
     kExitUsage, "gathrix-cli: the seconds of '--timeout' must be from 1 to 86400, not '0'\n"
        "Try 'gathrix-cli --help' for more information.\n", {}, {{"/picasaweb.google.com/u/S", 0}}},
    {"WaitThatIsNotANumber",
     [](FakeServer& s, const std::string&) { return std::vector<std::string>{"--wait", "1s", Album(s, "u", "S", {})}; },
     kExitUsage, "gathrix-cli: the seconds of '--wait' must be from 0 to 86400, not '1s'\n"
        "Try 'gathrix-cli --help' for more information.\n", {}, {{"/picasaweb.google.com/u/S", 0}}},
    {"MaxTimeWithoutAValue",
     [](FakeServer&, const std::string&) { return std::vector<std::string>{"x", "--max-time"}; },
     kExitUsage, "gathrix-cli: option '--max-time' needs a number of seconds\n"
        "Try 'gathrix-cli --help' for more information.\n", {}},
    {"TimeoutWithAFraction",
     [](FakeServer& s, const std::string&) {
         s.ServeTrickle("/p/quiet.jpg", "abcdefgh", 2, std::chrono::minutes(10));
         return std::vector<std::string>{"--timeout", "1.5", "--limit-rate", "0", "--wait=0.25",
                                         Album(s, "u", "Summer", {"/p/quiet.jpg"})};
     },
     kExitPictureMissing, "gathrix-cli: picture http://H/p/quiet.jpg: no data for 1.5 s\n", {}, {{"/p/quiet.jpg", 1}}},
    {"UnknownOptionCloseToAKnownOne",
     [](FakeServer&, const std::string&) { return std::vector<std::string>{"--retires=2", "x"}; },
     kExitUsage, "gathrix-cli: unknown option '--retires=2'; did you mean '--retries'?\n"
        "Try 'gathrix-cli --help' for more information.\n", {}},
    {"ConfigValuesThatStartWithADash",
     [](FakeServer& s, const std::string& start) {
         return WithConfig(s, start, "directory ~/my albums  # below home\ndirectory = -odd # a dash\n");
     },
     kExitCompleted, "", {"-odd/AlbumDownload/a.jpg"}},
    {"ConfigValueInHome",
     [](FakeServer& s, const std::string& start) {
         return WithConfig(s, start, "directory ~/my albums # mine\njobs \"2\" # two\n");
     },
     kExitCompleted, "", {"home/my albums/AlbumDownload/a.jpg"}},
    {"ConfigFlagGivenAValue",
     [](FakeServer& s, const std::string& start) { return WithConfig(s, start, "jobs 2\nno-progress -Pelsewhere\n"); },
     kExitUsage, "gathrix-cli: START/config/gathrix/gathrix-cli.conf:2: option '--no-progress' doesn't allow an argument\n", {},
     {{"/picasaweb.google.com/u/Summer", 0}}},
    {"ConfigThatIsAPipe",
     [](FakeServer& s, const std::string& start) {
         std::vector<std::string> args = WithConfig(s, start, "");
         fs::remove(start + "/config/gathrix/gathrix-cli.conf");
         ::mkfifo((start + "/config/gathrix/gathrix-cli.conf").c_str(), 0600);
         return args;
     },
     kExitUsage, "gathrix-cli: cannot read the configuration file 'START/config/gathrix/gathrix-cli.conf': not a regular file\n",
     {}, {{"/picasaweb.google.com/u/Summer", 0}}},
    {"ConfigLargerThanAMebibyte",
     [](FakeServer& s, const std::string& start) { return WithConfig(s, start, std::string(1024 * 1024 + 1, '#')); },
     kExitUsage, "gathrix-cli: cannot read the configuration file 'START/config/gathrix/gathrix-cli.conf': larger than 1 MiB\n",
     {}, {{"/picasaweb.google.com/u/Summer", 0}}},
    {"NoSkipExistingUndoesTheConfig",
     [](FakeServer& s, const std::string& start) {
         KeptPicture(start);
         std::vector<std::string> args = WithConfig(s, start, "skip-existing\n");
         args.insert(args.begin(), "--no-skip");
         return args;
     },
     kExitCompleted, "", {}, {{"/p/a.jpg", 1}}, std::nullopt,
     [](const FakeServer&, const std::string& start) { EXPECT_EQ(ReadFile(start + "/AlbumDownload/a.jpg"), "a"); }},
    {"NoContinueUndoesTheConfig",
     [](FakeServer& s, const std::string& start) {
         KeptPicture(start);
         std::vector<std::string> args = WithConfig(s, start, "continue\n");
         args.insert(args.begin(), "--no-continue");
         return args;
     },
     kExitCompleted, "", {}, {{"/p/a.jpg", 1}}},
    {"NoContinueLeavesSkipExisting",
     [](FakeServer& s, const std::string& start) {
         KeptPicture(start);
         std::vector<std::string> args = WithConfig(s, start, "continue\nskip-existing\n");
         args.insert(args.begin(), "--no-continue");
         return args;
     },
     kExitCompleted, "gathrix-cli: http://H/picasaweb.google.com/u/Summer: 1 already here\n", {}, {{"/p/a.jpg", 0}}},
    // What a folder's record holds: each picture's name, bytes, time and
    // address, with a file that is gone or changed marked.
    {"ShowRecordLists",
     [](FakeServer&, const std::string& start) {
         fs::create_directories(start + "/AlbumDownload");
         WriteFile(start + "/AlbumDownload/a.jpg", "12345");
         WriteFile(start + "/AlbumDownload/b.jpg", "1234");
         const auto opened = FolderRecord::Open(start + "/AlbumDownload", true);
         opened.record->Put({"http://x/a.jpg", "a.jpg", 5, "", "", "", 86400, "http://x/album"});
         opened.record->Put({"http://x/b\x1b.jpg", "b.jpg", 5, "", "", "", 86400, "http://x/album"});
         // A name is one address's: the later row of c.jpg replaces the earlier.
         opened.record->Put({"http://x/old/c.jpg", "c.jpg", 9, "", "", "", 86400, "http://x/album"});
         opened.record->Put({"http://x/c.jpg", "c.jpg", 5, "", "", "", 86400, "http://x/album"});
         return std::vector<std::string>{"--show-record", "AlbumDownload"};
     },
     kExitCompleted, "gathrix-cli: 3 pictures on record in 'AlbumDownload' (1 changed, 1 missing)\n", {}, {},
     "a.jpg\t5\t1970-01-02T00:00:00Z\thttp://x/a.jpg\nb.jpg\t5\t1970-01-02T00:00:00Z\thttp://x/b\\x1B.jpg\tchanged\n"
     "c.jpg\t5\t1970-01-02T00:00:00Z\thttp://x/c.jpg\tmissing\n"},
    {"ShowRecordWithoutOne", [](FakeServer&, const std::string&) { return std::vector<std::string>{"--show-record"}; },
     kExitUsage, "gathrix-cli: no record of downloaded pictures in './AlbumDownload'\n", {}, {}, ""},
    {"CertificateFileThatIsMissing",
     [](FakeServer& s, const std::string&) {
         return std::vector<std::string>{"--cacert", "no\x1B[2J.pem", Album(s, "u", "S", {})};
     },
     kExitUsage, "gathrix-cli: cannot read the certificate file 'no\\x1B[2J.pem': No such file or directory\n", {},
     {{"/picasaweb.google.com/u/S", 0}}},
    {"CertificateFileThatIsAPipe",
     [](FakeServer& s, const std::string& start) {
         ::mkfifo((start + "/ca.pem").c_str(), 0600);
         return std::vector<std::string>{"--cacert=ca.pem", Album(s, "u", "S", {})};
     },
     kExitUsage, "gathrix-cli: cannot read the certificate file 'ca.pem': not a regular file\n", {},
     {{"/picasaweb.google.com/u/S", 0}}},
    {"CertificateFileLeavesHttpAlone",
     [](FakeServer& s, const std::string& start) {
         WriteFile(start + "/ca.pem", "not used for http\n");
         s.Serve("/p/a.jpg", "a");
         return std::vector<std::string>{"--cacert", "ca.pem", Album(s, "u", "S", {"/p/a.jpg"})};
     },
     kExitCompleted, "", {"AlbumDownload/a.jpg"}},
    {"RateWithAnUnknownSuffix",
     [](FakeServer& s, const std::string&) { return std::vector<std::string>{"--limit=2x", Album(s, "u", "S", {})}; },
     kExitUsage, "gathrix-cli: the rate must be a number of bytes a second, perhaps with k, m or g after it, not '2x'\n"
        "Try 'gathrix-cli --help' for more information.\n", {}, {{"/picasaweb.google.com/u/S", 0}}},
};
// clang-format on

class CliOptions : public ::testing::TestWithParam<OptionsRow> {};

TEST_P(CliOptions, StatusFailuresAndFolders) {
    const OptionsRow& row = GetParam();
    Sandbox sandbox;
    FakeServer server;
    std::vector<std::string> argv = {GATHRIX_CLI_PATH};
    const std::vector<std::string> args = row.setup(server, sandbox.Path());
    argv.insert(argv.end(), args.begin(), args.end());
    const ProcessResult r = RunProcess(argv, sandbox.Path(),
                                       {{"GATHRIX_REQUEST_TIMEOUT", "2"},
                                        {"XDG_CONFIG_HOME", sandbox.Path() + "/config"},
                                        {"HOME", sandbox.Path() + "/home"}});
    EXPECT_EQ(r.exit_code, row.exit_code);
    const std::string err =
        std::regex_replace(r.err, std::regex("http://127\\.0\\.0\\.1:\\d+", std::regex::icase), "http://H");
    EXPECT_EQ(std::regex_replace(err, std::regex(sandbox.Path()), "START"), row.err);
    for (const std::string& file : row.files) EXPECT_TRUE(fs::is_regular_file(fs::path(sandbox.Path()) / file)) << file;
    for (const auto& [path, hits] : row.hits) EXPECT_EQ(server.Hits(path), hits) << path;
    if (row.out) {
        EXPECT_EQ(r.out, *row.out);
    }
    if (row.check) row.check(server, sandbox.Path());
}

INSTANTIATE_TEST_SUITE_P(Rows, CliOptions, ::testing::ValuesIn(kRows),
                         [](const auto& p) { return std::string(p.param.name); });

// --wait as the server sees it: picture requests at least that far apart,
// one after another or several at once; without it, no pause at all.
struct WaitRow {
    const char* name;
    std::vector<std::string> args;
    double shortest_gap;  // seconds between two picture requests
    double longest_gap;
};
void PrintTo(const WaitRow& row, std::ostream* os) { *os << row.name; }

// clang-format off
const WaitRow kWaitRows[] = {
    {"OneAfterAnother", {"--wait", "1"}, 0.95, 2.0},
    {"ThreeAtOnce", {"--wait=1", "-j", "3"}, 0.95, 2.0},
    {"NoWaitByDefault", {"-j", "3"}, 0.0, 0.5},
    {"AFractionOfASecond", {"--wait", "0.5"}, 0.45, 1.2},
};
// clang-format on

class CliWait : public ::testing::TestWithParam<WaitRow> {};

TEST_P(CliWait, PictureRequestsAreSpaced) {
    Sandbox sandbox;
    FakeServer server;
    std::mutex mutex;
    std::vector<std::chrono::steady_clock::time_point> arrivals;
    server.ServeOthers([&](const std::string&, const std::string&) {
        const std::lock_guard<std::mutex> lock(mutex);
        arrivals.push_back(std::chrono::steady_clock::now());
        return FakeServer::Reply{200, "picture"};
    });
    std::vector<std::string> argv = {GATHRIX_CLI_PATH};
    argv.insert(argv.end(), GetParam().args.begin(), GetParam().args.end());
    argv.push_back(Album(server, "u", "Summer", {"/p/1.jpg", "/p/2.jpg", "/p/3.jpg"}));
    const ProcessResult r = RunProcess(argv, sandbox.Path());
    EXPECT_EQ(r.exit_code, kExitCompleted) << r.err;
    const std::lock_guard<std::mutex> lock(mutex);
    ASSERT_EQ(arrivals.size(), 3u);
    for (std::size_t i = 1; i < arrivals.size(); ++i) {
        const double gap = std::chrono::duration<double>(arrivals[i] - arrivals[i - 1]).count();
        EXPECT_GE(gap, GetParam().shortest_gap) << i;
        EXPECT_LE(gap, GetParam().longest_gap) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, CliWait, ::testing::ValuesIn(kWaitRows),
                         [](const auto& p) { return std::string(p.param.name); });

// Where gathrix-cli's stderr goes: a pipe, a pseudo-terminal, or a
// pseudo-terminal that stdout shares (an interactive shell).
enum class Stderr { Pipe, Terminal, TerminalWithStdout };

// Runs gathrix-cli with stderr (and stdout, when shared) as given; returns what
// arrived there.
std::string StderrOf(const std::vector<std::string>& args, const std::string& cwd, Stderr where) {
    const bool terminal = where != Stderr::Pipe;
    int master = -1;
    int pipe_fds[2] = {-1, -1};
    int slave = -1;
    if (terminal) {
        if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) return "openpty failed";
    } else if (pipe(pipe_fds) != 0) {
        return "pipe failed";
    }
    // Everything the child needs is made before fork: the child of a process
    // with threads (the test server's) may only make async-signal-safe calls
    // until it executes, or it can hang on a lock another thread held.
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<std::string> env_strings = {"GATHRIX_REQUEST_TIMEOUT=5"};
    for (char** e = environ; *e != nullptr; ++e) {
        if (!std::string_view(*e).starts_with("GATHRIX_REQUEST_TIMEOUT=")) env_strings.emplace_back(*e);
    }
    std::vector<char*> envp;
    for (std::string& e : env_strings) envp.push_back(e.data());
    envp.push_back(nullptr);
    const int null_fd = open("/dev/null", O_WRONLY | O_CLOEXEC);
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(cwd.c_str()) != 0) _exit(126);
        dup2(where == Stderr::TerminalWithStdout ? slave : null_fd, STDOUT_FILENO);
        dup2(terminal ? slave : pipe_fds[1], STDERR_FILENO);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    if (null_fd >= 0) close(null_fd);
    const int read_fd = terminal ? master : pipe_fds[0];
    close(terminal ? slave : pipe_fds[1]);
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(read_fd, buffer, sizeof buffer);
        if (n <= 0) break;  // EIO on the terminal once the child has gone
        text.append(buffer, static_cast<std::size_t>(n));
    }
    close(read_fd);
    int status = 0;
    waitpid(pid, &status, 0);
    return text;
}

TEST(CliProgress, DrawnOnATerminalOnlyAndClearedAtTheEnd) {
    FakeServer server;
    server.ServeTrickle("/p/slow.jpg", PictureBytes(1, 40000), 2000, std::chrono::milliseconds(30));
    const std::string album = Album(server, "u", "Slow", {"/p/slow.jpg"});
    Sandbox sandbox;

    const std::string on_terminal = StderrOf({GATHRIX_CLI_PATH, album}, sandbox.Path(), Stderr::Terminal);
    EXPECT_NE(on_terminal.find("\rslow.jpg  "), std::string::npos) << on_terminal;
    EXPECT_NE(on_terminal.find(" of 40.0 KB"), std::string::npos);
    EXPECT_NE(on_terminal.find("[####"), std::string::npos);
    // Redrawn in place a few times, never more than ten times a second, and
    // taken off the screen at the end.
    const auto draws = std::count(on_terminal.begin(), on_terminal.end(), '\r');
    EXPECT_GE(draws, 3);
    EXPECT_LE(draws, 30);
    EXPECT_TRUE(on_terminal.ends_with("\r\033[K")) << on_terminal;

    EXPECT_EQ(StderrOf({GATHRIX_CLI_PATH, "--no-progress", album}, sandbox.Path(), Stderr::Terminal), "");
    EXPECT_EQ(StderrOf({GATHRIX_CLI_PATH, "-q", album}, sandbox.Path(), Stderr::Terminal), "");
    EXPECT_EQ(StderrOf({GATHRIX_CLI_PATH, album}, sandbox.Path(), Stderr::Pipe), "");

    // On the terminal of an interactive shell the display follows the log's
    // open line, and once it goes the screen reads as the log does.
    const std::string shared = StderrOf({GATHRIX_CLI_PATH, album}, sandbox.Path(), Stderr::TerminalWithStdout);
    EXPECT_NE(shared.find("\rDownloading slow.jpg...  "), std::string::npos) << shared;
    std::vector<std::string> screen(1);  // a plain terminal: \r, \n and erase to the end of the line
    std::size_t column = 0;
    for (std::size_t i = 0; i < shared.size(); ++i) {
        std::string& row = screen.back();
        if (shared.compare(i, 3, "\033[K") == 0) {
            row.resize(std::min(row.size(), column));
            i += 2;
        } else if (shared[i] == '\r') {
            column = 0;
        } else if (shared[i] == '\n') {
            screen.emplace_back();
            column = 0;
        } else {
            if (column < row.size())
                row[column] = shared[i];
            else
                row += shared[i];
            ++column;
        }
    }
    EXPECT_NE(std::find(screen.begin(), screen.end(), "Downloading slow.jpg...OK"), screen.end()) << shared;
    EXPECT_EQ(screen.back(), "");
    EXPECT_EQ(screen.end()[-2], " 1 files successfully downloaded!");
}

// A name from the server is drawn escaped, in the display's own line and in
// the log's open line that it echoes.
TEST(CliProgress, NameIsEscapedOnTheTerminal) {
    FakeServer server;
    server.ServeTrickle("/p/sl\xE9w.jpg", PictureBytes(1, 20000), 2000, std::chrono::milliseconds(30));
    const std::string album = Album(server, "u", "Slow", {"/p/sl\xE9w.jpg"});
    Sandbox sandbox;
    const std::string alone = StderrOf({GATHRIX_CLI_PATH, album}, sandbox.Path(), Stderr::Terminal);
    EXPECT_NE(alone.find("\rsl\\xE9w.jpg  "), std::string::npos) << alone;
    EXPECT_EQ(alone.find('\xE9'), std::string::npos) << alone;
    const std::string shared = StderrOf({GATHRIX_CLI_PATH, album}, sandbox.Path(), Stderr::TerminalWithStdout);
    EXPECT_NE(shared.find("\rDownloading sl\\xE9w.jpg...  "), std::string::npos) << shared;
}

}  // namespace
}  // namespace gathrix::test
