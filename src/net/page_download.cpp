#include "net/page_download.h"
#include "net/temp_files.h"
#include "net/transfer.h"

#include <cerrno>
#include <memory>
#include <utility>

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

std::optional<SavedPage> DownloadPage(const std::string& address, const std::filesystem::path& dir,
                                      std::chrono::milliseconds stall_timeout, Session* session, Failure* failure) {
    auto fail = [failure](Failure why) -> std::optional<SavedPage> {
        if (failure) *failure = std::move(why);
        return std::nullopt;
    };
    // A page travels like a picture (the same request, the same retries), and
    // the other requests on the session move while it is awaited.
    std::unique_ptr<Transfer> transfer = session ? std::make_unique<Transfer>(*session) : std::make_unique<Transfer>();
    transfer->SetRequestTimeout(stall_timeout);
    transfer->SetFailOnError(true);
    transfer->Execute(address, dir);
    while (transfer->Wait(kNoWaitLimit)) {
    }
    if (transfer->Result() != TransferResult::Complete) return fail(transfer->WhyFailed());
    // Only a success status is a page; redirects have been followed.
    if (transfer->Status() < 200 || transfer->Status() >= 400)
        return fail({FailureKind::HttpStatus, transfer->Status()});
    std::optional<std::filesystem::path> kept = transfer->KeepBody();
    if (!kept) {
        Failure why(FailureKind::WriteError);
        why.system_error = errno;
        return fail(std::move(why));
    }
    return SavedPage(std::move(*kept));
}

bool DownloadToFile(const std::string& address, const std::filesystem::path& path,
                    std::chrono::milliseconds stall_timeout) {
    if (path.empty()) return false;
    // The body waits in a private file next to the target, so that the target is
    // replaced in one rename and only by a complete, successful response.
    std::optional<SavedPage> page = DownloadPage(address, path.parent_path(), stall_timeout);
    if (!page) return false;
    if (!RenameTemporaryFile(page->Path(), path)) return false;  // the page removes its file
    page->Release();
    return true;
}

}  // namespace gathrix::net
