#include "download/size_check.h"

#include "download/file_fetcher.h"
#include "text/page_files.h"

namespace gathrix {

bool DropSmallPicture(RunState& run, std::int64_t threshold, bool counted) {
    const std::string name = SafeLocalName(run.local_file_name);
    // A fetch that stored nothing brought 0 bytes, whatever an older file of
    // that name may hold.
    const std::int64_t length = counted ? PageFiles::FileLength(run.working_folder / name).value_or(0) : 0;
    if (length >= threshold) return false;

    // Only the file this fetch stored is ours to delete; a failed fetch left
    // whatever was there before untouched, and it stays.
    if (counted) {
        PageFiles::Delete(run.working_folder / name);
        if (run.names) run.names->Freed(name);
    }
    run.front_end.AppendLog("File " + name + " failed. Searching for original version...");
    if (counted) --run.file_counter;
    return true;
}

}  // namespace gathrix
