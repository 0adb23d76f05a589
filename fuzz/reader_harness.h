#pragma once
// Common ground of the album reader harnesses. Each execution runs the whole
// Download command on one album, in a fresh run folder, against the services
// as faked by a local server in this process: every request goes to it,
// whatever host its address names (net::SetLocalRoute), and it answers pages
// from the fuzz input and pictures with small bodies of its own. Afterwards
// the execution checks what no page, however malformed, may bring about:
//  - the command ends normally (a hang is caught by libFuzzer's -timeout);
//  - every address requested is made from the pages served, from the album
//    address or from the settings (the harness of each reader says how), and
//    every request that reached the server is one of those addresses;
//  - nothing but "AlbumDownload" appears in the run folder, nothing at all
//    beside it, and in it only regular files, no scratch file, each holding a
//    body the server sent, no more of them than the "Finished" box counts.
// A failed check prints what it found and aborts, which libFuzzer reports.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "download/settings.h"
#include "support/fake_server.h"

namespace gathrix::fuzz {

// Inputs above this size are passed over (pages stay small and runs quick).
inline constexpr std::size_t kMaxInput = 64 * 1024;

// The input as up to max_parts pages, cut at each kPageBreak (the break itself
// belongs to no page). An input without a break is one page. Copies share the
// pages: the server copies its responder for every request.
inline constexpr std::string_view kPageBreak = "<!--next page-->";
class Pages {
public:
    Pages(std::string_view input, std::size_t max_parts);
    std::size_t Count() const { return parts_->size(); }
    // Page n, or the first page when the input has fewer.
    const std::string& operator[](std::size_t n) const { return (*parts_)[n < parts_->size() ? n : 0]; }

private:
    std::shared_ptr<const std::vector<std::string>> parts_;
};

// Whether text is a non-empty run of decimal digits.
bool AllDigits(std::string_view text);

// What the server answers one request with, and whether the body is a page
// (pages are searched first for the addresses of a run).
struct Answer {
    test::FakeServer::Reply reply;
    bool page = false;
};
// A page: 200 with the body, or 404 for an empty one.
Answer PageAnswer(const std::string& body);
// A picture: status and bytes chosen by the target alone, so that the same
// address always brings the same answer: 404, or a body of 200, 2000 or 4000
// bytes (under and over each reader's smallest picture).
Answer PictureAnswer(const std::string& target);

// The host name of a Host header, without its port, in lower case.
std::string HostName(std::string_view host_header);

// Transfers at once for an input: four for some inputs, one for the others.
int JobsFor(std::string_view input);

struct Album {
    std::string address;  // typed into Text1
    Settings settings;    // the request time-out is set to 1 s by RunAlbum
    std::function<Answer(const std::string& host, const std::string& target)> respond;
    // Whether an address the engine requested is made from the pages served
    // (see Served), from the album address or from the settings.
    std::function<bool(const std::string& address)> made_from_pages;
};

// A failed check: prints what and aborts, which libFuzzer reports.
[[noreturn]] void Fail(const std::string& what);
void Check(bool condition, const std::string& what);

// One execution: runs the album and makes every check above.
void RunAlbum(Album album);

// A rewrite that a reader applies to addresses taken from a page: every `from`
// it holds becomes `to` (of the same length).
struct Rewrite {
    std::string_view from;
    std::string_view to;
};

// Whether text stands in a body served with status below 400 during this
// execution, each `to` in it possibly standing for a `from` when a rewrite is
// given; with quotes_dropped, in such a body with every double quote taken out.
bool Served(std::string_view text, std::optional<Rewrite> rewrite = std::nullopt, bool quotes_dropped = false);

}  // namespace gathrix::fuzz
