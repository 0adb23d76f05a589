#pragma once
// The demo album: pictures drawn by code (real PNG files) and an album page in
// the form of Picasa Web Albums, with the album feed embedded in its script.

#include <string>
#include <vector>

namespace gathrix::demo {

// A width x height landscape picture as a PNG file; index varies the scene.
std::string LandscapePng(int index, int width, int height);

// An album page whose embedded feed lists the pictures at the given addresses.
std::string PicasaAlbumPage(const std::string& title, const std::vector<std::string>& picture_addresses);

}  // namespace gathrix::demo
