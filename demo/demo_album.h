#pragma once
// The demo albums: landscapes drawn with Qt's image classes and saved as real
// JPEG files, and an album page in the form of Picasa Web Albums, with the album
// feed embedded in its script.

#include <string>
#include <vector>

namespace gathrix::demo {

// A width x height landscape picture as a JPEG file; index varies the scene.
// A low quality gives a small file (for pictures that must come down too small).
std::string LandscapeJpeg(int index, int width, int height, int quality = 85);

// An album page whose embedded feed lists the pictures at the given addresses.
std::string PicasaAlbumPage(const std::string& title, const std::vector<std::string>& picture_addresses);

}  // namespace gathrix::demo
