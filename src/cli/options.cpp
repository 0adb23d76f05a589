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

// What an option's value is, and so how it is taken and checked.
enum class ValueKind {
    Flag,          // none
    Count,         // a whole number from low to high
    Seconds,       // seconds from low to high, perhaps with a fraction
    WholeSeconds,  // whole seconds from low to high
    Rate,          // bytes a second, perhaps with k, m or g after it
    Path,          // a file or directory name, never empty
};

enum class OptionId {
    Help,
    Version,
    CheckUpdate,
    Quiet,
    NoProgress,
    Continue,
    NoContinue,
    SkipExisting,
    NoSkipExisting,
    Update,
    Verify,
    Overwrite,
    ShowRecord,
    RemoteTime,
    Jobs,
    Retries,
    Timeout,
    MaxTime,
    LimitRate,
    Wait,
    InputFile,
    Directory,
    NoConfig,
    Cookies,
    CookieJar,
    CaCert,
    FlickrApiKey,
    WriteMetadata,
};

// An option: its long name, its short one if any, and its value. A long
// option with a value takes it from "--name=VALUE" or the next argument; a
// short one from the rest of the argument ("-j4") or the next one, and a short
// one without a value stands alone ("-nc", never bundled with others).
struct Option {
    std::string_view name;
    std::string_view short_name;
    OptionId id;
    ValueKind kind;
    // What a Count counts ("transfers"), or what a Path names ("a directory"),
    // for the messages about its value.
    std::string_view what = {};
    int low = 0;
    int high = 0;
};

// Times go up to a day; a wait may be none at all. The time limit and the
// wait may have a fraction ("1.5"), the cap on a whole request not.
constexpr int kDay = 24 * 60 * 60;

// In this order a mistyped name is matched ("did you mean"): the first of
// equally close ones wins.
// clang-format off
constexpr Option kOptions[] = {
    {"help",             "-h",  OptionId::Help,           ValueKind::Flag},
    {"version",          "",    OptionId::Version,        ValueKind::Flag},
    {"check-update",     "",    OptionId::CheckUpdate,    ValueKind::Flag},
    {"quiet",            "-q",  OptionId::Quiet,          ValueKind::Flag},
    {"no-progress",      "",    OptionId::NoProgress,     ValueKind::Flag},
    {"continue",         "-c",  OptionId::Continue,       ValueKind::Flag},
    {"no-continue",      "",    OptionId::NoContinue,     ValueKind::Flag},
    {"skip-existing",    "-nc", OptionId::SkipExisting,   ValueKind::Flag},
    {"no-skip-existing", "",    OptionId::NoSkipExisting, ValueKind::Flag},
    {"update",           "-N",  OptionId::Update,         ValueKind::Flag},
    {"verify",           "",    OptionId::Verify,         ValueKind::Flag},
    {"overwrite",        "",    OptionId::Overwrite,      ValueKind::Flag},
    {"show-record",      "",    OptionId::ShowRecord,     ValueKind::Flag},
    {"remote-time",      "-R",  OptionId::RemoteTime,     ValueKind::Flag},
    {"jobs",             "-j",  OptionId::Jobs,           ValueKind::Count,        "transfers", 1, kMaxJobs},
    {"retries",          "",    OptionId::Retries,        ValueKind::Count,        "retries", 0, 100},
    {"timeout",          "",    OptionId::Timeout,        ValueKind::Seconds,      {}, 1, kDay},
    {"max-time",         "",    OptionId::MaxTime,        ValueKind::WholeSeconds, {}, 1, kDay},
    {"limit-rate",       "",    OptionId::LimitRate,      ValueKind::Rate},
    {"wait",             "",    OptionId::Wait,           ValueKind::Seconds,      {}, 0, kDay},
    {"input-file",       "-i",  OptionId::InputFile,      ValueKind::Path,         "a file of addresses"},
    {"directory",        "-P",  OptionId::Directory,      ValueKind::Path,         "a directory"},
    {"no-config",        "",    OptionId::NoConfig,       ValueKind::Flag},
    {"cookies",          "",    OptionId::Cookies,        ValueKind::Path,         "a cookie file"},
    {"cookie-jar",       "",    OptionId::CookieJar,      ValueKind::Path,         "a file to write the cookies to"},
    {"cacert",           "",    OptionId::CaCert,         ValueKind::Path,         "a certificate file"},
    {"flickr-api-key",   "",    OptionId::FlickrApiKey,   ValueKind::Path,         "a Flickr API key"},
    {"write-metadata",   "",    OptionId::WriteMetadata,  ValueKind::Flag},
};
// clang-format on

