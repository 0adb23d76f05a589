// The version-file parser on the input as a version file, in memory. A version,
// when one is read, is not empty and stands in the file; the file cut anywhere
// gives none or the start of it (a file still arriving never gives a version
// the whole file does not begin with); blanks before the file change nothing;
// and the version written back between double quotes reads back the same. A
// version that reads as numbers is not newer than itself.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "parser_checks.h"
#include "update/update_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace gathrix;
    using namespace gathrix::fuzz;
    if (size > kMaxPage) return 0;
    const std::string file(reinterpret_cast<const char*>(data), size);

    const std::optional<std::string> version = ParseVersionFile(file);
    Check(ParseVersionFile(" \t" + file) == version);
    // Cut where the first byte says.
    if (const std::optional<std::string> start = ParseVersionFile(file.substr(0, size == 0 ? 0 : data[0] % size))) {
        Check(version && version->starts_with(*start));
    }
    if (!version) return 0;
    Check(!version->empty() && FindFrom(file, *version) != std::string_view::npos);
    if (!Has(*version, "\"")) Check(ParseVersionFile("\"" + *version + "\"\r\n") == version);
    if (VersionNumbers(*version)) Check(NewerVersion(*version, *version) == false);
    return 0;
}
