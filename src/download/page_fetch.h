#pragma once
// Album pages, size pages and full-size pages are saved into the working folder
// under private temporary names, read back and removed as soon as they have been
// read. So no picture, and no file that was in the folder before the run, is
// ever read as a page, replaced or deleted by one.

#include <optional>
#include <string>

#include "download/run_state.h"
#include "net/http.h"

namespace gathrix {

// Which page: one of the album's own pages (the front end is told when it
// cannot be downloaded), or a page looked up for one picture.
enum class PageRole { Album, Lookup };

// Downloads address into a new scratch page in the working folder. nullopt when
// the page could not be fetched (connection error, status 400 or more, body cut
// short): then there is nothing to read, not even an older page.
std::optional<net::SavedPage> FetchPage(const RunState& run, const std::string& address,
                                        PageRole role = PageRole::Album);

}  // namespace gathrix
