// gathrix-cli run as a process against the local server.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <csignal>

#include "cli/child_process.h"
#include "cli/exit_status.h"
#include "support/album_pages.h"
#include "support/fake_server.h"

namespace gathrix::test {
namespace {

namespace fs = std::filesystem;

class CliTest : public ::testing::Test {
protected:
    ProcessResult Cli(const std::vector<std::string>& args, std::vector<std::pair<std::string, std::string>> env = {}) {
        std::vector<std::string> argv = {GATHRIX_CLI_PATH};
        argv.insert(argv.end(), args.begin(), args.end());
        env.emplace_back("GATHRIX_REQUEST_TIMEOUT", "2");
        return RunProcess(argv, sandbox.Path(), env);
    }
    fs::path Folder() const { return fs::canonical(sandbox.Path()) / "AlbumDownload"; }

    // The whole stdout of a run, with both clock times replaced by "T" and the
    // total time by "N".
    static std::string WithoutTimes(const std::string& out) {
        std::string s = std::regex_replace(out, std::regex("time:\\d\\d:\\d\\d:\\d\\d"), "time:T");
        return std::regex_replace(s, std::regex("Toatal time: \\d+ seconds"), "Toatal time: N seconds");
    }

    Sandbox sandbox;
    FakeServer server;
};

TEST_F(CliTest, FiftyPictureAlbumIsDownloadedByteForByte) {
    std::vector<std::string> pictures;
    std::string lines;
    for (int i = 1; i <= 50; ++i) {
        const std::string name = "DSC" + std::to_string(4000 + i) + ".JPG";
        server.Serve("/lh/photos/" + name, PictureBytes(i, static_cast<std::size_t>(i) * 9001));
        pictures.push_back(server.Url("/lh/photos/" + name));
        lines += "Downloading " + name + "...OK\r\n";
    }
    server.Serve("/picasaweb.google.com/someone/Holidays", PicasaPage(pictures));

    const ProcessResult r = Cli({server.Url("/picasaweb.google.com/someone/Holidays")});
    EXPECT_EQ(r.exit_code, kExitCompleted);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(WithoutTimes(r.out), "Start time:T\r\nDestination folder:" + Folder().string() + "\r\n" + lines +
                                       "\r\nEnd time:T\r\nToatal time: N seconds\r\n"
                                       " 50 files successfully downloaded!\r\n");
    for (int i = 1; i <= 50; ++i) {
        const std::string name = "DSC" + std::to_string(4000 + i) + ".JPG";
        EXPECT_EQ(ReadFile((Folder() / name).string()), PictureBytes(i, static_cast<std::size_t>(i) * 9001));
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(Folder()), fs::directory_iterator()), 50);
}

TEST_F(CliTest, WebshotsPhotoAddressLeadsToATwoPageAlbumWithASmallPictureRepaired) {
    const std::string album = "/webshots.com/album/987654";
    std::vector<WebshotsThumbnail> pages[2];
    std::vector<std::string> requests = {"/webshots.com/photo/2001", album};
    std::string lines = "Searching for album source...OK\r\n";
    for (int i = 1; i <= 5; ++i) {
        const std::string stem = "/thumb/u/IMG_" + std::to_string(i);
        const std::string name = "IMG_" + std::to_string(i) + "_fs.jpg";
        server.Serve(stem + "_fs.jpg", PictureBytes(i, i == 2 ? 1023 : 3000 + static_cast<std::size_t>(i)));
        pages[i <= 3 ? 0 : 1].push_back(
            {server.Url(stem + "_th.jpg"), server.Url("/webshots.com/photo/200" + std::to_string(i))});
        if (i == 4) requests.push_back(album + "?start=3");
        requests.push_back(stem + "_fs.jpg");
        lines += "Downloading " + name + "...OK\r\n";
        if (i != 2) continue;
        requests.insert(requests.end(), {"/community/photo/fullsize/2002", "/full/IMG_2.jpg"});
        lines += "File " + name + " failed. Searching for original version...succesful.\r\nDownloading " + name +
                 "...OK\r\n";
    }
    server.Serve("/full/IMG_2.jpg", PictureBytes(20, 9000));
    server.Serve("/community/photo/fullsize/2002", WebshotsFullSizePage(server.Url("/full/IMG_2.jpg")));
    server.Serve("/webshots.com/photo/2001", WebshotsPhotoPage(server.Url(album + "?vhost=autumn")));
    for (int n = 0; n < 10; ++n) server.Serve(album + "?start=" + std::to_string(n), "<p>end</p>\r\n");
    server.Serve(album, WebshotsAlbumPage(pages[0], server.Url(album + "?page=2")));
    server.Serve(album + "?start=3", WebshotsAlbumPage(pages[1]));

    const ProcessResult r =
        Cli({server.Url("/webshots.com/photo/2001")}, {{"GATHRIX_WEBSHOTS_THUMBNAIL_PREFIX", server.Url("/thumb")},
                                                       {"GATHRIX_WEBSHOTS_FULLSIZE_BASE", server.Url("/community")}});
    EXPECT_EQ(r.exit_code, kExitCompleted);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(WithoutTimes(r.out), "Start time:T\r\nDestination folder:" + Folder().string() + "\r\n" + lines +
                                       "\r\nEnd time:T\r\nToatal time: N seconds\r\n"
                                       " 5 files successfully downloaded!\r\n");
    EXPECT_EQ(server.Requests(), requests);
    for (int i = 1; i <= 5; ++i) {
        EXPECT_EQ(ReadFile((Folder() / ("IMG_" + std::to_string(i) + "_fs.jpg")).string()),
                  i == 2 ? PictureBytes(20, 9000) : PictureBytes(i, 3000 + static_cast<std::size_t>(i)));
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(Folder()), fs::directory_iterator()), 5);
}

