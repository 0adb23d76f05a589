#pragma once
// Which file name each picture of a run is stored under. Pictures at different
// addresses may carry the same name (many cameras call every picture
// IMG_0001.JPG); none of them may replace another's file. So each picture gets
// its name at its turn, in album order: its safe name when no other picture of
// this run was given it, or else the first one of NAME-2.EXT, NAME-3.EXT, ...
// (NAME-2 for a name without an extension) that no other picture was given.
// A name is handed out whether or not its picture comes down, so the names of
// an album never depend on which pictures failed: a re-run finds each picture
// under the name it had. The same address listed again is the same picture
// and gets its name back; a file from an earlier run is not taken, and is
// replaced as before.

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

namespace gathrix {

// A name that can only ever land in the working folder: the empty name, "." and
// ".." become underscores, and every path separator ('/', '\\'), control
// character (C1 controls in UTF-8 included) and stray byte 0x80 to 0x9F outside
// UTF-8 is replaced by '_'. A name longer than a file name may be (255
// bytes) loses the end of its stem, keeping its extension. Names starting with
// ".gathrix-" are the program's own (kept bodies and their records, temporary
// files): a picture named so is stored as "_gathrix-..." instead. Any other
// name is returned unchanged.
std::string SafeLocalName(std::string_view name);

// name with "-N" put before its extension (the text from its last ".", when
// that is not its first character), or at its end when it has none; the stem
// is cut (never inside a character) so that the whole stays a file name.
std::string NumberedName(std::string_view name, std::int64_t number);

// The hidden files in which the picture stored as name is kept while it comes
// in, when cut-off pictures are to be continued by a later run: the body
// ".gathrix-partial-NAME" and its record ".gathrix-info-NAME". No picture has
// such a name (see SafeLocalName), and the two prefixes never make one
// picture's body another's record. A name too long for that is cut and told
// apart by a hash of the whole; such a stem is exactly as long as the longest
// a body may have, and any name kept whole is shorter, so the two forms never
// meet either.
struct KeptBodyNames {
    std::string body;
    std::string info;
};
KeptBodyNames KeptBodyNamesFor(const std::string& name);

class PictureNames {
public:
    // The name the picture at address stores its file under, safe_name being
    // the safe form of the last part of its address. The name is the
    // picture's from now on, for the rest of the run.
    std::string NameFor(const std::string& address, const std::string& safe_name);
    // A name no picture is given (a file of the program's own in the folder),
    // not even one the record gives it: called before any Reserve.
    void KeepFree(const std::string& name) { owners_.try_emplace(name, std::string(1, '\0')); }

    // Gives address the name name before the run hands out any: a picture
    // the folder's record holds keeps its file, and no other picture is
    // given that name.
    void Reserve(const std::string& address, const std::string& name);

private:
    std::unordered_map<std::string, std::string> owners_;  // name -> the address given it
    std::unordered_map<std::string, std::string> names_;   // address -> its name
    // For each safe name: every number below this one is taken, so the search
    // for a free one starts here (an album of thousands of IMG_0001.JPG stays
    // linear).
    std::unordered_map<std::string, std::int64_t> first_free_;
};

}  // namespace gathrix
