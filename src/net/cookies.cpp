#include "net/cookies.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "detail/request_options.h"
#include "detail/spool_file.h"

namespace gathrix::net {

namespace {

// A handle on the share, for loading and listing its cookies.
CURL* HandleOn(CURLSH* share) {
    CURL* easy = curl_easy_init();
    if (easy && curl_easy_setopt(easy, CURLOPT_SHARE, share) != CURLE_OK) {
        curl_easy_cleanup(easy);
        return nullptr;
    }
    return easy;
}

// Every cookie in the share as a line of the Netscape format, oldest of
// each domain first; false when they cannot be listed.
bool ListCookies(CURLSH* share, std::vector<std::string>& lines) {
    CURL* easy = HandleOn(share);
    curl_slist* list = nullptr;
    const bool listed = easy && curl_easy_getinfo(easy, CURLINFO_COOKIELIST, &list) == CURLE_OK;
    for (const curl_slist* item = list; item; item = item->next) lines.emplace_back(item->data);
    curl_slist_free_all(list);
    if (easy) curl_easy_cleanup(easy);
    return listed;
}

// Hands lines (Netscape format or "Set-Cookie:") to the share, after
// emptying it when `replace`.
bool AddCookies(CURLSH* share, const std::vector<std::string_view>& lines, bool replace) {
    CURL* easy = HandleOn(share);
    if (!easy) return false;
    bool ok = !replace || curl_easy_setopt(easy, CURLOPT_COOKIELIST, "ALL") == CURLE_OK;
    for (const std::string_view line : lines) {
        const std::string own(line);
        ok = ok && curl_easy_setopt(easy, CURLOPT_COOKIELIST, own.c_str()) == CURLE_OK;
    }
    curl_easy_cleanup(easy);
    return ok;
}

// The domain a Netscape line is for, in lower case and without a leading dot.
std::string DomainOf(std::string_view line) {
    if (line.starts_with("#HttpOnly_")) line.remove_prefix(10);
    line = line.substr(0, line.find('\t'));
    if (line.starts_with('.')) line.remove_prefix(1);
    std::string domain(line);
    for (char& c : domain) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return domain;
}

// Whether a line of a cookie file is a cookie by its form.
bool CookieLine(std::string_view line) {
    if (line.size() >= 11 && std::equal(line.begin(), line.begin() + 11, "set-cookie:", [](char a, char b) {
            return std::tolower(static_cast<unsigned char>(a)) == b;
        })) {
        return true;
    }
    if (line.starts_with("#HttpOnly_")) line.remove_prefix(10);
    return !line.starts_with('#') && std::count(line.begin(), line.end(), '\t') == 6;
}

// Set-Cookie lines checked for at most once in so many, when the store is
// not near its bound.
constexpr std::size_t kCheckEvery = 32;

}  // namespace

std::unique_ptr<Cookies> Cookies::Empty() {
    if (!detail::EnsureCurl()) return nullptr;
    CURLSH* share = curl_share_init();
    if (!share) return nullptr;
    if (curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE) != CURLSHE_OK) {
        curl_share_cleanup(share);
        return nullptr;
    }
    return std::unique_ptr<Cookies>(new Cookies(share));
}

std::unique_ptr<Cookies> Cookies::FromText(const std::string& text, std::size_t& cookie_lines) {
    cookie_lines = 0;
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string_view line = std::string_view(text).substr(start, end - start);
        start = end + 1;
        if (line.ends_with('\r')) line.remove_suffix(1);
        // A NUL would end the line early for libcurl: such a line is no cookie.
        if (line.empty() || line.find('\0') != std::string_view::npos) continue;
        if (line.starts_with('#') && !line.starts_with("#HttpOnly_")) continue;
        if (CookieLine(line)) ++cookie_lines;
        lines.push_back(line);
    }
    std::unique_ptr<Cookies> cookies = Empty();
    if (!cookies || !AddCookies(static_cast<CURLSH*>(cookies->share_), lines, false)) return nullptr;
    cookies->Bound();
    return cookies;
}

Cookies::~Cookies() { curl_share_cleanup(static_cast<CURLSH*>(share_)); }

bool Cookies::Save(const std::filesystem::path& file, int& error) const {
    std::vector<std::string> lines;
    if (!ListCookies(static_cast<CURLSH*>(share_), lines)) {
        error = ENOMEM;
        return false;
    }
    std::string text = "# Netscape HTTP Cookie File\n\n";
    for (const std::string& line : lines) text += line + "\n";

    std::optional<detail::SpoolFile> jar = detail::SpoolFile::Create(file.parent_path());
    if (!jar) {
        error = errno != 0 ? errno : EIO;
        return false;
    }
    // Cookies are the user's secrets: readable by the owner only.
    const bool saved = jar->MakePrivate() && jar->Write(text.data(), text.size()) && jar->MoveTo(file);
    error = saved ? 0 : errno;
    return saved;
}

void Cookies::Received(std::size_t count) {
    unchecked_ += count;
    if (unchecked_ >= kCheckEvery) Bound();
}

std::size_t Cookies::Count() const {
    std::vector<std::string> lines;
    ListCookies(static_cast<CURLSH*>(share_), lines);
    return lines.size();
}

void Cookies::Bound() {
    unchecked_ = 0;
    std::vector<std::string> lines;
    if (!ListCookies(static_cast<CURLSH*>(share_), lines)) return;
    if (lines.size() <= kMaxPerDomain) return;
    std::unordered_map<std::string, std::size_t> per_domain;
    for (const std::string& line : lines) ++per_domain[DomainOf(line)];
    const bool domain_over = std::any_of(per_domain.begin(), per_domain.end(),
                                         [](const auto& entry) { return entry.second > kMaxPerDomain; });
    if (!domain_over && lines.size() <= kMaxCookies) return;
    // The newest are kept (libcurl lists a domain's cookies oldest first):
    // from the end of the list, a domain past its bound keeps its last
    // kKeepPerDomain, and all together their last kKeepCookies.
    std::unordered_map<std::string, std::size_t> kept_per_domain;
    std::vector<std::string_view> kept;
    for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
        if (lines.size() > kMaxCookies && kept.size() >= kKeepCookies) break;
        const std::string domain = DomainOf(*line);
        if (per_domain[domain] > kMaxPerDomain && ++kept_per_domain[domain] > kKeepPerDomain) continue;
        kept.push_back(*line);
    }
    std::reverse(kept.begin(), kept.end());
    AddCookies(static_cast<CURLSH*>(share_), kept, true);
}

}  // namespace gathrix::net