TEST_F(CliTest, EmptyAlbumRunsToZeroFilesAndSaysSoOnStderr) {
    server.Serve("/picasaweb.google.com/x", PicasaPage({}));
    const ProcessResult r = Cli({server.Url("/picasaweb.google.com/x")});
    EXPECT_EQ(r.exit_code, kExitCompleted);
    EXPECT_EQ(WithoutTimes(r.out), "Start time:T\r\nDestination folder:" + Folder().string() +
                                       "\r\n\r\nEnd time:T\r\nToatal time: N seconds\r\n"
                                       " 0 files successfully downloaded!\r\n");
    EXPECT_EQ(r.err,
              "gathrix-cli: no pictures found on the album's pages: " + server.Url("/picasaweb.google.com/x") + "\n");
}

// A GATHRIX_JOBS that is no number from 1 to 16 is told, escaped, for each album.
TEST_F(CliTest, JobsInTheEnvironmentThatAreNoNumberAreTold) {
    server.Serve("/p/a.jpg", "a");
    server.Serve("/picasaweb.google.com/x", PicasaPage({server.Url("/p/a.jpg")}));
    server.Serve("/picasaweb.google.com/y", PicasaPage({server.Url("/p/a.jpg")}));
    const ProcessResult r = Cli({"-q", server.Url("/picasaweb.google.com/x"), server.Url("/picasaweb.google.com/y")},
                                {{"GATHRIX_JOBS", "9\x1B[2J"}});
    EXPECT_EQ(r.exit_code, kExitCompleted);
    const std::string warning =
        "gathrix: GATHRIX_JOBS=9\\x1B[2J is not a number from 1 to 16; fetching one picture at a time\n";
    EXPECT_EQ(r.err, warning + warning);
}

TEST_F(CliTest, InvalidAddressExitsWithTwo) {
    const ProcessResult r = Cli({"http://example.org/"});
    EXPECT_EQ(r.exit_code, kExitInvalidUrl);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Invalid URL !\n");
    // The folder the run made goes again; one that was there stays.
    EXPECT_FALSE(fs::exists(Folder()));
    fs::create_directory(Folder());
    EXPECT_EQ(Cli({"http://example.org/"}).exit_code, kExitInvalidUrl);
    EXPECT_TRUE(fs::is_directory(Folder()));
}

