#include "download/album_metadata.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <nlohmann/json.hpp>
#include <utility>

namespace gathrix {

namespace {

using nlohmann::ordered_json;

// The member name = value when the service gave it.
void Put(ordered_json& object, const char* name, const std::optional<std::string>& value) {
    if (value) object[name] = *value;
}

std::string IsoUtc(std::chrono::system_clock::time_point when) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    std::tm tm{};
    ::gmtime_r(&seconds, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return text;
}

ordered_json PictureObject(const PictureRecord& picture) {
    ordered_json object = ordered_json::object();
    object["file"] = picture.file ? ordered_json(*picture.file) : ordered_json(nullptr);
    object["address"] = picture.address;
    object["stored"] = picture.stored;
    if (picture.stored) object["bytes"] = picture.bytes;
    const PictureDetails& details = picture.details;
    Put(object, "id", details.id);
    Put(object, "title", details.title);
    Put(object, "description", details.description);
    Put(object, "taken", details.taken);
    Put(object, "uploaded", details.uploaded);
    if (details.tags) object["tags"] = *details.tags;
    Put(object, "license", details.license);
    Put(object, "page", details.page);
    Put(object, "media", details.media);
    return object;
}

}  // namespace

void AlbumMetadata::Describe(const std::string& address, PictureDetails details) {
    described_.insert_or_assign(address, std::move(details));
}

void AlbumMetadata::AddWithoutFile(const std::string& page, PictureDetails details) {
    pictures_.push_back({std::nullopt, page, false, 0, std::move(details)});
}

void AlbumMetadata::Record(const std::string& address, const std::string& name, bool stored, std::int64_t bytes) {
    PictureRecord record{name, address, stored, bytes, {}};
    if (const auto found = described_.find(address); found != described_.end()) record.details = found->second;
    pictures_.push_back(std::move(record));
}

std::string AlbumJson(const AlbumMetadata& metadata, std::string_view address, std::string_view service,
                      std::chrono::system_clock::time_point written) {
    ordered_json json = ordered_json::object();
    json["address"] = std::string(address);
    json["service"] = std::string(service);
    ordered_json album = ordered_json::object();
    Put(album, "id", metadata.album_id);
    Put(album, "title", metadata.album_title);
    Put(album, "description", metadata.album_description);
    if (metadata.owner_id || metadata.owner_name) {
        ordered_json owner = ordered_json::object();
        Put(owner, "id", metadata.owner_id);
        Put(owner, "name", metadata.owner_name);
        album["owner"] = std::move(owner);
    }
    if (!album.empty()) json["album"] = std::move(album);
    json["written"] = IsoUtc(written);
    ordered_json pictures = ordered_json::array();
    for (const PictureRecord& picture : metadata.Pictures()) pictures.push_back(PictureObject(picture));
    json["pictures"] = std::move(pictures);
    // Text from a server need not be UTF-8: a stray byte becomes U+FFFD.
    return json.dump(2, ' ', false, ordered_json::error_handler_t::replace) + "\n";
}

int WriteAlbumJson(const std::filesystem::path& folder, std::string_view text) {
    // A name of the program's own (no picture takes ".gathrix-..."), made
    // exclusively: nothing else of that name is written through.
    const std::filesystem::path temporary = folder / (".gathrix-album-json-" + std::to_string(::getpid()));
    ::unlink(temporary.c_str());
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) return errno;
    int error = 0;
    for (std::size_t done = 0; done < text.size() && error == 0;) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) error = errno;
        if (n > 0) done += static_cast<std::size_t>(n);
    }
    if (error == 0 && ::fsync(fd) != 0) error = errno;
    if (::close(fd) != 0 && error == 0) error = errno;
    if (error == 0 && ::rename(temporary.c_str(), (folder / kAlbumJsonName).c_str()) != 0) error = errno;
    if (error != 0) ::unlink(temporary.c_str());
    return error;
}

}  // namespace gathrix
