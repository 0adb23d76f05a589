#include "download/key_hiding_events.h"

#include "download/sites/flickr_api_parsers.h"
#include "text/strings.h"

namespace gathrix {

std::string KeyHidingEvents::Hidden(std::string_view text) const {
    const std::string hidden = HideApiKey(text);
    return key_.empty() ? hidden : ReplaceAll(hidden, key_, "HIDDEN");
}

Failure KeyHidingEvents::Hidden(const Failure& why) const {
    Failure hidden = why;
    hidden.detail = Hidden(why.detail);
    hidden.path = Hidden(why.path);
    return hidden;
}

void KeyHidingEvents::Progress(const TransferProgress& progress) {
    TransferProgress hidden = progress;
    hidden.name = Hidden(progress.name);
    events_.Progress(hidden);
}

}  // namespace gathrix
