#include "net/curl_common.h"
#include "net/http.h"
#include "net/temp_files.h"

#include <memory>

namespace gathrix::net {

SavedPage& SavedPage::operator=(SavedPage&& other) noexcept {
    if (this != &other) {
        if (!path_.empty()) RemoveTemporaryFile(path_);
        path_ = std::exchange(other.path_, std::filesystem::path());
    }
    return *this;
}

SavedPage::~SavedPage() {
    if (!path_.empty()) RemoveTemporaryFile(path_);
}

namespace {

// One page on a session: the caller waits on the session until Done().
struct PageRequest : detail::Request {
    bool finished = false;
    CURLcode code = CURLE_OK;
    void Done(CURLcode result) override {
        finished = true;
        code = result;
    }
};

}  // namespace

std::optional<SavedPage> download_page(const std::string& address, const std::filesystem::path& dir,
                                       std::chrono::seconds stall_timeout, Session* session) {
    using namespace detail;
    if (!AddressAccepted(address)) return std::nullopt;

    // A fresh handle for every page: nothing of an earlier request carries over.
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> easy(curl_easy_init(), &curl_easy_cleanup);
    if (!easy) return std::nullopt;

    std::optional<SpoolFile> spool = SpoolFile::Create(dir);
    if (!spool) return std::nullopt;

    ResponseHeaders headers;
    if (!ApplyRequestOptions(easy.get(), address, stall_timeout)) return std::nullopt;
    curl_easy_setopt(easy.get(), CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(easy.get(), CURLOPT_HEADERFUNCTION, &ResponseHeaders::OnHeader);
    curl_easy_setopt(easy.get(), CURLOPT_HEADERDATA, &headers);
    curl_easy_setopt(easy.get(), CURLOPT_WRITEFUNCTION, &WriteToSpool);
    curl_easy_setopt(easy.get(), CURLOPT_WRITEDATA, &*spool);

    std::unique_ptr<Session> own_session;
    if (!session) {
        own_session = std::make_unique<Session>();
        session = own_session.get();
    }
    PageRequest request;
    if (!Attach(*session, easy.get(), &request)) return std::nullopt;
    // Every request on the session moves while this one is awaited; libcurl's
    // own timers (time-outs) wake the wait in time.
    session->Pump();
    while (!request.finished) session->Wait(std::chrono::milliseconds(100));
    Detach(*session, easy.get());
    if (request.code != CURLE_OK) return std::nullopt;

    long status = 0;
    curl_easy_getinfo(easy.get(), CURLINFO_RESPONSE_CODE, &status);
    if (status < 200 || status >= 400 || !headers.LengthSound()) return std::nullopt;
    // libcurl reports a body cut short as an error; this guards the rest.
    if (auto length = ContentLength(easy.get()); length && *length != spool->Size()) return std::nullopt;

    std::optional<std::filesystem::path> kept = spool->Keep();
    if (!kept) return std::nullopt;
    return SavedPage(std::move(*kept));
}

bool download_to_file(const std::string& address, const std::filesystem::path& path,
                      std::chrono::seconds stall_timeout) {
    if (path.empty()) return false;
    // The body waits in a private file next to the target, so that the target is
    // replaced in one rename and only by a complete, successful response.
    std::optional<SavedPage> page = download_page(address, path.parent_path(), stall_timeout);
    if (!page) return false;
    if (!RenameTemporaryFile(page->Path(), path)) return false;  // the page removes its file
    page->Release();
    return true;
}

}  // namespace gathrix::net
