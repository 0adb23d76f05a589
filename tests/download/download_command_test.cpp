// The Download command as a whole: address handling, site markers, the working
// folder, the log and the completion report.

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <thread>
#include <string>
#include <vector>

#include "download/engine_fixture.h"
#include "download/picture_names.h"
#include "support/album_pages.h"
#include "support/range_server.h"

namespace gathrix::test {
namespace {

namespace fs = std::filesystem;

using DownloadCommandTest = EngineTest;

bool Has(const std::vector<std::string>& events, const std::string& event) {
    return std::find(events.begin(), events.end(), event) != events.end();
}

TEST_F(DownloadCommandTest, BlankAddressDoesNothingMore) {
    for (const std::string blank : {"", "    "}) {
        ui = RecordingFrontEnd();
        EXPECT_EQ(Run(blank), DownloadOutcome::EmptyAddress);
        EXPECT_EQ(ui.started_count, 0);
        EXPECT_TRUE(ui.boxes.empty());
        EXPECT_TRUE(ui.labels.empty());
        EXPECT_FALSE(ui.ended);
        EXPECT_TRUE(ui.events.empty());
        EXPECT_EQ(fs::current_path(), Start());
        EXPECT_TRUE(fs::is_directory(Folder()));
    }
    EXPECT_TRUE(server.Requests().empty());

    // The program goes on: a later run uses the folder right below the start.
    server.Serve("/picasaweb.google.com/a", PicasaPage({}));
    ui = RecordingFrontEnd();
    EXPECT_EQ(Run(server.Url("/picasaweb.google.com/a")), DownloadOutcome::Completed);
    EXPECT_NE(ui.log.find("Destination folder:" + Folder().string() + "\r\n"), std::string::npos);
    EXPECT_FALSE(fs::exists(Folder() / "AlbumDownload"));
}

TEST_F(DownloadCommandTest, InvalidAddressDisablesShowsErrorAndEnds) {
    EXPECT_EQ(Run("http://example.org/"), DownloadOutcome::InvalidUrl);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "Invalid URL !");
    EXPECT_EQ(ui.boxes[0].title, "Error");
    EXPECT_EQ(ui.boxes[0].icon, BoxIcon::Critical);
    EXPECT_EQ(ui.events, (std::vector<std::string>{"started", "box:Invalid URL !", "end"}));
    EXPECT_TRUE(ui.ended);
    EXPECT_EQ(ui.log, "");               // no header: Text1 still holds the typed address
    EXPECT_FALSE(fs::exists(Folder()));  // made for the run, and empty
    EXPECT_EQ(fs::current_path(), Start());
}

TEST_F(DownloadCommandTest, OnlyBlanksAreTrimmedNotTabs) {
    EXPECT_EQ(Run("\t"), DownloadOutcome::InvalidUrl);

    // Blanks around an address go, tabs stay part of it (and spoil it).
    server.Serve("/picasaweb.google.com/a", PicasaPage({}));
    ui = RecordingFrontEnd();
    EXPECT_EQ(Run("   " + server.Url("/picasaweb.google.com/a") + "  "), DownloadOutcome::Completed);
    EXPECT_EQ(server.Hits("/picasaweb.google.com/a"), 1);
    ui = RecordingFrontEnd();
    EXPECT_EQ(Run("\t" + server.Url("/picasaweb.google.com/a") + "\t"), DownloadOutcome::Completed);
    EXPECT_EQ(server.Hits("/picasaweb.google.com/a"), 1);
}

TEST_F(DownloadCommandTest, SiteMarkersIgnoreCaseAndTheFirstRowWins) {
    EXPECT_EQ(SiteNumber("http://picasaweb.google.com/someone/Album"), 1);
    EXPECT_EQ(SiteNumber("HTTP://PICASAWEB.GOOGLE.COM/someone"), 1);
    EXPECT_EQ(SiteNumber("http://www.FLICKR.COM/photos/x/sets/1/"), 2);
    EXPECT_EQ(SiteNumber("http://community.WebShots.com/album/1"), 3);
    EXPECT_EQ(SiteNumber("http://www.flickr.com/redirect?to=picasaweb.google.com"), 1);
    EXPECT_EQ(SiteNumber("http://webshots.com/flickr.com"), 2);
    EXPECT_EQ(SiteNumber("http://www.webshots.com"), 0);  // the marker ends with "/"
    EXPECT_EQ(SiteNumber("http://example.org/"), 0);
    EXPECT_EQ(SiteNumber(""), 0);
}

TEST_F(DownloadCommandTest, MarkerInCapitalsAndPicasaBeforeFlickrRunThePicasaReader) {
    server.Serve("/PICASAWEB.GOOGLE.COM/a", PicasaPage({}));
    EXPECT_EQ(Run(server.Url("/PICASAWEB.GOOGLE.COM/a")), DownloadOutcome::Completed);
    EXPECT_EQ(server.Hits("/PICASAWEB.GOOGLE.COM/a"), 1);

    server.Serve("/flickr.com/picasaweb.google.com/b", PicasaPage({}));
    ui = RecordingFrontEnd();
    EXPECT_EQ(Run(server.Url("/flickr.com/picasaweb.google.com/b")), DownloadOutcome::Completed);
    EXPECT_EQ(server.Hits("/flickr.com/picasaweb.google.com/b"), 1);
}

TEST_F(DownloadCommandTest, ZeroFileRunReportsZeroAndOpensNoFolder) {
    for (const std::string path :
         {"/picasaweb.google.com/empty", "/www.flickr.com/photos/x/sets/1/", "/community.webshots.com/album/1"}) {
        ui = RecordingFrontEnd();
        EXPECT_EQ(Run(server.Url(path)), DownloadOutcome::Completed) << path;
        ASSERT_EQ(ui.boxes.size(), 1u);
        EXPECT_EQ(ui.boxes[0].text, " 0 files successfully downloaded!");
        EXPECT_EQ(ui.boxes[0].title, "Finished");
        EXPECT_EQ(ui.boxes[0].icon, BoxIcon::None);
        EXPECT_EQ(ui.labels, (std::vector<std::string>{"Download in progress... 0 files finished."}));
        EXPECT_TRUE(ui.opened_folders.empty());
        EXPECT_TRUE(ui.ended);
        EXPECT_EQ(ui.started_count, 1);
        EXPECT_EQ(fs::current_path(), Start());
        EXPECT_TRUE(Entries(Folder()).empty());
    }
}

TEST_F(DownloadCommandTest, ExactLogLabelsAndOrderOfARun) {
    clock_times = {LocalTime(2024, 5, 17, 9, 5, 3), LocalTime(2024, 5, 17, 9, 5, 45)};
    server.Serve("/pics/a.jpg", PictureBytes(1, 3000));
    server.Serve("/pics/b.jpg", PictureBytes(2, 5000));
    server.Serve("/picasaweb.google.com/someone/Summer",
                 PicasaPage({server.Url("/pics/a.jpg"), server.Url("/pics/b.jpg")}));

    EXPECT_EQ(Run(server.Url("/picasaweb.google.com/someone/Summer")), DownloadOutcome::Completed);

    const std::string header = "Start time:09:05:03\r\nDestination folder:" + Folder().string() + "\r\n";
    EXPECT_EQ(ui.log, header +
                          "Downloading a.jpg...OK\r\n"
                          "Downloading b.jpg...OK\r\n"
                          "\r\nEnd time:09:05:45"
                          "\r\nToatal time: 42 seconds");
    EXPECT_EQ(ui.events, (std::vector<std::string>{
                             "started",
                             "clear",
                             "replace:" + header,
                             "append:Downloading a.jpg...",
                             "label:Download in progress... 0 files finished.",
                             "append:OK\r\n",
                             "append:Downloading b.jpg...",
                             "label:Download in progress... 1 files finished.",
                             "append:OK\r\n",
                             "append:\r\nEnd time:09:05:45",
                             "append:\r\nToatal time: 42 seconds",
                             "label:Download in progress... 2 files finished.",
                             "box: 2 files successfully downloaded!",
                             "finished:" + Folder().string(),
                             "end",
                         }));
    EXPECT_EQ(ReadFile((Folder() / "a.jpg").string()), PictureBytes(1, 3000));
    EXPECT_EQ(ReadFile((Folder() / "b.jpg").string()), PictureBytes(2, 5000));
    // The scratch page is gone, and only the pictures are left.
    EXPECT_EQ(Entries(Folder()), (std::vector<std::string>{"a.jpg", "b.jpg"}));
    EXPECT_EQ(fs::current_path(), Start());
}

TEST_F(DownloadCommandTest, RunPassingMidnightReportsTheTrueTotalTime) {
    clock_times = {LocalTime(2023, 12, 31, 23, 59, 50), LocalTime(2024, 1, 1, 0, 0, 20)};
    EXPECT_EQ(Run(server.Url("/picasaweb.google.com/a")), DownloadOutcome::Completed);
    EXPECT_EQ(ui.log.substr(0, 19), "Start time:23:59:50");
    EXPECT_TRUE(ui.log.ends_with("\r\nEnd time:00:00:20\r\nToatal time: 30 seconds")) << ui.log;
}

TEST_F(DownloadCommandTest, UnusableWorkingFolderStopsTheRunBeforeAnyRequest) {
    // A plain file of that name, and a link that leads nowhere: names chosen by
    // the server must never land in the starting directory instead.
    const std::vector<std::pair<std::string, std::function<void()>>> cases = {
        {"plain file", [] { WriteFile("AlbumDownload", "not a folder"); }},
        {"dangling link", [] { fs::create_symlink("gone", "AlbumDownload"); }},
    };
    server.Serve("/pics/notes.txt", "from the server");
    server.Serve("/picasaweb.google.com/a", PicasaPage({server.Url("/pics/notes.txt")}));
    for (const auto& [name, make] : cases) {
        fs::remove("AlbumDownload");
        WriteFile("notes.txt", "mine");
        make();
        ui = RecordingFrontEnd();
        EXPECT_EQ(Run(server.Url("/picasaweb.google.com/a")), DownloadOutcome::NoFolder) << name;
        ASSERT_EQ(ui.boxes.size(), 1u) << name;
        EXPECT_EQ(ui.boxes[0].text, "The folder AlbumDownload could not be made or entered.");
        EXPECT_EQ(ui.boxes[0].title, "Error");
        EXPECT_EQ(ui.boxes[0].icon, BoxIcon::Critical);
        EXPECT_TRUE(ui.ended);
        EXPECT_EQ(ui.log, "");
        EXPECT_EQ(ReadFile("notes.txt"), "mine");
        EXPECT_EQ(Entries(Start()), (std::vector<std::string>{"AlbumDownload", "notes.txt"})) << name;
        EXPECT_EQ(fs::current_path(), Start());
    }
    EXPECT_TRUE(server.Requests().empty());
}

TEST_F(DownloadCommandTest, ExistingWorkingFolderIsUsedAsItIs) {
    fs::create_directory(Folder());
    WriteFile((Folder() / "older.jpg").string(), "kept");
    server.Serve("/pics/a.jpg", "new");
    server.Serve("/picasaweb.google.com/a", PicasaPage({server.Url("/pics/a.jpg")}));
    EXPECT_EQ(Run(server.Url("/picasaweb.google.com/a")), DownloadOutcome::Completed);
    EXPECT_EQ(Entries(Folder()), (std::vector<std::string>{"a.jpg", "older.jpg"}));
    EXPECT_EQ(ReadFile((Folder() / "older.jpg").string()), "kept");
    EXPECT_TRUE(Has(ui.events, "box: 1 files successfully downloaded!"));
}

// A stop asked for from another thread, while a picture trickles in: the run
// gives it up within a moment, keeps what came of it for resuming, asks for
// nothing more and ends as usual; a later run with the stop cleared goes on.
TEST_F(DownloadCommandTest, StopRequestedFromAnotherThreadEndsTheRunKeepingWhatCame) {
    settings.resume = true;
    server.Serve("/pics/a.jpg", PictureBytes(1, 3000));
    // b.jpg goes silent after its first 10000 bytes, until the stop.
    RangeServer pictures;
    RangeServer::Picture b;
    b.body = PictureBytes(2, 40000);
    b.etag = "\"b1\"";
    b.cut_at = 10000;
    b.hang = true;
    pictures.Serve("/pics/b.jpg", b);
    server.Serve("/pics/c.jpg", PictureBytes(3, 3000));
    server.Serve("/picasaweb.google.com/a",
                 PicasaPage({server.Url("/pics/a.jpg"), pictures.Url("/pics/b.jpg"), server.Url("/pics/c.jpg")}));
    std::atomic<bool> b_coming{false};
    std::int64_t listed = 0;
    struct Events : RecordingFrontEnd {
        std::atomic<bool>* b_coming = nullptr;
        std::int64_t* listed = nullptr;
        std::vector<Failure> missing;
        void Progress(const TransferProgress& progress) override {
            if (progress.name == "b.jpg" && progress.received == 10000) *b_coming = true;
        }
        void PicturesListed(std::int64_t count) override { *listed = count; }
        void PictureMissing(std::string_view /*address*/, const Failure& why) override { missing.push_back(why); }
    } events;
    events.b_coming = &b_coming;
    events.listed = &listed;
    Cancellation cancel;
    DownloadOutcome outcome = DownloadOutcome::EmptyAddress;
    std::thread engine(
        [&] { outcome = RunDownload(events, server.Url("/picasaweb.google.com/a"), Folder(), settings, &cancel); });
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!b_coming && std::chrono::steady_clock::now() < give_up) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    cancel.RequestStop();
    const auto asked = std::chrono::steady_clock::now();
    engine.join();
    EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::seconds(1));

    EXPECT_EQ(outcome, DownloadOutcome::Completed);
    EXPECT_TRUE(events.ended);
    EXPECT_EQ(listed, 3);
    EXPECT_EQ(ReadFile((Folder() / "a.jpg").string()), PictureBytes(1, 3000));
    EXPECT_FALSE(fs::exists(Folder() / "b.jpg"));
    const fs::path kept = Folder() / KeptBodyNamesFor("b.jpg").body;
    ASSERT_TRUE(fs::exists(kept));
    EXPECT_EQ(fs::file_size(kept), 10000u);
    EXPECT_FALSE(fs::exists(Folder() / "c.jpg"));
    if (settings.jobs == 1) {
        EXPECT_EQ(server.Hits("/pics/c.jpg"), 0);
    }
    ASSERT_EQ(events.missing.size(), 1u);
    EXPECT_EQ(events.missing[0].kind, FailureKind::Stopped);
    EXPECT_TRUE(Has(events.events, "box: 1 files successfully downloaded!"));

    // While the stop holds, a run fetches no page at all.
    const int page_hits = server.Hits("/picasaweb.google.com/a");
    ui = RecordingFrontEnd();
    EXPECT_EQ(RunDownload(ui, server.Url("/picasaweb.google.com/a"), Folder(), settings, &cancel),
              DownloadOutcome::Completed);
    EXPECT_EQ(server.Hits("/picasaweb.google.com/a"), page_hits);

    cancel.ClearStop();
    b.cut_at.reset();
    pictures.Serve("/pics/b.jpg", b);
    ui = RecordingFrontEnd();
    EXPECT_EQ(RunDownload(ui, server.Url("/picasaweb.google.com/a"), Folder(), settings, &cancel),
              DownloadOutcome::Completed);
    EXPECT_EQ(ReadFile((Folder() / "b.jpg").string()), PictureBytes(2, 40000));
    EXPECT_EQ(ReadFile((Folder() / "c.jpg").string()), PictureBytes(3, 3000));
    EXPECT_FALSE(fs::exists(kept));
    EXPECT_EQ(pictures.Requests().back().range, "bytes=10000-");
}

}  // namespace
}  // namespace gathrix::test
