#pragma once
// A picture an album's page lists, as the site readers hand it to the run.

#include <string>

namespace gathrix {

// A picture that a page lists: its address and, where the service can give a
// picture again at full size, the link the repair starts from. name, when not
// empty, is stored in place of the last part of the address.
struct FoundPicture {
    std::string address;
    std::string photo_link;
    std::string name = {};

    bool operator==(const FoundPicture&) const = default;
};

}  // namespace gathrix
