#include "cli/options.h"

#include <algorithm>
#include <cstdlib>
#include <string_view>

#include "download/picture_names.h"
#include "download/settings.h"
#include "text/utf8.h"

namespace gathrix {

namespace {

ParsedOptions Error(std::string message) { return {std::nullopt, std::move(message)}; }

// The long options; those with a value take it from "--name=VALUE" or the
// next argument.
struct LongOption {
    std::string_view name;
    bool takes_value;
};

// clang-format off
constexpr LongOption kLongOptions[] = {
    {"help", false},
    {"version", false},
    {"check-update", false},
    {"quiet", false},
    {"no-progress", false},
    {"continue", false},
    {"no-continue", false},
    {"skip-existing", false},
    {"no-skip-existing", false},
    {"remote-time", false},
    {"jobs", true},
    {"retries", true},
    {"timeout", true},
    {"max-time", true},
    {"limit-rate", true},
    {"wait", true},
    {"input-file", true},
    {"directory", true},
    {"no-config", false},
    {"cookies", true},
    {"cookie-jar", true},
    {"cacert", true},
};
// clang-format on

// The long options that typed names: the one it spells out, or all those it
// begins, in alphabetical order.
std::vector<const LongOption*> LongOptionsNamed(std::string_view typed) {
    std::vector<const LongOption*> found;
    if (typed.empty()) return found;
    for (const LongOption& option : kLongOptions) {
        if (option.name == typed) return {&option};
        if (option.name.starts_with(typed)) found.push_back(&option);
    }
    std::sort(found.begin(), found.end(), [](const LongOption* a, const LongOption* b) { return a->name < b->name; });
    return found;
}

// How many single-character edits (insert, delete, replace, swap two
// neighbours) make a into b.
std::size_t EditDistance(std::string_view a, std::string_view b) {
    std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
    for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
    for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t replace = d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1);
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, replace});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
            }
        }
    }
    return d[a.size()][b.size()];
}

// The known long option that a mistyped name is closest to: at most two
// edits, and at most one for every three characters typed; none otherwise.
std::optional<std::string_view> ClosestLongOption(std::string_view typed) {
    std::optional<std::string_view> best;
    std::size_t best_distance = 3;
    for (const LongOption& option : kLongOptions) {
        const std::size_t distance = EditDistance(typed, option.name);
        if (distance < best_distance && distance * 3 <= typed.size()) {
            best = option.name;
            best_distance = distance;
        }
    }
    return best;
}

// The short options, each the same as a long one; -j, -i and -P take their
// value from the rest of the argument or the next one.
struct ShortOption {
    std::string_view name;
    std::string_view long_name;
};

// clang-format off
constexpr ShortOption kShortOptions[] = {
    {"-h", "help"},
    {"-q", "quiet"},
    {"-c", "continue"},
    {"-nc", "skip-existing"},
    {"-R", "remote-time"},
};
// clang-format on

constexpr ShortOption kShortOptionsWithValue[] = {
    {"-j", "jobs"},
    {"-i", "input-file"},
    {"-P", "directory"},
};

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

