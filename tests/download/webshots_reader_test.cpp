// Webshots albums and photo addresses through the Download command against the
// local server, with the thumbnail prefix and the full-size base pointing at it.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "download/engine_fixture.h"
#include "support/album_pages.h"

namespace gathrix::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kAlbum = "/webshots.com/album/987654";

class WebshotsReaderTest : public EngineTest {
protected:
    WebshotsReaderTest() {
        settings.webshots_thumbnail_prefix = server.Url("/thumb");
        settings.webshots_fullsize_base = server.Url("/community");
    }

    // Thumbnail i, whose picture /thumb/u/IMG_i_fs.jpg is served with the given
    // body, or with a 404 when status says so.
    WebshotsThumbnail Thumbnail(int i, std::size_t size = 3000, int status = 200) {
        const std::string stem = "/thumb/u/IMG_" + std::to_string(i);
        if (status == 200) server.Serve(stem + "_fs.jpg", PictureBytes(i, size));
        if (status != 200) server.ServeStatus(stem + "_fs.jpg", status);
        return {server.Url(stem + "_th.jpg"), server.Url("/webshots.com/photo/200" + std::to_string(i) + "/")};
    }
    static std::string Name(int i) { return "IMG_" + std::to_string(i) + "_fs.jpg"; }
    static std::string Ok(int i) { return "Downloading " + Name(i) + "...OK\r\n"; }
    // A picture that could not be fetched and has no full-size page.
    static std::string Lost(int i) {
        return "Downloading " + Name(i) + "...failed.\r\nFile " + Name(i) +
               " failed. Searching for original version...not found.\r\n";
    }

    // Pages that end the album, for any "start=" a test does not serve itself
    // (the server would answer an unknown one with the first page).
    void ServeEndPages() {
        for (int n = 0; n < 10; ++n)
            server.Serve(std::string(kAlbum) + "?start=" + std::to_string(n), "<p>end</p>\r\n");
    }
    static std::string Finished(int count) { return " " + std::to_string(count) + " files successfully downloaded!"; }
    // The requests for pages (not pictures) from request number from on.
    std::vector<std::string> PageRequests(std::size_t from) const {
        const std::vector<std::string> all = server.Requests();
        std::vector<std::string> pages;
        for (std::size_t i = from; i < all.size(); ++i) {
            if (!all[i].starts_with("/thumb/")) pages.push_back(all[i]);
        }
        return pages;
    }
};

TEST_F(WebshotsReaderTest, AlbumSourceOfAPhotoAddress) {
    const std::string album = server.Url("/webshots.com/album/55");
    struct Row {
        const char* name;
        std::string address;               // path of the address typed
        std::optional<std::string> photo;  // the photo page; nullopt: 404
        std::string log;                   // the log before the first picture
        std::string first_page;            // the album page read first
    };
    // clang-format off
    const Row rows[] = {
        {"AlbumFound", "/webshots.com/photo/1?vhost=x", WebshotsPhotoPage(album), "Searching for album source...OK\r\n",
         "/webshots.com/album/55"},
        {"NoAlbumLink", "/webshots.com/photo/1?vhost=x", WebshotsPhotoPage(""),
         "Searching for album source...not found.\r\n", "/webshots.com/photo/1"},
        {"PhotoPageMissing", "/webshots.com/photo/1?vhost=x", std::nullopt,
         "Searching for album source...not found.\r\n", "/webshots.com/photo/1"},
        {"PhotoInOtherCaseIsAnAlbum", "/webshots.com/Photo/1?x", WebshotsPhotoPage(album), "",
         "/webshots.com/Photo/1"},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.photo) server.Serve(row.address, *row.photo);
        if (!row.photo) server.ServeStatus(row.address, 404, WebshotsPhotoPage(album));
        server.Serve(row.first_page, WebshotsAlbumPage({Thumbnail(1)}));
        const std::size_t before = server.Requests().size();
        ui = RecordingFrontEnd();
        Run(server.Url(row.address));
        EXPECT_EQ(PictureLines(), row.log + Ok(1));
        // The photo page as typed, query and all; then the album cut at "?".
        std::vector<std::string> pages{row.address, row.first_page};
        if (row.log.empty()) pages.erase(pages.begin());
        EXPECT_EQ(PageRequests(before), pages);
    }
}

