// gathrix-demo-server: serves photo albums on 127.0.0.1 for gathrix-cli and the
// window to download, and prints their addresses and, for each album, a
// gathrix-cli command line, with the settings the album needs, to paste.
//
//   gathrix-demo-server [--port N] [--pictures N]
//
// Runs until it gets SIGINT or SIGTERM.

#include <httplib.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "demo_album.h"
#include "flickr_api_demo.h"
#include "flickr_demo.h"
#include "webshots_demo.h"

namespace {

constexpr const char* kAlbumPath = "/picasaweb.google.com/gathrix.demo/SummerLandscapes";

bool ParseNumber(const char* text, int low, int high, int& value) {
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || v < low || v > high) return false;
    value = static_cast<int>(v);
    return true;
}

int Usage() {
    std::fputs(
        "Usage: gathrix-demo-server [--port N] [--pictures N]\n"
        "Serves a demo photo album on 127.0.0.1 (port 0: any free port) and prints\n"
        "its address as \"Album: ADDRESS\"; also a Flickr set, printed as \"Flickr: ADDRESS\"\n"
        "with \"Flickr base: URL\" for GATHRIX_FLICKR_BASE_URL, a Webshots album, and\n"
        "Flickr's REST API (\"Flickr API: URL\" for GATHRIX_FLICKR_API_URL, with a demo key).\n"
        "Then prints for each album the gathrix-cli command line that downloads it.\n"
        "Stops on SIGINT or SIGTERM.\n",
        stderr);
    return 1;
}

// word as a shell reads it back: as it is when it holds only characters that
// no shell treats specially, else between single quotes.
std::string ShellWord(const std::string& word) {
    constexpr const char* kPlain = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789@%_+=:,./-";
    if (!word.empty() && word.find_first_not_of(kPlain) == std::string::npos) return word;
    std::string quoted = "'";
    for (const char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// gathrix-cli as a command that works from any directory: the one built beside
// this server, by its absolute path; plain "gathrix-cli" (looked up in PATH)
// when there is none beside the server.
std::string CliCommand() {
    std::error_code ec;
    const std::filesystem::path cli = std::filesystem::read_symlink("/proc/self/exe", ec).parent_path() / "gathrix-cli";
    if (ec || !std::filesystem::is_regular_file(cli, ec)) return "gathrix-cli";
    return ShellWord(cli.string());
}

// One album's command line: the settings, then gathrix-cli and the address.
void PrintCommand(const char* what, const std::vector<std::pair<const char*, std::string>>& settings,
                  const std::string& cli, const std::string& address) {
    std::string line;
    for (const auto& [name, value] : settings) line += std::string(name) + "=" + ShellWord(value) + " ";
    std::printf("# %s\n%s%s %s\n", what, line.c_str(), cli.c_str(), ShellWord(address).c_str());
}

}  // namespace

int main(int argc, char** argv) {
    int port = 0;
    int pictures = 36;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--port" && i + 1 < argc && ParseNumber(argv[i + 1], 0, 65535, port)) {
            ++i;
        } else if (arg == "--pictures" && i + 1 < argc && ParseNumber(argv[i + 1], 1, 10000, pictures)) {
            ++i;
        } else {
            return Usage();
        }
    }

    // The signals are taken by sigwait below, on this thread only.
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    httplib::Server server;
    const int bound =
        port == 0 ? server.bind_to_any_port("127.0.0.1") : (server.bind_to_port("127.0.0.1", port) ? port : -1);
    if (bound <= 0) {
        std::fprintf(stderr, "gathrix-demo-server: cannot listen on 127.0.0.1:%d\n", port);
        return 2;
    }
    const std::string base = "http://127.0.0.1:" + std::to_string(bound);

    std::map<std::string, std::string> files;
    std::vector<std::string> addresses;
    for (int i = 1; i <= pictures; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "IMG_%04d.jpg", i);
        const std::string path = std::string("/photos/") + name;
        files[path] = gathrix::demo::LandscapeJpeg(i, 320, 240);
        addresses.push_back(base + path);
    }
    files["/avatar.jpg"] = gathrix::demo::LandscapeJpeg(0, 48, 48);
    const std::string page = gathrix::demo::PicasaAlbumPage("Summer Landscapes", addresses);

    server.Get(kAlbumPath, [&page](const httplib::Request&, httplib::Response& res) {
        res.set_content(page, "text/html; charset=utf-8");
    });
    const gathrix::demo::FlickrDemo flickr = gathrix::demo::ServeFlickrSet(server, base);
    const gathrix::demo::WebshotsDemo webshots = gathrix::demo::AddWebshotsDemo(server, base);
    const gathrix::demo::FlickrApiDemo api = gathrix::demo::ServeFlickrApi(server, base);
    server.Get("/.*", [&files](const httplib::Request& req, httplib::Response& res) {
        const auto it = files.find(req.path);
        if (it == files.end()) {
            res.status = 404;
            res.set_content("not found", "text/plain");
            return;
        }
        res.set_content(it->second, "image/jpeg");
    });

    std::thread listener([&server] { server.listen_after_bind(); });
    while (!server.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(5));

    std::printf("Album: %s%s\n", base.c_str(), kAlbumPath);
    std::printf("Flickr: %s\nFlickr base: %s\n", flickr.album_address.c_str(), flickr.base_url.c_str());
    std::printf("Webshots: %s\nWebshots thumbnails: %s\nWebshots full size: %s\n", webshots.photo_address.c_str(),
                webshots.thumbnail_prefix.c_str(), webshots.fullsize_base.c_str());
    std::printf("Flickr API: %s\nFlickr API key: %s\n", api.endpoint.c_str(), api.key.c_str());
    std::printf("Flickr API album: %s\nFlickr API albums: %s\nFlickr API photostream: %s\n",
                api.album_address.c_str(), api.albums_address.c_str(), api.photostream_address.c_str());
    // The Flickr set and the Webshots album need their settings: without them
    // the pictures that first come down too small are looked for on the live
    // sites, not here.
    const std::string cli = CliCommand();
    std::printf("\nPaste a line into a shell to download its album into ./AlbumDownload there:\n");
    PrintCommand("The Picasa album", {}, cli, base + kAlbumPath);
    PrintCommand("The Flickr set (also as .../photos/demo/albums/...)", {{"GATHRIX_FLICKR_BASE_URL", flickr.base_url}},
                 cli, flickr.album_address);
    PrintCommand("The Webshots album, from one of its photos",
                 {{"GATHRIX_WEBSHOTS_THUMBNAIL_PREFIX", webshots.thumbnail_prefix},
                  {"GATHRIX_WEBSHOTS_FULLSIZE_BASE", webshots.fullsize_base}},
                 cli, webshots.photo_address);
    // Flickr's API: real flickr.com addresses; only the endpoint is this server.
    const std::vector<std::pair<const char*, std::string>> api_settings = {{"GATHRIX_FLICKR_API_URL", api.endpoint},
                                                                           {"GATHRIX_FLICKR_API_KEY", api.key}};
    PrintCommand("A Flickr album through the API, with album.json", api_settings, cli + " --write-metadata",
                 api.album_address);
    PrintCommand("Every album of the account, each in a folder \"ID TITLE\"", api_settings, cli + " --write-metadata",
                 api.albums_address);
    PrintCommand("The account's photostream", api_settings, cli, api.photostream_address);
    std::printf("\nServing %d pictures; stop with Ctrl-C.\n", pictures);
    std::fflush(stdout);

    int signal_number = 0;
    sigwait(&stop_signals, &signal_number);
    server.stop();
    listener.join();
    return 0;
}
