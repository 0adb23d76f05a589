// gathrix-cli reading Flickr through the fake API, one row per case: what the
// API and the picture server hold, the arguments, and what the run leaves
// below the starting directory, which API methods it calls, and what it says.
// Every row runs with one transfer and with four; in every row the key shows
// nowhere: not on stdout, not on stderr, not in any file.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <ostream>
#include <string>
#include <vector>

#include "cli/child_process.h"
#include "cli/exit_status.h"
#include "support/album_pages.h"
#include "support/fake_server.h"
#include "support/flickr_api_server.h"

namespace gathrix::test {
namespace {

namespace fs = std::filesystem;

const std::string kKey = "s3cr3t-k3y";
const std::string kNsid = "12037949632@N01";
constexpr std::size_t kSize = 4000;

struct ApiWorld {
    FlickrApiServer api{kKey};
    FakeServer pictures;
    Sandbox start;

    // Photo id at /p/ID_o.jpg, served; its list entry.
    ApiPhoto Photo(const std::string& id, const std::string& title = "") {
        pictures.Serve("/p/" + id + "_o.jpg", PictureBytes(std::stoi(id), kSize));
        return ApiPicture(id, pictures.Url("/p/" + id + "_o.jpg"), title);
    }
    // An album of the given photo ids, owned by kNsid.
    void Album(const std::string& id, const std::string& title, const std::vector<std::string>& ids) {
        ApiAlbum album{id, kNsid, title, "Album " + title, {}};
        for (const std::string& photo : ids) album.photos.push_back(Photo(photo, "Photo " + photo));
        api.AddAlbum(album);
    }
};

std::string AlbumAddress(const std::string& user, const std::string& id) {
    return "https://www.flickr.com/photos/" + user + "/albums/" + id;
}

// Every file below dir, as "PATH SIZE" relative to it (album.json without its
// size), sorted; the folder's record is the program's own and left out (the
// key is looked for in it all the same).
std::vector<std::string> FilesBelow(const fs::path& dir) {
    std::vector<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        if (!entry.is_regular_file() || entry.path().filename().string().starts_with(".gathrix-record")) continue;
        const std::string path = fs::relative(entry.path(), dir).string();
        files.push_back(path == "album.json" || path.ends_with("/album.json")
                            ? path
                            : path + " " + std::to_string(entry.file_size()));
    }
    std::sort(files.begin(), files.end());
    return files;
}

using Setup = std::function<void(ApiWorld&)>;
using Check = std::function<void(ApiWorld&, const ProcessResult&)>;

struct ApiRow {
    const char* name;
    Setup setup;
    std::vector<std::string> args;  // after the program and its key; "ALBUM:USER:ID" is that album's address
    int exit_code;
    std::vector<std::string> files;    // FilesBelow the start (4000-byte pictures)
    std::vector<std::string> methods;  // the API's methods, in order
    std::vector<std::string> err = {};  // lines of stderr, each as a part of it
    Check check = nullptr;
};

void PrintTo(const ApiRow& row, std::ostream* os) { *os << row.name; }

const std::string kGetPhotos = "flickr.photosets.getPhotos";
const std::string kGetList = "flickr.photosets.getList";
const std::string kLookup = "flickr.urls.lookupUser";
const std::string kSizes = "flickr.photos.getSizes";
const std::string kStream = "flickr.people.getPublicPhotos";

std::string Pic(const std::string& id) { return id + "_o.jpg 4000"; }
std::string In(const std::string& folder, const std::string& file) { return folder + "/AlbumDownload/" + file; }

Setup ThreeAlbums() {
    return [](ApiWorld& w) {
        w.api.AddAlias("anna", kNsid);
        w.Album("721", "Summer", {"1", "2"});
        w.Album("722", "Winter", {"3"});
    };
}

// clang-format off
const ApiRow kRows[] = {
    // Pages of two photos: three pages, asked 1 to 3; the log lists every
    // picture in album order under one header.
    {"AlbumOfThreePages",
     [](ApiWorld& w) { w.api.SetPageSize(2); w.Album("721", "Summer", {"1", "2", "3", "4", "5"}); },
     {"ALBUM:" + kNsid + ":721"}, kExitCompleted,
     {"AlbumDownload/" + Pic("1"), "AlbumDownload/" + Pic("2"), "AlbumDownload/" + Pic("3"),
      "AlbumDownload/" + Pic("4"), "AlbumDownload/" + Pic("5")},
     {kGetPhotos, kGetPhotos, kGetPhotos}, {},
     [](ApiWorld&, const ProcessResult& r) {
         std::string lines;
         for (const char* id : {"1", "2", "3", "4", "5"}) lines += "Downloading " + std::string(id) + "_o.jpg...OK\r\n";
         EXPECT_NE(r.out.find("\r\n" + lines + "\r\nEnd time:"), std::string::npos) << r.out;
         EXPECT_EQ(r.out.find("Start time:", 1), std::string::npos);
     }},
    // Without url_o the largest size offered, by width x height (strings and numbers).
    {"NoOriginal",
     [](ApiWorld& w) {
         ApiPhoto photo = ApiPicture("7", "");
         w.pictures.Serve("/p/7_l.jpg", PictureBytes(7, 1024));
         w.pictures.Serve("/p/7_k.jpg", PictureBytes(7, 2048));
         photo["url_l"] = w.pictures.Url("/p/7_l.jpg"); photo["width_l"] = "1024"; photo["height_l"] = "#768";
         photo["url_k"] = w.pictures.Url("/p/7_k.jpg"); photo["width_k"] = "#2048"; photo["height_k"] = "1536";
         photo["url_z"] = w.pictures.Url("/p/7_z.jpg"); photo["width_z"] = "#640"; photo["height_z"] = "#480";
         ApiPhoto bare = ApiPicture("8", "");
         w.api.AddAlbum({"721", kNsid, "Sizes", "", {photo, bare}});
     },
     {"ALBUM:" + kNsid + ":721"}, kExitPictureMissing, {"AlbumDownload/7_k.jpg 2048"}, {kGetPhotos},
     {"gathrix-cli: picture https://www.flickr.com/photos/" + kNsid + "/8/: no downloadable size offered"}},
    // A video: its largest video file, stored as PHOTOID.mp4 when its address has no extension.
    {"Video",
     [](ApiWorld& w) {
         ApiPhoto video = ApiPicture("9", "");
         video["media"] = "video";
         w.pictures.Serve("/v/9/orig/", PictureBytes(9, 3000));
         w.api.SetVideoSizes("9", {{"Site MP4", w.pictures.Url("/v/9/site/"), 640, 360},
                                   {"Video Original", w.pictures.Url("/v/9/orig/"), 1920, 1080},
                                   {"Mobile MP4", w.pictures.Url("/v/9/mobile/"), 320, 180}});
         ApiPhoto silent = ApiPicture("10", "");
         silent["media"] = "video";
         w.api.SetVideoSizes("10", {});
         w.api.AddAlbum({"721", kNsid, "Moving", "", {w.Photo("1"), video, silent}});
     },
     {"ALBUM:" + kNsid + ":721"}, kExitPictureMissing, {"AlbumDownload/" + Pic("1"), "AlbumDownload/9.mp4 3000"},
     {kGetPhotos, kSizes, kSizes},
     {"gathrix-cli: picture https://www.flickr.com/photos/" + kNsid + "/10/: no video file offered"}},
    // Two albums of one alias: looked up once; each in "ID TITLE".
    {"AliasResolvedOnce", ThreeAlbums(), {"ALBUM:anna:721", "https://flickr.com/photos/anna/sets/722/with/3/"},
     kExitCompleted, {In("721 Summer", Pic("1")), In("721 Summer", Pic("2")), In("722 Winter", Pic("3"))},
     {kLookup, kGetPhotos, kGetPhotos}},
    // A user's album list alone: its albums' folders directly in the start;
    // album.json has the description the list gave.
    {"AlbumListAlone", ThreeAlbums(), {"--write-metadata", "https://m.flickr.com/photos/anna/albums/"}, kExitCompleted,
     {In("721 Summer", Pic("1")), In("721 Summer", Pic("2")), In("721 Summer", "album.json"),
      In("722 Winter", Pic("3")), In("722 Winter", "album.json")},
     {kLookup, kGetList, kGetPhotos, kGetPhotos}, {},
     [](ApiWorld& w, const ProcessResult&) {
         const auto json = nlohmann::json::parse(ReadFile(w.start.Path() + "/722 Winter/AlbumDownload/album.json"));
         EXPECT_EQ(json["address"], "https://www.flickr.com/photos/anna/albums/722");
         EXPECT_EQ(json["album"]["description"], "Album Winter");
         EXPECT_EQ(json["pictures"][0]["file"], "3_o.jpg");
     }},
    // Among other addresses: below a folder named after the user as written.
    {"AlbumListAmongOthers",
     [](ApiWorld& w) { ThreeAlbums()(w); w.api.SetPhotostream(kNsid, {w.Photo("5")}); },
     {"http://www.flickr.com/photos/anna/sets", "https://www.flickr.com/photos/" + kNsid + "/"}, kExitCompleted,
     {In(kNsid, Pic("5")), "anna/" + In("721 Summer", Pic("1")), "anna/" + In("721 Summer", Pic("2")),
      "anna/" + In("722 Winter", Pic("3"))},
     {kLookup, kGetList, kGetPhotos, kGetPhotos, kStream}},
    // A folder an earlier run made is found by the album's ID, and keeps its name.
    {"RenamedAlbumFoundAgain",
     [](ApiWorld& w) { ThreeAlbums()(w); fs::create_directories(fs::path(w.start.Path()) / "721 Old name"); },
     {"https://www.flickr.com/photos/anna/albums"}, kExitCompleted,
     {In("721 Old name", Pic("1")), In("721 Old name", Pic("2")), In("722 Winter", Pic("3"))},
     {kLookup, kGetList, kGetPhotos, kGetPhotos}},
    {"Photostream",
     [](ApiWorld& w) { w.api.AddAlias("anna", kNsid); w.api.SetPageSize(1); w.api.SetPhotostream(kNsid, {w.Photo("5"), w.Photo("6")}); },
     {"https://secure.flickr.com/photos/anna/page3?x=1#top"}, kExitCompleted,
     {"AlbumDownload/" + Pic("5"), "AlbumDownload/" + Pic("6")}, {kLookup, kStream, kStream}},
    // A bad key: the first answer stops every call; each address given says so once.
    {"BadKeyStopsEverything", ThreeAlbums(),
     {"--flickr-api-key", "wrong", "https://www.flickr.com/photos/anna/albums", "ALBUM:anna:722",
      "ALBUM:" + kNsid + ":721"},
     kExitPageFailed, {}, {kLookup},
     {"gathrix-cli: Flickr API: Invalid API Key (Key has expired) (code 100): https://www.flickr.com/photos/anna/albums\n",
      "gathrix-cli: Flickr API: Invalid API Key (Key has expired) (code 100): " + AlbumAddress("anna", "722") + "\n",
      "gathrix-cli: Flickr API: Invalid API Key (Key has expired) (code 100): " + AlbumAddress(kNsid, "721") + "\n"},
     [](ApiWorld&, const ProcessResult& r) { EXPECT_EQ(r.err.find("wrong"), std::string::npos); }},
    // Every page lists the first page's photos: the album ends at the second.
    {"RepeatedPageEndsAlbum",
     [](ApiWorld& w) { w.api.SetPageSize(1); w.api.RepeatFirstPage(10000000); w.Album("721", "Loop", {"1", "2"}); },
     {"ALBUM:" + kNsid + ":721"}, kExitCompleted, {"AlbumDownload/" + Pic("1")}, {kGetPhotos, kGetPhotos}},
    {"StatFail", [](ApiWorld& w) { w.Album("721", "Summer", {"1"}); },
     {"https://www.flickr.com/photos/" + kNsid + "/5/in/album-999/"}, kExitPageFailed, {}, {kGetPhotos},
     {"gathrix-cli: Flickr API: Photoset not found (code 1): https://www.flickr.com/photos/" + kNsid +
      "/5/in/album-999/\n"}},
    {"NotAnAnswer", [](ApiWorld& w) { w.api.AnswerRaw(kGetPhotos, "<html>maintenance</html>"); },
     {"ALBUM:" + kNsid + ":721"}, kExitPageFailed, {}, {kGetPhotos},
     {"gathrix-cli: Flickr API: not a Flickr API answer: " + AlbumAddress(kNsid, "721") + "\n"}},
    // Code 105 and HTTP 429 are sent again with --retries; the retry lines hide the key.
    {"UnavailableRetried",
     [](ApiWorld& w) { w.api.WrapInCall(true); w.api.FailNext(kGetPhotos, 105, "Service currently unavailable"); w.Album("721", "S", {"1"}); },
     {"--retries", "1", "ALBUM:" + kNsid + ":721"}, kExitCompleted, {"AlbumDownload/" + Pic("1")}, {kGetPhotos, kGetPhotos},
     {"api_key=HIDDEN&format=json&nojsoncallback=1&photoset_id=721", "Flickr API: Service currently unavailable (code 105) (attempt 2 of 2)"}},
    {"RateLimitRetried", [](ApiWorld& w) { w.api.RateLimitNext(1, 1); w.Album("721", "S", {"1"}); },
     {"--retries", "2", "ALBUM:" + kNsid + ":721"}, kExitCompleted, {"AlbumDownload/" + Pic("1")}, {kGetPhotos, kGetPhotos},
     {"api_key=HIDDEN", " in 1 s: HTTP 429 (attempt 2 of 3)"}},
    {"RateLimitGivesUp", [](ApiWorld& w) { w.api.RateLimitNext(5, 0); },
     {"ALBUM:" + kNsid + ":721"}, kExitPageFailed, {}, {kGetPhotos}, {"&api_key=HIDDEN&", ": HTTP 429\n"}},
    // album.json: the album's and each picture's details, in album order; a
    // picture named album.json is stored as album-2.json.
    {"Metadata",
     [](ApiWorld& w) {
         w.pictures.Serve("/q/album.json", PictureBytes(3, 100));
         ApiPhoto named = ApiPicture("3", w.pictures.Url("/q/album.json"), "Tricky");
         w.api.AddAlbum({"721", kNsid, "Summer \xC3\xA9t\xC3\xA9", "", {w.Photo("1", "First"), ApiPicture("2", ""), named}});
     },
     {"--write-metadata", "ALBUM:" + kNsid + ":721"}, kExitPictureMissing,
     {"AlbumDownload/" + Pic("1"), "AlbumDownload/album-2.json 100", "AlbumDownload/album.json"}, {kGetPhotos},
     {"picture https://www.flickr.com/photos/" + kNsid + "/2/: no downloadable size offered"},
     [](ApiWorld& w, const ProcessResult&) {
         const auto json = nlohmann::json::parse(ReadFile(w.start.Path() + "/AlbumDownload/album.json"));
         EXPECT_EQ(json["address"], AlbumAddress(kNsid, "721"));
         EXPECT_EQ(json["service"], "flickr");
         EXPECT_EQ(json["album"]["id"], "721");
         EXPECT_EQ(json["album"]["title"], "Summer \xC3\xA9t\xC3\xA9");
         EXPECT_EQ(json["album"]["owner"]["id"], kNsid);
         EXPECT_EQ(json["album"]["owner"]["name"], "Owner of " + kNsid);
         EXPECT_EQ(json["written"].get<std::string>().size(), 20u);
         ASSERT_EQ(json["pictures"].size(), 3u);
         const auto& first = json["pictures"][0];
         EXPECT_EQ(first["file"], "1_o.jpg");
         EXPECT_EQ(first["address"], w.pictures.Url("/p/1_o.jpg"));
         EXPECT_EQ(first["stored"], true);
         EXPECT_EQ(first["bytes"], kSize);
         EXPECT_EQ(first["title"], "First");
         EXPECT_EQ(first["description"], "About First");
         EXPECT_EQ(first["taken"], "2019-07-14T10:23:45");
         EXPECT_EQ(first["uploaded"], "2019-07-14T10:40:00Z");
         EXPECT_EQ(first["tags"], nlohmann::json({"sea", "summer"}));
         EXPECT_EQ(first["license"], "4");
         EXPECT_EQ(first["page"], "https://www.flickr.com/photos/" + kNsid + "/1/");
         EXPECT_EQ(first["media"], "photo");
         EXPECT_TRUE(json["pictures"][1]["file"].is_null());
         EXPECT_EQ(json["pictures"][1]["stored"], false);
         EXPECT_FALSE(json["pictures"][1].contains("bytes"));
         EXPECT_EQ(json["pictures"][2]["file"], "album-2.json");
     }},
    // A picture kept by --skip-existing is listed as stored, with its file's size.
    {"SkipExistingListedAsStored",
     [](ApiWorld& w) {
         w.Album("721", "Summer", {"1", "2"});
         fs::create_directories(w.start.Path() + "/AlbumDownload");
         WriteFile(w.start.Path() + "/AlbumDownload/1_o.jpg", std::string(5000, 'x'));
     },
     {"--skip-existing", "--write-metadata", "ALBUM:" + kNsid + ":721"}, kExitCompleted,
     {"AlbumDownload/1_o.jpg 5000", "AlbumDownload/" + Pic("2"), "AlbumDownload/album.json"}, {kGetPhotos}, {},
     [](ApiWorld& w, const ProcessResult& r) {
         EXPECT_NE(r.out.find("Downloading 1_o.jpg...already here.\r\nDownloading 2_o.jpg...OK\r\n"), std::string::npos);
         const auto json = nlohmann::json::parse(ReadFile(w.start.Path() + "/AlbumDownload/album.json"));
         EXPECT_EQ(json["pictures"][0]["stored"], true);
         EXPECT_EQ(json["pictures"][0]["bytes"], 5000);
         EXPECT_EQ(json["pictures"][1]["bytes"], kSize);
     }},
};
// clang-format on

class FlickrApiCli : public ::testing::TestWithParam<std::tuple<ApiRow, int>> {};

TEST_P(FlickrApiCli, ReadsThroughTheApi) {
    const auto& [row, jobs] = GetParam();
    ApiWorld world;
    row.setup(world);
    std::vector<std::string> args{GATHRIX_CLI_PATH, "--jobs", std::to_string(jobs), "--no-progress"};
    if (std::find(row.args.begin(), row.args.end(), "--flickr-api-key") == row.args.end()) {
        args.insert(args.end(), {"--flickr-api-key", kKey});
    }
    for (const std::string& arg : row.args) {
        if (!arg.starts_with("ALBUM:")) {
            args.push_back(arg);
            continue;
        }
        const std::size_t colon = arg.find(':', 6);
        args.push_back(AlbumAddress(arg.substr(6, colon - 6), arg.substr(colon + 1)));
    }
    const ProcessResult result = RunProcess(args, world.start.Path(), {{"GATHRIX_FLICKR_API_URL", world.api.Endpoint()}});

    EXPECT_EQ(result.exit_code, row.exit_code) << result.err;
    EXPECT_EQ(FilesBelow(world.start.Path()), row.files);
    EXPECT_EQ(world.api.Methods(), row.methods);
    for (const std::string& part : row.err) EXPECT_NE(result.err.find(part), std::string::npos) << part << "\n" << result.err;
    // The key is sent with every call, and shown nowhere.
    for (const std::string& call : world.api.Calls()) EXPECT_NE(call.find("&api_key="), std::string::npos);
    EXPECT_EQ(result.out.find(kKey), std::string::npos);
    EXPECT_EQ(result.err.find(kKey), std::string::npos);
    for (const auto& entry : fs::recursive_directory_iterator(world.start.Path())) {
        if (entry.is_regular_file()) {
            EXPECT_EQ(ReadFile(entry.path().string()).find(kKey), std::string::npos);
        }
    }
    if (row.check) row.check(world, result);
}

INSTANTIATE_TEST_SUITE_P(Rows, FlickrApiCli, ::testing::Combine(::testing::ValuesIn(kRows), ::testing::Values(1, 4)),
                         [](const auto& p) {
                             return std::string(std::get<0>(p.param).name) + "_jobs" +
                                    std::to_string(std::get<1>(p.param));
                         });

// Without a key, a Flickr address goes to the set reader: no API call.
TEST(FlickrApiCliKey, WithoutKeyTheSetReaderReadsAndTheApiIsNeverAsked) {
    ApiWorld world;
    world.Album("721", "Summer", {"1"});
    world.pictures.Serve("/flickr.com/photos/u/sets/721/",
                         FlickrSetPage({{"/photos/u/1/in/set-721/", world.pictures.Url("/p/1_s.jpg")}}));
    const ProcessResult result = RunProcess({GATHRIX_CLI_PATH, world.pictures.Url("/flickr.com/photos/u/sets/721/")},
                                            world.start.Path(), {{"GATHRIX_FLICKR_API_URL", world.api.Endpoint()}});
    EXPECT_EQ(result.exit_code, kExitCompleted) << result.err;
    EXPECT_EQ(FilesBelow(world.start.Path()), std::vector<std::string>{"AlbumDownload/" + Pic("1")});
    EXPECT_TRUE(world.api.Methods().empty());
}

// The key from the configuration file, and from the environment.
TEST(FlickrApiCliKey, KeyComesFromTheConfigurationFileOrTheEnvironment) {
    for (const bool from_config : {true, false}) {
        ApiWorld world;
        world.Album("721", "Summer", {"1"});
        std::vector<std::pair<std::string, std::string>> env{{"GATHRIX_FLICKR_API_URL", world.api.Endpoint()}};
        if (from_config) {
            fs::create_directories(world.start.Path() + "/config/gathrix");
            WriteFile(world.start.Path() + "/config/gathrix/gathrix-cli.conf", "flickr-api-key = " + kKey + "\n");
            env.emplace_back("XDG_CONFIG_HOME", world.start.Path() + "/config");
        } else {
            env.emplace_back("GATHRIX_FLICKR_API_KEY", kKey);
        }
        const ProcessResult result = RunProcess({GATHRIX_CLI_PATH, AlbumAddress(kNsid, "721")}, world.start.Path(), env);
        EXPECT_EQ(result.exit_code, kExitCompleted) << result.err;
        EXPECT_EQ(world.api.Methods(), std::vector<std::string>{kGetPhotos});
        EXPECT_TRUE(fs::exists(world.start.Path() + "/AlbumDownload/1_o.jpg"));
    }
}

}  // namespace
}  // namespace gathrix::test
