#pragma once
// The program's name, version and maker's contacts, shared by the window title,
// the Info dialog and the update check.

#include <string>

namespace gathrix {

inline constexpr const char* kProductName = "Gathrix";
inline constexpr const char* kProgramVersion = "3.5";
inline constexpr const char* kMakerSiteUrl = "http://gathrix.example.net";
inline constexpr const char* kMakerContactAddress = "gathrix@example.net";

// kMakerSiteUrl, or GATHRIX_MAKER_SITE_URL when that is set and not empty.
std::string MakerSiteUrl();

}  // namespace gathrix
