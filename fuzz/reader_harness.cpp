#include "reader_harness.h"

#include <curl/curl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <system_error>
#include <unordered_set>

#include "download/download_command.h"
#include "download/recording_front_end.h"
#include "detail/request_options.h"
#include "net/local_route.h"
#include "text/strings.h"

namespace gathrix::fuzz {

namespace fs = std::filesystem;

namespace {

// The current directory libFuzzer was started in: its corpus and artifact
// paths may be relative to it.
const fs::path& StartingDirectory() {
    static const fs::path start = fs::current_path();
    return start;
}

std::uint64_t Fnv1a(std::string_view text) {
    std::uint64_t hash = 14695981039346656037ull;
    for (char ch : text) {
        hash ^= static_cast<unsigned char>(ch);
        hash *= 1099511628211ull;
    }
    return hash;
}

// What lives for the whole process: the server, the folder in which the runs
// take place, and what the current execution served and requested.
struct World {
    test::FakeServer server;
    fs::path root;  // holds nothing but the run folder of the current execution
    fs::path run;   // root / "run"

    std::mutex mutex;  // the bodies are recorded on the server's threads
    std::unordered_set<std::string> pages;
    std::unordered_set<std::string> pictures;
    std::vector<std::string> pages_without_quotes;

    std::vector<std::string> addresses;      // as the engine asked for them, in order
    std::set<std::string> previous_targets;  // what the previous execution requested
};

World& TheWorld() {
    // Made once and never destroyed: the server's threads outlive every execution.
    static World* world = [] {
        StartingDirectory();
        auto* w = new World;
        std::string pattern = (fs::temp_directory_path() / "gathrix-fuzz-XXXXXX").string();
        Check(::mkdtemp(pattern.data()) != nullptr, "cannot make a folder for the runs");
        w->root = fs::canonical(pattern);
        w->run = w->root / "run";
        std::atexit([] {
            std::error_code ec;
            fs::remove_all(TheWorld().root, ec);
        });
        net::SetLocalRoute({w->server.Port(), [w](const std::string& address) { w->addresses.push_back(address); }});
        return w;
    }();
    return *world;
}

// Where needle stands in text from position `from` on. Searched here rather
// than with string_view::find, whose memcmp libFuzzer intercepts and records
// at a cost that would slow every execution down.
std::size_t Find(std::string_view text, std::string_view needle, std::size_t from = 0) {
    if (from > text.size()) return std::string_view::npos;
    if (needle.empty()) return from;
    const auto begin = text.begin() + static_cast<std::ptrdiff_t>(from);
    const auto at = std::search(begin, text.end(), std::boyer_moore_horspool_searcher(needle.begin(), needle.end()));
    return at == text.end() ? std::string_view::npos : static_cast<std::size_t>(at - text.begin());
}

// Positions of the occurrences of needle in text, left to right, without overlaps.
std::vector<std::size_t> Occurrences(std::string_view text, std::string_view needle) {
    std::vector<std::size_t> at;
    for (std::size_t p = Find(text, needle); p != std::string_view::npos; p = Find(text, needle, p + needle.size())) {
        at.push_back(p);
    }
    return at;
}

// Whether text stands in body, each `to` in it possibly standing for a `from`.
bool FoundIn(std::string_view body, std::string_view text, const std::optional<Rewrite>& rewrite) {
    if (Find(body, text) != std::string_view::npos) return true;
    if (!rewrite || rewrite->to.empty() || rewrite->from.size() != rewrite->to.size()) return false;
    const std::vector<std::size_t> at = Occurrences(text, rewrite->to);
    if (at.empty()) return false;
    std::string undone(text);
    for (std::size_t p : at) undone.replace(p, rewrite->to.size(), rewrite->from);
    if (Find(body, undone) != std::string_view::npos) return true;
    // Some were rewritten and some stood so on the page: compare piece by piece
    // wherever the text before the first of them stands.
    const std::string_view head = text.substr(0, at.front());
    for (std::size_t p = Find(body, head); p != std::string_view::npos && p + text.size() <= body.size();
         p = Find(body, head, p + 1)) {
        bool same = true;
        std::size_t next = 0;  // the next occurrence of `to`
        for (std::size_t i = 0; same && i < text.size();) {
            if (next < at.size() && i == at[next]) {
                const std::string_view there = body.substr(p + i, rewrite->to.size());
                same = std::equal(there.begin(), there.end(), rewrite->to.begin(), rewrite->to.end()) ||
                       std::equal(there.begin(), there.end(), rewrite->from.begin(), rewrite->from.end());
                i += rewrite->to.size();
                ++next;
            } else {
                same = body[p + i] == text[i];
                ++i;
            }
        }
        if (same) return true;
    }
    return false;
}

// The path and query that a request for address sends, as libcurl makes them:
// dot segments resolved, the fragment dropped, bytes outside ASCII in the path
// (not in the query) percent-encoded.
std::optional<std::string> RequestTarget(const std::string& address) {
    std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> url(curl_url(), &curl_url_cleanup);
    // As the engine sends it: encoded where a request line needs it.
    const std::string sent = net::detail::RequestAddress(address);
    if (!url || curl_url_set(url.get(), CURLUPART_URL, sent.c_str(), CURLU_GUESS_SCHEME) != CURLUE_OK) {
        return std::nullopt;
    }
    char* path = nullptr;
    char* query = nullptr;
    std::string target;
    if (curl_url_get(url.get(), CURLUPART_PATH, &path, CURLU_URLENCODE) == CURLUE_OK && path) target = path;
    if (curl_url_get(url.get(), CURLUPART_QUERY, &query, 0) == CURLUE_OK && query) target += std::string("?") + query;
    curl_free(path);
    curl_free(query);
    return target;
}

std::vector<std::string> Entries(const fs::path& dir) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dir, ec)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string Joined(const std::vector<std::string>& names) {
    std::string all;
    for (const std::string& name : names) all += (all.empty() ? "" : ", ") + name;
    return "[" + all + "]";
}

std::string ReadAll(const fs::path& path) { return test::ReadFile(path.string()); }

// The count of the "Finished" box.
long long FinishedCount(const test::RecordingFrontEnd& ui) {
    Check(!ui.boxes.empty() && ui.boxes.back().title == "Finished", "the run ended without its \"Finished\" box");
    return std::atoll(ui.boxes.back().text.c_str());
}

void CheckRequests(World& w) {
    std::set<std::string> targets;
    for (const std::string& address : w.addresses) {
        if (const std::optional<std::string> target = RequestTarget(address)) targets.insert(*target);
    }
    for (const std::string& target : w.server.Requests()) {
        // A request that gave up on a busy machine may still reach the server
        // during the next execution.
        Check(targets.contains(target) || w.previous_targets.contains(target),
              "the server was asked for " + target + ", which the engine never requested");
    }
    w.previous_targets = std::move(targets);
}

}  // namespace

