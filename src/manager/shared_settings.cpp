#include "manager/shared_settings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "cli/failure_text.h"
#include "cli/options.h"

namespace gathrix::manager {

namespace {

// The options of the file the manager sets, in the order new lines are added.
constexpr const char* kSharedOptions[] = {"jobs",    "retries",        "limit-rate",    "wait",
                                          "cookies", "flickr-api-key", "write-metadata"};

// The line of option for settings, or empty when it is at its default.
std::string LineOf(const std::string& option, const SharedSettings& settings) {
    if (option == "jobs" && settings.jobs) return "jobs = " + std::to_string(*settings.jobs);
    if (option == "retries" && settings.retries > 0) return "retries = " + std::to_string(settings.retries);
    if (option == "limit-rate" && settings.limit_rate > 0) return "limit-rate = " + std::to_string(settings.limit_rate);
    if (option == "wait" && settings.wait.count() > 0) return "wait = " + SecondsText(settings.wait);
    // In quotes: a "#" in the name is no comment.
    if (option == "cookies" && !settings.cookies.empty()) return "cookies = \"" + settings.cookies + "\"";
    if (option == "flickr-api-key" && !settings.flickr_api_key.empty())
        return "flickr-api-key = " + settings.flickr_api_key;
    if (option == "write-metadata" && settings.write_metadata) return "write-metadata";
    return {};
}

}  // namespace

SharedSettings LoadSharedSettings(const std::string& path, std::string& error) {
    error.clear();
    SharedSettings settings;
    std::error_code ec;
    if (path.empty() || !std::filesystem::exists(path, ec)) return settings;
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    if (!file) {
        error = path + ": " + std::strerror(errno);
        return settings;
    }
    const ConfigArguments config = ArgumentsFromConfig(text.str(), path);
    if (!config.error.empty()) {
        error = config.error;
        return settings;
    }
    const ParsedOptions parsed = ParseCliOptions(config.args, false);
    if (!parsed.options) {
        error = path + ": " + parsed.error;
        return settings;
    }
    settings.jobs = parsed.options->jobs;
    settings.retries = parsed.options->retries;
    settings.limit_rate = parsed.options->limit_rate;
    settings.wait = parsed.options->wait;
    settings.cookies = parsed.options->cookies.value_or(std::string());
    settings.flickr_api_key = parsed.options->flickr_api_key.value_or(std::string());
    settings.write_metadata = parsed.options->write_metadata;
    return settings;
}

std::string WithSharedSettings(const std::string& text, const SharedSettings& settings) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    std::vector<std::string> out;
    std::vector<std::string> written;
    for (const std::string& line : lines) {
        const std::string option = ConfigLineOption(line);
        bool shared = false;
        for (const char* name : kSharedOptions) shared = shared || option == name;
        if (!shared) {
            out.push_back(line);
            continue;
        }
        // The first line of the option takes its new value; any later one goes.
        if (std::find(written.begin(), written.end(), option) != written.end()) continue;
        written.push_back(option);
        if (std::string own = LineOf(option, settings); !own.empty()) out.push_back(std::move(own));
    }
    for (const char* name : kSharedOptions) {
        if (std::find(written.begin(), written.end(), name) != written.end()) continue;
        if (std::string own = LineOf(name, settings); !own.empty()) out.push_back(std::move(own));
    }
    std::string result;
    for (const std::string& line : out) result += line + "\n";
    return result;
}

bool SaveSharedSettings(const std::string& path, const SharedSettings& settings, std::string& error) {
    if (settings.cookies.find_first_of("\"\r\n") != std::string::npos) {
        error = "a cookie file name with a double quote or a line break cannot be kept";
        return false;
    }
    // A key is letters and digits; anything else would not stay one value.
    for (const char c : settings.flickr_api_key) {
        if (!std::isalnum(static_cast<unsigned char>(c))) {
            error = "a Flickr API key is letters and digits only";
            return false;
        }
    }
    if (path.empty()) {
        error = "there is no place for the configuration file (neither XDG_CONFIG_HOME nor HOME is set)";
        return false;
    }
    const std::filesystem::path file(path);
    std::error_code ec;
    std::filesystem::create_directories(file.parent_path(), ec);
    std::string old_text;
    if (std::filesystem::exists(file, ec)) {
        std::ifstream in(file, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        if (!in) {
            error = path + ": " + std::strerror(errno);
            return false;
        }
        old_text = text.str();
    }
    const std::string text = WithSharedSettings(old_text, settings);
    const std::string temp = path + ".new";
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        error = temp + ": " + std::strerror(errno);
        return false;
    }
    // The mode of a file that was there already under that name.
    bool written = ::fchmod(fd, 0600) == 0;
    for (std::size_t done = 0; written && done < text.size();) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        written = n > 0;
        if (written) done += static_cast<std::size_t>(n);
    }
    written = written && ::fsync(fd) == 0;
    const int write_error = errno;
    written = ::close(fd) == 0 && written;
    if (!written || ::rename(temp.c_str(), path.c_str()) != 0) {
        error = path + ": " + std::strerror(written ? errno : write_error);
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

}  // namespace gathrix::manager
