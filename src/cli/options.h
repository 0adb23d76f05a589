#pragma once
// The command line of gathrix-cli, taken apart.

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace gathrix {

struct CliOptions {
    enum class Action { Download, CheckUpdate, Version, Help, ShowRecord };
    Action action = Action::Download;
    std::vector<std::string> addresses;    // from the arguments, then from the -i files
    std::vector<std::string> input_files;  // -i FILE ("-" for stdin)
    std::optional<int> jobs;               // --jobs N / -j N
    int retries = 0;                       // --retries N
    bool progress = true;                  // --no-progress turns the display off
    bool quiet = false;                    // --quiet / -q: no log on stdout, no display
    std::optional<std::string> directory;  // -P DIR / --directory DIR
    bool skip_existing = false;            // --skip-existing / -nc (--no-skip-existing: off)
    bool resume = false;                   // --continue / -c, implies skip_existing (--no-continue: off)
    bool update = false;                   // --update / -N, implies skip_existing
    bool verify = false;                   // --verify
    bool overwrite = false;                // --overwrite
    bool no_config = false;                // --no-config
    bool remote_time = false;              // --remote-time / -R
    std::optional<std::string> cookies;    // --cookies FILE
    std::optional<std::string> jar;        // --cookie-jar FILE
    std::optional<std::string> cacert;     // --cacert FILE
    int max_time = 0;                      // --max-time SECONDS (0: no cap)
    std::int64_t limit_rate = 0;           // --limit-rate RATE, bytes a second (0: no limit)
    std::chrono::milliseconds wait{0};     // --wait SECONDS between pictures
    // --timeout SECONDS (else GATHRIX_REQUEST_TIMEOUT)
    std::optional<std::chrono::milliseconds> timeout;
    std::optional<std::string> flickr_api_key;  // --flickr-api-key KEY (else GATHRIX_FLICKR_API_KEY)
    bool write_metadata = false;                // --write-metadata
};

// The addresses in an address list: one per line, blank lines and lines that
// start with "#" skipped, blanks around an address removed. A UTF-8 byte-order
// mark at the start of the list is passed over.
std::vector<std::string> AddressesFromList(const std::string& text);

// The folder for one of several albums: the last non-empty path segment of its
// address (query and fragment left out), made safe as a file name and cut to
// at most 100 bytes without splitting a UTF-8 character, with "-2",
// "-3", ... appended while taken(name) says that name is in use.
std::string AlbumFolderName(const std::string& address, const std::function<bool(const std::string&)>& taken);

struct ParsedOptions {
    std::optional<CliOptions> options;  // nullopt on a usage error
    std::string error;                  // what was wrong, naming the argument
};

// Long options may be shortened to any prefix that names only one of them
// ("--job 4", "--dir=X"); a prefix of several is an error that lists them,
// and an unknown one close to a known one names that one ("did you mean").
// need_address: an argument list without any address (or -i) is an error.
ParsedOptions ParseCliOptions(const std::vector<std::string>& args, bool need_address = true);

// Where the configuration file is: $XDG_CONFIG_HOME/gathrix/gathrix-cli.conf
// (XDG_CONFIG_HOME when it is an absolute path), else
// $HOME/.config/gathrix/gathrix-cli.conf; empty when neither is known.
std::string ConfigFilePath();

// The options of a configuration file as command-line arguments. The file
// holds long options, one a line, as "name", "name value" or "name = value"
// (with or without the leading "--"; a value may stand in double quotes);
// blank lines and lines starting with "#" are skipped, and so is a "#" after
// a blank and what follows it. A value starting with "~/" is below $HOME.
// A value is always the option's own, even when it starts with "-"; an
// option that takes none given one is an error. --help, --version,
// --check-update and --no-config have no place there. error names the first
// bad line, as "FILE:LINE: what is wrong", and then args is empty.
struct ConfigArguments {
    std::vector<std::string> args;
    std::string error;
};
ConfigArguments ArgumentsFromConfig(const std::string& text, const std::string& file);

// The long option (its whole name, without "--") that one line of a
// configuration file sets, or empty for a blank line, a comment, or a line
// that names no single option. For a program that rewrites some options of
// the file and keeps every other line as it is.
std::string ConfigLineOption(const std::string& line);

}  // namespace gathrix