[[noreturn]] void Fail(const std::string& what) {
    std::error_code ec;
    fs::current_path(StartingDirectory(), ec);
    std::fprintf(stderr, "\nreader harness: %s\n", what.c_str());
    std::fflush(stderr);
    std::abort();
}

void Check(bool condition, const std::string& what) {
    if (!condition) Fail(what);
}

Pages::Pages(std::string_view input, std::size_t max_parts) {
    std::vector<std::string> parts;
    while (parts.size() + 1 < max_parts) {
        const std::size_t at = input.find(kPageBreak);
        if (at == std::string_view::npos) break;
        parts.emplace_back(input.substr(0, at));
        input.remove_prefix(at + kPageBreak.size());
    }
    parts.emplace_back(input);
    parts_ = std::make_shared<const std::vector<std::string>>(std::move(parts));
}

bool AllDigits(std::string_view text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

Answer PageAnswer(const std::string& body) {
    if (body.empty()) return {{404, "no such page"}, false};
    return {{200, body}, true};
}

Answer PictureAnswer(const std::string& target) {
    const std::uint64_t hash = Fnv1a(target);
    static constexpr std::size_t kSizes[] = {200, 2000, 4000};
    if (hash % 8 == 0) return {{404, "no such picture"}, false};
    std::string body(kSizes[(hash >> 3) % 3], '\0');
    std::uint64_t state = hash;
    for (char& ch : body) {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        ch = static_cast<char>(state >> 56);
    }
    return {{200, std::move(body)}, false};
}

std::string HostName(std::string_view host_header) {
    std::string host(host_header);
    const std::size_t colon = host.rfind(':');
    if (colon != std::string::npos && host.find(']', colon) == std::string::npos) host.erase(colon);
    for (char& ch : host) {
        if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch + 32);
    }
    return host;
}

int JobsFor(std::string_view input) { return Fnv1a(input) % 3 == 0 ? 4 : 1; }

