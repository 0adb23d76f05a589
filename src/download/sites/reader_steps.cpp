// Steps the album readers share: the repair of a picture that came down too
// small, and the end of an album whose page brings nothing new.

#include "download/sites/album_readers.h"

namespace gathrix {

bool ListsSomethingNew(const std::vector<FoundPicture>& pictures, std::unordered_set<std::string>& listed) {
    bool something_new = pictures.empty();
    for (const FoundPicture& picture : pictures) something_new = listed.insert(picture.address).second || something_new;
    return something_new;
}

FetchResult RepairSmallPicture(AlbumRun& run, FetchResult fetched, std::int64_t threshold, FailureKind not_found,
                               const std::function<std::optional<std::string>()>& look_up) {
    if (!run.DropIfSmall(fetched, threshold)) return fetched;
    if (const std::optional<std::string> address = look_up()) {
        run.Log("succesful.\r\n");
        return run.Fetch(*address, fetched.name);  // not measured again
    }
    run.Log("not found.\r\n");
    // A picture that came down whole but too small: that is why it is missing.
    if (fetched.stored) fetched.failure = Failure(not_found);
    fetched.stored = false;
    return fetched;
}

}  // namespace gathrix
