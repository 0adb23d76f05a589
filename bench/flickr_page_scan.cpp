// A Flickr set page whose thumbnail line is 1, 4, 16 and 64 MB long, read by
// the Download command from a local server in a child process. The reader's
// scan of the page (the line read, the markers looked for, the field walk)
// must be linear in the line's length, so the time per MB stays flat from the
// smallest page to the largest. The fields hold ".jpg" but no "img src=", so
// every field is examined and no picture is fetched: only the scan is timed.
// The page download alone is timed as well, and ReadLine on a saved line.
//
//   build/bench_flickr_page_scan [MAX_MB]     (default 64)
//
// Prints a table and exits with status 1 when the time per MB of the largest
// page is more than three times that of the smallest.

#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "bench_util.h"
#include "download/download_command.h"
#include "download/settings.h"
#include "net/page_download.h"
#include "net/session.h"
#include "net/transfer.h"
#include "text/page_reader.h"

namespace {

namespace fs = std::filesystem;
using gathrix::bench::SecondsSince;

constexpr int kRepeats = 5;

// The set page with a thumbnail line of about megabytes MB.
std::string SetPage(std::size_t megabytes) {
    const std::string field_pair =
        "<span class=\"photo_container pc_s\"><a href=\"/photos/bench/123456/in/set-1/\" title=\"p\">"
        "<img data-src=\"http://127.0.0.1/farm/123456_abcdef_s.jpg\" width=\"75\" /></a></span>";
    std::string page =
        "<html><head><title>bench</title></head>\r\n<body>\r\n"
        "<div class=\"Paginator\"><span class=\"this-page\">1</span></div>\r\n"
        "<div class=\"setThumbs-indv\">";
    const std::size_t size = megabytes << 20;
    page.reserve(size + 64);
    while (page.size() < size) page += field_pair;
    page += "</div>\r\n</body></html>\r\n";
    return page;
}

std::string SetPath(std::size_t megabytes) {
    return "/flickr.com/photos/bench/sets/" + std::to_string(megabytes) + "/";
}

// A front end that only answers the address.

double Best(const std::vector<double>& times) { return *std::min_element(times.begin(), times.end()); }

}  // namespace

int main(int argc, char** argv) {
    // Freed memory stays with the process, so that the repeated runs measure the
    // scan rather than the kernel handing out fresh pages: glibc would give every
    // block over 32 MB back to the system when it is freed, and touching 64 MB of
    // fresh pages alone costs a few hundred milliseconds on a virtual machine.
    mallopt(M_MMAP_THRESHOLD, 512 << 20);
    mallopt(M_TRIM_THRESHOLD, 1024 << 20);
    const long max_mb = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 64;
    std::vector<std::size_t> sizes;
    for (std::size_t mb = 1; mb <= static_cast<std::size_t>(std::max(1L, max_mb)); mb *= 4) sizes.push_back(mb);

    // The server process first, before this process starts any thread.
    const gathrix::bench::ServerProcess server([&sizes](gathrix::test::FakeServer& s) {
        for (std::size_t mb : sizes) s.Serve(SetPath(mb), SetPage(mb), "text/html");
    });

    gathrix::test::Sandbox sandbox;
    gathrix::test::ScopedCwd cwd(sandbox.Path());
    gathrix::Settings settings;

    std::printf("%8s %10s %10s %10s %12s %12s %14s\n", "page MB", "run s", "fetch s", "scan s", "run ms/MB",
                "scan ms/MB", "ReadLine ms/MB");
    std::vector<double> run_per_mb;
    bool ok = true;
    for (std::size_t mb : sizes) {
        const std::string address = server.Url(SetPath(mb));
        std::vector<double> run_times, fetch_times, read_times;
        for (int r = 0; r < kRepeats; ++r) {
            gathrix::bench::QuietEvents ui;
            auto start = std::chrono::steady_clock::now();
            const gathrix::DownloadOutcome outcome =
                gathrix::RunDownload(ui, address, fs::path(sandbox.Path()) / "AlbumDownload", settings);
            run_times.push_back(SecondsSince(start));
            if (outcome != gathrix::DownloadOutcome::Completed || ui.box != " 0 files successfully downloaded!" ||
                ui.pictures != 0) {
                std::fprintf(stderr, "unexpected run: %s\n", ui.box.c_str());
                ok = false;
            }

            // The page download alone, and ReadLine on the saved page.
            start = std::chrono::steady_clock::now();
            std::optional<gathrix::net::SavedPage> page = gathrix::net::DownloadPage(address, sandbox.Path());
            fetch_times.push_back(SecondsSince(start));
            if (!page) {
                std::fprintf(stderr, "page download failed\n");
                return 2;
            }
            start = std::chrono::steady_clock::now();
            const std::string bytes = gathrix::ReadWholeFile(page->Path()).value_or(std::string());
            gathrix::PageReader reader(bytes);
            std::size_t longest = 0;
            while (!reader.AtEnd()) longest = std::max(longest, reader.ReadLine().value_or("").size());
            read_times.push_back(SecondsSince(start));
            if (longest + 1024 < (mb << 20)) ok = false;  // the thumbnail line is nearly the whole page
        }
        const double run = Best(run_times);
        const double fetch = Best(fetch_times);
        const double scan = std::max(0.0, run - fetch);
        const double megabytes = static_cast<double>(mb);
        run_per_mb.push_back(run * 1000 / megabytes);
        std::printf("%8zu %10.3f %10.3f %10.3f %12.2f %12.2f %14.2f\n", mb, run, fetch, scan, run * 1000 / megabytes,
                    scan * 1000 / megabytes, Best(read_times) * 1000 / megabytes);
    }

    const bool flat = run_per_mb.back() <= 3 * run_per_mb.front();
    std::printf("time per MB, largest page against smallest: %.2fx %s\n", run_per_mb.back() / run_per_mb.front(),
                flat ? "(flat)" : "(grows: not linear)");
    return ok && flat ? 0 : 1;
}