std::vector<const Option*> LongOptionsNamed(std::string_view typed) {
    std::vector<const Option*> found;
    if (typed.empty()) return found;
    for (const Option& option : kOptions) {
        if (option.name == typed) return {&option};
        if (option.name.starts_with(typed)) found.push_back(&option);
    }
    std::sort(found.begin(), found.end(), [](const Option* a, const Option* b) { return a->name < b->name; });
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
    for (const Option& option : kOptions) {
        // Names that differ in length by more than the edits allowed are
        // never close; a long argument costs no table of its size squared.
        const std::size_t longer = std::max(typed.size(), option.name.size());
        if (longer - std::min(typed.size(), option.name.size()) >= best_distance) continue;
        const std::size_t distance = EditDistance(typed, option.name);
        if (distance < best_distance && distance * 3 <= typed.size()) {
            best = option.name;
            best_distance = distance;
        }
    }
    return best;
}

// An option as typed: what it is, and its value as given (nullopt when
// missing), or the error that it is no option at all.
struct TypedOption {
    const Option* option = nullptr;
    std::optional<std::string> value = std::nullopt;
    std::string error = {};
};

// The long option args[i] names; a value after it moves i on.
TypedOption LongOptionAt(const std::vector<std::string>& args, std::size_t& i) {
    const std::string& arg = args[i];
    const std::size_t equals = arg.find('=');
    const std::string typed = arg.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
    const std::vector<const Option*> found = LongOptionsNamed(typed);
    if (found.empty()) {
        const std::optional<std::string_view> closest = ClosestLongOption(typed);
        if (!closest) return {.error = "unknown option '" + arg + "'"};
        return {.error = "unknown option '" + arg + "'; did you mean '--" + std::string(*closest) + "'?"};
    }
    if (found.size() > 1) {
        std::string message = "option '--" + typed + "' is ambiguous; possibilities:";
        for (const Option* option : found) message += " '--" + std::string(option->name) + "'";
        return {.error = message};
    }
    const Option& option = *found.front();
    if (equals != std::string::npos) {
        if (option.kind == ValueKind::Flag) {
            return {.error = "option '--" + std::string(option.name) + "' doesn't allow an argument"};
        }
        return {&option, arg.substr(equals + 1)};
    }
    if (option.kind != ValueKind::Flag && i + 1 < args.size()) return {&option, args[++i]};
    return {&option};
}

// The short option args[i] is; a value in the next argument moves i on.
TypedOption ShortOptionAt(const std::vector<std::string>& args, std::size_t& i) {
    const std::string& arg = args[i];
    for (const Option& option : kOptions) {
        if (option.short_name.empty()) continue;
        if (option.kind == ValueKind::Flag) {
            if (arg == option.short_name) return {&option};
            continue;
        }
        if (!arg.starts_with(option.short_name)) continue;
        if (arg.size() > option.short_name.size()) return {&option, arg.substr(option.short_name.size())};
        if (i + 1 < args.size()) return {&option, args[++i]};
        return {&option};
    }
    return {.error = "unknown option '" + arg + "'"};
}

// An option's value, read as its kind says.
struct OptionValue {
    int number = 0;                        // Count, WholeSeconds
    std::chrono::milliseconds seconds{0};  // Seconds
    std::int64_t rate = 0;                 // Rate
    std::string path;                      // Path
};

