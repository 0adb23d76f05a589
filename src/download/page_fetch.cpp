#include "download/page_fetch.h"

namespace gathrix {

std::optional<net::SavedPage> FetchPage(const RunState& run, const std::string& address, PageRole role) {
    // On the session of the pictures: a picture in flight keeps moving while a
    // page downloads, and a connection to the host serves both.
    Failure failure;
    std::optional<net::SavedPage> page = net::download_page(address, run.working_folder, run.settings.request_timeout,
                                                            &run.inet.GetSession(), &failure);
    if (!page && role == PageRole::Album) run.front_end.ReportFailure(WhatFailed::AlbumPage, address, failure);
    return page;
}

}  // namespace gathrix