ParsedOptions ParseCliOptions(const std::vector<std::string>& args, bool need_address) {
    CliOptions options;
    bool only_addresses = false;
    // --skip-existing as given; --continue implies it on top.
    bool skip_existing = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (only_addresses || arg.empty() || arg.front() != '-' || arg == "-") {
            options.addresses.push_back(arg);
            continue;
        }
        if (arg == "--") {
            only_addresses = true;
            continue;
        }
        // The option's long name, and its value when it takes one (nullopt
        // when missing).
        std::string_view name;
        std::optional<std::string> value;
        if (arg.starts_with("--")) {
            const std::size_t equals = arg.find('=');
            const std::string typed = arg.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
            const std::vector<const LongOption*> found = LongOptionsNamed(typed);
            if (found.empty()) {
                const std::optional<std::string_view> closest = ClosestLongOption(typed);
                if (!closest) return Error("unknown option '" + arg + "'");
                return Error("unknown option '" + arg + "'; did you mean '--" + std::string(*closest) + "'?");
            }
            if (found.size() > 1) {
                std::string message = "option '--" + typed + "' is ambiguous; possibilities:";
                for (const LongOption* option : found) message += " '--" + std::string(option->name) + "'";
                return Error(message);
            }
            name = found.front()->name;
            if (equals != std::string::npos) {
                if (!found.front()->takes_value) {
                    return Error("option '--" + std::string(name) + "' doesn't allow an argument");
                }
                value = arg.substr(equals + 1);
            } else if (found.front()->takes_value && i + 1 < args.size()) {
                value = args[++i];
            }
        } else {
            for (const ShortOption& option : kShortOptions) {
                if (arg == option.name) name = option.long_name;
            }
            for (const ShortOption& option : kShortOptionsWithValue) {
                if (!arg.starts_with(option.name)) continue;
                name = option.long_name;
                if (arg.size() > option.name.size()) {
                    value = arg.substr(option.name.size());
                } else if (i + 1 < args.size()) {
                    value = args[++i];
                }
            }
            if (name.empty()) return Error("unknown option '" + arg + "'");
        }

        if (name == "help") {
            options.action = CliOptions::Action::Help;
        } else if (name == "version") {
            options.action = CliOptions::Action::Version;
        } else if (name == "check-update") {
            options.action = CliOptions::Action::CheckUpdate;
        } else if (name == "quiet") {
            options.quiet = true;
        } else if (name == "no-config") {
            options.no_config = true;
        } else if (name == "no-progress") {
            options.progress = false;
        } else if (name == "skip-existing" || name == "no-skip-existing") {
            skip_existing = name == "skip-existing";
        } else if (name == "continue" || name == "no-continue") {
            options.resume = name == "continue";
        } else if (name == "remote-time") {
            options.remote_time = true;
        } else if (name == "cookies") {
            if (!value || value->empty()) return Error("option '" + arg + "' needs a cookie file");
            options.cookies = *value;
        } else if (name == "cookie-jar") {
            if (!value || value->empty()) return Error("option '" + arg + "' needs a file to write the cookies to");
            options.jar = *value;
        } else if (name == "cacert") {
            if (!value || value->empty()) return Error("option '" + arg + "' needs a certificate file");
            options.cacert = *value;
        } else if (name == "jobs") {
            if (!value) return Error("option '" + arg + "' needs a number of transfers");
            options.jobs = ParseJobs(*value);
            if (!options.jobs) {
                return Error("the number of transfers must be from 1 to " + std::to_string(kMaxJobs) + ", not '" +
                             *value + "'");
            }
        } else if (name == "retries") {
            if (!value) return Error("option '" + arg + "' needs a number of retries");
            const std::optional<int> retries = ParseNumber(*value, 0, 100);
            if (!retries) return Error("the number of retries must be from 0 to 100, not '" + *value + "'");
            options.retries = *retries;
        } else if (name == "timeout" || name == "max-time" || name == "wait") {
            if (!value) return Error("option '" + arg + "' needs a number of seconds");
            // Up to a day; a wait may be none at all. The time limit and the
            // wait may have a fraction ("1.5").
            const int low = name == "wait" ? 0 : 1;
            const std::optional<std::chrono::milliseconds> seconds =
                name == "max-time" ? std::nullopt : ParseSeconds(*value, low, 24 * 60 * 60);
            const std::optional<int> whole = name == "max-time" ? ParseNumber(*value, low, 24 * 60 * 60) : std::nullopt;
            if (!seconds && !whole) {
                return Error("the seconds of '--" + std::string(name) + "' must be from " + std::to_string(low) +
                             " to 86400, not '" + *value + "'");
            }
            if (name == "timeout") options.timeout = *seconds;
            if (name == "max-time") options.max_time = *whole;
            if (name == "wait") options.wait = *seconds;
        } else if (name == "limit-rate") {
            if (!value) return Error("option '" + arg + "' needs a rate in bytes a second");
            const std::optional<std::int64_t> rate = ParseRate(*value);
            if (!rate) {
                return Error("the rate must be a number of bytes a second, perhaps with k, m or g after it, not '" +
                             *value + "'");
            }
            options.limit_rate = *rate;
        } else if (name == "input-file") {
            if (!value || value->empty()) return Error("option '" + arg + "' needs a file of addresses");
            options.input_files.push_back(*value);
        } else if (name == "directory") {
            if (!value || value->empty()) return Error("option '" + arg + "' needs a directory");
            options.directory = *value;
        }
    }
    options.skip_existing = skip_existing || options.resume;
    if (need_address && options.action == CliOptions::Action::Download && options.addresses.empty() &&
        options.input_files.empty()) {
        return Error("an album address is needed");
    }
    return {options, {}};
}