TEST_F(CliTest, UsageErrorsAndBlankAddressExitWithOne) {
    // A usage error is the line that names the argument and a pointer to
    // --help, not the whole usage text.
    for (const auto& args : std::vector<std::vector<std::string>>{{}, {"--bogus"}, {"-j", "17", "x"}}) {
        const ProcessResult r = Cli(args);
        EXPECT_EQ(r.exit_code, kExitUsage) << (args.empty() ? "(none)" : args[0]);
        EXPECT_EQ(r.out, "");
        EXPECT_TRUE(r.err.starts_with("gathrix-cli: ")) << r.err;
        EXPECT_TRUE(r.err.ends_with("\nTry 'gathrix-cli --help' for more information.\n")) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 2) << r.err;
    }
    for (const auto& args : std::vector<std::vector<std::string>>{{"   "}, {""}}) {
        const ProcessResult r = Cli(args);
        EXPECT_EQ(r.exit_code, kExitUsage);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "gathrix-cli: the album address is blank\n");
    }
    EXPECT_TRUE(server.Requests().empty());
}

TEST_F(CliTest, HelpAndVersion) {
    const ProcessResult help = Cli({"--help"});
    EXPECT_EQ(help.exit_code, kExitCompleted);
    EXPECT_NE(help.out.find("Usage: gathrix-cli [OPTION]... ADDRESS..."), std::string::npos);
    const ProcessResult version = Cli({"--version"});
    EXPECT_EQ(version.exit_code, kExitCompleted);
    EXPECT_EQ(version.out, "Gathrix 3.5\n");
}

TEST_F(CliTest, AddressAfterDoubleDash) {
    const ProcessResult r = Cli({"--", "-picasaweb.google.com"});
    EXPECT_EQ(r.exit_code, kExitPageFailed);  // taken as the address, which is no web address
    EXPECT_TRUE(r.err.starts_with("gathrix-cli: album page -picasaweb.google.com: ")) << r.err;
    EXPECT_NE(r.out.find(" 0 files successfully downloaded!\r\n"), std::string::npos);
}

TEST_F(CliTest, CheckUpdateReportsOnStdoutAndFailureOnStderr) {
    const std::pair<std::string, std::string> site{"GATHRIX_MAKER_SITE_URL", server.Url("")};
    server.Serve("/gathrix/version.txt", "3.5\r\n");
    ProcessResult r = Cli({"--check-update"}, {site});
    EXPECT_EQ(r.exit_code, kExitCompleted);
    EXPECT_EQ(r.out, "Contacting server, please wait...OK\r\nNo new version available\r\n");

    server.Serve("/gathrix/version.txt", "3.6\r\n");
    r = Cli({"--check-update"}, {site});
    EXPECT_EQ(r.exit_code, kExitCompleted);
    EXPECT_EQ(r.out,
              "Contacting server, please wait...OK\r\nNew version available ! Please visit our site to download\r\n");

    server.ServeStatus("/gathrix/version.txt", 404);
    r = Cli({"--check-update"}, {site});
    EXPECT_EQ(r.exit_code, kExitUsage);
    EXPECT_EQ(r.out, "Contacting server, please wait...failed.\r\n");
    EXPECT_EQ(r.err, "Our page cannot be contacted\n");
}

TEST_F(CliTest, LogIsWrittenAsTheRunGoesOn) {
    server.Serve("/p/first.jpg", "first");
    server.ServeTrickle("/p/slow.jpg", PictureBytes(1, 30000), 1000, std::chrono::milliseconds(50));
    server.Serve("/picasaweb.google.com/a", PicasaPage({server.Url("/p/first.jpg"), server.Url("/p/slow.jpg")}));
    ChildProcess child({GATHRIX_CLI_PATH, server.Url("/picasaweb.google.com/a")}, sandbox.Path(),
                       {{"GATHRIX_REQUEST_TIMEOUT", "5"}});
    EXPECT_TRUE(child.WaitForOutput("Downloading first.jpg...OK\r\nDownloading slow.jpg...", std::chrono::seconds(10)));
    EXPECT_TRUE(child.Running());
    const ProcessResult r = child.Finish();
    EXPECT_EQ(r.exit_code, kExitCompleted);
    EXPECT_NE(r.out.find("Downloading slow.jpg...OK\r\n"), std::string::npos);
    EXPECT_EQ(ReadFile((Folder() / "slow.jpg").string()), PictureBytes(1, 30000));
}

