#include "download/log_format.h"

#include <ctime>
#include <string>

namespace gathrix {

// The log keeps the words its readers (and their scripts) have always seen,
// historic misspellings included: "Toatal time:" at the end of a run and
// "succesful." after a look-up are spelt so on purpose.

namespace {
std::chrono::sys_seconds RoundToSecond(std::chrono::system_clock::time_point t) {
    return std::chrono::round<std::chrono::seconds>(t);
}

std::string TwoDigits(int value) {
    std::string out;
    out.push_back(static_cast<char>('0' + (value / 10) % 10));
    out.push_back(static_cast<char>('0' + value % 10));
    return out;
}
}  // namespace

std::string FormatNumber(std::int64_t number) {
    if (number < 0) return std::to_string(number);
    return " " + std::to_string(number);
}

std::string FormatTimeOfDay(std::chrono::system_clock::time_point t) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(RoundToSecond(t));
    std::tm local{};
    if (localtime_r(&seconds, &local) == nullptr) {
        // No local time zone to be had: fall back on the UTC time of day.
        if (gmtime_r(&seconds, &local) == nullptr) return "00:00:00";
    }
    return TwoDigits(local.tm_hour) + ":" + TwoDigits(local.tm_min) + ":" + TwoDigits(local.tm_sec);
}

std::int64_t ElapsedSeconds(std::chrono::system_clock::time_point start, std::chrono::system_clock::time_point end) {
    return static_cast<std::int64_t>((RoundToSecond(end) - RoundToSecond(start)).count());
}

std::string ProgressCaption(std::int64_t file_counter) {
    return "Download in progress..." + FormatNumber(file_counter) + " files finished.";
}

}  // namespace gathrix
