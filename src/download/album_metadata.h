#pragma once
// What --write-metadata keeps beside an album's pictures: album.json, with
// what the service tells of the album and of each picture, and what became of
// each picture's file. A reader describes the album and its pictures; the run
// records each picture's outcome in album order; the Download command writes
// the file at the album's end.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace gathrix {

// The name album.json is written under; no picture takes it in a run that
// writes it.
inline constexpr const char* kAlbumJsonName = "album.json";

// What a service tells of one picture; a member it does not give stays empty
// and is left out of album.json.
struct PictureDetails {
    std::optional<std::string> id;
    std::optional<std::string> title;
    std::optional<std::string> description;
    std::optional<std::string> taken;     // ISO 8601, as the camera's clock
    std::optional<std::string> uploaded;  // ISO 8601 UTC
    std::optional<std::vector<std::string>> tags;
    std::optional<std::string> license;
    std::optional<std::string> page;  // the picture's own page on the service
    std::optional<std::string> media;
};

// One picture of the album, in album order.
struct PictureRecord {
    std::optional<std::string> file;  // the name it is stored under; none when it has no file to fetch
    std::string address;              // the file's address (or the picture's page, without a file)
    bool stored = false;
    std::int64_t bytes = 0;  // of the stored file
    PictureDetails details;
};

class AlbumMetadata {
public:
    std::optional<std::string> album_id;
    std::optional<std::string> album_title;
    std::optional<std::string> album_description;
    std::optional<std::string> owner_id;
    std::optional<std::string> owner_name;

    // The reader's details of the picture whose file is at address, given
    // before the run fetches it.
    void Describe(const std::string& address, PictureDetails details);
    // A picture that has no file to fetch, at its place in album order.
    void AddWithoutFile(const std::string& page, PictureDetails details);
    // What became of the picture at address (stored under name, or not), at
    // its turn; the details described for it go with it.
    void Record(const std::string& address, const std::string& name, bool stored, std::int64_t bytes);

    const std::vector<PictureRecord>& Pictures() const { return pictures_; }

private:
    std::unordered_map<std::string, PictureDetails> described_;
    std::vector<PictureRecord> pictures_;
};

// album.json as it is written: UTF-8, two-space indent. address: the album's
// address as given; service: "flickr", "picasa" or "webshots".
std::string AlbumJson(const AlbumMetadata& metadata, std::string_view address, std::string_view service,
                      std::chrono::system_clock::time_point written);

// Writes text as folder/album.json: into a new hidden file that is then
// renamed over it, so that an interrupted run leaves the earlier one as it
// was. 0, or the errno that stopped it.
int WriteAlbumJson(const std::filesystem::path& folder, std::string_view text);

}  // namespace gathrix
