// Flickr sets through the Download command against the local server: the pages
// of a set and the original-size search for pictures that come down too small.

#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "download/engine_fixture.h"
#include "support/album_pages.h"
#include "text/strings.h"

namespace gathrix::test {
namespace {

using V = std::vector<std::string>;

const std::string kSet = "/flickr.com/photos/someone/sets/72157/";

class FlickrReaderTest : public EngineTest {
protected:
    FlickrReaderTest() { settings.flickr_base_url = server.Url("/fl"); }

    // Photo id: its thumbnail /farm/ID_s.jpg and its picture /farm/ID_o.jpg.
    FlickrThumbnail Photo(int id) {
        const std::string stem = "/farm/" + std::to_string(id);
        server.Serve(stem + "_o.jpg", PictureBytes(id, 5000));
        return {"/photos/someone/" + std::to_string(id) + "/in/set-72157/", server.Url(stem + "_s.jpg")};
    }
    static std::string Line(int id) { return "Downloading " + std::to_string(id) + "_o.jpg...OK\r\n"; }
};

// The set is typed in its "/set-" form; every page is read at the "/sets/" one.
TEST_F(FlickrReaderTest, LogIsEmptiedWhenTheReaderMovesOnAndEndsWithTheLastPage) {
    clock_times = {LocalTime(2024, 5, 17, 9, 5, 3), LocalTime(2024, 5, 17, 9, 6, 0)};
    server.Serve(kSet, FlickrSetPage({Photo(1), Photo(2)}, {"1", true}));
    server.Serve(kSet + "?page=2", FlickrSetPage({Photo(3)}, {"2", true}));
    server.Serve(kSet + "?page=3", FlickrSetPage({Photo(4)}, {"3", false}));
    EXPECT_EQ(Run(server.Url("/flickr.com/photos/someone/set-72157/")), DownloadOutcome::Completed);

    std::string transcript;
    for (const std::string& event : ui.events) {
        if (event.starts_with("replace:")) transcript.clear();  // the header
        if (event.starts_with("append:")) transcript += event.substr(7);
        if (event == "clear") transcript += "<clear>";
    }
    const std::string end = "\r\nEnd time:09:06:00\r\nToatal time: 57 seconds";
    EXPECT_EQ(transcript, Line(1) + Line(2) + "<clear>" + Line(3) + "<clear>" + Line(4) + end);
    EXPECT_EQ(ui.log, Line(4) + end);
}

// One picture, 1_o.jpg, that may come down too small, and what its search
// finds. In the pages "ORIG" stands for the original's address before "_o.jpg".
struct RepairRow {
    const char* name;
    int status;              // of the picture's own address
    std::size_t size;        // of its body
    const char* size_page;   // nullptr: 404
    const char* photo_page;  // nullptr: 404
    V search_requests;       // the requests after the picture's own
    std::string result;      // the log after "File 1_o.jpg failed. Searching for original version..."
    bool repaired;           // 1_o.jpg holds the original afterwards (else: absent)
};

// A row is shown by its name; printed byte for byte, its padding would be read
// uninitialised.
void PrintTo(const RepairRow& row, std::ostream* os) { *os << row.name; }

const char* const kSizePage = "/fl/photos/someone/1/sizes/o/";
const char* const kPhotoPage = "/fl/photos/someone/1/";

// clang-format off
const RepairRow kRepairRows[] = {
    {"FoundOnTheSizePage", 200, 3071, "<img src=\"ORIG_s.jpg\"><img src=\"ORIG_o.jpg\" width=\"1\">,\"ORIG_o.jpg\"",
     nullptr, {kSizePage, "/orig/big_o.jpg"}, "succesful.\r\n", true},
    // The first item with the marker in any case; no double quote before it.
    {"FoundOnThePhotoPage", 200, 100, nullptr, "<a href=\"x\">,ORIG_O.JPG is the biggest,\"ORIG_o.jpg\"",
     {kSizePage, kPhotoPage, "/orig/big_O.JPG"}, "not found.\r\nSecond try in progress...succesful.\r\n", true},
    {"NotFound", 200, 0, "<img src=\"ORIG_s.jpg\">,ORIG_o.gif", "no original here", {kSizePage, kPhotoPage},
     "not found.\r\nSecond try in progress...not found.\r\n", false},
    // A request that failed stored and counted nothing: it is searched all the
    // same, but the count never drops below the files stored.
    {"FailedRequest", 404, 10, nullptr, nullptr, {kSizePage, kPhotoPage},
     "not found.\r\nSecond try in progress...not found.\r\n", false},
};
// clang-format on

class FlickrRepair : public FlickrReaderTest, public ::testing::WithParamInterface<RepairRow> {};

TEST_P(FlickrRepair, SmallPictureIsLookedForOnItsOwnPages) {
    const RepairRow& row = GetParam();
    const std::string original = PictureBytes(2, 9000);
    server.ServeStatus("/farm/1_o.jpg", row.status, PictureBytes(1, row.size));
    server.Serve("/orig/big_o.jpg", original);
    server.Serve("/orig/big_O.JPG", original);
    if (row.size_page) server.Serve(kSizePage, ReplaceAll(row.size_page, "ORIG", server.Url("/orig/big")));
    if (row.photo_page) server.Serve(kPhotoPage, ReplaceAll(row.photo_page, "ORIG", server.Url("/orig/big")));
    server.Serve(kSet, FlickrSetPage({{"/photos/someone/1/in/set-72157/", server.Url("/farm/1_s.jpg")}}));
    Run(server.Url(kSet));

    V requests{kSet, "/farm/1_o.jpg"};
    requests.insert(requests.end(), row.search_requests.begin(), row.search_requests.end());
    EXPECT_EQ(Comparable(server.Requests()), Comparable(requests));
    EXPECT_EQ(PictureLines(), std::string("Downloading 1_o.jpg...") + (row.status == 200 ? "OK" : "failed.") +
                                  "\r\nFile 1_o.jpg failed. Searching for original version..." + row.result +
                                  (row.repaired ? "Downloading 1_o.jpg...OK\r\n" : ""));
    EXPECT_EQ(ui.boxes.back().text, std::string(row.repaired ? " 1" : " 0") + " files successfully downloaded!");
    EXPECT_EQ(ReadFile((Folder() / "1_o.jpg").string()), row.repaired ? original : "");
    EXPECT_EQ(Entries(Folder()).size(), row.repaired ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(Rows, FlickrRepair, ::testing::ValuesIn(kRepairRows),
                         [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace gathrix::test
