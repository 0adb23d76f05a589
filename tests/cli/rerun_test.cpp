// gathrix-cli run twice over the same albums, one row per case: the first run,
// what changes on the server or on disk in between, the second run's options,
// and what the second run logs, leaves in the folders and asks the picture
// server for. Every row runs with one transfer and with four. A run with
// -nc, -c or -N keeps a record of the folder (.gathrix-record.sqlite), and
// every later run keeps it current: its lines on stderr are part of each row.

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "cli/child_process.h"
#include "cli/exit_status.h"
#include "download/folder_record.h"
#include "support/album_pages.h"
#include "support/fake_server.h"
#include "support/range_server.h"

namespace gathrix::test {
namespace {

namespace fs = std::filesystem;

const std::string kA = PictureBytes(1, 60000);
const std::string kB = PictureBytes(2, 50000);
const std::string kNewA = PictureBytes(3, 70000);
constexpr std::size_t kHalf = 30000;

RangeServer::Picture Tag(std::string etag) {
    RangeServer::Picture picture;
    picture.etag = std::move(etag);
    return picture;
}
RangeServer::Picture Dated(std::string date) {
    RangeServer::Picture picture;
    picture.last_modified = std::move(date);
    return picture;
}
RangeServer::Picture IgnoresRanges(RangeServer::Picture picture) {
    picture.ignore_ranges = true;
    return picture;
}
RangeServer::Picture IgnoresIfRange(RangeServer::Picture picture) {
    picture.ignore_if_range = true;
    return picture;
}
RangeServer::Picture WeakTagAndDate() {
    RangeServer::Picture picture = Dated("Tue, 01 Dec 2026 10:00:00 GMT");
    picture.etag = "W/\"v1\"";
    return picture;
}
RangeServer::Picture HangsAt(RangeServer::Picture picture, std::size_t at) {
    picture.cut_at = at;
    picture.hang = true;
    return picture;
}

// Pages on one server, pictures (with ETags, honouring ranges) on another.
struct World {
    FakeServer pages;
    RangeServer pictures;
    Sandbox start;

