// The Webshots reader on album pages of 1 MB up to 64 MB that are one line and
// one item of very many ">" fields and hold no thumbnail, so that the time goes
// into the next-page scan and the field walk; and ReadItem alone on one item of
// the same sizes. Both must stay linear: the time per MB at the largest size
// may be at most 4 times that at 1 MB. (A walk that is quadratic in the
// length of a line or item would take 64 times as long per MB at 64 MB; the
// margin is for the memory system, since a large item grows into fresh pages
// where a small one reuses memory that is already mapped.)
//
//   build/bench_webshots_page_scan [MEGABYTES]     (largest size, default 64)
//
// The album server runs in a child process. Each figure is the best of three runs.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "bench_util.h"
#include "download/download_command.h"
#include "download/settings.h"
#include "support/fake_server.h"
#include "text/page_reader.h"

namespace {

namespace fs = std::filesystem;

using gathrix::bench::SecondsSince;

// The engine's front end, answering nothing and keeping only the last message.

// One line, one item: "<i>" until the page has megabytes MB.
std::string FieldPage(long megabytes) {
    std::string page = "<html><body>";
    const std::size_t size = static_cast<std::size_t>(megabytes) << 20;
    page.reserve(size + 3);
    while (page.size() < size) page += "<i>";
    return page;
}

double BestOfThree(const std::function<void()>& run) {
    double best = 1e9;
    for (int i = 0; i < 3; ++i) {
        const auto start = std::chrono::steady_clock::now();
        run();
        best = std::min(best, SecondsSince(start));
    }
    return best;
}

// Prints one row per size and returns whether the time per MB stayed flat.
bool Report(const char* what, const std::vector<long>& sizes, const std::vector<double>& seconds) {
    std::printf("%s\n%8s %10s %10s\n", what, "MB", "seconds", "ms per MB");
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        std::printf("%8ld %10.3f %10.2f\n", sizes[i], seconds[i], seconds[i] * 1000.0 / static_cast<double>(sizes[i]));
    }
    const double first = seconds.front() / static_cast<double>(sizes.front());
    const double last = seconds.back() / static_cast<double>(sizes.back());
    const bool flat = last <= 4.0 * first;
    std::printf("ratio of ms per MB, largest to 1 MB: %.2f%s\n\n", last / first, flat ? "" : " (not linear)");
    return flat;
}

}  // namespace

int main(int argc, char** argv) {
    const long largest = std::max(1L, argc > 1 ? std::strtol(argv[1], nullptr, 10) : 64L);
    std::vector<long> sizes;
    for (long mb = 1; mb <= largest; mb *= 4) sizes.push_back(mb);

    auto album_path = [](long mb) { return "/webshots.com/album/" + std::to_string(mb) + "mb"; };
    const gathrix::bench::ServerProcess server([&](gathrix::test::FakeServer& s) {
        for (long mb : sizes) s.Serve(album_path(mb), FieldPage(mb), "text/html");
    });

    std::vector<double> reader_seconds;
    for (long mb : sizes) {
        reader_seconds.push_back(BestOfThree([&] {
            gathrix::test::Sandbox sandbox;
            gathrix::test::ScopedCwd cwd(sandbox.Path());
            gathrix::bench::QuietEvents ui;
            gathrix::RunDownload(ui, server.Url(album_path(mb)), fs::path(sandbox.Path()) / "AlbumDownload",
                                 gathrix::Settings());
            if (ui.box != " 0 files successfully downloaded!") {
                std::fprintf(stderr, "unexpected end of the run: %s\n", ui.box.c_str());
                std::exit(2);
            }
        }));
    }

    std::vector<double> item_seconds;
    for (long mb : sizes) {
        const std::string page = FieldPage(mb);
        item_seconds.push_back(BestOfThree([&] {
            gathrix::PageReader reader(page);
            const std::size_t got = reader.ReadItem().value_or(std::string()).size();
            if (got < static_cast<std::size_t>(mb) << 20) {
                std::fprintf(stderr, "ReadItem gave %zu bytes\n", got);
                std::exit(2);
            }
        }));
    }

    const bool reader_flat =
        Report("Webshots reader, whole run on one page (fetch, next-page scan, field walk):", sizes, reader_seconds);
    const bool item_flat = Report("PageReader::ReadItem, one item:", sizes, item_seconds);
    return reader_flat && item_flat ? 0 : 1;
}
