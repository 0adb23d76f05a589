#pragma once
// A front end that records everything the engine does to it, in order, and
// keeps the log text the way Text1 would show it.

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "download/frontend.h"

namespace gathrix::test {

struct Box {
    std::string text;
    std::string title;
    BoxIcon icon;
};

class RecordingFrontEnd : public FrontEnd {
public:
    std::string address;  // what the user typed into Text1

    std::string log;                  // the text Text1 shows now
    std::vector<std::string> events;  // every call, in order (see the methods)
    std::vector<std::string> labels;  // every Label1 caption, in order
    std::vector<Box> boxes;
    std::vector<std::filesystem::path> opened_folders;
    int focus_count = 0;
    int disable_count = 0;
    int pump_count = 0;
    bool ended = false;
    std::function<void()> on_pump;  // runs inside PumpEvents, like a click on Exit

    std::string AddressText() override {
        events.push_back("address");
        return address;
    }
    void ReplaceLog(std::string_view text) override {
        log = std::string(text);
        events.push_back("replace:" + std::string(text));
    }
    void AppendLog(std::string_view piece) override {
        log += piece;
        events.push_back("append:" + std::string(piece));
    }
    void ClearLog() override {
        log.clear();
        events.push_back("clear");
    }
    void SetLabel(std::string_view caption) override {
        labels.emplace_back(caption);
        events.push_back("label:" + std::string(caption));
    }
    void FocusAddress() override {
        ++focus_count;
        events.push_back("focus");
    }
    void DisableButtons() override {
        ++disable_count;
        events.push_back("disable");
    }
    void MessageBox(std::string_view text, std::string_view title, BoxIcon icon) override {
        boxes.push_back({std::string(text), std::string(title), icon});
        events.push_back("box:" + std::string(text));
    }
    void PumpEvents() override {
        ++pump_count;
        if (on_pump) on_pump();
    }
    void OpenFolder(const std::filesystem::path& folder) override {
        opened_folders.push_back(folder);
        events.push_back("open:" + folder.string());
    }
    void EndProgram() override {
        ended = true;
        events.push_back("end");
    }
};

}  // namespace gathrix::test
