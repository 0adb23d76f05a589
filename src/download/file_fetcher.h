#pragma once
// The file fetcher: downloads one picture into the working folder.

#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "download/run_state.h"

namespace gathrix {

// A name that can only ever land in the working folder: the empty name, "." and
// ".." become underscores, and every path separator ('/', '\\'), control
// character (C1 controls in UTF-8 included) and stray byte 0x80 to 0x9F outside
// UTF-8 is replaced by '_'. A name longer than a file name may be (255
// bytes) loses the end of its stem, keeping its extension. Any other name is
// returned unchanged.
std::string SafeLocalName(std::string_view name);

// Fetches run.picture_address and stores its body under the safe form of
// run.local_file_name in the working folder. Writes "Downloading NAME..." and
// then "OK" or "failed." with CR LF into the log, shows the count so far in
// Label1, and raises the file counter for a stored picture. Window events are
// pumped while the request runs. Only a complete body with an HTTP status below
// 400 is stored; otherwise nothing is written and an older file of that name
// survives. Returns whether the picture was stored.
bool FetchFile(RunState& run);

// A picture that a reader found on a page: its address and, where the service
// can give a picture again at full size, the link the repair starts from.
struct FoundPicture {
    std::string address;
    std::string photo_link;
};

// Whether a page's pictures hold one that is not in listed (the full-size
// addresses of the album's earlier pages), or none at all; adds them to listed.
// A page of pictures that earlier pages all listed already brings nothing new
// to the album, and the album ends there: a server that answers every page the
// same way would otherwise keep a run going for ever.
bool ListsSomethingNew(const std::vector<FoundPicture>& pictures, std::unordered_set<std::string>& listed);

// What a reader does right after a picture's fetch (counted: whether the fetch
// stored it): a repair when the picture came down too small. Returns whether
// the picture is stored in the end.
using Repair = bool (*)(RunState& run, const std::string& photo_link, bool counted);

// Fetches the pictures of a page in album order, each under the last part of
// its address (numbered when another picture of the run stored a file under
// that name: see PictureNames) and followed by repair (when given). Several transfers at once
// take them ahead of their turn; a picture stored neither way is reported
// missing.
void FetchPictures(RunState& run, const std::vector<FoundPicture>& pictures, Repair repair = nullptr);

}  // namespace gathrix
