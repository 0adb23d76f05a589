#include "cli/options.h"

#include "download/settings.h"

namespace gathrix {

namespace {

ParsedOptions Error(std::string message) { return {std::nullopt, std::move(message)}; }

}  // namespace

ParsedOptions ParseCliOptions(const std::vector<std::string>& args) {
    CliOptions options;
    bool only_addresses = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (only_addresses || arg.empty() || arg.front() != '-' || arg == "-") {
            options.addresses.push_back(arg);
            continue;
        }
        if (arg == "--") {
            only_addresses = true;
        } else if (arg == "--help" || arg == "-h") {
            options.action = CliOptions::Action::Help;
        } else if (arg == "--version") {
            options.action = CliOptions::Action::Version;
        } else if (arg == "--check-update") {
            options.action = CliOptions::Action::CheckUpdate;
        } else if (arg == "--jobs" || arg == "-j" || arg.starts_with("--jobs=") || (arg.starts_with("-j") && arg.size() > 2)) {
            std::string value;
            if (arg == "--jobs" || arg == "-j") {
                if (i + 1 >= args.size()) return Error("option '" + arg + "' needs a number of transfers");
                value = args[++i];
            } else {
                value = arg.substr(arg.starts_with("--jobs=") ? 7 : 2);
            }
            options.jobs = ParseJobs(value);
            if (!options.jobs) {
                return Error("the number of transfers must be from 1 to " + std::to_string(kMaxJobs) + ", not '" +
                             value + "'");
            }
        } else {
            return Error("unknown option '" + arg + "'");
        }
    }
    if (options.action == CliOptions::Action::Download) {
        if (options.addresses.empty()) return Error("an album address is needed");
        if (options.addresses.size() > 1) return Error("too many arguments: '" + options.addresses[1] + "'");
    }
    return {options, {}};
}

}  // namespace gathrix
