#pragma once
// How numbers and clock times are written into the progress log, the progress
// caption and the messages.

#include <chrono>
#include <cstdint>
#include <string>

namespace gathrix {

// Decimal, with one leading blank for zero and positive numbers and a minus sign
// for negative ones: 42 -> " 42", -1 -> "-1".
std::string FormatNumber(std::int64_t number);

// The local time of day of t, rounded to the nearest second, as HH:MM:SS on a
// 24-hour clock.
std::string FormatTimeOfDay(std::chrono::system_clock::time_point t);

// Whole seconds from start to end, each rounded to the nearest second first.
// Counts across midnight (and across days), since both carry the date.
std::int64_t ElapsedSeconds(std::chrono::system_clock::time_point start, std::chrono::system_clock::time_point end);

// The progress caption: "Download in progress..." + count + " files finished."
std::string ProgressCaption(std::int64_t file_counter);

}  // namespace gathrix
