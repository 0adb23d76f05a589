// Whole Picasa album runs through the Download command against the local server.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "download/engine_fixture.h"
#include "support/album_pages.h"

namespace gathrix::test {
namespace {

namespace fs = std::filesystem;

class PicasaReaderTest : public EngineTest {
protected:
    static constexpr const char* kAlbum = "/picasaweb.google.com/someone/Summer2009";

    // Serves n pictures /pics/IMG_000k.jpg and returns their addresses.
    std::vector<std::string> ServePictures(int n, std::size_t size = 2000) {
        std::vector<std::string> addresses;
        for (int i = 1; i <= n; ++i) {
            const std::string path = "/pics/" + Name(i);
            server.Serve(path, PictureBytes(i, size + static_cast<std::size_t>(i)));
            addresses.push_back(server.Url(path));
        }
        return addresses;
    }
    static std::string Name(int i) { return "IMG_" + std::to_string(1000 + i) + ".jpg"; }
};

// Typed as the link to one of its photos, the album is read from its own page.
TEST_F(PicasaReaderTest, WholeAlbumIsStoredByteForByte) {
    const auto pictures = ServePictures(12, 70000);
    server.Serve(kAlbum + std::string("/"), PicasaPage(pictures));
    EXPECT_EQ(Run(server.Url(kAlbum) + "/photo#5300123456789"), DownloadOutcome::Completed);
    EXPECT_EQ(server.Requests().front(), kAlbum + std::string("/"));

    std::string lines;
    for (int i = 1; i <= 12; ++i) {
        lines += "Downloading " + Name(i) + "...OK\r\n";
        EXPECT_EQ(ReadFile((Folder() / Name(i)).string()), PictureBytes(i, 70000 + static_cast<std::size_t>(i)));
    }
    EXPECT_EQ(PictureLines(), lines);
    EXPECT_EQ(FinishedText(), " 12 files successfully downloaded!");
    EXPECT_EQ(ui.labels.back(), "Download in progress... 12 files finished.");
    EXPECT_EQ(Entries(Folder()).size(), 12u);  // "test.htm" is gone
    EXPECT_EQ(ui.opened_folders, (std::vector<fs::path>{Folder()}));
}

TEST_F(PicasaReaderTest, MissingPictureAndPictureWithoutContentLength) {
    auto pictures = ServePictures(3, 50000);
    server.ServeStatus("/pics/" + Name(2), 404, "<html>Not Found</html>");
    server.ServeChunked("/pics/" + Name(3), PictureBytes(3, 250000));
    server.Serve(kAlbum, PicasaPage(pictures));
    Run(server.Url(kAlbum));
    EXPECT_EQ(PictureLines(), "Downloading " + Name(1) + "...OK\r\nDownloading " + Name(2) +
                                  "...failed.\r\nDownloading " + Name(3) + "...OK\r\n");
    EXPECT_EQ(FinishedText(), " 2 files successfully downloaded!");
    EXPECT_FALSE(fs::exists(Folder() / Name(2)));
    EXPECT_EQ(ReadFile((Folder() / Name(3)).string()), PictureBytes(3, 250000));
}

TEST_F(PicasaReaderTest, PageThatCannotBeFetchedIsNeverReadFromAnOlderCopy) {
    // A "test.htm" of the user's (or of an older program) in the folder is
    // neither read as the album page nor touched.
    const auto pictures = ServePictures(2);
    fs::create_directory(Folder());
    WriteFile((Folder() / "test.htm").string(), PicasaPage(pictures));

    server.ServeStatus(kAlbum, 404, PicasaPage(pictures));  // even an error page with a feed
    Run(server.Url(kAlbum));
    EXPECT_EQ(PictureLines(), "");
    EXPECT_EQ(FinishedText(), " 0 files successfully downloaded!");

    // The same when nobody answers at all.
    ui = RecordingFrontEnd();
    Run("http://127.0.0.1:1/picasaweb.google.com/a");
    EXPECT_EQ(FinishedText(), " 0 files successfully downloaded!");
    EXPECT_EQ(server.Hits("/pics/" + Name(1)), 0);
    EXPECT_EQ(Entries(Folder()), (std::vector<std::string>{"test.htm"}));
    EXPECT_EQ(ReadFile((Folder() / "test.htm").string()), PicasaPage(pictures));
}

TEST_F(PicasaReaderTest, StalledPageEndsAfterTheRequestTimeOut) {
    settings.request_timeout = std::chrono::seconds(1);
    server.ServeHang(kAlbum);
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(Run(server.Url(kAlbum)), DownloadOutcome::Completed);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(15));
    EXPECT_EQ(FinishedText(), " 0 files successfully downloaded!");
}

TEST_F(PicasaReaderTest, PictureNamesFromThePageCannotLeaveTheWorkingFolder) {
    server.Serve("/", "top");
    const std::string page = "x,feedPreload:{\"entry\":[{\"id\":1,\"content$src\":\"" + server.Url("/pics/..") +
                             "\",\"id\":2,\"content$src\":\"" + server.Url("/pics/a\tb.jpg") + "\",\"id\":3}]}";
    server.Serve(kAlbum, page);
    Run(server.Url(kAlbum));
    const std::string lines = PictureLines();
    EXPECT_TRUE(lines.starts_with("Downloading __...OK\r\nDownloading a_b.jpg...")) << lines;
    EXPECT_EQ(ReadFile((Folder() / "__").string()), "top");
    EXPECT_EQ(Entries(Start()), (std::vector<std::string>{"AlbumDownload"}));
}

}  // namespace
}  // namespace gathrix::test

