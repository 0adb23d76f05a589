// Flickr sets through the Download command against the local server: the pages
// of a set, the address forms, rejected addresses, and the original-size search
// for pictures that come down too small.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "download/engine_fixture.h"
#include "support/album_pages.h"
#include "text/strings.h"

namespace gathrix::test {
namespace {

namespace fs = std::filesystem;
using V = std::vector<std::string>;

constexpr const char* kSet = "/flickr.com/photos/someone/sets/72157/";

class FlickrReaderTest : public EngineTest {
protected:
    FlickrReaderTest() { settings.flickr_base_url = server.Url("/fl"); }

    // Photo id: its thumbnail /farm/ID_s.EXT, its picture /farm/ID_o.EXT served
    // with PictureBytes(id, 5000 + id), and a link to its page.
    FlickrThumbnail Photo(int id, const std::string& ext = ".jpg") {
        const std::string stem = "/farm/" + std::to_string(id);
        server.Serve(stem + "_o" + ext, Bytes(id));
        return {"/photos/someone/" + std::to_string(id) + "/in/set-72157/", server.Url(stem + "_s" + ext)};
    }
    static std::string Bytes(int id) { return PictureBytes(id, 5000 + static_cast<std::size_t>(id)); }
    static std::string Line(const std::string& name) { return "Downloading " + name + "...OK\r\n"; }