TEST_F(CliTest, InterruptDuringAPictureCancelsItAndLeavesNothingBehind) {
    WriteFile(sandbox.Path() + "/keep.txt", "x");
    fs::create_directory(Folder());
    WriteFile((Folder() / "slow.jpg").string(), "older picture");
    server.ServeTrickle("/p/slow.jpg", PictureBytes(1, 100000), 1000, std::chrono::milliseconds(20));
    server.Serve("/picasaweb.google.com/a", PicasaPage({server.Url("/p/slow.jpg")}));
    ChildProcess child({GATHRIX_CLI_PATH, server.Url("/picasaweb.google.com/a")}, sandbox.Path(),
                       {{"GATHRIX_REQUEST_TIMEOUT", "5"}});
    ASSERT_TRUE(child.WaitForOutput("Downloading slow.jpg...", std::chrono::seconds(10)));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    child.Signal(SIGINT);
    const ProcessResult r = child.Finish();
    EXPECT_EQ(r.exit_code, kExitSignalBase + SIGINT);
    EXPECT_TRUE(r.out.ends_with("Downloading slow.jpg...\r\n")) << r.out;
    EXPECT_EQ(ReadFile((Folder() / "slow.jpg").string()), "older picture");
    for (const auto& entry : fs::directory_iterator(Folder())) {
        EXPECT_FALSE(entry.path().filename().string().ends_with(".part")) << entry.path();
    }
}

// Seven pictures on three pages. Picture 2 has exactly 3072 bytes and stays;
// picture 4 comes down with 3071 and its size page names the original.
TEST_F(CliTest, ThreePageFlickrSetArrivesAtOriginalSize) {
    const std::string set = "/flickr.com/photos/someone/sets/72157/";
    auto size = [](int i) -> std::size_t { return i == 2 ? 3072 : i == 4 ? 90000 : 4000; };
    std::string lines;
    std::vector<FlickrThumbnail> pages[3];
    for (int i = 1; i <= 7; ++i) {
        const std::string id = std::to_string(i);
        server.Serve("/farm/" + id + "_o.jpg", PictureBytes(i, i == 4 ? 3071 : size(i)));
        pages[(i - 1) / 3].push_back({"/photos/someone/" + id + "/in/set-1/", server.Url("/farm/" + id + "_s.jpg")});
        lines += "Downloading " + id + "_o.jpg...OK\r\n";
    }
    server.Serve("/fl/photos/someone/4/sizes/o/", "<img src=\"" + server.Url("/orig/4_a1b2_o.jpg") + "\">");
    server.Serve("/orig/4_a1b2_o.jpg", PictureBytes(4, size(4)));
    lines.insert(lines.find("Downloading 5"),
                 "File 4_o.jpg failed. Searching for original version...succesful.\r\nDownloading 4_o.jpg...OK\r\n");
    server.Serve(set, FlickrSetPage(pages[0], {"1", true}));
    server.Serve(set + "?page=2", FlickrSetPage(pages[1], {"2", true}));
    server.Serve(set + "?page=3", FlickrSetPage(pages[2], {"3", false}));

    const ProcessResult r = Cli({server.Url(set)}, {{"GATHRIX_FLICKR_BASE_URL", server.Url("/fl")}});
    EXPECT_EQ(r.exit_code, kExitCompleted);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(WithoutTimes(r.out), "Start time:T\r\nDestination folder:" + Folder().string() + "\r\n" + lines +
                                       "\r\nEnd time:T\r\nToatal time: N seconds\r\n"
                                       " 7 files successfully downloaded!\r\n");
    for (int i = 1; i <= 7; ++i) {
        EXPECT_EQ(ReadFile((Folder() / (std::to_string(i) + "_o.jpg")).string()), PictureBytes(i, size(i))) << i;
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(Folder()), fs::directory_iterator()), 7);
}