    // An album /picasaweb.google.com/u/NAME listing the picture paths; its address.
    std::string Album(const std::string& name, const std::vector<std::string>& paths) {
        std::vector<std::string> addresses;
        for (const std::string& path : paths) addresses.push_back(pictures.Url(path));
        pages.Serve("/picasaweb.google.com/u/" + name, PicasaPage(addresses));
        return pages.Url("/picasaweb.google.com/u/" + name);
    }
    std::string AB() {
        Picture("/a.jpg", kA, Tag("\"a\""));
        Picture("/b.jpg", kB, Tag("\"b\""));
        return Album("Summer", {"/a.jpg", "/b.jpg"});
    }
    void Picture(const std::string& path, std::string body, RangeServer::Picture how) {
        how.body = std::move(body);
        pictures.Serve(path, std::move(how));
    }
    fs::path Folder() const { return fs::path(start.Path()) / "AlbumDownload"; }
    // A record held by this process, as another run would hold it.
    std::unique_ptr<FolderRecord> held;
};

using Args = std::function<std::vector<std::string>(World&)>;

struct RerunRow {
    const char* name;
    Args first;                          // the first run's arguments after the program
    std::function<void(World&)> change;  // between the runs
    Args second;
    int exit_code;
    std::string log;                                         // the second run's picture lines
    std::vector<std::pair<std::string, std::string>> files;  // every entry below the start, and content
    std::vector<std::string> requests;                       // "PATH RANGE STATUS" of the second run
    std::string err = "";
    // Pictures whose files differ from their record rows afterwards (edited
    // here and kept); every other row names a missing file or one with the
    // recorded bytes and SHA-256.
    std::vector<std::string> changed = {};
};

void PrintTo(const RerunRow& row, std::ostream* os) { *os << row.name; }

Args Plain(std::vector<std::string> options, bool two_albums = false) {
    return [=](World& w) {
        std::vector<std::string> args = options;
        args.push_back(w.AB());
        if (two_albums) args.push_back(w.Album("Winter", {"/b.jpg"}));
        return args;
    };
}

// The same albums again, as the server now serves them.
Args Again(std::vector<std::string> options, bool two_albums = false) {
    return [=](World& w) {
        std::vector<std::string> args = options;
        args.push_back(w.pages.Url("/picasaweb.google.com/u/Summer"));
        if (two_albums) args.push_back(w.pages.Url("/picasaweb.google.com/u/Winter"));
        return args;
    };
}

// a.jpg cut off at half on the first request, and whole from then on.
Args CutA(std::vector<std::string> options, RangeServer::Picture how = Tag("\"v1\"")) {
    return [=](World& w) {
        std::vector<std::string> args = options;
        args.push_back(w.AB());
        RangeServer::Picture cut = how;
        cut.cut_at = kHalf;
        w.Picture("/a.jpg", kA, cut);
        return args;
    };
}
std::function<void(World&)> ServeA(std::string body, RangeServer::Picture how) {
    return [=](World& w) { w.Picture("/a.jpg", body, how); };
}

// A -c run interrupted once a.jpg's kept body holds `at` bytes; a.jpg is whole
// on the server afterwards.
std::function<void(World&)> InterruptAt(std::size_t at) {
    return [at](World& w) {
        w.Picture("/a.jpg", kA, HangsAt(Tag("\"v1\""), at));
        ChildProcess child({GATHRIX_CLI_PATH, "-c", w.pages.Url("/picasaweb.google.com/u/Summer")}, w.start.Path());
        const fs::path kept = w.Folder() / ".gathrix-partial-a.jpg";
        for (int i = 0; i < 500 && !(fs::exists(kept) && fs::file_size(kept) == at); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        child.Signal(SIGINT);
        child.Finish();
        w.Picture("/a.jpg", kA, Tag("\"v1\""));
    };
}

// A Flickr set, and a Webshots album, of a and b on the picture server; the address.
std::string FlickrAB(World& w) {
    w.Picture("/a_o.jpg", kA, {});
    w.Picture("/b_o.jpg", kB, {});
    w.pages.Serve("/flickr.com/photos/u/sets/1/",
                  FlickrSetPage({{"/photos/u/1/in/set-1/", w.pictures.Url("/a_s.jpg")},
                                 {"/photos/u/2/in/set-1/", w.pictures.Url("/b_s.jpg")}}));
    return w.pages.Url("/flickr.com/photos/u/sets/1/");
}
std::string WebshotsAB(World& w) {
    w.Picture("/a_fs.jpg", kA, {});
    w.Picture("/b_fs.jpg", kB, {});
    w.pages.Serve("/webshots.com/album/1", WebshotsAlbumPage({{w.pictures.Url("/a_th.jpg"), "/photo/1"},
                                                              {w.pictures.Url("/b_th.jpg"), "/photo/2"}}));
    return w.pages.Url("/webshots.com/album/1");
}
Args Over(std::string (*album)(World&), std::vector<std::string> options) {
    return [=](World& w) {
        std::vector<std::string> args = options;
        args.push_back(album(w));
        return args;
    };
}
// Files of a_size and b_size bytes put in the place of a and b.
std::function<void(World&)> OnDisk(std::string a, std::size_t a_size, std::string b, std::size_t b_size) {
    return [=](World& w) {
        WriteFile((w.Folder() / a).string(), std::string(a_size, 'a'));
        WriteFile((w.Folder() / b).string(), std::string(b_size, 'b'));
    };
}

// The album a and b again, as S is now; of a changed (or not) on the server.
Args AgainS(std::vector<std::string> options) {
    return [=](World& w) {
        std::vector<std::string> args = options;
        args.push_back(w.pages.Url("/picasaweb.google.com/u/S"));
        return args;
    };
}
std::function<void(World&)> Album(std::string name, std::vector<std::string> paths) {
    return [=](World& w) { w.Album(name, paths); };
}
// Two pictures named a.jpg, at /x and /y.
Args XY(std::vector<std::string> options) {
    return [=](World& w) {
        w.Picture("/x/a.jpg", kA, Tag("\"x\""));
        w.Picture("/y/a.jpg", kB, Tag("\"y\""));
        std::vector<std::string> args = options;
        args.push_back(w.Album("S", {"/x/a.jpg", "/y/a.jpg"}));
        return args;
    };
}
std::function<void(World&)> Rewrite(std::string name, std::string content) {
    return [=](World& w) { WriteFile((w.Folder() / name).string(), content); };
}

// A -nc run killed (SIGKILL) while b.jpg comes in: the record holds a.jpg
// only, and b.jpg is whole on the server afterwards. What the killed run
// left of b (a temporary file) is removed.
void KilledDuringB(World& w) {
    w.Picture("/b.jpg", kB, HangsAt(Tag("\"b\""), kHalf));
    ChildProcess child({GATHRIX_CLI_PATH, "-nc", w.pages.Url("/picasaweb.google.com/u/Summer")}, w.start.Path());
    EXPECT_TRUE(child.WaitForOutput("Downloading b.jpg...", std::chrono::seconds(10)));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    child.Signal(SIGKILL);
    child.Finish();
    const ProcessResult listing = RunProcess({GATHRIX_CLI_PATH, "--show-record"}, w.start.Path());
    EXPECT_EQ(listing.exit_code, kExitCompleted);
    EXPECT_NE(listing.out.find("a.jpg\t60000\t"), std::string::npos) << listing.out;
    EXPECT_EQ(listing.out.find("b.jpg"), std::string::npos) << listing.out;
    for (const auto& entry : fs::directory_iterator(w.Folder())) {
        if (entry.path().extension() == ".part") fs::remove(entry.path());
    }
    w.Picture("/b.jpg", kB, Tag("\"b\""));
}

const std::string kHere = "Downloading a.jpg...already here.\r\nDownloading b.jpg...already here.\r\n";
const std::string kAOk = "Downloading a.jpg...OK\r\n";
const std::string kBHere = "Downloading b.jpg...already here.\r\n";
const std::string kHalfRange = "bytes=" + std::to_string(kHalf) + "-";
const std::string kResumed = "gathrix-cli: 1 picture continued where an earlier run was cut off\n";
const std::vector<std::pair<std::string, std::string>> kAB = {{"AlbumDownload/a.jpg", kA}, {"AlbumDownload/b.jpg", kB}};

// The record's line at the end of an album, and the record in each folder.
std::string Summary(const std::string& album, const std::string& parts) {
    return "gathrix-cli: " + album + ": " + parts + "\n";
}
using Files = std::vector<std::pair<std::string, std::string>>;
Files R(Files files, const std::vector<std::string>& folders = {"AlbumDownload"}) {
    for (const std::string& folder : folders) files.emplace_back(folder + "/" + kRecordFileName, "(record)");
    return files;
}
const std::string kDate1 = "Tue, 01 Dec 2026 10:00:00 GMT";
const std::string kDate2 = "Wed, 02 Dec 2026 10:00:00 GMT";
const std::string kCut = kA.substr(0, 100);
const std::string kAKept = "gathrix-cli: 1 picture differs from what was downloaded and was kept: a.jpg\n";
const std::string kTwoHere = Summary("Summer", "2 already here");
const std::string kOneEach = Summary("Summer", "1 new, 1 already here");
const std::string kAHereBOk = "Downloading a.jpg...already here.\r\nDownloading b.jpg...OK\r\n";

// clang-format off
const RerunRow kRows[] = {
    {"Unchanged", Plain({}), nullptr, Again({"--skip-existing"}), kExitCompleted, kHere, R(kAB), {}, kTwoHere},
    {"UnchangedWithoutOption", Plain({}), nullptr, Again({}), kExitCompleted, kAOk + "Downloading b.jpg...OK\r\n", kAB,
     {"/a.jpg  200", "/b.jpg  200"}},
    {"NewPicture", Plain({}),
     [](World& w) { w.Picture("/c.jpg", kNewA, Tag("\"c\"")); w.Album("Summer", {"/a.jpg", "/b.jpg", "/c.jpg"}); },
     Again({"-nc"}), kExitCompleted, kHere + "Downloading c.jpg...OK\r\n",
     R({{"AlbumDownload/a.jpg", kA}, {"AlbumDownload/b.jpg", kB}, {"AlbumDownload/c.jpg", kNewA}}), {"/c.jpg  200"},
     Summary("Summer", "1 new, 2 already here")},
    // The services' size checks: a file smaller than the smallest good picture
    // is a stand-in and fetched again; one of that size is kept.
    {"FlickrStandInFetchedAgain", Over(FlickrAB, {}), OnDisk("a_o.jpg", 1000, "b_o.jpg", 3072), Over(FlickrAB, {"-nc"}),
     kExitCompleted, "Downloading a_o.jpg...OK\r\nDownloading b_o.jpg...already here.\r\n",
     R({{"AlbumDownload/a_o.jpg", kA}, {"AlbumDownload/b_o.jpg", std::string(3072, 'b')}}), {"/a_o.jpg  200"},
     Summary("/flickr.com/photos/u/sets/1/", "1 new, 1 already here")},
    {"WebshotsStandInFetchedAgain", Over(WebshotsAB, {}), OnDisk("a_fs.jpg", 1023, "b_fs.jpg", 1024),
     Over(WebshotsAB, {"-nc"}), kExitCompleted, "Downloading a_fs.jpg...OK\r\nDownloading b_fs.jpg...already here.\r\n",
     R({{"AlbumDownload/a_fs.jpg", kA}, {"AlbumDownload/b_fs.jpg", std::string(1024, 'b')}}), {"/a_fs.jpg  200"},
     Summary("/webshots.com/album/1", "1 new, 1 already here")},
    {"EmptiedFileFetchedAgain", Plain({}), [](World& w) { WriteFile((w.Folder() / "a.jpg").string(), ""); },
     Again({"-nc"}), kExitCompleted, kAOk + kBHere, R(kAB), {"/a.jpg  200"}, kOneEach},
    {"LinkIsNoPicture", Plain({}),
     [](World& w) { fs::remove(w.Folder() / "a.jpg"); fs::create_symlink("b.jpg", w.Folder() / "a.jpg"); },
     Again({"-nc"}), kExitCompleted, kAOk + kBHere, R(kAB), {"/a.jpg  200"}, kOneEach},
    {"SameNamedPairKeepsItsNames",
     [](World& w) { w.Picture("/x/a.jpg", kA, {}); w.Picture("/y/a.jpg", kB, {}); return std::vector<std::string>{w.Album("S", {"/x/a.jpg", "/y/a.jpg"})}; },
     nullptr, [](World& w) { return std::vector<std::string>{"-nc", w.Album("S", {"/x/a.jpg", "/y/a.jpg"})}; }, kExitCompleted,
     "Downloading a.jpg...already here.\r\nDownloading a-2.jpg...already here.\r\n",
     R({{"AlbumDownload/a-2.jpg", kB}, {"AlbumDownload/a.jpg", kA}}), {}, Summary("S", "2 already here")},
    // The first a.jpg failed the first time: it keeps its name all the same, and
    // -nc fetches it, not the second one again.
    {"FailedPictureKeepsItsName",
     [](World& w) { w.Picture("/y/a.jpg", kB, {}); return std::vector<std::string>{w.Album("S", {"/x/a.jpg", "/y/a.jpg"})}; },
     [](World& w) { w.Picture("/x/a.jpg", kA, {}); },
     [](World& w) { return std::vector<std::string>{"-nc", w.pages.Url("/picasaweb.google.com/u/S")}; }, kExitCompleted,
     "Downloading a.jpg...OK\r\nDownloading a-2.jpg...already here.\r\n",
     R({{"AlbumDownload/a-2.jpg", kB}, {"AlbumDownload/a.jpg", kA}}), {"/x/a.jpg  200"}, Summary("S", "1 new, 1 already here")},
    {"ListReusesItsFolders", Plain({}, true), nullptr, Again({"-nc"}, true), kExitCompleted, kHere + kBHere,
     R({{"Summer/AlbumDownload/a.jpg", kA}, {"Summer/AlbumDownload/b.jpg", kB}, {"Winter/AlbumDownload/b.jpg", kB}},
       {"Summer/AlbumDownload", "Winter/AlbumDownload"}), {},
     kTwoHere + Summary("Winter", "1 already here")},
    {"FileInTheFolderWay", Plain({}, true),
     [](World& w) { fs::remove_all(fs::path(w.start.Path()) / "Summer"); WriteFile(w.start.Path() + "/Summer", "x"); },
     Again({"-nc"}, true), kExitCompleted, kAOk + "Downloading b.jpg...OK\r\n" + kBHere,
     R({{"Summer", "x"}, {"Summer-2/AlbumDownload/a.jpg", kA}, {"Summer-2/AlbumDownload/b.jpg", kB},
        {"Winter/AlbumDownload/b.jpg", kB}}, {"Summer-2/AlbumDownload", "Winter/AlbumDownload"}),
     {"/a.jpg  200", "/b.jpg  200"}, Summary("Summer", "2 new") + Summary("Winter", "1 already here")},
    {"LinkInTheFolderWay", Plain({}, true),
     [](World& w) { fs::rename(fs::path(w.start.Path()) / "Summer", fs::path(w.start.Path()) / "Old");
                    fs::create_directory_symlink("Old", fs::path(w.start.Path()) / "Summer"); },
     Again({"-nc"}, true), kExitCompleted, kAOk + "Downloading b.jpg...OK\r\n" + kBHere,
     R({{"Old/AlbumDownload/a.jpg", kA}, {"Old/AlbumDownload/b.jpg", kB}, {"Summer", ""},
        {"Summer-2/AlbumDownload/a.jpg", kA}, {"Summer-2/AlbumDownload/b.jpg", kB}, {"Winter/AlbumDownload/b.jpg", kB}},
       {"Summer-2/AlbumDownload", "Winter/AlbumDownload"}),
     {"/a.jpg  200", "/b.jpg  200"}, Summary("Summer", "2 new") + Summary("Winter", "1 already here")},
    {"Resumed206", CutA({"-c"}), ServeA(kA, Tag("\"v1\"")), Again({"-c"}), kExitCompleted, kAOk + kBHere, R(kAB),
     {"/a.jpg " + kHalfRange + " 206"}, kResumed + kOneEach},
    {"ResumedByDate", CutA({"-c"}, Dated("Tue, 01 Dec 2026 10:00:00 GMT")),
     ServeA(kA, Dated("Tue, 01 Dec 2026 10:00:00 GMT")), Again({"--continue"}), kExitCompleted, kAOk + kBHere, R(kAB),
     {"/a.jpg " + kHalfRange + " 206"}, kResumed + kOneEach},
    {"RangeIgnoredGives200", CutA({"-c"}), ServeA(kA, IgnoresRanges(Tag("\"v1\""))), Again({"-c"}), kExitCompleted,
     kAOk + kBHere, R(kAB), {"/a.jpg " + kHalfRange + " 200"}, kOneEach},
    {"ChangedEtagGives200", CutA({"-c"}), ServeA(kNewA, Tag("\"v2\"")), Again({"-c"}), kExitCompleted, kAOk + kBHere,
     R({{"AlbumDownload/a.jpg", kNewA}, {"AlbumDownload/b.jpg", kB}}), {"/a.jpg " + kHalfRange + " 200"}, kOneEach},
    {"ShorterPictureGives416", CutA({"-c"}), ServeA(kA.substr(0, kHalf), Tag("\"v1\"")), Again({"-c"}), kExitCompleted,
     kAOk + kBHere, R({{"AlbumDownload/a.jpg", kA.substr(0, kHalf)}, {"AlbumDownload/b.jpg", kB}}),
     {"/a.jpg " + kHalfRange + " 416", "/a.jpg  200"}, kOneEach},
    {"NoValidatorNothingKept", CutA({"-c"}, RangeServer::Picture()), ServeA(kA, RangeServer::Picture()), Again({"-c"}), kExitCompleted,
     kAOk + kBHere, R(kAB), {"/a.jpg  200"}, kOneEach},
    {"CutWithoutContinueKeepsNothing", CutA({}), ServeA(kA, Tag("\"v1\"")), Again({"-c"}), kExitCompleted, kAOk + kBHere,
     R(kAB), {"/a.jpg  200"}, kOneEach},
    // A server that answers a range of another version than If-Range named:
    // never spliced on, but asked for whole (the ETag, or the date without one).
    {"Other206VersionStartsOver", CutA({"-c"}), ServeA(kNewA, IgnoresIfRange(Tag("\"v2\""))), Again({"-c"}), kExitCompleted,
     kAOk + kBHere, R({{"AlbumDownload/a.jpg", kNewA}, {"AlbumDownload/b.jpg", kB}}),
     {"/a.jpg " + kHalfRange + " 206", "/a.jpg  200"}, kOneEach},
    {"Other206DateStartsOver", CutA({"-c"}, Dated("Tue, 01 Dec 2026 10:00:00 GMT")),
     ServeA(kNewA, IgnoresIfRange(Dated("Wed, 02 Dec 2026 10:00:00 GMT"))), Again({"-c"}), kExitCompleted, kAOk + kBHere,
     R({{"AlbumDownload/a.jpg", kNewA}, {"AlbumDownload/b.jpg", kB}}), {"/a.jpg " + kHalfRange + " 206", "/a.jpg  200"},
     kOneEach},
    // A weak ETag: no date stands in for it, so nothing is kept.
    {"WeakEtagKeepsNothing", CutA({"-c"}, WeakTagAndDate()), ServeA(kA, WeakTagAndDate()), Again({"-c"}), kExitCompleted,
     kAOk + kBHere, R(kAB), {"/a.jpg  200"}, kOneEach},
    // Stored whole by a run without -c: the kept body and its record go (the
    // folder's record stays, kept current).
    {"StoredWholeRemovesKeptBody", CutA({"-c"}), ServeA(kA, Tag("\"v1\"")), Again({}), kExitCompleted,
     kAOk + "Downloading b.jpg...OK\r\n", R(kAB), {"/a.jpg  200", "/b.jpg  200"}, Summary("Summer", "2 new")},
    // The resume is interrupted in turn: the next run continues where that one stopped.
    {"InterruptDuringResume", CutA({"-c"}), InterruptAt(45000), Again({"-c"}), kExitCompleted, kAOk + kBHere, R(kAB),
     {"/a.jpg bytes=45000- 206"}, kResumed + kOneEach},
    {"InterruptedFirstFetch", Plain({}), [](World& w) { fs::remove(w.Folder() / "a.jpg"); InterruptAt(20000)(w); },
     Again({"-c"}), kExitCompleted, kAOk + kBHere, R(kAB), {"/a.jpg bytes=20000- 206"}, kResumed + kOneEach},

    // With a record, names follow addresses: a reordered album, pictures
    // added in front and a second album into the same folder never take
    // another picture's file.
    {"ReorderedKeepsNames", XY({"-nc"}), Album("S", {"/y/a.jpg", "/x/a.jpg"}), AgainS({"-nc"}), kExitCompleted,
     "Downloading a-2.jpg...already here.\r\nDownloading a.jpg...already here.\r\n",
     R({{"AlbumDownload/a-2.jpg", kB}, {"AlbumDownload/a.jpg", kA}}), {}, Summary("S", "2 already here")},
    {"AddedInFront", XY({"-nc"}),
     [](World& w) { w.Picture("/z/a.jpg", kNewA, Tag("\"z\"")); w.Album("S", {"/z/a.jpg", "/x/a.jpg", "/y/a.jpg"}); },
     AgainS({"-nc"}), kExitCompleted,
     "Downloading a-3.jpg...OK\r\nDownloading a.jpg...already here.\r\nDownloading a-2.jpg...already here.\r\n",
     R({{"AlbumDownload/a-2.jpg", kB}, {"AlbumDownload/a-3.jpg", kNewA}, {"AlbumDownload/a.jpg", kA}}), {"/z/a.jpg  200"},
     Summary("S", "1 new, 2 already here")},
    {"TwoAlbumsOneFolder",
     [](World& w) { w.Picture("/x/a.jpg", kA, {}); return std::vector<std::string>{"-nc", w.Album("One", {"/x/a.jpg"})}; },
     nullptr,
     [](World& w) { w.Picture("/y/a.jpg", kB, {}); return std::vector<std::string>{"-nc", w.Album("Two", {"/y/a.jpg"})}; },
     kExitCompleted, "Downloading a-2.jpg...OK\r\n", R({{"AlbumDownload/a-2.jpg", kB}, {"AlbumDownload/a.jpg", kA}}),
     {"/y/a.jpg  200"}, Summary("Two", "1 new")},
    // Files on record deleted, cut short or edited on this machine.
    {"DeletedFetchedAgain", Plain({"-nc"}), [](World& w) { fs::remove(w.Folder() / "b.jpg"); }, Again({"-nc"}),
     kExitCompleted, kAHereBOk, R(kAB), {"/b.jpg  200"}, kOneEach},
    {"TruncatedKept", Plain({"-nc"}), Rewrite("a.jpg", kCut), Again({"-nc"}), kExitCompleted, kHere,
     R({{"AlbumDownload/a.jpg", kCut}, {"AlbumDownload/b.jpg", kB}}), {}, kAKept + kTwoHere, {"a.jpg"}},
    {"TruncatedOverwritten", Plain({"-nc"}), Rewrite("a.jpg", kCut), Again({"-nc", "--overwrite"}), kExitCompleted,
     kAOk + kBHere, R(kAB), {"/a.jpg  200"}, kOneEach},
    {"PlainRunKeepsEdited", Plain({"-nc"}), Rewrite("a.jpg", kCut), Again({}), kExitCompleted, kAHereBOk,
     R({{"AlbumDownload/a.jpg", kCut}, {"AlbumDownload/b.jpg", kB}}), {"/b.jpg  200"}, kAKept + kOneEach, {"a.jpg"}},
    {"EditedSameSizeVerified", Plain({"-nc"}), Rewrite("a.jpg", std::string(kA.size(), 'e')),
     Again({"-nc", "--verify"}), kExitCompleted, kHere,
     R({{"AlbumDownload/a.jpg", std::string(kA.size(), 'e')}, {"AlbumDownload/b.jpg", kB}}), {}, kAKept + kTwoHere, {"a.jpg"}},
    {"EditedSameSizeUnverified", Plain({"-nc"}), Rewrite("a.jpg", std::string(kA.size(), 'e')), Again({"-nc"}),
     kExitCompleted, kHere, R({{"AlbumDownload/a.jpg", std::string(kA.size(), 'e')}, {"AlbumDownload/b.jpg", kB}}), {},
     kTwoHere, {"a.jpg"}},
    // --update asks each picture on record only if it changed.
    {"UpdateUnchanged", Plain({"-N"}), nullptr, Again({"-N"}), kExitCompleted, kHere, R(kAB),
     {"/a.jpg  304", "/b.jpg  304"}, kTwoHere},
    {"UpdateChangedEtag", Plain({"-N"}), ServeA(kNewA, Tag("\"a2\"")), Again({"--update"}), kExitCompleted,
     "Downloading a.jpg...updated.\r\n" + kBHere, R({{"AlbumDownload/a.jpg", kNewA}, {"AlbumDownload/b.jpg", kB}}),
     {"/a.jpg  200", "/b.jpg  304"}, Summary("Summer", "1 already here, 1 updated")},
    {"UpdateByDate",
     [](World& w) { w.Picture("/a.jpg", kA, Dated(kDate1)); w.Picture("/b.jpg", kB, Dated(kDate1));
                    return std::vector<std::string>{"-N", w.Album("Summer", {"/a.jpg", "/b.jpg"})}; },
     ServeA(kNewA, Dated(kDate2)), Again({"-N"}), kExitCompleted, "Downloading a.jpg...updated.\r\n" + kBHere,
     R({{"AlbumDownload/a.jpg", kNewA}, {"AlbumDownload/b.jpg", kB}}), {"/a.jpg  200", "/b.jpg  304"},
     Summary("Summer", "1 already here, 1 updated")},
    {"UpdateKeepsEdited", Plain({"-N"}), Rewrite("a.jpg", kCut), Again({"-N"}), kExitCompleted, kHere,
     R({{"AlbumDownload/a.jpg", kCut}, {"AlbumDownload/b.jpg", kB}}), {"/b.jpg  304"}, kAKept + kTwoHere, {"a.jpg"}},
    // The record itself: a killed run, a run holding it, a damaged one, and a
    // picture of its name.
    {"KilledRunLeavesNoRow", [](World& w) { w.AB(); return std::vector<std::string>{"--version"}; }, KilledDuringB,
     Again({"-nc"}), kExitCompleted, kAHereBOk, R(kAB), {"/b.jpg  200"}, kOneEach},
    {"HeldRecordStopsRun", Plain({"-nc"}),
     [](World& w) { w.held = FolderRecord::Open(w.Folder(), false).record; }, Again({"-nc"}), kExitNoFolder, "",
     R({{"AlbumDownload/.gathrix-record.sqlite-wal", "(record)"}, {"AlbumDownload/a.jpg", kA}, {"AlbumDownload/b.jpg", kB}}), {},
     "The folder AlbumDownload is in use by another download.\ngathrix-cli: the folder 'START/AlbumDownload' is in "
     "use by another run (it holds the folder's record); try again when that run has ended\n"},
    {"DamagedRecordSetAside", Plain({"-nc"}), Rewrite(kRecordFileName, std::string(200, 'd')), Again({"-nc"}),
     kExitCompleted, kHere, R({{"AlbumDownload/.gathrix-record.sqlite.unreadable", std::string(200, 'd')},
                               {"AlbumDownload/a.jpg", kA}, {"AlbumDownload/b.jpg", kB}}), {},
     "gathrix-cli: the record 'START/AlbumDownload/.gathrix-record.sqlite' could not be read (file is not a "
     "database); it was set aside as '.gathrix-record.sqlite.unreadable' and a new one started\n" + kTwoHere},
    // Killed after a.jpg's row was marked for its replacement, the new file
    // in place: a.jpg is no picture changed here, and -nc takes it as it is.
    {"KilledWhileReplacing", Plain({"-nc"}),
     [](World& w) { FolderRecord::Open(w.Folder(), false).record->MarkReplacing("a.jpg");
                    WriteFile((w.Folder() / "a.jpg").string(), kNewA); },
     Again({"-nc"}), kExitCompleted, kHere, R({{"AlbumDownload/a.jpg", kNewA}, {"AlbumDownload/b.jpg", kB}}), {},
     kTwoHere},
    {"PictureNamedLikeRecord",
     [](World& w) { w.Picture("/.gathrix-record.sqlite", kA, Tag("\"r\"")); w.Picture("/b.jpg", kB, Tag("\"b\""));
                    return std::vector<std::string>{"-nc", w.Album("Summer", {"/.gathrix-record.sqlite", "/b.jpg"})}; },
     nullptr, Again({"-nc"}), kExitCompleted,
     "Downloading _gathrix-record.sqlite...already here.\r\nDownloading b.jpg...already here.\r\n",
     R({{"AlbumDownload/_gathrix-record.sqlite", kA}, {"AlbumDownload/b.jpg", kB}}), {}, kTwoHere},
};
// clang-format on

class Rerun : public ::testing::TestWithParam<std::tuple<RerunRow, const char*>> {};

// Every entry below dir (hidden ones included), with its content ("" for a
// folder or a link).
std::vector<std::pair<std::string, std::string>> Tree(const fs::path& dir) {
    std::vector<std::pair<std::string, std::string>> entries;
    for (auto it = fs::recursive_directory_iterator(dir); it != fs::recursive_directory_iterator(); ++it) {
        const fs::path relative = it->path().lexically_relative(dir);
        if (it->is_symlink() || !it->is_directory()) {
            std::string content = it->is_symlink() ? "" : ReadFile(it->path().string());
            // A record's bytes are the database's business; one set aside is kept as it was.
            const std::string name = relative.filename().string();
            if (name == kRecordFileName || name == std::string(kRecordFileName) + "-wal") content = "(record)";
            entries.emplace_back(relative.string(), std::move(content));
        }
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

TEST_P(Rerun, SecondRun) {
    const auto& [row, jobs] = GetParam();
    World w;
    const std::vector<std::pair<std::string, std::string>> env = {
        {"GATHRIX_JOBS", jobs},
        {"GATHRIX_REQUEST_TIMEOUT", "5"},
        {"GATHRIX_WEBSHOTS_THUMBNAIL_PREFIX", "http://127.0.0.1"}};
    auto run = [&](const Args& args) {
        std::vector<std::string> argv = {GATHRIX_CLI_PATH};
        for (const std::string& a : args(w)) argv.push_back(a);
        return RunProcess(argv, w.start.Path(), env);
    };
    run(row.first);
    if (row.change) row.change(w);
    const std::size_t before = w.pictures.Requests().size();
    const ProcessResult second = run(row.second);

    EXPECT_EQ(second.exit_code, row.exit_code) << second.err;
    std::string log;
    for (std::size_t at = second.out.find("Downloading "); at != std::string::npos;
         at = second.out.find("Downloading ", at + 1)) {
        log += second.out.substr(at, second.out.find("\r\n", at) + 2 - at);
    }
    EXPECT_EQ(log, row.log);
    // Album addresses without the server's, folders below the start as START.
    std::string err = second.err;
    const auto replace_all = [&err](const std::string& from, const std::string& to) {
        for (std::size_t at = err.find(from); at != std::string::npos; at = err.find(from, at + to.size()))
            err.replace(at, from.size(), to);
    };
    replace_all(w.pages.Url("/picasaweb.google.com/u/"), "");
    replace_all(w.pages.Url("/"), "/");
    replace_all(w.start.Path(), "START");
    EXPECT_EQ(err, row.err);
    auto expected = row.files;
    std::sort(expected.begin(), expected.end());
    const auto files = Tree(w.start.Path());
    EXPECT_EQ(files.size(), expected.size());
    for (std::size_t i = 0; i < std::min(files.size(), expected.size()); ++i) {
        EXPECT_EQ(files[i].first, expected[i].first);
        EXPECT_TRUE(files[i].second == expected[i].second) << files[i].first;
    }
    // Every record below the start against the files it names.
    w.held.reset();
    std::vector<std::string> changed;
    for (auto it = fs::recursive_directory_iterator(w.start.Path()); it != fs::recursive_directory_iterator(); ++it) {
        if (it->path().filename() != kRecordFileName) continue;
        const FolderRecord::Opening opened = FolderRecord::Read(it->path().parent_path());
        ASSERT_TRUE(opened.record) << it->path();
        for (const RecordRow& record_row : opened.record->Rows()) {
            if (StateOfFile(it->path().parent_path(), record_row, true) == FileState::Changed)
                changed.push_back(record_row.name);
        }
    }
    EXPECT_EQ(changed, row.changed);

    std::vector<std::string> requests;
    const auto seen = w.pictures.Requests();
    for (std::size_t i = before; i < seen.size(); ++i) {
        requests.push_back(seen[i].path + " " + seen[i].range + " " + std::to_string(seen[i].status));
    }
    std::vector<std::string> expected_requests = row.requests;
    std::sort(requests.begin(), requests.end());
    std::sort(expected_requests.begin(), expected_requests.end());
    EXPECT_EQ(requests, expected_requests);
}

INSTANTIATE_TEST_SUITE_P(Rows, Rerun, ::testing::Combine(::testing::ValuesIn(kRows), ::testing::Values("1", "4")),
                         [](const auto& p) {
                             return std::string(std::get<0>(p.param).name) + "Jobs" + std::get<1>(p.param);
                         });

}  // namespace
}  // namespace gathrix::test
