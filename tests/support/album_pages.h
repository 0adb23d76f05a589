#pragma once
// Album pages in the form the Picasa reader takes apart: an HTML page whose
// script embeds the album feed after "feedPreload:", with each picture's address
// following a "content$src" key.

#include <string>
#include <vector>

namespace gathrix::test {

struct PicasaPageOptions {
    // Picture addresses that appear before the feed (and must not be fetched).
    std::vector<std::string> before_feed;
    // Write the feed's addresses without double quotes.
    bool unquoted_addresses = false;
    // Leave the "feedPreload:" marker out.
    bool without_feed = false;
};

// A page whose feed names the given picture addresses, on one long line.
std::string PicasaPage(const std::vector<std::string>& pictures, const PicasaPageOptions& options = {});

// Some distinct bytes for picture number i, size bytes long (binary, with
// commas, quotes, CR and LF among them).
std::string PictureBytes(int i, std::size_t size);

}  // namespace gathrix::test
