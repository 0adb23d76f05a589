#pragma once
// The command line of gathrix-cli, taken apart.

#include <optional>
#include <string>
#include <vector>

namespace gathrix {

struct CliOptions {
    enum class Action { Download, CheckUpdate, Version, Help };
    Action action = Action::Download;
    std::vector<std::string> addresses;
    std::optional<int> jobs;  // --jobs N / -j N
};

struct ParsedOptions {
    std::optional<CliOptions> options;  // nullopt on a usage error
    std::string error;                  // what was wrong, naming the argument
};

ParsedOptions ParseCliOptions(const std::vector<std::string>& args);

}  // namespace gathrix
