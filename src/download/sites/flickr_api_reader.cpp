// Flickr through its REST API: the driver. An album is read with
// flickr.photosets.getPhotos, a photostream with flickr.people.getPublicPhotos,
// page after page (500 photos each, pages 1 up to the number the first answer
// states, never more than kMostApiPages), and each page's pictures go to the
// run in album order as the page lists them: the file each photo's answer
// names, or for a video the largest video file flickr.photos.getSizes offers.
// A path alias is resolved once per run with flickr.urls.lookupUser. What the
// answers mean is read in flickr_api_parsers.cpp.
//
// Failures are told with the album's address as given: an answer with
// "stat": "fail" in Flickr's words, code 105 (service unavailable) sent again
// as any temporary failure when retries are allowed; a bad key (code 100)
// stops every API request of the run from then on.

#include <sys/stat.h>

#include <algorithm>
#include <optional>
#include <string>
#include <thread>
#include <unordered_set>
#include <utility>
#include <vector>

#include "download/flickr_api.h"
#include "download/key_hiding_events.h"
#include "download/sites/album_readers.h"
#include "download/sites/flickr_api_parsers.h"
#include "text/strings.h"

namespace gathrix {

namespace {

constexpr long long kMostApiPages = 10000;
// Flickr's codes: a bad key, and a service that is down for a while.
constexpr long long kBadKey = 100;
constexpr long long kServiceUnavailable = 105;

using Parameters = std::vector<std::pair<std::string, std::string>>;

Failure ServiceFailure(const FlickrApiStatus& status) {
    if (status.kind == FlickrApiStatus::Kind::NotAnAnswer) return Failure(FailureKind::NotServiceAnswer);
    Failure failure(FailureKind::ServiceFailed, static_cast<long>(std::min<long long>(status.code, 1'000'000'000)));
    failure.detail = status.message;
    return failure;
}

// The API calls of one address: the run they travel on, the run's memory, and
// the address as given, which failures name.
class ApiReading {
public:
    ApiReading(AlbumRun& run, FlickrApiMemory& memory, std::string address)
        : run_(run), memory_(memory), address_(std::move(address)) {}

    AlbumRun& Run() { return run_; }
    FlickrApiMemory& Memory() { return memory_; }
    const std::string& Address() const { return address_; }

    // Whether a bad key stopped the run's calls; then the failure is told for
    // this address, once.
    bool Stopped() {
        if (!memory_.stopped) return false;
        if (!told_) run_.Events().PageFailed(address_, *memory_.stopped);
        told_ = true;
        return true;
    }

    // The answer of method, as parse reads it (a struct with a status), once
    // it is "ok"; nullopt otherwise. An album page (role Album) that fails is
    // told: an HTTP failure by the run, with the request's address (the key
    // hidden), a failed answer with the album's. A look-up's failure is left
    // to the caller, in failure.
    template <typename Parse>
    auto Answer(std::string_view method, const Parameters& parameters, Parse parse, PageRole role = PageRole::Album,
                Failure* failure = nullptr) -> std::optional<decltype(parse(std::string_view()))> {
        const Settings& settings = run_.RunSettings();
        const std::string call =
            FlickrApiCallAddress(settings.flickr_api_url, method, settings.flickr_api_key, parameters);
        for (int attempt = 1;; ++attempt) {
            if (Stopped()) return std::nullopt;
            const std::optional<std::string> body = run_.FetchPage(call, role);
            if (!body) {
                if (failure) *failure = Failure(FailureKind::NoResponse);
                return std::nullopt;
            }
            auto answer = parse(*body);
            if (answer.status.kind == FlickrApiStatus::Kind::Ok) return answer;
            const Failure why = ServiceFailure(answer.status);
            if (answer.status.kind == FlickrApiStatus::Kind::Failed && answer.status.code == kServiceUnavailable &&
                attempt <= settings.retries) {
                // As the HTTP layer sends a temporary failure again: after
                // one unit, then twice as long each time, at most 30 units.
                const auto delay = settings.retry_unit * std::min(1LL << std::min(attempt - 1, 5), 30LL);
                run_.Events().Retrying(call, why, delay, attempt + 1, settings.retries + 1);
                std::this_thread::sleep_for(delay);
                continue;
            }
            if (answer.status.kind == FlickrApiStatus::Kind::Failed && answer.status.code == kBadKey) {
                memory_.stopped = why;
                Stopped();
                return std::nullopt;
            }
            if (failure) *failure = why;
            if (role == PageRole::Album) run_.Events().PageFailed(address_, why);
            return std::nullopt;
        }
    }

    // The NSID of user: user itself when it is one, else looked up once per run.
    std::optional<std::string> Nsid(const std::string& user) {
        if (IsNsid(user)) return user;
        if (const auto known = memory_.nsids.find(user); known != memory_.nsids.end()) return known->second;
        const auto lookup = Answer(kLookupUser, {{"url", "https://www.flickr.com/photos/" + user + "/"}},
                                   &ParseFlickrUserLookup);
        if (!lookup) return std::nullopt;
        memory_.nsids.emplace(user, lookup->nsid);
        return lookup->nsid;
    }

private:
    AlbumRun& run_;
    FlickrApiMemory& memory_;
    std::string address_;
    bool told_ = false;
};

// The name a video is stored under in place of the last part of its file's
// address: PHOTOID.mp4 when that part has no extension; empty (that part
// itself) otherwise.
std::string VideoName(const std::string& file, const std::string& photo_id) {
    const std::string last = LastField(Field(file, 1, "?"), "/");
    const std::size_t dot = last.rfind('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == last.size()) return photo_id + ".mp4";
    return {};
}

// The pictures of one page that earlier pages did not list, handed to the run
// in the page's order; a photo without a file is missing at its place.
// Returns whether the page listed a photo not seen before.
bool FetchPhotos(ApiReading& reading, const FlickrPhotoPage& page, const std::string& owner,
                 std::unordered_set<std::string>& seen) {
    AlbumRun& run = reading.Run();
    std::vector<FoundPicture> batch;
    bool something_new = false;
    for (const FlickrApiPhoto& photo : page.photos) {
        if (!seen.insert(photo.id).second) continue;
        something_new = true;
        const std::string photo_owner = photo.owner.empty() ? owner : photo.owner;
        PictureDetails details = photo.details;
        details.page = FlickrPhotoPageAddress(photo_owner, photo.id);
        FoundPicture found{photo.file, {}};
        Failure missing(FailureKind::Other);
        missing.detail = "no downloadable size offered";
        if (photo.video) {
            missing.detail = "no video file offered";
            Failure why;
            const auto sizes =
                reading.Answer(kGetSizes, {{"photo_id", photo.id}}, &ParseFlickrVideoSizes, PageRole::Lookup, &why);
            found.address = sizes ? sizes->file : std::string();
            if (!sizes && why.kind != FailureKind::NoResponse) missing = why;
            found.name = VideoName(found.address, photo.id);
        }
        if (found.address.empty()) {
            run.FetchPictures(batch);
            batch.clear();
            run.Metadata().AddWithoutFile(*details.page, details);
            run.Events().PictureMissing(*details.page, missing);
            continue;
        }
        run.Metadata().Describe(found.address, std::move(details));
        batch.push_back(std::move(found));
    }
    run.FetchPictures(batch);
    return something_new;
}

// The photos of an album (getPhotos) or a photostream (getPublicPhotos) of the
// user with this NSID, page after page.
void ReadPhotoList(ApiReading& reading, const std::string& nsid, const std::string& album_id) {
    AlbumRun& run = reading.Run();
    const bool album = !album_id.empty();
    const std::string_view object = album ? "photoset" : "photos";
    const auto parse = [object](std::string_view answer) { return ParseFlickrPhotoPage(answer, object); };
    std::unordered_set<std::string> seen;
    for (long long number = 1; number <= kMostApiPages; ++number) {
        Parameters parameters;
        if (album) parameters.emplace_back("photoset_id", album_id);
        parameters.emplace_back("user_id", nsid);
        parameters.emplace_back("extras", std::string(kPhotoExtras));
        parameters.emplace_back("per_page", std::to_string(kApiPerPage));
        parameters.emplace_back("page", std::to_string(number));
        if (album) parameters.emplace_back("media", "all");
        const auto page = reading.Answer(album ? kGetPhotos : kGetPublicPhotos, parameters, parse);
        if (!page) return;
        if (number == 1) {
            AlbumMetadata& metadata = run.Metadata();
            metadata.owner_id = page->owner.empty() ? nsid : page->owner;
            if (!page->owner_name.empty()) metadata.owner_name = page->owner_name;
            if (album) {
                metadata.album_id = page->set_id.empty() ? album_id : page->set_id;
                metadata.album_title = page->title;
                if (!page->title.empty()) run.Events().AlbumTitled(page->title);
                const auto listed = reading.Memory().descriptions.find(album_id);
                if (!page->description.empty()) {
                    metadata.album_description = page->description;
                } else if (listed != reading.Memory().descriptions.end()) {
                    metadata.album_description = listed->second;
                }
                reading.Memory().titles.insert_or_assign(album_id, page->title);
            }
        }
        if (!FetchPhotos(reading, *page, *run.Metadata().owner_id, seen)) return;
        if (number >= page->pages) return;
    }
}

// The albums of a user's list, page after page; nullopt when a page failed.
std::optional<std::vector<FlickrApiAlbum>> ReadAlbumList(ApiReading& reading, const FlickrApiTarget& target) {
    const std::optional<std::string> nsid = reading.Nsid(target.user);
    if (!nsid) return std::nullopt;
    std::vector<FlickrApiAlbum> albums;
    std::unordered_set<std::string> seen;
    for (long long number = 1; number <= kMostApiPages; ++number) {
        const auto page = reading.Answer(kGetList,
                                         {{"user_id", *nsid},
                                          {"per_page", std::to_string(kApiPerPage)},
                                          {"page", std::to_string(number)}},
                                         &ParseFlickrAlbumListPage);
        if (!page) return std::nullopt;
        bool something_new = false;
        for (const FlickrApiAlbum& album : page->albums) {
            if (!seen.insert(album.id).second) continue;
            something_new = true;
            reading.Memory().titles.insert_or_assign(album.id, album.title);
            if (!album.description.empty()) reading.Memory().descriptions.insert_or_assign(album.id, album.description);
            albums.push_back(
                {album.id, album.title, "https://www.flickr.com/photos/" + target.user + "/albums/" + album.id});
        }
        if (!something_new || number >= page->pages) break;
    }
    return albums;
}

}  // namespace

ReaderEnd ReadFlickrApi(AlbumRun& run, const std::string& album_address) {
    const FlickrApiTarget target = ParseFlickrApiTarget(album_address);
    if (target.form == FlickrApiForm::None) {
        run.Events().Message("Only image sets are accepted !", "Rejected", BoxIcon::Critical);
        return ReaderEnd::Rejected;
    }
    FlickrApiMemory own_memory;
    FlickrApiMemory& memory = run.RunSettings().flickr_api ? *run.RunSettings().flickr_api : own_memory;
    ApiReading reading(run, memory, album_address);
    if (reading.Stopped()) return ReaderEnd::AlbumDone;
    const std::optional<std::string> nsid = reading.Nsid(target.user);
    if (!nsid) return ReaderEnd::AlbumDone;
    if (target.form != FlickrApiForm::AlbumList) {
        ReadPhotoList(reading, *nsid, target.form == FlickrApiForm::Album ? target.album_id : std::string());
        return ReaderEnd::AlbumDone;
    }
    // An album list given to a single run (the window, which has one folder):
    // every album's pictures into it, one album after another. gathrix-cli
    // lists the albums first and gives each a run and a folder of its own.
    if (const std::optional<std::vector<FlickrApiAlbum>> albums = ReadAlbumList(reading, target)) {
        for (const FlickrApiAlbum& album : *albums) ReadPhotoList(reading, *nsid, album.id);
    }
    return ReaderEnd::AlbumDone;
}

std::optional<std::vector<FlickrApiAlbum>> ListFlickrApiAlbums(RunEvents& events, const std::string& address,
                                                               const std::filesystem::path& scratch,
                                                               const Settings& settings) {
    const FlickrApiTarget target = ParseFlickrApiTarget(address);
    if (target.form != FlickrApiForm::AlbumList) return std::nullopt;
    KeyHidingEvents hiding(events, settings.flickr_api_key);
    AlbumRun run(hiding, settings, scratch);
    FlickrApiMemory own_memory;
    ApiReading reading(run, settings.flickr_api ? *settings.flickr_api : own_memory, address);
    return ReadAlbumList(reading, target);
}

std::optional<std::string> FindFlickrAlbumFolder(const std::filesystem::path& parent, std::string_view id,
                                                 const std::function<bool(const std::string&)>& wanted) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(parent, ec)) {
        const std::string name = entry.path().filename().string();
        if (name != id && !(name.starts_with(id) && name.size() > id.size() && name[id.size()] == ' ')) continue;
        std::error_code status_ec;
        if (entry.symlink_status(status_ec).type() != std::filesystem::file_type::directory) continue;
        if (wanted(name)) names.push_back(name);
    }
    if (names.empty()) return std::nullopt;
    return *std::min_element(names.begin(), names.end());
}

}  // namespace gathrix
