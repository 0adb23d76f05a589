#include "download/page_fetch.h"

namespace gathrix {

std::optional<net::SavedPage> FetchPage(const RunState& run, const std::string& address) {
    return net::download_page(address, run.working_folder, run.settings.request_timeout);
}

}  // namespace gathrix
