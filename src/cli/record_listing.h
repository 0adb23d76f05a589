#pragma once
// gathrix-cli --show-record: what the record of a folder holds.

#include <cstdio>
#include <filesystem>
#include <string>

#include "download/folder_record.h"

namespace gathrix {

// One line of the listing: name, bytes, the time it was stored (UTC) and its
// address, separated by tabs, with "changed" or "missing" after them for a
// file that is not as it was stored. What came from a server is escaped.
std::string RecordLine(const RecordRow& row, FileState state);

// Lists the record of folder (or of folder/AlbumDownload when folder has none)
// on out, and says on err when there is none or it cannot be read. Returns
// the exit status: 0 listed, 1 none or unreadable, 6 held by a run.
int ShowRecord(const std::filesystem::path& folder, bool verify, std::FILE* out, std::FILE* err);

}  // namespace gathrix