// Reads typed's value into value: an empty string, or the error that names
// arg (the argument as given) or what is wrong with the value.
std::string ReadValue(const TypedOption& typed, const std::string& arg, OptionValue& value) {
    const Option& option = *typed.option;
    const std::string needs = "option '" + arg + "' needs ";
    const std::string range = std::to_string(option.low) + " to " + std::to_string(option.high);
    const std::optional<std::string>& text = typed.value;
    switch (option.kind) {
        case ValueKind::Flag:
            return {};
        case ValueKind::Count:
            if (!text) return needs + "a number of " + std::string(option.what);
            if (const std::optional<int> number = ParseNumber(*text, option.low, option.high)) {
                value.number = *number;
                return {};
            }
            return "the number of " + std::string(option.what) + " must be from " + range + ", not '" + *text + "'";
        case ValueKind::Seconds:
        case ValueKind::WholeSeconds:
            if (!text) return needs + "a number of seconds";
            if (option.kind == ValueKind::WholeSeconds) {
                if (const std::optional<int> number = ParseNumber(*text, option.low, option.high)) {
                    value.number = *number;
                    return {};
                }
            } else if (const std::optional<std::chrono::milliseconds> seconds =
                           ParseSeconds(*text, option.low, option.high)) {
                value.seconds = *seconds;
                return {};
            }
            return "the seconds of '--" + std::string(option.name) + "' must be from " + range + ", not '" + *text +
                   "'";
        case ValueKind::Rate:
            if (!text) return needs + "a rate in bytes a second";
            if (const std::optional<std::int64_t> rate = ParseRate(*text)) {
                value.rate = *rate;
                return {};
            }
            return "the rate must be a number of bytes a second, perhaps with k, m or g after it, not '" + *text + "'";
        case ValueKind::Path:
            if (!text || text->empty()) return needs + std::string(option.what);
            value.path = *text;
            return {};
    }
    return {};
}

// What an option does to the options. skip_existing is --skip-existing as
// given, before --continue adds its own.
void Apply(OptionId id, OptionValue value, CliOptions& options, bool& skip_existing) {
    // One line per option, kept as a table.
    // clang-format off
    switch (id) {
        case OptionId::Help: options.action = CliOptions::Action::Help; return;
        case OptionId::Version: options.action = CliOptions::Action::Version; return;
        case OptionId::CheckUpdate: options.action = CliOptions::Action::CheckUpdate; return;
        case OptionId::Quiet: options.quiet = true; return;
        case OptionId::NoProgress: options.progress = false; return;
        case OptionId::Continue: options.resume = true; return;
        case OptionId::NoContinue: options.resume = false; return;
        case OptionId::SkipExisting: skip_existing = true; return;
        case OptionId::NoSkipExisting: skip_existing = false; return;
        case OptionId::Update: options.update = true; return;
        case OptionId::Verify: options.verify = true; return;
        case OptionId::Overwrite: options.overwrite = true; return;
        case OptionId::ShowRecord: options.action = CliOptions::Action::ShowRecord; return;
        case OptionId::RemoteTime: options.remote_time = true; return;
        case OptionId::Jobs: options.jobs = value.number; return;
        case OptionId::Retries: options.retries = value.number; return;
        case OptionId::Timeout: options.timeout = value.seconds; return;
        case OptionId::MaxTime: options.max_time = value.number; return;
        case OptionId::LimitRate: options.limit_rate = value.rate; return;
        case OptionId::Wait: options.wait = value.seconds; return;
        case OptionId::InputFile: options.input_files.push_back(std::move(value.path)); return;
        case OptionId::Directory: options.directory = std::move(value.path); return;
        case OptionId::NoConfig: options.no_config = true; return;
        case OptionId::Cookies: options.cookies = std::move(value.path); return;
        case OptionId::CookieJar: options.jar = std::move(value.path); return;
        case OptionId::CaCert: options.cacert = std::move(value.path); return;
        case OptionId::FlickrApiKey: options.flickr_api_key = std::move(value.path); return;
        case OptionId::WriteMetadata: options.write_metadata = true; return;
    }
    // clang-format on
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
        const TypedOption typed = arg.starts_with("--") ? LongOptionAt(args, i) : ShortOptionAt(args, i);
        if (!typed.option) return Error(typed.error);
        OptionValue value;
        if (std::string error = ReadValue(typed, arg, value); !error.empty()) return Error(std::move(error));
        Apply(typed.option->id, std::move(value), options, skip_existing);
    }
    options.skip_existing = skip_existing || options.resume || options.update;
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

