#include "cli/record_listing.h"

#include <sys/stat.h>

#include <ctime>

#include "cli/exit_status.h"
#include "download/download_command.h"
#include "text/utf8.h"

namespace gathrix {

std::string RecordLine(const RecordRow& row, FileState state) {
    char stored[32] = "?";
    const std::time_t when = static_cast<std::time_t>(row.stored_at);
    std::tm utc{};
    if (::gmtime_r(&when, &utc) != nullptr) std::strftime(stored, sizeof stored, "%Y-%m-%dT%H:%M:%SZ", &utc);
    std::string line = EscapeForTerminal(row.name) + "\t" + std::to_string(row.bytes) + "\t" + stored + "\t" +
                       EscapeForTerminal(row.address);
    if (state == FileState::Changed) line += "\tchanged";
    if (state == FileState::Missing) line += "\tmissing";
    if (state == FileState::Unknown) line += "\tunknown";
    return line;
}

int ShowRecord(const std::filesystem::path& folder, bool verify, std::FILE* out, std::FILE* err) {
    std::filesystem::path where = folder;
    struct stat status {};
    if (::lstat((where / kRecordFileName).c_str(), &status) != 0) {
        const std::filesystem::path inside = folder / kWorkingFolderName;
        if (::lstat((inside / kRecordFileName).c_str(), &status) == 0) where = inside;
    }
    const std::string shown = EscapeForTerminal(where.string());
    const FolderRecord::Opening opening = FolderRecord::Read(where);
    switch (opening.result) {
        case FolderRecord::OpenResult::None:
            std::fprintf(err, "gathrix-cli: no record of downloaded pictures in '%s'\n", shown.c_str());
            return kExitUsage;
        case FolderRecord::OpenResult::Locked:
            std::fprintf(err, "gathrix-cli: the record in '%s' is held by a run that is going on; try again later\n",
                         shown.c_str());
            return kExitNoFolder;
        case FolderRecord::OpenResult::Failed:
            std::fprintf(err, "gathrix-cli: the record in '%s' cannot be read: %s\n", shown.c_str(),
                         EscapeForTerminal(opening.error).c_str());
            return kExitUsage;
        case FolderRecord::OpenResult::Opened:
            break;
    }
    int changed = 0;
    int missing = 0;
    for (const RecordRow& row : opening.record->Rows()) {
        const FileState state = StateOfFile(where, row, verify);
        changed += state == FileState::Changed ? 1 : 0;
        missing += state == FileState::Missing ? 1 : 0;
        std::fprintf(out, "%s\n", RecordLine(row, state).c_str());
    }
    std::fprintf(err, "gathrix-cli: %zu pictures on record in '%s' (%d changed, %d missing)\n",
                 opening.record->Size(), shown.c_str(), changed, missing);
    return kExitCompleted;
}

}  // namespace gathrix
