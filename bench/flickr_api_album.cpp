// Flickr's API reader on a big album, against the fake API:
//
//   bench_flickr_api_album [photos] [rounds]   (default 10000 photos of 10 KB, 2 rounds)
//
// 1. The album's list: read through the API it takes photos / 500 requests
//    (20 for 10,000), and parsing those answers must take well under 0.5 s of
//    processor time (measured in this process on the answers the fake API
//    gives, each parsed once).
// 2. The album downloaded by gathrix-cli through the API, and the same pictures
//    as a Picasa album, with --jobs 1 and --jobs 4: pictures a second of each
//    (which of the two goes first alternates from round to round); the API
//    album must reach at least 90% of the Picasa album's rate.
//
// gathrix-cli is taken from the build folder.

#include <fcntl.h>
#include <httplib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "download/sites/flickr_api_parsers.h"
#include "support/album_pages.h"
#include "support/fake_server.h"
#include "support/flickr_api_server.h"

using namespace gathrix;
namespace fs = std::filesystem;

namespace {

constexpr std::size_t kPictureBytes = 10 * 1024;
const std::string kNsid = "12037949632@N01";
const std::string kKey = "bench-key";

double CpuSeconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

// gathrix-cli with args in a fresh directory, its output thrown away; the wall time.
double RunCli(const std::vector<std::string>& args, const std::string& endpoint, int& exit_code) {
    test::Sandbox dir;
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::fflush(stdout);  // nothing of ours is written twice by the child
    const auto start = std::chrono::steady_clock::now();
    // Made before fork: the child of a process with threads (the servers')
    // may only make async-signal-safe calls until it executes.
    setenv("GATHRIX_FLICKR_API_URL", endpoint.c_str(), 1);
    const int null_fd = open("/dev/null", O_WRONLY | O_CLOEXEC);
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(dir.Path().c_str()) != 0 || null_fd < 0 || dup2(null_fd, STDOUT_FILENO) < 0) _exit(126);
        execv(argv[0], argv.data());
        _exit(127);
    }
    if (null_fd >= 0) close(null_fd);
    int status = 0;
    waitpid(pid, &status, 0);
    exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    const int photos = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 2;
    if (photos < 1 || rounds < 1) {
        std::fputs("usage: bench_flickr_api_album [photos] [rounds]\n", stderr);
        return 2;
    }
    test::FakeServer pictures;
    pictures.ServeOthers([](const std::string&, const std::string& target) {
        return test::FakeServer::Reply{200, test::PictureBytes(std::atoi(target.c_str() + 3), kPictureBytes)};
    });
    test::FlickrApiServer api(kKey);
    test::ApiAlbum album{"72157", kNsid, "Bench", "", {}};
    std::vector<std::string> addresses;
    for (int i = 1; i <= photos; ++i) {
        const std::string address = pictures.Url("/p/" + std::to_string(i) + "_o.jpg");
        album.photos.push_back(test::ApiPicture(std::to_string(i), address, "Photo " + std::to_string(i)));
        addresses.push_back(address);
    }
    api.AddAlbum(album);
    pictures.Serve("/picasaweb.google.com/u/bench", test::PicasaPage(addresses), "text/html");

    // 1. The list: every page's answer fetched, then parsed once each.
    httplib::Client client("127.0.0.1", std::stoi(api.Endpoint().substr(17)));
    std::vector<std::string> answers;
    for (long long page = 1;; ++page) {
        const std::string call = FlickrApiCallAddress("/services/rest/", kGetPhotos, kKey,
                                                      {{"photoset_id", "72157"}, {"user_id", kNsid},
                                                       {"extras", std::string(kPhotoExtras)}, {"per_page", "500"},
                                                       {"page", std::to_string(page)}, {"media", "all"}});
        const auto result = client.Get(call);
        if (!result || result->status != 200) {
            std::fputs("bench: the fake API did not answer\n", stderr);
            return 1;
        }
        answers.push_back(result->body);
        if (page >= ParseFlickrPhotoPage(answers.back(), "photoset").pages) break;
    }
    const double cpu_start = CpuSeconds();
    std::size_t listed = 0;
    for (const std::string& answer : answers) listed += ParseFlickrPhotoPage(answer, "photoset").photos.size();
    const double parse_cpu = CpuSeconds() - cpu_start;
    std::size_t bytes = 0;
    for (const std::string& answer : answers) bytes += answer.size();
    std::printf("list: %zu photos in %zu answers (%.1f MB), parsed in %.3f s of processor time (goal: under 0.5 s)\n",
                listed, answers.size(), static_cast<double>(bytes) / 1e6, parse_cpu);
    bool good = listed == static_cast<std::size_t>(photos) && parse_cpu < 0.5;

    // 2. The downloads.
    for (const int jobs : {1, 4}) {
        for (int round = 1; round <= rounds; ++round) {
            const std::size_t calls_before = api.Methods().size();
            int api_exit = 0;
            int picasa_exit = 0;
            double api_time = 0;
            double picasa_time = 0;
            const auto run_api = [&] {
                api_time = RunCli({GATHRIX_CLI_PATH, "--jobs", std::to_string(jobs), "--flickr-api-key", kKey,
                                   "https://www.flickr.com/photos/" + kNsid + "/albums/72157"},
                                  api.Endpoint(), api_exit);
            };
            const auto run_picasa = [&] {
                picasa_time = RunCli(
                    {GATHRIX_CLI_PATH, "--jobs", std::to_string(jobs), pictures.Url("/picasaweb.google.com/u/bench")},
                    api.Endpoint(), picasa_exit);
            };
            if (round % 2 == 1) {
                run_api();
                run_picasa();
            } else {
                run_picasa();
                run_api();
            }
            const std::size_t calls = api.Methods().size() - calls_before;
            const double api_rate = photos / api_time;
            const double picasa_rate = photos / picasa_time;
            std::printf("--jobs %d round %d: API album %.0f pictures/s (%zu API requests, exit %d), "
                        "Picasa album %.0f pictures/s (exit %d): %.0f%%\n",
                        jobs, round, api_rate, calls, api_exit, picasa_rate, picasa_exit, 100 * api_rate / picasa_rate);
            good = good && api_exit == 0 && picasa_exit == 0 && calls == answers.size() && api_rate >= 0.9 * picasa_rate;
        }
    }
    std::puts(good ? "bench: goals met" : "bench: GOALS MISSED");
    return good ? 0 : 1;
}
