#pragma once
// Run events recorded in order, with the log text kept the way the window
// would show it.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "download/log_format.h"
#include "events/run_events.h"

namespace gathrix::test {

struct Box {
    std::string text;
    std::string title;
    BoxIcon icon;
};

class RecordingFrontEnd : public RunEvents {
public:
    std::string address;  // what the user typed

    std::string log;                  // the log text now
    std::vector<std::string> events;  // every event, in order (see the methods)
    std::vector<std::string> labels;  // every progress caption, in order
    std::vector<Box> boxes;
    std::vector<std::filesystem::path> opened_folders;  // albums finished with pictures
    int started_count = 0;
    int progress_count = 0;
    bool ended = false;
    std::function<void()> on_progress;  // runs inside Progress, like a click on Exit

    void RunStarted() override {
        ++started_count;
        events.push_back("started");
    }
    void LogReplaced(std::string_view text) override {
        log = std::string(text);
        events.push_back("replace:" + std::string(text));
    }
    void LogAppended(std::string_view piece) override {
        log += piece;
        events.push_back("append:" + std::string(piece));
    }
    void LogCleared() override {
        log.clear();
        events.push_back("clear");
    }
    void PicturesStored(std::int64_t count) override {
        labels.push_back(ProgressCaption(count));
        events.push_back("label:" + labels.back());
    }
    void Message(std::string_view text, std::string_view title, BoxIcon icon) override {
        boxes.push_back({std::string(text), std::string(title), icon});
        events.push_back("box:" + std::string(text));
    }
    void Progress(const TransferProgress& /*progress*/) override {
        ++progress_count;
        if (on_progress) on_progress();
    }
    void AlbumFinished(std::int64_t count, const std::filesystem::path& folder) override {
        if (count > 0) opened_folders.push_back(folder);
        events.push_back("finished:" + folder.string());
    }
    void RunEnded() override {
        ended = true;
        events.push_back("end");
    }
};

}  // namespace gathrix::test
