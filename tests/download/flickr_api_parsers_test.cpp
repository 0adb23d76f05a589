// Flickr's API, pure: the addresses it reads, the calls it makes, and what its
// answers tell, numbers as strings and titles as objects included.

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "download/flickr_api.h"
#include "download/sites/flickr_api_parsers.h"

namespace gathrix {
namespace {

struct TargetRow {
    const char* address;
    FlickrApiForm form;
    const char* user;
    const char* album_id;
};

void PrintTo(const TargetRow& row, std::ostream* os) { *os << row.address; }

using enum FlickrApiForm;

// clang-format off
const TargetRow kTargetRows[] = {
    {"https://www.flickr.com/photos/anna/albums/72157", Album, "anna", "72157"},
    {"http://flickr.com/photos/anna/sets/72157/", Album, "anna", "72157"},
    {"HTTPS://M.FLICKR.COM/photos/anna/albums/72157/with/5321/?foo=1#x", Album, "anna", "72157"},
    {"https://secure.flickr.com/photos/12037949632%40N01/5321/in/album-72157/", Album, "12037949632@N01", "72157"},
    {"https://www.flickr.com/photos/anna/5321/in/set-72157", Album, "anna", "72157"},
    {"  https://www.flickr.com/photos/anna/albums  ", AlbumList, "anna", ""},
    {"https://www.flickr.com/photos/anna/sets/page2/", AlbumList, "anna", ""},
    {"https://www.flickr.com/photos/anna", Photostream, "anna", ""},
    {"https://www.flickr.com/photos/anna/page4#top", Photostream, "anna", ""},
    // Anything else, and anything not on flickr.com, is none of them.
    {"https://www.flickr.com/photos/anna/albums/summer", None, "anna", ""},
    {"https://www.flickr.com/photos/anna/5321/in/photostream/", None, "anna", ""},
    {"https://www.flickr.com/groups/cats/", None, "", ""},
    {"https://www.flickr.com/photos/", None, "", ""},
    {"https://notflickr.com/photos/anna/albums/1", None, "", ""},
    {"http://127.0.0.1:8080/flickr.com/photos/anna/sets/1/", None, "", ""},
    {"ftp://www.flickr.com/photos/anna/albums/1", None, "", ""},
};
// clang-format on

class FlickrApiTargets : public ::testing::TestWithParam<TargetRow> {};

TEST_P(FlickrApiTargets, AddressFormIsRecognised) {
    const TargetRow& row = GetParam();
    const FlickrApiTarget target = ParseFlickrApiTarget(row.address);
    EXPECT_EQ(target.form, row.form);
    if (row.form == None) return;
    EXPECT_EQ(target.user, row.user);
    EXPECT_EQ(target.album_id, row.album_id);
}

INSTANTIATE_TEST_SUITE_P(FlickrApiParser, FlickrApiTargets, ::testing::ValuesIn(kTargetRows));

TEST(FlickrApiParser, CallAddressEncodesItsParametersAndTheKeyIsHidden) {
    const std::string call = FlickrApiCallAddress("https://api.flickr.com/services/rest/", kLookupUser, "k&y",
                                                  {{"url", "https://www.flickr.com/photos/a b/"}, {"extras", "a,b"}});
    EXPECT_EQ(call,
              "https://api.flickr.com/services/rest/?method=flickr.urls.lookupUser&api_key=k%26y&format=json&"
              "nojsoncallback=1&url=https%3A%2F%2Fwww.flickr.com%2Fphotos%2Fa%20b%2F&extras=a,b");
    EXPECT_EQ(HideApiKey(call).find("k%26y"), std::string::npos);
    EXPECT_EQ(HideApiKey("http://h/?api_key=abc&x=1#f"), "http://h/?api_key=HIDDEN&x=1#f");
    EXPECT_EQ(HideApiKey("http://h/?x=1&api_key=abc"), "http://h/?x=1&api_key=HIDDEN");
    EXPECT_EQ(HideApiKey("http://h/?my_api_key=abc"), "http://h/?my_api_key=abc");
}

TEST(FlickrApiParser, PhotoPageTakesNumbersAsStringsAndTitlesAsObjects) {
    const FlickrPhotoPage page = ParseFlickrPhotoPage(R"j({"photoset": {"id": "72157", "owner": "1@N01",
        "ownername": "Anna", "title": {"_content": "Summer"}, "page": 2, "pages": "3", "total": "1203",
        "photo": [
          {"id": "11", "title": "Sea", "url_o": "https://live/11_o.jpg", "width_o": "3701", "height_o": 2000,
           "media": "photo", "datetaken": "2019-07-14 10:23:45", "dateupload": "1563100800",
           "description": {"_content": "Blue"}, "tags": "sea  sun", "license": 4},
          {"id": 12, "url_l": "https://live/12_l.jpg", "width_l": 1024, "height_l": "768",
           "url_k": "https://live/12_k.jpg", "width_k": "2048", "height_k": "1365",
           "url_z": "https://live/12_z.jpg", "width_z": "640"},
          {"id": "13", "media": "video", "url_o": ""},
          "not a photo"
        ]}, "stat": "ok"})j",
                                                      "photoset");
    EXPECT_EQ(page.status.kind, FlickrApiStatus::Kind::Ok);
    EXPECT_EQ(page.page, 2);
    EXPECT_EQ(page.pages, 3);
    EXPECT_EQ(page.title, "Summer");
    EXPECT_EQ(page.owner_name, "Anna");
    ASSERT_EQ(page.photos.size(), 3u);
    EXPECT_EQ(page.photos[0].file, "https://live/11_o.jpg");
    EXPECT_EQ(page.photos[0].details.description, "Blue");
    EXPECT_EQ(page.photos[0].details.taken, "2019-07-14T10:23:45");
    EXPECT_EQ(page.photos[0].details.uploaded, "2019-07-14T10:40:00Z");
    EXPECT_EQ(page.photos[0].details.tags, (std::vector<std::string>{"sea", "sun"}));
    EXPECT_EQ(page.photos[0].details.license, "4");
    EXPECT_EQ(page.photos[1].id, "12");
    EXPECT_EQ(page.photos[1].file, "https://live/12_k.jpg");  // the largest without url_o
    EXPECT_FALSE(page.photos[1].details.title.has_value());
    EXPECT_TRUE(page.photos[2].video);
    EXPECT_EQ(page.photos[2].file, "");
}

