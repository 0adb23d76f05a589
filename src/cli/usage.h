#pragma once
// The text of gathrix-cli --help.

namespace gathrix {

// The whole usage text: synopsis, options, exit statuses, configuration file
// and environment, ending in a line end.
extern const char kUsage[];

}  // namespace gathrix
