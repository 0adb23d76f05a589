#include "detail/request_options.h"

#include <algorithm>

#ifndef GATHRIX_VERSION_STRING
#define GATHRIX_VERSION_STRING "0"
#endif

namespace gathrix::net::detail {

bool EnsureCurl() {
    static const bool ok = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    return ok;
}

std::string RequestAddress(const std::string& address) {
    // The host ends at the first "/", "?" or "#" after the "//" of the scheme
    // (or from the start, for an address without one): what follows is sent.
    const std::size_t scheme = address.find("://");
    const std::size_t host = scheme == std::string::npos ? 0 : scheme + 3;
    const std::size_t sent = std::min(address.find_first_of("/?#", host), address.size());
    std::string request = address.substr(0, sent);
    request.reserve(address.size());
    constexpr char kHex[] = "0123456789ABCDEF";
    for (std::size_t i = sent; i < address.size(); ++i) {
        const auto byte = static_cast<unsigned char>(address[i]);
        // A blank, the marks browsers encode in a path (" < > ` { }) and every
        // byte past ASCII; control bytes stay as they are and fail the address.
        if (byte == ' ' || byte == '"' || byte == '<' || byte == '>' || byte == '`' || byte == '{' || byte == '}' ||
            byte >= 0x80) {
            request += '%';
            request += kHex[byte >> 4];
            request += kHex[byte & 0x0F];
        } else {
            request += static_cast<char>(byte);
        }
    }
    return request;
}

bool AddressAccepted(const std::string& address) {
    if (!EnsureCurl()) return false;
    CURLU* url = curl_url();
    if (!url) return false;
    bool ok = false;
    if (curl_url_set(url, CURLUPART_URL, RequestAddress(address).c_str(), CURLU_GUESS_SCHEME) == CURLUE_OK) {
        char* scheme = nullptr;
        if (curl_url_get(url, CURLUPART_SCHEME, &scheme, 0) == CURLUE_OK && scheme) {
            std::string s = scheme;
            ok = s == "http" || s == "https";
        }
        curl_free(scheme);
    }
    curl_url_cleanup(url);
    return ok;
}

bool ApplyRequestOptions(CURL* easy, const std::string& address, std::chrono::milliseconds stall) {
    const long stall_ms = stall.count() > 0 ? static_cast<long>(stall.count()) : 1000L;
    bool ok = true;
    auto set = [&ok](CURLcode code) { ok = ok && code == CURLE_OK; };
    set(curl_easy_setopt(easy, CURLOPT_URL, RequestAddress(address).c_str()));
    set(curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L));
    set(curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https"));
    set(curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https"));
    set(curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L));
    set(curl_easy_setopt(easy, CURLOPT_MAXREDIRS, kMaxRedirects));
    set(curl_easy_setopt(easy, CURLOPT_AUTOREFERER, 1L));
    set(curl_easy_setopt(easy, CURLOPT_USERAGENT, "Gathrix/" GATHRIX_VERSION_STRING));
    set(curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L));
    set(curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, stall_ms));
    // Larger reads mean fewer system calls on big pictures. Only a matter of
    // speed, so a refusal is no reason to fail the request.
    curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, 128L * 1024L);
#ifdef GATHRIX_TEST_HOOKS
    // The local route of the fuzz harnesses (net/local_route.h).
    ok = ok && ApplyLocalRoute(easy, address);
#endif
    return ok;
}

}  // namespace gathrix::net::detail