// A photo, sets written with capitals ("/SETS/", "/Set-", "/Albums/" count as
// absent), and the list of a user's albums.
TEST_F(CliTest, FlickrAddressThatIsNotASetExitsWithThreeAndFetchesNothing) {
    for (const std::string path :
         {"/flickr.com/photos/someone/5300123/", "/flickr.com/photos/someone/SETS/72157/",
          "/www.FLICKR.com/photos/someone/Set-72157/?page=2", "/flickr.com/photos/someone/Albums/72157/",
          "/flickr.com/photos/someone/albums/", "/flickr.com/photos/someone/albums?view=all#top"}) {
        const ProcessResult r = Cli({server.Url(path)}, {{"GATHRIX_FLICKR_BASE_URL", server.Url("/fl")}});
        EXPECT_EQ(r.exit_code, kExitRejected) << path;
        EXPECT_EQ(r.err, "Only image sets are accepted !\n");
        EXPECT_EQ(WithoutTimes(r.out), "Start time:T\r\nDestination folder:" + Folder().string() + "\r\n");
    }
    EXPECT_TRUE(server.Requests().empty());
    EXPECT_FALSE(fs::exists(Folder()));
}

TEST_F(CliTest, RequestTimeOutComesFromTheEnvironment) {
    server.ServeHang("/p/hang.jpg");
    server.Serve("/picasaweb.google.com/a", PicasaPage({server.Url("/p/hang.jpg")}));
    const auto started = std::chrono::steady_clock::now();
    const ProcessResult r = Cli({server.Url("/picasaweb.google.com/a")}, {{"GATHRIX_REQUEST_TIMEOUT", "1"}});
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
    EXPECT_EQ(r.exit_code, kExitPictureMissing);
    EXPECT_NE(r.out.find("Downloading hang.jpg...failed.\r\n"), std::string::npos);
    EXPECT_NE(r.out.find(" 0 files successfully downloaded!\r\n"), std::string::npos);
}

#ifdef GATHRIX_DEMO_SERVER_PATH
// The command lines the demo server prints, pasted into a shell as they are,
// each download their whole album. The environment points every service at a
// closed port, so a line without the settings its album needs fails.
TEST(DemoServer, EachPrintedCommandDownloadsItsWholeAlbum) {
    Sandbox sandbox;
    ChildProcess server({GATHRIX_DEMO_SERVER_PATH, "--pictures", "4"}, sandbox.Path());
    ASSERT_TRUE(server.WaitForOutput("stop with Ctrl-C.\n", std::chrono::seconds(60)));
    std::vector<std::string> commands;
    std::istringstream printed(server.OutputSoFar());
    for (std::string line; std::getline(printed, line);) {
        if (!line.starts_with("#") && line.find("gathrix-cli ") != std::string::npos) commands.push_back(line);
    }
    // Picasa, Flickr, Webshots; through Flickr's API an album, the account's
    // two albums (the last one's count ends the output) and the photostream.
    const std::size_t pictures[] = {4, 14, 10, 3, 3, 7};
    // Every file the line leaves, album.json included: the API's album list
    // in a folder "ID TITLE" for each album.
    const std::size_t files[] = {4, 14, 10, 4, 8, 7};
    ASSERT_EQ(commands.size(), std::size(pictures)) << server.OutputSoFar();
    for (std::size_t i = 0; i < commands.size(); ++i) {
        SCOPED_TRACE(commands[i]);
        Sandbox start;
        const ProcessResult r = RunProcess({"/bin/sh", "-c", commands[i]}, start.Path(),
                                           {{"GATHRIX_FLICKR_BASE_URL", "http://127.0.0.1:1"},
                                            {"GATHRIX_WEBSHOTS_THUMBNAIL_PREFIX", "http://127.0.0.1:1"},
                                            {"GATHRIX_WEBSHOTS_FULLSIZE_BASE", "http://127.0.0.1:1"},
                                            {"GATHRIX_FLICKR_API_URL", "http://127.0.0.1:1/services/rest/"},
                                            {"GATHRIX_FLICKR_API_KEY", ""},
                                            {"GATHRIX_REQUEST_TIMEOUT", "10"}});
        EXPECT_EQ(r.exit_code, kExitCompleted);
        EXPECT_EQ(r.err, "");
        EXPECT_TRUE(r.out.ends_with(" " + std::to_string(pictures[i]) + " files successfully downloaded!\r\n"))
            << r.out;
        std::size_t stored = 0;
        for (const auto& entry : fs::recursive_directory_iterator(start.Path())) stored += entry.is_regular_file();
        EXPECT_EQ(stored, files[i]);
    }
    server.Signal(SIGTERM);
    server.Finish();
}
#endif

}  // namespace
}  // namespace gathrix::test
