#include "support/album_pages.h"

namespace gathrix::test {

namespace {
std::string Quoted(const std::string& text) { return "\"" + text + "\""; }
}  // namespace

std::string PicasaPage(const std::vector<std::string>& pictures, const PicasaPageOptions& options) {
    std::string page =
        "<!DOCTYPE html>\r\n<html><head><title>Summer, 2009 - Web Albums</title>\r\n"
        "<meta name=\"description\" content=\"photos, by a user\">\r\n"
        "<script type=\"text/javascript\">\r\n";
    // Data of the page around the album: a user's avatar and a cover, with the
    // same key as the feed's pictures.
    page += "var _user = {\"name\":\"someone\",\"nickname\":\"Some One\"";
    for (const std::string& address : options.before_feed) {
        page += ",\"content$src\":" + Quoted(address) + ",\"width\":\"48\"";
    }
    page += "};\r\n";
    page += options.without_feed ? "_initAlbum({preload: {\"feed\":{" : "_initAlbum({feedPreload: {\"feed\":{";
    page +=
        "\"title\":{\"$t\":\"Summer, 2009\"},\"gphoto$numphotos\":" + std::to_string(pictures.size()) + ",\"entry\":[";
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        if (i > 0) page += ",";
        const std::string& address = pictures[i];
        page += "{\"gphoto$id\":\"" + std::to_string(5300000 + i) + "\",\"title\":{\"$t\":\"picture " +
                std::to_string(i + 1) + "\"},\"media$group\":{\"type\":\"image/jpeg\",\"content$src\":" +
                (options.unquoted_addresses ? address : Quoted(address)) + ",\"width\":\"1600\",\"height\":\"1200\"}}";
    }
    page += "]}}});\r\n</script></head>\r\n<body><div id=\"lhid_content\">Loading...</div></body></html>\r\n";
    return page;
}

std::string FlickrSetPage(const std::vector<FlickrThumbnail>& thumbnails, const FlickrPageOptions& options) {
    std::string filler;
    for (std::size_t i = 0; i < options.filler_fields; ++i) filler += "<b>";
    std::string page =
        "<!DOCTYPE html>\r\n<html><head><title>Summer, 2009 - a set on Flickr</title>\r\n"
        "<style>.Paginator .This-Page { font-weight: bold }</style></head>\r\n<body>\r\n";
    if (!options.this_page.empty()) {
        page += filler + "<div class=\"Paginator\"><a href=\"?page=1\" class=\"Prev\">&lt; Prev</a>";
        page += "<span class=\"This-Page\">" + options.this_page + "</span>";
        if (options.has_next) {
            page += "<a href=\"?page=next\">next</a><a href=\"?page=next\" class=\"Next\">Next &gt;</a>";
        }
        page += "</div>\r\n";
    }
    page += filler + "<div class=\"setThumbs-indv\" id=\"setThumbs\">" + filler;
    for (std::size_t i = 0; i < thumbnails.size(); ++i) {
        const std::string title = "picture " + std::to_string(i + 1);
        page += "<span class=\"photo_container pc_s\"><a href=" + Quoted(thumbnails[i].photo_link) +
                " title=" + Quoted(title) + "><img src=" + Quoted(thumbnails[i].thumbnail) +
                " width=\"75\" height=\"75\" alt=" + Quoted(title) + " /></a></span>";
    }
    page += "</div>\r\n</body></html>\r\n";
    return page;
}

std::string WebshotsAlbumPage(const std::vector<WebshotsThumbnail>& thumbnails, const std::string& next_page) {
    std::string page =
        "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\">\r\n"
        "<html><head><title>Autumn walk - photo album</title>\r\n"
        "<link rel=\"stylesheet\" type=\"text/css\" href=\"/css/album.css\">\r\n</head><body>\r\n";
    for (std::size_t i = 0; i < thumbnails.size(); ++i) {
        const std::string title = "Photo " + std::to_string(i + 1);
        page += "<div class=\"photo\"><a href=" + Quoted(thumbnails[i].photo_link) +
                " class=\"thumb\" style=\"background-image: url(" + thumbnails[i].address +
                ");\" title=" + Quoted(title) + "></a><span class=\"caption\">" + title + "</span></div>\r\n";
    }
    if (!next_page.empty())
        page += "<div class=\"pager\"><a href=" + Quoted(next_page) + " rel=\"next\">Next</a></div>\r\n";
    return page + "</body></html>\r\n";
}

std::string WebshotsPhotoPage(const std::string& album) {
    std::string page =
        "<html><head><title>Photo - Autumn walk</title></head><body>\r\n"
        "<div id=\"header\"><a href=\"http://www.webshots.com/explore\">Explore</a></div>\r\n";
    if (!album.empty())
        page += "<a href=" + Quoted(album) + " class=\"album-link\">Autumn walk</a> (24 photos)<br>\r\n";
    return page + "<div id=\"photo\"><img src=\"/i/spacer.gif\" alt=\"Photo\"></div></body></html>\r\n";
}

std::string WebshotsFullSizePage(const std::string& picture) {
    std::string page =
        "<html><head><title>Photo - full size</title>\r\n"
        "<script type=\"text/javascript\" src=\"/js/swfobject.js\"></script></head><body>\r\n"
        "<div id=\"viewer\">Loading...</div><script type=\"text/javascript\">\r\n"
        "var so = new SWFObject('/swf/viewer.swf', 'viewer', '100%', '100%', '8', '#000000');\r\n";
    // A second call with the marker, which must not be taken.
    if (!picture.empty())
        page += "so.addVariable('src', '" + picture + "');\r\nso.addVariable('caption', 'Photo');\r\n";
    return page + "so.write('viewer');\r\n</script></body></html>\r\n";
}

std::string PictureBytes(int i, std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t k = 0; k < size; ++k) {
        bytes[k] = static_cast<char>((k * 7 + static_cast<std::size_t>(i) * 131 + k / 251) & 0xff);
    }
    return bytes;
}

}  // namespace gathrix::test