    // The log between the header and the completion report.
    std::string PictureLines() const {
        const std::size_t begin = ui.log.find("\r\n", ui.log.find("Destination folder:")) + 2;
        const std::size_t end = ui.log.rfind("\r\nEnd time:");
        return ui.log.substr(begin, end - begin);
    }
    std::string FinishedText() const { return ui.boxes.empty() ? std::string() : ui.boxes.back().text; }
    // Requests that reached the server from number from on.
    V RequestsFrom(std::size_t from) const {
        const V all = server.Requests();
        return V(all.begin() + static_cast<std::ptrdiff_t>(std::min(from, all.size())), all.end());
    }
};

TEST_F(FlickrReaderTest, ThreePageSetIsStoredWholeAndTheLogIsEmptiedBetweenPages) {
    clock_times = {LocalTime(2024, 5, 17, 9, 5, 3), LocalTime(2024, 5, 17, 9, 6, 0)};
    const std::string set(kSet);
    server.Serve(set, FlickrSetPage({Photo(101), Photo(102), Photo(103)}, {"1", true}));
    // A GIF thumbnail is passed over; ".JPG" in capitals is taken.
    server.Serve(set + "?page=2",
                 FlickrSetPage({Photo(104), {"/photos/someone/9/in/set-72157/", server.Url("/farm/9_s.gif")},
                                Photo(105, ".JPG")},
                               {"2", true}));
    server.Serve(set + "?page=3", FlickrSetPage({Photo(106)}, {"3", false}));

    EXPECT_EQ(Run(server.Url(kSet)), DownloadOutcome::Completed);

    EXPECT_EQ(server.Requests(), (V{set, "/farm/101_o.jpg", "/farm/102_o.jpg", "/farm/103_o.jpg", set + "?page=2",
                                    "/farm/104_o.jpg", "/farm/105_o.JPG", set + "?page=3", "/farm/106_o.jpg"}));
    for (const auto& [name, id] : std::vector<std::pair<std::string, int>>{
             {"101_o.jpg", 101}, {"102_o.jpg", 102}, {"103_o.jpg", 103},
             {"104_o.jpg", 104}, {"105_o.JPG", 105}, {"106_o.jpg", 106}}) {
        EXPECT_EQ(ReadFile((Folder() / name).string()), Bytes(id)) << name;
    }
    EXPECT_EQ(Entries(Folder()).size(), 6u);
    EXPECT_EQ(FinishedText(), " 6 files successfully downloaded!");

    // Every page's lines went into the log in order, the log was emptied when
    // the reader moved on, and the window ends with the last page's lines.
    std::string transcript;
    for (const std::string& event : ui.events) {
        if (event.starts_with("replace:")) transcript.clear();  // the header
        if (event.starts_with("append:")) transcript += event.substr(7);
        if (event == "clear") transcript += "<clear>";
    }
    const std::string end = "\r\nEnd time:09:06:00\r\nToatal time: 57 seconds";
    EXPECT_EQ(transcript, Line("101_o.jpg") + Line("102_o.jpg") + Line("103_o.jpg") + "<clear>" +
                              Line("104_o.jpg") + Line("105_o.JPG") + "<clear>" + Line("106_o.jpg") + end);
    EXPECT_EQ(ui.log, Line("106_o.jpg") + end);
}

TEST_F(FlickrReaderTest, AddressIsCutAtItsQueryAndTheSetDashFormRewritten) {
    struct Form {
        std::string typed;
        std::string first_page;
    };
    const Form forms[] = {
        {"/flickr.com/photos/someone/sets/72157/", kSet},
        {"/flickr.com/photos/someone/sets/72157/?page=2", kSet},
        {"/flickr.com/photos/someone/set-72157/", kSet},
        {"/flickr.com/photos/someone/set-72157/?x=/set-1", kSet},
        // A photo shown within its set leads to the set.
        {"/flickr.com/photos/someone/5300123/in/set-72157/", kSet},
        // Without "/photos/" the "/" before "sets/" is the first one past "http://".
        {"/flickr.com/set-72157/", "/sets/72157/"},
    };
    for (const Form& form : forms) {
        server.Serve(form.first_page, FlickrSetPage({Photo(1)}));
        const std::size_t before = server.Requests().size();
        ui = RecordingFrontEnd();
        EXPECT_EQ(Run(server.Url(form.typed)), DownloadOutcome::Completed) << form.typed;
        EXPECT_EQ(RequestsFrom(before), (V{form.first_page, "/farm/1_o.jpg"})) << form.typed;
    }
}

TEST_F(FlickrReaderTest, AddressThatIsNotASetIsRejectedBeforeAnyRequest) {
    for (const std::string path : {"/flickr.com/photos/someone/5300123/", "/flickr.com/photos/someone/SETS/72157/",
                                   "/www.FLICKR.com/photos/someone/Set-72157/"}) {
        ui = RecordingFrontEnd();
        EXPECT_EQ(Run(server.Url(path + "?page=2")), DownloadOutcome::Rejected) << path;
        ASSERT_EQ(ui.boxes.size(), 1u) << path;
        EXPECT_EQ(ui.boxes[0].text, "Only image sets are accepted !");
        EXPECT_EQ(ui.boxes[0].title, "Rejected");
        EXPECT_EQ(ui.boxes[0].icon, BoxIcon::Critical);
        EXPECT_TRUE(ui.ended);
        EXPECT_EQ(ui.log.find("End time:"), std::string::npos);
        EXPECT_TRUE(ui.labels.empty());
        EXPECT_EQ(fs::current_path(), Start());
    }
    EXPECT_TRUE(server.Requests().empty());
    EXPECT_TRUE(Entries(Folder()).empty());
}

TEST_F(FlickrReaderTest, NextPageIsTheShownNumberPlusOne) {
    const std::pair<std::string, std::string> numbers[] = {
        {"12", "13"}, {"9", "10"}, {"0099", "100"}, {" 7", "8"}, {"3rd", "4"},
        {"99999999999999999999", "100000000000000000000"},
    };
    for (const auto& [shown, next] : numbers) {
        server.Serve(kSet, FlickrSetPage({}, {shown, true}));
        server.Serve(std::string(kSet) + "?page=" + next, FlickrSetPage({}, {next, false}));
        const std::size_t before = server.Requests().size();
        ui = RecordingFrontEnd();
        Run(server.Url(kSet));
        EXPECT_EQ(RequestsFrom(before), (V{kSet, std::string(kSet) + "?page=" + next})) << shown;
    }
}

TEST_F(FlickrReaderTest, HandWrittenThumbnailLine) {
    server.Serve("/farm/first_o.jpg", "tiny");
    server.Serve("/farm/big_o.JPG", Bytes(2));
    server.Serve("/farm/plain.jpg", Bytes(3));
    // An image as the very first field (no link before it), a GIF, ".JPG", an
    // address without "_s.", then two ">" side by side: nothing after them.
    const std::string f = server.Url("/farm/");
    server.Serve(kSet, "<html>\r\n<p>x SETTHUMBS-INDV <img src=\"" + f + "first_s.jpg\" />" +
                           "<a href=\"/photos/someone/2/in/set-1/\"><img src=\"" + f + "g_s.gif\" />" +
                           "<a href=\"l\"><IMG SRC=\"" + f + "big_s.JPG\">" +
                           "<a href=\"l\"><img src=\"" + f + "plain.jpg\" title=\"t\"></a>>" +
                           "<img src=\"" + f + "after_s.jpg\"></p>\r\n</html>\r\n");
    Run(server.Url(kSet));
    EXPECT_EQ(PictureLines(), Line("first_o.jpg") +
                                  "File first_o.jpg failed. Searching for original version...not found.\r\n"
                                  "Second try in progress...not found.\r\n" +
                                  Line("big_o.JPG") + Line("plain.jpg"));
    // Without a link the tries ask the base URL itself.
    EXPECT_EQ(server.Requests(), (V{kSet, "/farm/first_o.jpg", "/flsizes/o/", "/fl", "/farm/big_o.JPG",
                                    "/farm/plain.jpg"}));
    EXPECT_EQ(FinishedText(), " 2 files successfully downloaded!");
    EXPECT_EQ(Entries(Folder()), (V{"big_o.JPG", "plain.jpg"}));
}

TEST_F(FlickrReaderTest, LineOfMoreThan32767FieldsWithMarkersFarIntoIt) {
    const std::string set(kSet);
    FlickrPageOptions first{"1", true};
    first.filler_fields = 40000;
    server.Serve(set, FlickrSetPage({Photo(1), Photo(2)}, first));
    server.Serve(set + "?page=2", FlickrSetPage({Photo(3)}, {"2", false}));
    Run(server.Url(kSet));
    EXPECT_EQ(server.Requests(), (V{set, "/farm/1_o.jpg", "/farm/2_o.jpg", set + "?page=2", "/farm/3_o.jpg"}));
    EXPECT_EQ(FinishedText(), " 3 files successfully downloaded!");
}

// One picture, 1_o.jpg, that may come down too small, and what its search finds.
// In the pages "ORIG" stands for the original's address without "_o.jpg".
struct RepairRow {
    const char* name;
    const char* photo_link;
    int status;              // of the picture's own address
    std::size_t size;        // of its body
    const char* size_page;   // nullptr: 404
    const char* photo_page;  // nullptr: 404
    V search_requests;       // the requests after the picture's own
    std::string lines;       // the log between header and completion report
    const char* stored;      // 1_o.jpg afterwards: "first" body, "original", or absent (nullptr)
    int count;
};

const char* const kLink = "/photos/someone/1/in/set-72157/";
const char* const kSizePage = "/fl/photos/someone/1/sizes/o/";
const char* const kPhotoPage = "/fl/photos/someone/1/";
const std::string kFailed = "Downloading 1_o.jpg...OK\r\nFile 1_o.jpg failed. Searching for original version...";
const std::string kAgain = "Downloading 1_o.jpg...OK\r\n";

const RepairRow kRepairRows[] = {
    {"AtTheThresholdItStays", kLink, 200, 3072, "ORIG_o.jpg", "ORIG_o.jpg", {}, kAgain, "first", 1},
    {"FoundOnTheSizePage", kLink, 200, 3071,
     "<html>\r\n<img src=\"ORIG_s.jpg\"><img src=\"ORIG_o.jpg\" width=\"1600\"><img src=\"ORIG_o.jpg\">\r\n", nullptr,
     {kSizePage, "/orig/big_o.jpg"}, kFailed + "succesful.\r\n" + kAgain, "original", 1},
    {"FoundOnThePhotoPage", kLink, 200, 100, nullptr, "<a href=\"x\">,<img src=\"ORIG_o.jpg\">",
     {kSizePage, kPhotoPage, "/orig/big_o.jpg"},
     kFailed + "not found.\r\nSecond try in progress...succesful.\r\n" + kAgain, "original", 1},
    {"NotFound", kLink, 200, 0, "<img src=\"ORIG_s.jpg\">,ORIG_o.gif", "no original here",
     {kSizePage, kPhotoPage}, kFailed + "not found.\r\nSecond try in progress...not found.\r\n", nullptr, 0},
    {"FirstItemWithTheMarkerInAnyCase", kLink, 200, 10, "a,ORIG_O.JPG is the biggest,\"ORIG_o.jpg\"", nullptr,
     {kSizePage, "/orig/big_O.JPG"}, kFailed + "succesful.\r\n" + kAgain, "original", 1},
    {"LinkWithoutIn", "/photos/someone/1/", 200, 10, nullptr, nullptr, {"/flsizes/o/", "/fl"},
     kFailed + "not found.\r\nSecond try in progress...not found.\r\n", nullptr, 0},
    // A request that failed stored and counted nothing: searched all the same,
    // but the count never drops below the files stored.
    {"FailedRequestRepaired", kLink, 404, 10, "<img src=\"ORIG_o.jpg\">", nullptr, {kSizePage, "/orig/big_o.jpg"},
     "Downloading 1_o.jpg...failed.\r\nFile 1_o.jpg failed. Searching for original version...succesful.\r\n" +
         kAgain,
     "original", 1},
    {"FailedRequestNotFound", kLink, 404, 10, nullptr, nullptr, {kSizePage, kPhotoPage},
     "Downloading 1_o.jpg...failed.\r\nFile 1_o.jpg failed. Searching for original version...not found.\r\n"
     "Second try in progress...not found.\r\n",
     nullptr, 0},
};

class FlickrRepair : public FlickrReaderTest, public ::testing::WithParamInterface<RepairRow> {};

TEST_P(FlickrRepair, SmallPictureIsLookedForOnItsOwnPages) {
    const RepairRow& row = GetParam();
    const std::string first = PictureBytes(1, row.size);
    const std::string original = PictureBytes(2, 9000);
    server.ServeStatus("/farm/1_o.jpg", row.status, first);
    server.Serve("/orig/big_o.jpg", original);
    server.Serve("/orig/big_O.JPG", original);
    const std::string orig = server.Url("/orig/big");
    if (row.size_page) server.Serve(kSizePage, SandR(row.size_page, "ORIG", orig));
    if (row.photo_page) server.Serve(kPhotoPage, SandR(row.photo_page, "ORIG", orig));
    server.Serve(kSet, FlickrSetPage({{row.photo_link, server.Url("/farm/1_s.jpg")}}));

    EXPECT_EQ(Run(server.Url(kSet)), DownloadOutcome::Completed);

    V requests{kSet, "/farm/1_o.jpg"};
    requests.insert(requests.end(), row.search_requests.begin(), row.search_requests.end());
    EXPECT_EQ(server.Requests(), requests);
    EXPECT_EQ(PictureLines(), row.lines);
    EXPECT_EQ(FinishedText(), " " + std::to_string(row.count) + " files successfully downloaded!");
    const std::string stored = !row.stored ? "" : std::string(row.stored) == "first" ? first : original;
    EXPECT_EQ(Entries(Folder()), row.stored ? V{"1_o.jpg"} : V{});
    EXPECT_EQ(ReadFile((Folder() / "1_o.jpg").string()), stored);
}

INSTANTIATE_TEST_SUITE_P(Rows, FlickrRepair, ::testing::ValuesIn(kRepairRows),
                         [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace gathrix::test
