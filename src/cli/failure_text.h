#pragma once
// The words gathrix-cli gives a failure on stderr ("HTTP 404", "no data for
// 60 s", "body cut short", ...), and a setting of the environment passed over.

#include <string>

#include "events/failure.h"

namespace gathrix {

std::string FailureText(const Failure& failure);

// The warning about a GATHRIX_JOBS the engine passed over (its value as it was
// set), with its line end.
std::string RejectedJobsText(const std::string& value);

}  // namespace gathrix
