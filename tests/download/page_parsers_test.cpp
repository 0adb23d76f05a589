// The page parsers over pages held as strings: pages in the forms the services
// send (support/album_pages.h) and hand-written ones for the corners. What the
// drivers do with the result (requests, files, log) is left to the reader tests.

#include "download/sites/page_parsers.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "support/album_pages.h"

namespace gathrix {

// A failing row shows its pictures field by field.
void PrintTo(const FoundPicture& p, std::ostream* os) { *os << "{" << p.address << " | " << p.photo_link << "}"; }

namespace test {
namespace {

using Pictures = std::vector<FoundPicture>;
using Strings = std::vector<std::string>;
using Maybe = std::optional<std::string>;

// One case of a table: a name to tell it by, the parser's input and what it gives.
template <typename Expected>
struct Row {
    const char* name;
    std::string input;
    Expected expected;
};

Strings Addresses(const Pictures& pictures) {
    Strings addresses;
    for (const FoundPicture& picture : pictures) addresses.push_back(picture.address);
    return addresses;
}

TEST(PicasaParser, PageAddressIsTheAlbumAddressUpToTheFirstPhotoHash) {
    // clang-format off
    const Row<std::string> rows[] = {
        {"PhotoLink", "http://h/someone/Summer2009/photo#5300123456789", "http://h/someone/Summer2009/"},
        {"TwoPhotoHashes", "http://h/someone/photo#1/photo#2", "http://h/someone/"},
        {"AlbumAddress", "http://h/someone/Summer2009", "http://h/someone/Summer2009"},
        {"CapitalPIsNoPhotoLink", "http://h/other/Photo#5300123456789", "http://h/other/Photo#5300123456789"},
    };
    // clang-format on
    for (const auto& row : rows) EXPECT_EQ(PicasaPageAddress(row.input), row.expected) << row.name;
}

TEST(PicasaParser, PicturesAreTheFeedsAddressesInOrder) {
    const Strings three{"http://h/p/1.jpg", "http://h/p/2.jpg", "http://h/p/3.jpg"};
    Strings many;  // one line of more than 32767 items
    for (int i = 0; i < 5000; ++i) many.push_back("http://h/p/IMG_" + std::to_string(i) + ".jpg");
    // clang-format off
    const Row<Strings> rows[] = {
        {"BuilderPage", PicasaPage(three), three},
        {"OnOneLongLine", PicasaPage(many), many},
        // Options: pictures before the feed, addresses unquoted, no feed marker.
        {"PicturesBeforeTheFeedIgnored", PicasaPage(three, {{"http://h/avatar.jpg"}}), three},
        {"UnquotedAddressesLoseOnlyTheirFirstCharacter", PicasaPage(three, {{}, true}), three},
        {"PageWithoutFeed", PicasaPage(three, {{}, false, true}), {}},
        {"EmptyFeed", "a,feedPreload:{\"feed\":{\"entry\":[]}}\r\n", {}},
        {"KeyAsTheLastItem", "a,feedPreload:{\"entry\":[{\"x\":\"1\",\"content$src\"", {}},
        // Items over lines of every kind, the marker inside a longer item, a
        // key before it, one address without quotes.
        {"OddItems",
         "<html>\r\nx,\"content$src\":\"http://h/p/early.jpg\",y\r\n"
         "var a = 1, b = {init:{feedPreload:{\"feed\":{},\"entry\":[\r\n"
         "{\"id\":\"1\",\"content$src\":\"http://h/p/a.jpg\",\"w\":\"2\"},\n"
         "{\"id\":\"2\",\"media\":{\"t\":\"x\",\"content$src\":http://h/p/b.png,\"w\":\"2\"}},"
         "{\"id\":\"3\",\"content$src\":\"http://h/p/c.gif\"\r\n}]}}};\r\n</html>\r\n",
         {"http://h/p/a.jpg", "http://h/p/b.png", "http://h/p/c.gif"}},
    };
    // clang-format on
    for (const auto& row : rows) EXPECT_EQ(Addresses(ParsePicasaPage(row.input)), row.expected) << row.name;
}

TEST(FlickrParser, SetAddressLosesQueryAndFragmentAndTakesTheSetsForm) {
    const std::string set = "http://h/photos/someone/sets/72157/";
    const std::string albums = "http://h/photos/someone/albums/";
    // clang-format off
    const Row<std::string> rows[] = {
        {"SetsForm", set, set},
        {"Query", set + "?page=2", set},
        {"FragmentBeforeQuery", set + "#top?page=3", set},
        {"SetForm", "http://h/photos/someone/set-72157/", set},
        {"SetFormInTheQueryOnly", "http://h/photos/someone/set-72157/?x=/set-1", set},
        {"PhotoInASet", "http://h/photos/someone/5300123/in/set-72157/", set},
        {"PhotoInAnAlbum", "http://h/photos/someone/5300123/in/album-72157/", set},
        {"PhotoInAnAlbumWithoutSlash", "http://h/photos/someone/5300123/in/album-72157",
         "http://h/photos/someone/sets/72157"},
        {"SetFormBeforeAlbumForm", "http://h/photos/someone/1/in/album-9/set-72157/", set},
        {"AlbumFormWithoutIn", "http://h/photos/someone/album-72157/", "http://h/photos/someone/album-72157/"},
        // Without "/photos/", the "/" before "sets/" is the first one past "http://".
        {"WithoutPhotos", "http://127.0.0.1:80/flickr.com/set-72157/", "http://127.0.0.1:80/sets/72157/"},
        // Sets as the site names them today: "albums" after the user becomes "sets".
        {"AlbumsForm", albums + "72157/", set},
        {"AlbumsWithoutTrailingSlash", albums + "72157", "http://h/photos/someone/sets/72157"},
        {"AlbumsWithQueryAndFragment", albums + "72157/?page=2#top", set},
        // A photo of the album, as the address bar shows it: the album.
        {"AlbumsWithAPhoto", albums + "72157/with/5300123/", set},
        {"AlbumsWithAPhotoWithoutSlash", albums + "72157/with/5300123", set},
        {"AlbumsWithAPhotoAndAQuery", albums + "72157/with/5300123?x=1", set},
        {"AlbumsWithSomethingElseAfterTheId", albums + "72157/page2/", set + "page2/"},
        {"AlbumsWithALaterWith", albums + "72157/x/with/1/", set + "x/with/1/"},
        {"AlbumsAndSetForm", albums + "1/set-72157/", set},
        // Anything else keeps its "albums": the list of a user's albums, other
        // letter cases, no user, no ID, "albums" further on or in a "/sets/" address.
        {"AlbumList", albums, albums},
        {"AlbumListWithoutSlash", "http://h/photos/someone/albums", "http://h/photos/someone/albums"},
        {"AlbumsInCapitals", "http://h/photos/someone/Albums/72157/", "http://h/photos/someone/Albums/72157/"},
        {"AlbumsWithoutUser", "http://h/photos/albums/72157/", "http://h/photos/albums/72157/"},
        {"AlbumsWithEmptyId", albums + "/72157/", albums + "/72157/"},
        {"AlbumsFurtherOn", "http://h/photos/someone/72157/albums/1/", "http://h/photos/someone/72157/albums/1/"},
        {"AlbumsInsideASetsAddress", set + "albums/1/", set + "albums/1/"},
        {"AlbumsInTheQueryOnly", "http://h/photos/someone/5300123/?x=/albums/1", "http://h/photos/someone/5300123/"},
    };
    // clang-format on
    for (const auto& row : rows) EXPECT_EQ(FlickrSetAddress(row.input), row.expected) << row.name;
}

TEST(FlickrParser, NextPageIsTheShownNumberPlusOne) {
    // clang-format off
    const Row<std::string> rows[] = {
        {"Twelve", FlickrSetPage({}, {"12", true}), "13"},
        {"LeadingZeros", FlickrSetPage({}, {"099", true}), "100"},
        {"BlankBeforeTheDigits", FlickrSetPage({}, {" 7", true}), "8"},
        {"TextAfterTheDigits", FlickrSetPage({}, {"3rd", true}), "4"},
        {"NoDigits", FlickrSetPage({}, {"last", true}), "1"},
        {"AllNines", FlickrSetPage({}, {"999999999", true}), "1000000000"},
        {"AfterManyFields", FlickrSetPage({}, {"1", true, 40000}), "2"},
        // A style line and "?page" links before the element do not count.
        {"NoLinksAfterThisPage", FlickrSetPage({}, {"3", false}), ""},
        {"NoPaginator", FlickrSetPage({}, {}), ""},
        {"LinksOnTheNextLine", "<span class=\"this-page\">2</span>\r\n<a href=\"?page=3\">3</a>\r\n", ""},
        {"Capitals", "<SPAN CLASS=\"THIS-PAGE\">5</SPAN><A HREF=\"?PAGE=6\">6</A>\r\n", "6"},
        {"FirstPaginatorWins", "<b class=this-page>4</b>?page\r\n<b class=this-page>9</b>?page\r\n", "5"},
    };
    // clang-format on
    for (const auto& row : rows) EXPECT_EQ(ParseFlickrSetPage(row.input).next_page, row.expected) << row.name;
}

TEST(FlickrParser, ThumbnailsGiveOriginalsWithTheFieldBeforeThem) {
    const auto line = [](const std::string& thumbnails) {
        return "<html>\r\n<div id=\"SETTHUMBS-INDV\">" + thumbnails + "</div>\r\n</html>\r\n";
    };
    const FlickrThumbnail one{"/photos/someone/1/in/set-7/", "http://f/1_s.jpg"};
    const FlickrThumbnail two{"/photos/someone/2/in/set-7/", "http://f/2_s.jpg"};
    const std::string link_one = "<a href=\"" + one.photo_link + "\" title=\"picture 1\"";
    const std::string link_two = "<a href=\"" + two.photo_link + "\" title=\"picture 2\"";
    const std::string l = "<a href=\"l\"";
    // clang-format off
    const Row<Pictures> rows[] = {
        {"BuilderPage", FlickrSetPage({one, two}, {"1", true}),
         {{"http://f/1_o.jpg", link_one}, {"http://f/2_o.jpg", link_two}}},
        {"AfterManyFields", FlickrSetPage({one}, {"", false, 40000}), {{"http://f/1_o.jpg", link_one}}},
        {"ImageAsTheFirstField", "<p>x setthumbs-indv <img src=\"http://f/a_s.jpg\" /></p>\r\n",
         {{"http://f/a_o.jpg", ""}}},
        {"Capitals", line(l + "><IMG SRC=\"http://f/a_s.JPG\">"), {{"http://f/a_o.JPG", l}}},
        {"Gif", line(l + "><img src=\"http://f/a_s.gif\">"), {}},
        {"NoSmallMark", line(l + "><img src=\"http://f/a.jpg\" title=\"t\">"), {{"http://f/a.jpg", l}}},
        {"TwoAnglesEndTheWalk", line(l + "><img src=\"http://f/a_s.jpg\"></a>><img src=\"http://f/b_s.jpg\">"),
         {{"http://f/a_o.jpg", l}}},
        {"ImageBeforeTheMarker", "<img src=\"http://f/logo_s.jpg\"><div class=\"setthumbs-indv\"></div>\r\n", {}},
        {"ImageOnALaterLine", "<div class=\"setthumbs-indv\">\r\n<img src=\"http://f/a_s.jpg\">\r\n", {}},
        {"NoMarker", l + "><img src=\"http://f/a_s.jpg\">\r\n", {}},
    };
    // clang-format on
    for (const auto& row : rows) EXPECT_EQ(ParseFlickrSetPage(row.input).pictures, row.expected) << row.name;
}

TEST(FlickrParser, PhotoPathIsTheLinkUpToItsFirstIn) {
    // clang-format off
    const Row<std::string> rows[] = {
        {"InASet", "/photos/someone/1/in/set-72157/", "/photos/someone/1/"},
        {"TwoIns", "/photos/someone/1/in/set-1/in/x/", "/photos/someone/1/"},
        {"NoIn", "/photos/someone/1/", ""},
        {"NoLink", "", ""},
    };
    // clang-format on
    for (const auto& row : rows) EXPECT_EQ(FlickrPhotoPath(row.input), row.expected) << row.name;
}

TEST(FlickrParser, OriginalIsTheFirstItemWithTheMarkerAfterItsLastQuote) {
    // clang-format off
    const Row<Maybe> rows[] = {
        {"InATag", "<img src=\"http://h/a_s.jpg\"><img src=\"http://h/a_o.jpg\" width=\"1\">,\"http://h/b_o.jpg\"",
         "http://h/a_o.jpg"},
        {"AnyCaseWithoutQuote", "<a href=\"x\">,http://h/a_O.JPG is the biggest,\"http://h/b_o.jpg\"",
         "http://h/a_O.JPG"},
        {"QuotedItemOnALaterLine", "<p>x</p>\r\n<p>,\"http://h/a_o.jpg\",y", "http://h/a_o.jpg"},
        {"OtherExtension", "<img src=\"http://h/a_s.jpg\">,http://h/a_o.gif", std::nullopt},
        {"None", "no original here", std::nullopt},
        {"EmptyPage", "", std::nullopt},
    };
    // clang-format on
    for (const auto& row : rows) EXPECT_EQ(ParseFlickrOriginal(row.input), row.expected) << row.name;
}

TEST(WebshotsParser, AlbumSourceIsInTheFirstLineThatNamesAnAlbum) {
    const std::string album = "http://www.webshots.com/album/55";
    // clang-format off
    const Row<Maybe> rows[] = {
        {"BuilderPage", WebshotsPhotoPage(album), album},
        {"MarkerLaterInCapitals", "<p>\r\n<a href=\"http://h/a/5\">A</a> <!-- WEBSHOTS.COM/ALBUM -->\r\n",
         "http://h/a/5"},
        {"FirstOfTwo", "\"http://h/a/1\" webshots.com/album\r\n\"http://h/a/2\" webshots.com/album\r\n",
         "http://h/a/1"},
        {"LineFeedsOnlyMakeOneLine", "<a href=\"http://h/home\">\n<a href=\"" + album + "\">\n", "http://h/home"},
        {"NoAlbumLink", WebshotsPhotoPage(""), std::nullopt},
        {"EmptyPage", "", std::nullopt},
    };
    // clang-format on
    for (const auto& row : rows) EXPECT_EQ(ParseWebshotsAlbumSource(row.input), row.expected) << row.name;
}

constexpr const char* kPrefix = "http://t/th";  // the thumbnail prefix

TEST(WebshotsParser, AlbumPageThumbnailsAreUrlStylesWithThePrefix) {
    const std::string p = kPrefix;
    // A link to the photo's page styled with the thumbnail name (below the prefix).
    const auto a = [&p](const std::string& link, const std::string& name) {
        return "<a href=\"" + link + "\" style=\"url(" + p + name + ")\">";
    };
    std::string many_fields;
    for (int i = 0; i < 40000; ++i) many_fields += "<i>";
    // clang-format off
    const Row<Pictures> rows[] = {
        {"BuilderPage", WebshotsAlbumPage({{p + "/1_th.jpg", "/photo/1"}, {p + "/2_th.jpg", "/photo/2"}}, "/next"),
         {{p + "/1_fs.jpg", "/photo/1"}, {p + "/2_fs.jpg", "/photo/2"}}},
        {"SideBySide", a("/1", "/1_th.jpg") + a("/2", "/2_th.jpg"), {{p + "/1_fs.jpg", "/1"}, {p + "/2_fs.jpg", "/2"}}},
        {"AfterManyFields", many_fields + a("/1", "/1_th.jpg"), {{p + "/1_fs.jpg", "/1"}}},
        {"OtherPrefixOrNoStyle", "<a style=\"url(/i/bg_th.jpg)\"><img src=\"" + p + "/1_th.jpg\">", {}},
        // Without ")" the address runs to the end of its field, quotes dropped.
        {"NoParenthesis", "<a href=\"/1\" style=\"url(" + p + "/1_th.jpg\">", {{p + "/1_fs.jpg", "/1"}}},
        {"NoQuotesNoPhotoLink", "<i style=url(" + p + "/1_th.jpg)>", {{p + "/1_fs.jpg", ""}}},
        {"NoThumbnailMark", a("/1", "/plain.jpg"), {{p + "/plain.jpg", "/1"}}},
        // Nothing after two ">" side by side in an item; the next item is read.
        {"TwoAnglesEndTheItem", "<b>>" + a("/1", "/1_th.jpg") + "\r\n" + a("/2", "/2_th.jpg"),
         {{p + "/2_fs.jpg", "/2"}}},
    };
    // clang-format on
    for (const auto& row : rows) EXPECT_EQ(ParseWebshotsAlbumPage(row.input, p).pictures, row.expected) << row.name;
}

TEST(WebshotsParser, AlbumPageHasANextLinkWhereverRelNextStands) {
    const std::string thumbnail = kPrefix + std::string("/1_th.jpg");
    // clang-format off
    const Row<bool> rows[] = {
        {"BuilderWithNext", WebshotsAlbumPage({{thumbnail, "/photo/1"}}, "/next"), true},
        {"BuilderWithout", WebshotsAlbumPage({{thumbnail, "/photo/1"}}), false},
        {"AnyCaseInTheHead", "<head><LINK REL=\"Next\" href=\"/x\"></head>\r\n<p>\r\n", true},
        {"AfterALongLine", "<p>\r\n" + std::string(40000, ' ') + "<a rel=\"NEXT\" href=\"/x\">\r\n", true},
        {"OtherRel", "<a rel=\"nofollow\" href=\"/next\">Next</a>\r\n", false},
    };
    // clang-format on
    for (const auto& row : rows) {
        EXPECT_EQ(ParseWebshotsAlbumPage(row.input, kPrefix).has_next, row.expected) << row.name;
    }
}

TEST(WebshotsParser, FullSizePictureIsInTheItemAfterTheScriptMarker) {
    // clang-format off
    const Row<Maybe> rows[] = {
        // The first of the page's two calls.
        {"BuilderPage", WebshotsFullSizePage("http://h/full/big.jpg"), "http://h/full/big.jpg"},
        {"MarkerInTheLastItem", "<script>so.addVariable('src',", ""},
        {"NoScriptCall", WebshotsFullSizePage(""), std::nullopt},
        {"EmptyPage", "", std::nullopt},
    };
    // clang-format on
    for (const auto& row : rows) EXPECT_EQ(ParseWebshotsFullSizePage(row.input), row.expected) << row.name;
}

}  // namespace
}  // namespace test
}  // namespace gathrix