struct StatusRow {
    const char* answer;
    FlickrApiStatus::Kind kind;
    long long code;
    const char* message;
};

// clang-format off
const StatusRow kStatusRows[] = {
    {R"j({"stat": "fail", "code": 100, "message": "Invalid API Key (Key has expired)"})j",
     FlickrApiStatus::Kind::Failed, 100, "Invalid API Key (Key has expired)"},
    {R"j({"stat": "fail", "code": "105", "message": "Service currently unavailable"})j",
     FlickrApiStatus::Kind::Failed, 105, "Service currently unavailable"},
    {R"j(jsonFlickrApi({"photos": {"page": 1, "pages": 1, "photo": []}, "stat": "ok"}))j",
     FlickrApiStatus::Kind::Ok, 0, ""},
    {"<html>Too Many Requests</html>", FlickrApiStatus::Kind::NotAnAnswer, 0, ""},
    {R"j({"photoset": {"page": 1}, "stat": "ok"})j", FlickrApiStatus::Kind::NotAnAnswer, 0, ""},
    {R"j({"photos": {"page": 1}})j", FlickrApiStatus::Kind::NotAnAnswer, 0, ""},
    {R"j({"photos": [], "stat": "ok"})j", FlickrApiStatus::Kind::NotAnAnswer, 0, ""},
    {R"j([1, 2])j", FlickrApiStatus::Kind::NotAnAnswer, 0, ""},
};
// clang-format on

TEST(FlickrApiParser, StatusTellsOkFailAndWhatIsNoAnswer) {
    for (const StatusRow& row : kStatusRows) {
        const FlickrApiStatus status = ParseFlickrPhotoPage(row.answer, "photos").status;
        EXPECT_EQ(status.kind, row.kind) << row.answer;
        EXPECT_EQ(status.code, row.code) << row.answer;
        EXPECT_EQ(status.message, row.message) << row.answer;
    }
}

TEST(FlickrApiParser, AlbumListUserAndVideoSizes) {
    const FlickrAlbumListPage list = ParseFlickrAlbumListPage(R"j({"photosets": {"page": "1", "pages": 2,
        "photoset": [{"id": "1", "title": {"_content": "A"}, "description": {"_content": "About A"}},
                     {"id": 2, "title": "B"}, {"title": "no id"}]},
        "stat": "ok"})j");
    EXPECT_EQ(list.pages, 2);
    ASSERT_EQ(list.albums.size(), 2u);
    EXPECT_EQ(list.albums[0].description, "About A");
    EXPECT_EQ(list.albums[1].id, "2");
    EXPECT_EQ(list.albums[1].title, "B");
    EXPECT_EQ(ParseFlickrUserLookup(R"j({"user": {"id": "1@N01", "username": {"_content": "S"}}, "stat": "ok"})j").nsid,
              "1@N01");
    EXPECT_EQ(ParseFlickrUserLookup(R"j({"user": {}, "stat": "ok"})j").status.kind, FlickrApiStatus::Kind::NotAnAnswer);
    const FlickrVideoFile video = ParseFlickrVideoSizes(R"j({"sizes": {"size": [
        {"label": "Original", "width": 9000, "height": 9000, "source": "https://live/o.jpg", "media": "photo"},
        {"label": "Site MP4", "width": "640", "height": "360", "source": "https://v/site/", "media": "video"},
        {"label": "HD MP4", "width": 1280, "height": "720", "source": "https://v/hd/", "media": "video"},
        {"label": "Broken", "width": 9999, "height": 9999, "media": "video"}]}, "stat": "ok"})j");
    EXPECT_EQ(video.file, "https://v/hd/");
}

TEST(FlickrApiParser, NsidsFolderNamesAndTimes) {
    EXPECT_TRUE(IsNsid("12037949632@N01"));
    EXPECT_FALSE(IsNsid("anna"));
    EXPECT_FALSE(IsNsid("@N01"));
    EXPECT_EQ(FlickrAlbumFolderName("721", "Summer / 2019"), "721 Summer _ 2019");
    EXPECT_EQ(FlickrAlbumFolderName("721", " "), "721");
    const std::string long_title(200, 'x');
    EXPECT_EQ(FlickrAlbumFolderName("721", long_title).size(), 100u);
    EXPECT_EQ(FlickrAlbumFolderName("7", std::string(98, 'x') + "\xC3\xA9").size(), 100u);  // not cut in é
    EXPECT_EQ(FlickrAlbumFolderName("7", std::string(97, 'x') + "\xC3\xA9\xC3\xA9").size(), 101u - 2u);
    EXPECT_EQ(IsoFromUnixTime("0"), "1970-01-01T00:00:00Z");
    EXPECT_EQ(IsoFromUnixTime("x"), "");
    EXPECT_EQ(IsoFromTaken("2019-07-14 10:23:45"), "2019-07-14T10:23:45");
    EXPECT_EQ(IsoFromTaken("sometime"), "sometime");
}

}  // namespace
}  // namespace gathrix
