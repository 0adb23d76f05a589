#include "cli/options.h"

#include "download/picture_names.h"
#include "download/settings.h"
#include "text/utf8.h"

namespace gathrix {

namespace {

ParsedOptions Error(std::string message) { return {std::nullopt, std::move(message)}; }

// The value of an option: the next argument for "-x VALUE" and "--long VALUE",
// or what follows "--long=" or "-x" in the same argument. nullopt when missing.
std::optional<std::string> Value(const std::vector<std::string>& args, std::size_t& i, const std::string& short_name,
                                 const std::string& long_name) {
    const std::string& arg = args[i];
    if (arg == short_name || arg == long_name) {
        if (i + 1 >= args.size()) return std::nullopt;
        return args[++i];
    }
    if (!long_name.empty() && arg.starts_with(long_name + "=")) return arg.substr(long_name.size() + 1);
    return arg.substr(short_name.size());
}

bool Matches(const std::string& arg, const std::string& short_name, const std::string& long_name) {
    return (!short_name.empty() && arg.starts_with(short_name)) || (!long_name.empty() && arg == long_name) ||
           (!long_name.empty() && arg.starts_with(long_name + "="));
}

}  // namespace

std::vector<std::string> AddressesFromList(const std::string& text) {
    std::vector<std::string> addresses;
    // A list saved by an editor that marks UTF-8 files with a byte-order mark.
    std::size_t start = text.starts_with("\xEF\xBB\xBF") ? 3 : 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.pop_back();
        const std::size_t first = line.find_first_not_of(" \t");
        if (first != std::string::npos && line[first] != '#') addresses.push_back(line.substr(first));
        start = end + 1;
    }
    return addresses;
}

std::string AlbumFolderName(const std::string& address, const std::function<bool(const std::string&)>& taken) {
    std::string path = address.substr(0, address.find_first_of("?#"));
    if (const std::size_t scheme = path.find("://"); scheme != std::string::npos) path = path.substr(scheme + 3);
    std::string segment;
    std::size_t end = path.size();
    while (end > 0 && segment.empty()) {
        const std::size_t slash = path.rfind('/', end - 1);
        const std::size_t begin = slash == std::string::npos ? 0 : slash + 1;
        segment = path.substr(begin, end - begin);
        end = slash == std::string::npos ? 0 : slash;
    }
    std::string name = SafeLocalName(segment);
    if (segment.empty() || name.find_first_not_of("._") == std::string::npos) name = "album";
    if (name.size() > 100) name = std::string(CutUtf8(name, 100));
    if (!taken(name)) return name;
    for (int n = 2;; ++n) {
        const std::string numbered = name + "-" + std::to_string(n);
        if (!taken(numbered)) return numbered;
    }
}

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
        } else if (arg == "--no-progress") {
            options.progress = false;
        } else if (arg == "--skip-existing" || arg == "-nc") {
            options.skip_existing = true;
        } else if (arg == "--continue" || arg == "-c") {
            options.resume = true;
            options.skip_existing = true;
        } else if (Matches(arg, "-j", "--jobs")) {
            const std::optional<std::string> value = Value(args, i, "-j", "--jobs");
            if (!value) return Error("option '" + arg + "' needs a number of transfers");
            options.jobs = ParseJobs(*value);
            if (!options.jobs) {
                return Error("the number of transfers must be from 1 to " + std::to_string(kMaxJobs) + ", not '" +
                             *value + "'");
            }
        } else if (Matches(arg, "", "--retries")) {
            const std::optional<std::string> value = Value(args, i, "", "--retries");
            if (!value) return Error("option '" + arg + "' needs a number of retries");
            const std::optional<int> retries = ParseNumber(*value, 0, 100);
            if (!retries) return Error("the number of retries must be from 0 to 100, not '" + *value + "'");
            options.retries = *retries;
        } else if (Matches(arg, "-i", "--input-file")) {
            const std::optional<std::string> value = Value(args, i, "-i", "--input-file");
            if (!value || value->empty()) return Error("option '" + arg + "' needs a file of addresses");
            options.input_files.push_back(*value);
        } else if (Matches(arg, "-P", "--directory")) {
            const std::optional<std::string> value = Value(args, i, "-P", "--directory");
            if (!value || value->empty()) return Error("option '" + arg + "' needs a directory");
            options.directory = *value;
        } else {
            return Error("unknown option '" + arg + "'");
        }
    }
    if (options.action == CliOptions::Action::Download && options.addresses.empty() && options.input_files.empty()) {
        return Error("an album address is needed");
    }
    return {options, {}};
}

}  // namespace gathrix
