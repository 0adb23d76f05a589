#include "net/curl_common.h"
#include "net/http.h"

#include <memory>

namespace gathrix::net {

bool download_to_file(const std::string& address, const std::filesystem::path& path,
                      std::chrono::seconds stall_timeout) {
    using namespace detail;
    if (path.empty() || !AddressAccepted(address)) return false;

    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> easy(curl_easy_init(), &curl_easy_cleanup);
    if (!easy) return false;

    // The body goes to a spool file next to the target, so that the target is
    // replaced in one rename and only by a complete, successful response.
    std::optional<SpoolFile> spool = SpoolFile::Create(path.parent_path());
    if (!spool) return false;

    if (!ApplyRequestOptions(easy.get(), address, stall_timeout)) return false;
    curl_easy_setopt(easy.get(), CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(easy.get(), CURLOPT_WRITEFUNCTION, &WriteToSpool);
    curl_easy_setopt(easy.get(), CURLOPT_WRITEDATA, &*spool);

    if (curl_easy_perform(easy.get()) != CURLE_OK) return false;

    long status = 0;
    curl_easy_getinfo(easy.get(), CURLINFO_RESPONSE_CODE, &status);
    if (status < 200 || status >= 400) return false;
    // libcurl reports a body cut short as an error; this guards the rest.
    if (auto length = ContentLength(easy.get()); length && *length != spool->Size()) return false;

    return spool->MoveTo(path);
}

}  // namespace gathrix::net
