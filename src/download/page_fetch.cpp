#include "download/page_fetch.h"

namespace gathrix {

std::optional<net::SavedPage> FetchPage(const RunState& run, const std::string& address) {
    // On the session of the pictures: a picture in flight keeps moving while a
    // page downloads, and a connection to the host serves both.
    return net::download_page(address, run.working_folder, run.settings.request_timeout, &run.inet.GetSession());
}

}  // namespace gathrix