namespace gathrix::test {
namespace {

// --write-metadata on a page reader: album.json lists each picture's file,
// address, whether it is stored and its size, in album order, and nothing the
// page does not give; a picture named album.json is stored as album-2.json,
// and the log is the same as without it.
TEST_F(PicasaReaderTest, MetadataListsEveryPictureInAlbumOrder) {
    std::vector<std::string> pictures = ServePictures(2);
    server.Serve("/other/album.json", PictureBytes(9, 300));
    pictures.insert(pictures.begin() + 1, server.Url("/other/album.json"));
    pictures.push_back(server.Url("/missing/IMG_9.jpg"));
    server.Serve(kAlbum, PicasaPage(pictures));
    settings.write_metadata = true;
    clock_times = {LocalTime(2024, 5, 17, 9, 5, 3)};
    EXPECT_EQ(Run(server.Url(kAlbum)), DownloadOutcome::Completed);

    EXPECT_EQ(PictureLines(), "Downloading " + Name(1) + "...OK\r\nDownloading album-2.json...OK\r\nDownloading " +
                                  Name(2) + "...OK\r\nDownloading IMG_9.jpg...failed.\r\n");
    const std::string json = ReadFile((Folder() / "album.json").string());
    const std::string expected = R"({
  "address": ")" + server.Url(kAlbum) + R"(",
  "service": "picasa",
  "written": "WHEN",
  "pictures": [
    {
      "file": "IMG_1001.jpg",
      "address": ")" + pictures[0] + R"(",
      "stored": true,
      "bytes": 2001
    },
    {
      "file": "album-2.json",
      "address": ")" + pictures[1] + R"(",
      "stored": true,
      "bytes": 300
    },
    {
      "file": "IMG_1002.jpg",
      "address": ")" + pictures[2] + R"(",
      "stored": true,
      "bytes": 2002
    },
    {
      "file": "IMG_9.jpg",
      "address": ")" + pictures[3] + R"(",
      "stored": false
    }
  ]
}
)";
    const std::size_t when = json.find("\"written\": \"") + 12;
    ASSERT_NE(when, std::string::npos + 12);
    EXPECT_EQ(json.substr(0, when) + "WHEN" + json.substr(json.find('"', when)), expected);
    EXPECT_EQ(Entries(Folder()), (std::vector<std::string>{"IMG_1001.jpg", "IMG_1002.jpg", "album-2.json", "album.json"}));
}

}  // namespace
}  // namespace gathrix::test
