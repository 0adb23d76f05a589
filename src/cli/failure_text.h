#pragma once
// The words gathrix-cli gives a failure on stderr ("HTTP 404", "no data for
// 60 s", "body cut short", ...), and a setting of the environment passed over.

#include <chrono>
#include <string>

#include "events/failure.h"

namespace gathrix {

std::string FailureText(const Failure& failure);

// A time in seconds as the program writes it: "60", or with its fraction
// ("2.5"), as the options take it too.
std::string SecondsText(std::chrono::milliseconds time);

// The warning about a GATHRIX_JOBS the engine passed over (its value as it was
// set), with its line end.
std::string RejectedJobsText(const std::string& value);

}  // namespace gathrix
