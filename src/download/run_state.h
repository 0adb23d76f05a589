#pragma once
// The state that one run of the Download command shares with the album readers
// and the file fetcher. It lives for one run and is thrown away afterwards.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "download/frontend.h"
#include "download/picture_names.h"
#include "download/prefetch.h"
#include "download/settings.h"
#include "net/http.h"
#include "text/page_files.h"

namespace gathrix {

struct RunState {
    RunState(FrontEnd& ui, net::Transfer& transfer, const Settings& run_settings, PageFiles& page_files)
        : front_end(ui), inet(transfer), settings(run_settings), files(page_files) {}

    FrontEnd& front_end;
    net::Transfer& inet;  // Inet1
    const Settings& settings;
    PageFiles& files;     // file numbers 1 to 4

    // Absolute path of the folder that is current during the run: "AlbumDownload"
    // below the starting directory. Pictures and scratch pages go here.
    std::filesystem::path working_folder;

    std::string album_address;  // the trimmed address; readers may rewrite it
    int site_number = 0;        // 1 Picasa, 2 Flickr, 3 Webshots
    std::chrono::system_clock::time_point start_time{};
    // Pictures stored in this run. Wide on purpose: an album of more than
    // 32767 pictures keeps counting.
    std::int64_t file_counter = 0;
    std::string picture_address;  // input of the file fetcher
    std::string local_file_name;  // input of the file fetcher: a bare name

    // Why the last fetch that stored nothing failed.
    Failure last_failure;
    // Bytes of the pictures stored so far.
    std::int64_t bytes_stored = 0;

    // The names pictures are stored under; made when the working folder is known.
    std::optional<PictureNames> names;
    // Pictures the album's pages listed, stored or not.
    std::int64_t pictures_listed = 0;

    // Pictures fetched ahead of their turn, when more than one transfer is
    // allowed; nullptr for one transfer at a time.
    Prefetcher* prefetch = nullptr;
};

}  // namespace gathrix
