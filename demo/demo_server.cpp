// gathrix-demo-server: serves photo albums on 127.0.0.1 for gathrix-cli and the
// window to download, and prints their addresses.
//
//   gathrix-demo-server [--port N] [--pictures N]
//
// Runs until it gets SIGINT or SIGTERM.

#include <httplib.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "demo_album.h"
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
        "with \"Flickr base: URL\" for GATHRIX_FLICKR_BASE_URL. Stops on SIGINT or SIGTERM.\n",
        stderr);
    return 1;
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
    std::printf("Serving %d pictures; stop with Ctrl-C.\n", pictures);
    std::fflush(stdout);

    int signal_number = 0;
    sigwait(&stop_signals, &signal_number);
    server.stop();
    listener.join();
    return 0;
}
