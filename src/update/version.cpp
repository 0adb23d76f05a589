#include "update/version.h"

#include <cstdlib>

namespace gathrix {

std::string MakerSiteUrl() {
    const char* from_env = std::getenv("GATHRIX_MAKER_SITE_URL");
    if (from_env != nullptr && *from_env != '\0') return from_env;
    return kMakerSiteUrl;
}

}  // namespace gathrix