TEST_F(WebshotsReaderTest, PicturesUnder1024BytesAreLookedUpOnTheirFullSizePage) {
    const std::string full = PictureBytes(9, 4000);
    server.Serve("/full/big.jpg", full);
    struct Row {
        const char* name;
        std::size_t size;
        int status;
        std::optional<std::string> fullsize_page;  // nullopt: 404
        std::string lines;                         // after the first "Downloading ..."
        std::optional<std::string> file;           // what is stored and counted; nullopt: nothing
    };
    const std::string failed = "File " + Name(1) + " failed. Searching for original version...";
    // clang-format off
    const Row rows[] = {
        {"1024Stays", 1024, 200, WebshotsFullSizePage(server.Url("/full/big.jpg")), "OK\r\n", PictureBytes(1, 1024)},
        {"1023Repaired", 1023, 200, WebshotsFullSizePage(server.Url("/full/big.jpg")),
         "OK\r\n" + failed + "succesful.\r\n" + Ok(1), full},
        {"FailedFetchRepaired", 0, 404, WebshotsFullSizePage(server.Url("/full/big.jpg")),
         "failed.\r\n" + failed + "succesful.\r\n" + Ok(1), full},
        {"NoScriptMarker", 1023, 200, WebshotsFullSizePage(""), "OK\r\n" + failed + "not found.\r\n", std::nullopt},
        {"FullSizePageMissing", 0, 404, std::nullopt, "failed.\r\n" + failed + "not found.\r\n", std::nullopt},
        {"ReplacementFails", 10, 200, WebshotsFullSizePage(server.Url("/full/gone.jpg")),
         "OK\r\n" + failed + "succesful.\r\nDownloading " + Name(1) + "...failed.\r\n", std::nullopt},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        fs::remove_all(Folder());
        ui = RecordingFrontEnd();
        server.Serve(kAlbum, WebshotsAlbumPage({Thumbnail(1, row.size, row.status)}));
        if (row.fullsize_page) server.Serve("/community/photo/fullsize/2001", *row.fullsize_page);
        if (!row.fullsize_page) server.ServeStatus("/community/photo/fullsize/2001", 404);
        const int hits = server.Hits("/community/photo/fullsize/2001");
        Run(server.Url(kAlbum));
        EXPECT_EQ(PictureLines(), "Downloading " + Name(1) + "..." + row.lines);
        EXPECT_EQ(FinishedText(), Finished(row.file ? 1 : 0));
        EXPECT_EQ(server.Hits("/community/photo/fullsize/2001") - hits, row.size < 1024 ? 1 : 0);
        EXPECT_EQ(ReadFile((Folder() / Name(1)).string()), row.file.value_or(""));
        EXPECT_EQ(Entries(Folder()).size(), row.file ? 1u : 0u);
    }
}

TEST_F(WebshotsReaderTest, PageLoopEndsWithoutNextPageOnAFailedPageOrARepeatedAddress) {
    const std::string base = std::string(kAlbum);
    struct Row {
        const char* name;
        std::function<void()> second_page;  // serves base?start=1 (or not)
        std::vector<std::string> pages;     // page requests after the first
        std::string lines;                  // the pictures after the first page's
        int count;
    };
    // clang-format off
    const Row rows[] = {
        {"NextPageFromTheCount", [&] { server.Serve(base + "?start=1", WebshotsAlbumPage({Thumbnail(3)})); },
         {base + "?start=1"}, Ok(3), 2},
        {"PageMissing", [&] { server.ServeStatus(base + "?start=1", 404, WebshotsAlbumPage({Thumbnail(3)})); },
         {base + "?start=1"}, "", 1},
        // Every picture fails, so "start=" stays at 1 and the same page comes back.
        {"RepeatedAddress",
         [&] { server.Serve(base + "?start=1", WebshotsAlbumPage({Thumbnail(4, 0, 404)}, server.Url("/next"))); },
         {base + "?start=1", "/community/photo/fullsize/2004"}, Lost(4), 1},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ui = RecordingFrontEnd();
        fs::remove_all(Folder());
        // The first page: one stored picture, one that fails.
        server.Serve(base, WebshotsAlbumPage({Thumbnail(1), Thumbnail(2, 0, 404)}, "/x"));
        ServeEndPages();
        row.second_page();
        const std::size_t before = server.Requests().size();
        Run(server.Url(base + "?vhost=x"));

        std::vector<std::string> pages{base, "/community/photo/fullsize/2002"};
        pages.insert(pages.end(), row.pages.begin(), row.pages.end());
        EXPECT_EQ(PageRequests(before), pages);
        EXPECT_EQ(PictureLines(), Ok(1) + Lost(2) + row.lines);
        EXPECT_EQ(FinishedText(), Finished(row.count));
    }
}

}  // namespace
}  // namespace gathrix::test
