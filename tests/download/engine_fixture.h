#pragma once
// Common ground of the engine tests: a fresh sandbox as current directory, a
// local server, a transfer, short time-outs and a front end that records.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "download/download_command.h"
#include "download/recording_front_end.h"
#include "download/settings.h"
#include "support/fake_server.h"

namespace gathrix::test {

// A moment of local time.
inline std::chrono::system_clock::time_point LocalTime(int year, int month, int day, int hour, int minute, int second) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    return std::chrono::system_clock::from_time_t(std::mktime(&tm));
}

class EngineTest : public ::testing::Test {
protected:
    // The suite runs twice: with one transfer, and (GATHRIX_TEST_JOBS=4, set by
    // the build) with four; every scenario must come out the same.
    EngineTest() : cwd_(sandbox_.Path()) {
        settings.request_timeout = std::chrono::seconds(2);
        if (const char* jobs = std::getenv("GATHRIX_TEST_JOBS")) settings.jobs = std::atoi(jobs);
    }

    // The starting directory (the sandbox, symbolic links resolved).
    std::filesystem::path Start() const { return std::filesystem::canonical(sandbox_.Path()); }
    std::filesystem::path Folder() const { return Start() / "AlbumDownload"; }

    // Runs the command on address, into AlbumDownload below the starting
    // directory. When clock_times are given, the run takes its clock readings
    // from them in turn (the last one repeats).
    DownloadOutcome Run(const std::string& address) {
        ui.address = address;
        const std::filesystem::path folder = std::filesystem::path(sandbox_.Path()) / kWorkingFolderName;
        if (clock_times.empty()) return RunDownload(ui, address, folder, settings);
        std::size_t next = 0;
        return RunDownload(ui, address, folder, settings, nullptr, [this, &next] {
            const auto t = clock_times[std::min(next, clock_times.size() - 1)];
            ++next;
            return t;
        });
    }

    // Requests as they can be compared: in order with one transfer; with several,
    // pictures fetched ahead come earlier, so only the same requests, as many
    // times each, can be asked for.
    std::vector<std::string> Comparable(std::vector<std::string> requests) const {
        if (settings.jobs > 1) std::sort(requests.begin(), requests.end());
        return requests;
    }

    // The log between the header and the completion report.
    std::string PictureLines() const {
        const std::size_t begin = ui.log.find("\r\n", ui.log.find("Destination folder:")) + 2;
        return ui.log.substr(begin, ui.log.rfind("\r\nEnd time:") - begin);
    }
    // The text of the last box shown: the completion report of a run.
    std::string FinishedText() const { return ui.boxes.empty() ? std::string() : ui.boxes.back().text; }

    Sandbox sandbox_;
    ScopedCwd cwd_;

protected:
    FakeServer server;
    Settings settings;
    RecordingFrontEnd ui;
    std::vector<std::chrono::system_clock::time_point> clock_times;
};

// Names of the entries of a directory, sorted.
inline std::vector<std::string> Entries(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace gathrix::test