bool Served(std::string_view text, std::optional<Rewrite> rewrite, bool quotes_dropped) {
    World& w = TheWorld();
    std::lock_guard lock(w.mutex);
    if (quotes_dropped) {
        if (w.pages_without_quotes.size() != w.pages.size()) {
            w.pages_without_quotes.clear();
            for (const std::string& page : w.pages) w.pages_without_quotes.push_back(ReplaceAll(page, "\"", ""));
        }
        for (const std::string& page : w.pages_without_quotes) {
            if (FoundIn(page, text, rewrite)) return true;
        }
    } else {
        for (const std::string& page : w.pages) {
            if (FoundIn(page, text, rewrite)) return true;
        }
    }
    // A picture may have been read as a page (an album at the address of one).
    for (const std::string& picture : w.pictures) {
        if (FoundIn(quotes_dropped ? ReplaceAll(picture, "\"", "") : picture, text, rewrite)) return true;
    }
    return false;
}

void RunAlbum(Album album) {
    World& w = TheWorld();
    w.server.Reset();
    {
        std::lock_guard lock(w.mutex);
        w.pages.clear();
        w.pictures.clear();
        w.pages_without_quotes.clear();
    }
    w.addresses.clear();
    w.server.ServeOthers([&w, respond = album.respond](const std::string& host, const std::string& target) {
        Answer answer = respond(host, target);
        if (answer.reply.status < 400) {
            std::lock_guard lock(w.mutex);
            (answer.page ? w.pages : w.pictures).insert(answer.reply.body);
        }
        return answer.reply;
    });

    std::error_code ec;
    fs::current_path(w.root);
    Check(fs::create_directory(w.run, ec), "cannot make the run folder");
    fs::current_path(w.run);

    test::RecordingFrontEnd ui;
    ui.address = album.address;
    album.settings.request_timeout = std::chrono::seconds(1);
    DownloadOutcome outcome;
    outcome = RunDownload(ui, album.address, w.run / kWorkingFolderName, album.settings);  // every connection closed
    Check(fs::current_path() == w.run, "the run did not return to its starting folder");
    fs::current_path(w.root);

    // GATHRIX_FUZZ_SHOW=1: what each execution did, for looking at an input by hand.
    static const bool show = std::getenv("GATHRIX_FUZZ_SHOW") != nullptr;
    if (show) {
        std::fprintf(stderr, "--- log:\n%s\n--- requests:\n", ui.log.c_str());
        for (const std::string& target : w.server.Requests()) std::fprintf(stderr, "  %s\n", target.c_str());
    }

    Check(outcome == DownloadOutcome::Completed, "the run did not complete");
    Check(ui.ended, "the run did not end the program");
    const long long counted = FinishedCount(ui);

    // Files: only the working folder, and in it only pictures.
    Check(Entries(w.root) == std::vector<std::string>{"run"}, "beside the run folder: " + Joined(Entries(w.root)));
    Check(Entries(w.run) == std::vector<std::string>{"AlbumDownload"}, "in the run folder: " + Joined(Entries(w.run)));
    const std::vector<std::string> files = Entries(w.run / "AlbumDownload");
    std::set<std::string> stored_names;  // the names the log says pictures are fetched under
    for (const std::string& event : ui.events) {
        constexpr std::string_view kFetch = "append:Downloading ";
        if (event.starts_with(kFetch) && event.ends_with("...")) {
            stored_names.insert(event.substr(kFetch.size(), event.size() - kFetch.size() - 3));
        }
    }
    Check(static_cast<long long>(files.size()) <= counted,
          std::to_string(files.size()) + " files, but the \"Finished\" box counts " + std::to_string(counted));
    for (const std::string& name : files) {
        const fs::path path = w.run / "AlbumDownload" / name;
        // A page may name a picture so too; a scratch file's name is random.
        Check(!name.starts_with(".gathrix-") || stored_names.contains(name), "scratch file left: " + name);
        Check(fs::symlink_status(path, ec).type() == fs::file_type::regular, "not a regular file: " + name);
        const std::string body = ReadAll(path);
        std::lock_guard lock(w.mutex);
        Check(w.pictures.contains(body) || w.pages.contains(body), "a file holds what the server never sent: " + name);
    }

    // Requests: each address from the pages, and nothing else at the server.
    for (const std::string& address : w.addresses) {
        Check(album.made_from_pages(address), "requested an address that is not made from the pages: " + address);
    }
    CheckRequests(w);

    fs::remove_all(w.run, ec);
    Check(!ec, "cannot remove the run folder");
    fs::current_path(StartingDirectory());
}

}  // namespace gathrix::fuzz
