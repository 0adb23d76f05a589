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

namespace {

// One attempt at a page on session. The body is in spool when it returns a
// complete outcome.
detail::Outcome TryPage(const std::string& address, Session& session, std::chrono::seconds stall,
                        detail::SpoolFile& spool, detail::ResponseHeaders& headers) {
    using namespace detail;
    // A fresh handle for every page: nothing of an earlier request carries over.
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> easy(curl_easy_init(), &curl_easy_cleanup);
    if (!easy || !ApplyRequestOptions(easy.get(), address, stall)) return {false, 0, "out of memory"};
    curl_easy_setopt(easy.get(), CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(easy.get(), CURLOPT_HEADERFUNCTION, &ResponseHeaders::OnHeader);
    curl_easy_setopt(easy.get(), CURLOPT_HEADERDATA, &headers);
    curl_easy_setopt(easy.get(), CURLOPT_WRITEFUNCTION, &WriteToSpool);
    curl_easy_setopt(easy.get(), CURLOPT_WRITEDATA, &spool);

    PageRequest request;
    if (!Attach(session, easy.get(), &request)) return {false, 0, "out of memory"};
    // Every request on the session moves while this one is awaited; libcurl's
    // own timers (time-outs) wake the wait in time.
    session.Pump();
    while (!request.finished) session.Wait(std::chrono::milliseconds(100));
    Detach(session, easy.get());
    Outcome outcome = Judge(easy.get(), request.code, headers, spool.Size(), stall);
    // Only a success status is a page; redirects have been followed.
    if (outcome.complete && (outcome.status < 200 || outcome.status >= 400)) {
        outcome.complete = false;
        if (outcome.failure.empty()) outcome.failure = "HTTP " + std::to_string(outcome.status);
    }
    return outcome;
}

}  // namespace

std::optional<SavedPage> download_page(const std::string& address, const std::filesystem::path& dir,
                                       std::chrono::seconds stall_timeout, Session* session, std::string* failure) {
    using namespace detail;
    auto fail = [failure](std::string why) -> std::optional<SavedPage> {
        if (failure) *failure = std::move(why);
        return std::nullopt;
    };
    if (!AddressAccepted(address)) return fail("not an http or https address");

    std::unique_ptr<Session> own_session;
    if (!session) {
        own_session = std::make_unique<Session>();
        session = own_session.get();
    }
    for (int retry = 0;; ++retry) {
        std::optional<SpoolFile> spool = SpoolFile::Create(dir);
        if (!spool) return fail("could not write the file");
        ResponseHeaders headers;
        const Outcome outcome = TryPage(address, *session, stall_timeout, *spool, headers);
        if (outcome.complete) {
            std::optional<std::filesystem::path> kept = spool->Keep();
            if (!kept) return fail("could not write the file");
            return SavedPage(std::move(*kept));
        }
        if (!Retryable(outcome) || retry >= session->Retries()) return fail(outcome.failure);
        // Wait before sending it again; other requests on the session move meanwhile.
        const auto resume = std::chrono::steady_clock::now() + RetryDelay(retry + 1, headers, session->RetryBase());
        spool.reset();
        while (std::chrono::steady_clock::now() < resume) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(resume - std::chrono::steady_clock::now());
            session->Wait(std::min(left, std::chrono::milliseconds(100)));
        }
    }
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
