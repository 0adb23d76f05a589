#pragma once
// The words gathrix-cli gives a failure on stderr ("HTTP 404", "no data for
// 60 s", "body cut short", ...).

#include <string>

#include "events/failure.h"

namespace gathrix {

std::string FailureText(const Failure& failure);

}  // namespace gathrix
