#pragma once
// The album readers, one per photo service, and the two repairs of pictures
// that come down too small. Each reader is a short driver: it fetches the
// album's pages through the run, learns from each what page_parsers.h reads
// out of it, and hands the pictures to the run in album order.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "download/album_run.h"

namespace gathrix {

enum class ReaderEnd {
    AlbumDone,  // the album is done: the command writes its completion report
    Rejected,   // the reader turned the address down after its own message
};

using AlbumReader = ReaderEnd (*)(AlbumRun& run, const std::string& album_address);

ReaderEnd ReadPicasaAlbum(AlbumRun& run, const std::string& album_address);
ReaderEnd ReadFlickrSet(AlbumRun& run, const std::string& album_address);
ReaderEnd ReadWebshotsAlbum(AlbumRun& run, const std::string& album_address);
// Flickr through its REST API, when a key is given (flickr_api_reader.cpp).
ReaderEnd ReadFlickrApi(AlbumRun& run, const std::string& album_address);

// Whether a page's pictures hold one that is not in listed (the full-size
// addresses of the album's earlier pages), or none at all; adds them to listed.
// A page of pictures that earlier pages all listed already brings nothing new
// to the album, and the album ends there: a server that answers every page the
// same way would otherwise keep a run going for ever.
bool ListsSomethingNew(const std::vector<FoundPicture>& pictures, std::unordered_set<std::string>& listed);

// The smallest good picture of each service: a smaller one came down as a
// stand-in and is looked for again.
inline constexpr std::int64_t kFlickrSmallestPicture = 3072;
inline constexpr std::int64_t kWebshotsSmallestPicture = 1024;

// The repair both services share: a picture under threshold bytes is dropped
// (see AlbumRun::DropIfSmall), look_up is asked for the address of a good copy,
// and that is fetched under the picture's own name. The log line of the drop
// ends in "succesful." or "not found."; a look-up may write its own steps in
// between. A picture that came down too small and was not found is missing
// for not_found; one whose fetch had failed keeps that fetch's failure.
FetchResult RepairSmallPicture(AlbumRun& run, FetchResult fetched, std::int64_t threshold, FailureKind not_found,
                               const std::function<std::optional<std::string>()>& look_up);

// Flickr: a picture under kFlickrSmallestPicture bytes is looked for on the
// photo's original-size page ("sizes/o/") and then on the photo's own page;
// link_field is the thumbnail line's field before the picture's image field,
// the photo's link between its first two double quotes.
FetchResult SearchFlickrOriginal(AlbumRun& run, const std::string& link_field, FetchResult fetched);

// Webshots: a picture under kWebshotsSmallestPicture bytes is looked up on the
// page Webshots full-size base + "/photo/fullsize/" + the last "/"-part of
// photo_link.
FetchResult WebshotsFullSizeLookup(AlbumRun& run, const std::string& photo_link, FetchResult fetched);

}  // namespace gathrix
