// ReadLine and ReadItem on arbitrary bytes: the reads end, and every byte of the
// file comes back in exactly one line or item, separators aside.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "text/page_files.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

std::string ScratchFile(const std::uint8_t* data, std::size_t size) {
    static const std::string path = "/tmp/gathrix-fuzz-page-" + std::to_string(::getpid());
    std::FILE* f = std::fopen(path.c_str(), "wb");
    Check(f != nullptr);
    Check(std::fwrite(data, 1, size, f) == size);
    std::fclose(f);
    return path;
}

// Lines: each line is the next stretch of the file up to a CR, which is
// consumed with an LF right after it; nothing else is dropped.
void CheckLines(const std::string& path, const std::string& file, gathrix::OpenMode mode) {
    gathrix::PageFiles files;
    Check(files.Open(path, mode, 1));
    std::size_t at = 0;
    std::size_t reads = 0;
    while (!files.AtEnd(1)) {
        Check(++reads <= file.size() + 1);
        const auto line = files.ReadLine(1);
        Check(line.has_value());
        Check(file.compare(at, line->size(), *line) == 0);
        Check(line->find('\r') == std::string::npos);
        at += line->size();
        if (at < file.size()) {
            Check(file[at] == '\r');
            ++at;
            if (at < file.size() && file[at] == '\n') ++at;
        }
    }
    Check(at == file.size());
    Check(!files.ReadLine(1).has_value());
}

bool Separator(char c) { return c == ',' || c == '"' || c == '\r' || c == '\n' || c == ' ' || c == '\t'; }

// Items: the items, joined, are the file with separators (commas, quotes, line
// ends, blanks) taken out of it here and there, but nothing else: every other
// byte comes back exactly once, in order.
void CheckItems(const std::string& path, const std::string& file) {
    gathrix::PageFiles files;
    Check(files.Open(path, gathrix::OpenMode::Binary, 1));
    std::string joined;
    std::size_t reads = 0;
    while (!files.AtEnd(1)) {
        Check(++reads <= file.size() + 1);
        const auto item = files.ReadItem(1);
        Check(item.has_value());
        joined += *item;
    }
    Check(!files.ReadItem(1).has_value());
    std::size_t at = 0;
    for (char c : joined) {  // joined is a subsequence of the file
        while (at < file.size() && file[at] != c) {
            Check(Separator(file[at]));
            ++at;
        }
        Check(at < file.size());
        ++at;
    }
    for (; at < file.size(); ++at) Check(Separator(file[at]));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 1 << 16) return 0;
    const std::string file(reinterpret_cast<const char*>(data), size);
    const std::string path = ScratchFile(data, size);
    CheckLines(path, file, gathrix::OpenMode::Input);
    CheckLines(path, file, gathrix::OpenMode::Binary);
    CheckItems(path, file);
    std::remove(path.c_str());
    return 0;
}