std::string ConfigFilePath() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config != nullptr && config[0] == '/') return std::string(config) + "/gathrix/gathrix-cli.conf";
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] != '\0') return std::string(home) + "/.config/gathrix/gathrix-cli.conf";
    return {};
}

ConfigArguments ArgumentsFromConfig(const std::string& text, const std::string& file) {
    ConfigArguments config;
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    const auto trim = [&blank](std::string_view& part) {
        while (!part.empty() && blank(part.front())) part.remove_prefix(1);
        while (!part.empty() && blank(part.back())) part.remove_suffix(1);
    };
    // What is left of part once a comment ("#" at its start or after a blank) is cut off.
    const auto uncommented = [&blank, &trim](std::string_view part) {
        for (std::size_t i = 0; i < part.size(); ++i) {
            if (part[i] == '#' && (i == 0 || blank(part[i - 1]))) {
                part = part.substr(0, i);
                break;
            }
        }
        trim(part);
        return part;
    };
    std::size_t start = text.starts_with("\xEF\xBB\xBF") ? 3 : 0;
    for (int number = 1; start <= text.size(); ++number) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string_view line = std::string_view(text).substr(start, end - start);
        start = end + 1;
        trim(line);
        if (line.empty() || line.front() == '#') continue;

        auto bad = [&](const std::string& what) {
            config.args.clear();
            config.error = file + ":" + std::to_string(number) + ": " + what;
            return config;
        };
        if (line.starts_with("--")) line.remove_prefix(2);
        const std::size_t name_end = std::min(line.find_first_of(" \t="), line.size());
        const std::string name(line.substr(0, name_end));
        std::string_view value = line.substr(name_end);
        trim(value);
        const bool has_equals = !value.empty() && value.front() == '=';
        if (has_equals) value.remove_prefix(1);
        trim(value);
        // A value in double quotes is taken as it stands, "#" and all.
        const std::size_t closing = value.starts_with('"') ? value.find('"', 1) : std::string_view::npos;
        if (closing != std::string_view::npos && uncommented(value.substr(closing + 1)).empty()) {
            value = value.substr(1, closing - 1);
        } else {
            value = uncommented(value);
        }
        if (name.empty() || name.front() == '-') return bad("not an option: '" + std::string(line) + "'");

        std::string own_value(value);
        if (own_value.starts_with("~/")) {
            const char* home = std::getenv("HOME");
            if (home != nullptr && home[0] == '/') own_value = std::string(home) + own_value.substr(1);
        }
        std::vector<std::string> args{"--" + name};
        const std::vector<const LongOption*> found = LongOptionsNamed(name);
        if (found.size() == 1 && !own_value.empty()) {
            if (!found.front()->takes_value) {
                return bad("option '--" + std::string(found.front()->name) + "' doesn't allow an argument");
            }
            // After "=", a value that starts with "-" is not read as an option.
            args.front() += "=" + own_value;
        }
        const ParsedOptions parsed = ParseCliOptions(args, false);
        if (!parsed.options) return bad(parsed.error);
        const CliOptions& options = *parsed.options;
        if (options.action != CliOptions::Action::Download || options.no_config) {
            return bad("option '--" + name + "' has no place in the configuration file");
        }
        config.args.insert(config.args.end(), args.begin(), args.end());
    }
    return config;
}

}  // namespace gathrix