namespace {

// Blanks around the parts of a configuration line; CR of a CR LF line end too.
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

void TrimInPlace(std::string_view& part) {
    while (!part.empty() && IsBlank(part.front())) part.remove_prefix(1);
    while (!part.empty() && IsBlank(part.back())) part.remove_suffix(1);
}

// What is left of part once a comment ("#" at its start or after a blank) is
// cut off, without blanks around it.
std::string_view Uncommented(std::string_view part) {
    for (std::size_t i = 0; i < part.size(); ++i) {
        if (part[i] == '#' && (i == 0 || IsBlank(part[i - 1]))) {
            part = part.substr(0, i);
            break;
        }
    }
    TrimInPlace(part);
    return part;
}

// The value of a configuration line, after its name: "= VALUE" or "VALUE",
// a value in double quotes taken as it stands ("#" and all), and "~/" at its
// start below $HOME.
std::string ConfigValue(std::string_view value) {
    TrimInPlace(value);
    if (!value.empty() && value.front() == '=') value.remove_prefix(1);
    TrimInPlace(value);
    const std::size_t closing = value.starts_with('"') ? value.find('"', 1) : std::string_view::npos;
    if (closing != std::string_view::npos && Uncommented(value.substr(closing + 1)).empty()) {
        value = value.substr(1, closing - 1);
    } else {
        value = Uncommented(value);
    }
    std::string own_value(value);
    if (own_value.starts_with("~/")) {
        const char* home = std::getenv("HOME");
        if (home != nullptr && home[0] == '/') own_value = std::string(home) + own_value.substr(1);
    }
    return own_value;
}

// The arguments that one line of the configuration file (without blanks
// around it, no comment) stands for, added to args; or what is wrong with it.
std::string ConfigLineArguments(std::string_view line, std::vector<std::string>& args) {
    if (line.starts_with("--")) line.remove_prefix(2);
    const std::size_t name_end = std::min(line.find_first_of(" \t="), line.size());
    const std::string name(line.substr(0, name_end));
    const std::string value = ConfigValue(line.substr(name_end));
    if (name.empty() || name.front() == '-') return "not an option: '" + std::string(line) + "'";

    std::vector<std::string> own_args{"--" + name};
    const std::vector<const Option*> found = LongOptionsNamed(name);
    if (found.size() == 1 && !value.empty()) {
        if (found.front()->kind == ValueKind::Flag) {
            return "option '--" + std::string(found.front()->name) + "' doesn't allow an argument";
        }
        // After "=", a value that starts with "-" is not read as an option.
        own_args.front() += "=" + value;
    }
    const ParsedOptions parsed = ParseCliOptions(own_args, false);
    if (!parsed.options) return parsed.error;
    if (parsed.options->action != CliOptions::Action::Download || parsed.options->no_config) {
        return "option '--" + name + "' has no place in the configuration file";
    }
    args.insert(args.end(), own_args.begin(), own_args.end());
    return {};
}

}  // namespace

ConfigArguments ArgumentsFromConfig(const std::string& text, const std::string& file) {
    ConfigArguments config;
    std::size_t start = text.starts_with("\xEF\xBB\xBF") ? 3 : 0;
    for (int number = 1; start <= text.size(); ++number) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string_view line = std::string_view(text).substr(start, end - start);
        start = end + 1;
        TrimInPlace(line);
        if (line.empty() || line.front() == '#') continue;
        if (const std::string error = ConfigLineArguments(line, config.args); !error.empty()) {
            config.args.clear();
            config.error = file + ":" + std::to_string(number) + ": " + error;
            return config;
        }
    }
    return config;
}

std::string ConfigLineOption(const std::string& text) {
    std::string_view line(text);
    TrimInPlace(line);
    if (line.empty() || line.front() == '#') return {};
    if (line.starts_with("--")) line.remove_prefix(2);
    const std::string_view name = line.substr(0, std::min(line.find_first_of(" \t="), line.size()));
    const std::vector<const Option*> found = LongOptionsNamed(name);
    return found.size() == 1 ? std::string(found.front()->name) : std::string();
}

}  // namespace gathrix
