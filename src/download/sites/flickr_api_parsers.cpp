// Flickr's REST API: addresses and answers. See flickr_api_parsers.h.

#include "download/sites/flickr_api_parsers.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <ctime>
#include <nlohmann/json.hpp>
#include <optional>

#include "download/picture_names.h"
#include "text/strings.h"
#include "text/utf8.h"

namespace gathrix {

namespace {

using nlohmann::json;

std::string Lower(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

bool AllDigits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// "page2", "page10": a page of a list, which stands for the list.
bool IsPageSegment(std::string_view segment) { return segment.starts_with("page") && AllDigits(segment.substr(4)); }

// A JSON value as text: a string as it is, a whole number in digits, an
// object's "_content"; empty for anything else.
std::string Text(const json& value) {
    if (value.is_string()) return value.get<std::string>();
    if (value.is_number_integer() || value.is_number_unsigned()) return value.dump();
    if (value.is_number_float()) {
        const double number = value.get<double>();
        if (number >= 0 && number < 9.0e15 && number == static_cast<double>(static_cast<long long>(number))) {
            return std::to_string(static_cast<long long>(number));
        }
        return value.dump();
    }
    if (value.is_object()) {
        const auto content = value.find("_content");
        if (content != value.end() && !content->is_object()) return Text(*content);
    }
    return {};
}

// The member name of object as text; nullopt when it is missing or null.
std::optional<std::string> Member(const json& object, const char* name) {
    if (!object.is_object()) return std::nullopt;
    const auto found = object.find(name);
    if (found == object.end() || found->is_null()) return std::nullopt;
    return Text(*found);
}

// A JSON value as a whole number from 0 on: a number, or a string of digits
// (blanks around them allowed); nullopt otherwise.
std::optional<long long> Number(const json& value) {
    if (value.is_number_unsigned()) {
        const auto number = value.get<unsigned long long>();
        return number > 1'000'000'000'000'000ULL ? std::nullopt : std::optional<long long>(static_cast<long long>(number));
    }
    if (value.is_number_integer()) {
        const auto number = value.get<long long>();
        return number < 0 ? std::nullopt : std::optional<long long>(number);
    }
    if (value.is_number_float()) {
        const double number = value.get<double>();
        if (!(number >= 0 && number < 1.0e18)) return std::nullopt;
        return static_cast<long long>(number);
    }
    if (!value.is_string()) return std::nullopt;
    const std::string_view text = TrimBlanks(value.get_ref<const std::string&>());
    if (!AllDigits(text) || text.size() > 18) return std::nullopt;
    long long number = 0;
    std::from_chars(text.data(), text.data() + text.size(), number);
    return number;
}

long long NumberMember(const json& object, const char* name) {
    if (!object.is_object()) return 0;
    const auto found = object.find(name);
    return found == object.end() ? 0 : Number(*found).value_or(0);
}

// The answer's JSON, once any JSONP call around it is taken off; discarded
// when it is no JSON.
json ParseAnswer(std::string_view answer) {
    std::string_view text = TrimBlanks(answer);
    constexpr std::string_view kCall = "jsonFlickrApi(";
    if (text.starts_with(kCall) && text.ends_with(")")) text = text.substr(kCall.size(), text.size() - kCall.size() - 1);
    return json::parse(text.begin(), text.end(), nullptr, false);
}

// The status of an answer and, when it is "ok" and holds object (an object),
// that object; nullptr otherwise.
const json* Content(const json& answer, std::string_view object, FlickrApiStatus& status) {
    status = {};
    if (!answer.is_object()) return nullptr;
    const std::optional<std::string> stat = Member(answer, "stat");
    if (stat == "fail") {
        status.kind = FlickrApiStatus::Kind::Failed;
        status.code = NumberMember(answer, "code");
        status.message = Member(answer, "message").value_or("");
        return nullptr;
    }
    if (stat != "ok") return nullptr;
    const auto found = answer.find(std::string(object));
    if (found == answer.end() || !found->is_object()) return nullptr;
    status.kind = FlickrApiStatus::Kind::Ok;
    return &*found;
}

// The members of an array member, or nothing.
const json& ArrayMember(const json& object, const char* name) {
    static const json kEmpty = json::array();
    const auto found = object.find(name);
    return found != object.end() && found->is_array() ? *found : kEmpty;
}

// The sizes a photo of a list offers, largest first as Flickr names them; a
// size of another name counts too, after these.
constexpr std::string_view kSizes[] = {"6k", "5k", "4k", "3k", "k", "h", "l", "c", "z"};

// url_o when present, else the url_X with the largest width_X x height_X
// (the first named of equal ones); empty for none.
std::string ChosenFile(const json& photo) {
    if (const std::optional<std::string> original = Member(photo, "url_o"); original && !original->empty()) {
        return *original;
    }
    std::vector<std::string> names;
    for (const std::string_view size : kSizes) names.emplace_back(size);
    for (const auto& [key, value] : photo.items()) {
        if (!key.starts_with("url_") || key == "url_o") continue;
        const std::string size = key.substr(4);
        if (std::find(names.begin(), names.end(), size) == names.end()) names.push_back(size);
    }
    std::string best;
    long double best_area = -1;
    for (const std::string& size : names) {
        const std::optional<std::string> address = Member(photo, ("url_" + size).c_str());
        if (!address || address->empty()) continue;
        const long double area = static_cast<long double>(NumberMember(photo, ("width_" + size).c_str())) *
                                 static_cast<long double>(NumberMember(photo, ("height_" + size).c_str()));
        if (area > best_area) {
            best = *address;
            best_area = area;
        }
    }
    return best;
}

std::vector<std::string> Tags(std::string_view text) {
    std::vector<std::string> tags;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = std::min(text.find(' ', at), text.size());
        if (end > at) tags.emplace_back(text.substr(at, end - at));
        at = end + 1;
    }
    return tags;
}

FlickrApiPhoto PhotoOf(const json& photo) {
    FlickrApiPhoto result;
    result.id = Member(photo, "id").value_or("");
    result.owner = Member(photo, "owner").value_or("");
    result.file = ChosenFile(photo);
    const std::optional<std::string> media = Member(photo, "media");
    result.video = media == "video";
    PictureDetails& details = result.details;
    details.id = result.id;
    details.title = Member(photo, "title");
    details.description = Member(photo, "description");
    if (const std::optional<std::string> taken = Member(photo, "datetaken")) details.taken = IsoFromTaken(*taken);
    if (const std::optional<std::string> upload = Member(photo, "dateupload"); upload && !IsoFromUnixTime(*upload).empty()) {
        details.uploaded = IsoFromUnixTime(*upload);
    }
    if (const std::optional<std::string> tags = Member(photo, "tags")) details.tags = Tags(*tags);
    details.license = Member(photo, "license");
    details.media = media;
    return result;
}

bool IsUnreserved(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~' || c == ',';
}

std::string Encoded(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    for (const char c : text) {
        if (IsUnreserved(c)) {
            encoded += c;
        } else {
            const auto byte = static_cast<unsigned char>(c);
            encoded += '%';
            encoded += kHex[byte >> 4];
            encoded += kHex[byte & 15];
        }
    }
    return encoded;
}

}  // namespace

FlickrApiTarget ParseFlickrApiTarget(std::string_view address) {
    FlickrApiTarget target;
    std::string_view rest = TrimBlanks(address);
    rest = rest.substr(0, std::min(rest.find_first_of("?#"), rest.size()));
    const std::string lower = Lower(rest);
    if (lower.starts_with("https://")) {
        rest.remove_prefix(8);
    } else if (lower.starts_with("http://")) {
        rest.remove_prefix(7);
    } else {
        return target;
    }
    const std::size_t host_end = std::min(rest.find('/'), rest.size());
    std::string host = Lower(rest.substr(0, host_end));
    if (host.ends_with(".")) host.pop_back();  // a fully qualified name
    if (host != "flickr.com" && host != "www.flickr.com" && host != "m.flickr.com" && host != "secure.flickr.com") {
        return target;
    }
    std::vector<std::string> segments;
    for (std::size_t at = host_end; at < rest.size();) {
        const std::size_t end = std::min(rest.find('/', at + 1), rest.size());
        if (end > at + 1) segments.emplace_back(rest.substr(at + 1, end - at - 1));
        at = end;
    }
    if (segments.size() < 2 || segments[0] != "photos") return target;
    target.user = ReplaceAll(segments[1], "%40", "@");
    if (segments.size() == 2 || (segments.size() == 3 && IsPageSegment(segments[2]))) {
        target.form = FlickrApiForm::Photostream;
        return target;
    }
    const std::string& third = segments[2];
    if (third == "albums" || third == "sets") {
        if (segments.size() == 3 || IsPageSegment(segments[3])) {
            target.form = FlickrApiForm::AlbumList;
        } else if (AllDigits(segments[3])) {
            target.form = FlickrApiForm::Album;
            target.album_id = segments[3];
        }
        return target;
    }
    if (segments.size() >= 5 && segments[3] == "in") {
        const std::string& in = segments[4];
        std::string_view id;
        if (in.starts_with("album-")) id = std::string_view(in).substr(6);
        if (in.starts_with("set-")) id = std::string_view(in).substr(4);
        if (AllDigits(id)) {
            target.form = FlickrApiForm::Album;
            target.album_id = std::string(id);
        }
    }
    return target;
}

std::string FlickrApiCallAddress(std::string_view endpoint, std::string_view method, std::string_view key,
                                 const std::vector<std::pair<std::string, std::string>>& parameters) {
    std::string address(endpoint);
    address += (Contains(endpoint, "?") ? "&" : "?");
    address += "method=" + Encoded(method) + "&api_key=" + Encoded(key) + "&format=json&nojsoncallback=1";
    for (const auto& [name, value] : parameters) address += "&" + Encoded(name) + "=" + Encoded(value);
    return address;
}

std::string HideApiKey(std::string_view address) {
    constexpr std::string_view kKey = "api_key=";
    std::string hidden;
    std::size_t at = 0;
    for (;;) {
        const std::size_t found = address.find(kKey, at);
        if (found == std::string_view::npos) break;
        // Only a parameter: at the start of the query or after "&".
        const bool parameter = found > 0 && (address[found - 1] == '?' || address[found - 1] == '&');
        const std::size_t value = found + kKey.size();
        hidden.append(address.substr(at, value - at));
        if (!parameter) {
            at = value;
            continue;
        }
        hidden += "HIDDEN";
        at = std::min(address.find_first_of("&#", value), address.size());
    }
    hidden.append(address.substr(at));
    return hidden;
}

bool IsNsid(std::string_view user) {
    const std::size_t at = user.find("@N");
    return at != std::string_view::npos && AllDigits(user.substr(0, at)) && AllDigits(user.substr(at + 2));
}

std::string FlickrPhotoPageAddress(std::string_view owner, std::string_view id) {
    return "https://www.flickr.com/photos/" + std::string(owner) + "/" + std::string(id) + "/";
}

FlickrPhotoPage ParseFlickrPhotoPage(std::string_view answer, std::string_view object) {
    FlickrPhotoPage page;
    const json root = ParseAnswer(answer);
    const json* content = Content(root, object, page.status);
    if (!content) return page;
    page.page = NumberMember(*content, "page");
    page.pages = NumberMember(*content, "pages");
    page.set_id = Member(*content, "id").value_or("");
    page.owner = Member(*content, "owner").value_or("");
    page.owner_name = Member(*content, "ownername").value_or("");
    page.title = Member(*content, "title").value_or("");
    page.description = Member(*content, "description").value_or("");
    for (const json& photo : ArrayMember(*content, "photo")) {
        if (photo.is_object()) page.photos.push_back(PhotoOf(photo));
    }
    return page;
}

FlickrAlbumListPage ParseFlickrAlbumListPage(std::string_view answer) {
    FlickrAlbumListPage page;
    const json root = ParseAnswer(answer);
    const json* content = Content(root, "photosets", page.status);
    if (!content) return page;
    page.pages = NumberMember(*content, "pages");
    for (const json& set : ArrayMember(*content, "photoset")) {
        const std::optional<std::string> id = Member(set, "id");
        if (id && !id->empty()) {
            page.albums.push_back({*id, Member(set, "title").value_or(""), {}, Member(set, "description").value_or("")});
        }
    }
    return page;
}

FlickrUserLookup ParseFlickrUserLookup(std::string_view answer) {
    FlickrUserLookup lookup;
    const json root = ParseAnswer(answer);
    const json* user = Content(root, "user", lookup.status);
    if (!user) return lookup;
    lookup.nsid = Member(*user, "id").value_or(Member(*user, "nsid").value_or(""));
    if (lookup.nsid.empty()) lookup.status.kind = FlickrApiStatus::Kind::NotAnAnswer;
    return lookup;
}

FlickrVideoFile ParseFlickrVideoSizes(std::string_view answer) {
    FlickrVideoFile video;
    const json root = ParseAnswer(answer);
    const json* sizes = Content(root, "sizes", video.status);
    if (!sizes) return video;
    long double best_area = -1;
    for (const json& size : ArrayMember(*sizes, "size")) {
        if (Member(size, "media") != "video") continue;
        const std::string source = Member(size, "source").value_or("");
        if (source.empty()) continue;
        const long double area = static_cast<long double>(NumberMember(size, "width")) *
                                 static_cast<long double>(NumberMember(size, "height"));
        if (area > best_area) {
            video.file = source;
            best_area = area;
        }
    }
    return video;
}

std::string IsoFromUnixTime(std::string_view seconds) {
    const std::string_view text = TrimBlanks(seconds);
    if (!AllDigits(text) || text.size() > 11) return {};
    long long value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    const auto when = static_cast<std::time_t>(value);
    std::tm tm{};
    if (::gmtime_r(&when, &tm) == nullptr) return {};
    char iso[40];
    std::strftime(iso, sizeof iso, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return iso;
}

std::string IsoFromTaken(std::string_view taken) {
    std::string iso(taken);
    if (iso.size() == 19 && iso[4] == '-' && iso[7] == '-' && iso[10] == ' ' && iso[13] == ':' && iso[16] == ':') {
        iso[10] = 'T';
    }
    return iso;
}

std::string FlickrAlbumFolderName(std::string_view id, std::string_view title) {
    const std::string whole = TrimBlanks(title).empty() ? std::string(id) : std::string(id) + " " + std::string(title);
    std::string name = SafeLocalName(whole);
    if (name.size() > 100) name = std::string(CutUtf8(name, 100));
    return name;
}

}  // namespace gathrix
