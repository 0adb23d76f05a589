#pragma once
// The record of what a folder holds: one row for every picture address a run
// stored there, with the file's name, its bytes and SHA-256, the validators
// it came with, when it was stored and from which album. With it, a re-run
// recognises pictures by their addresses rather than their names: a picture
// keeps its name wherever it moves in the album, a new one never takes a
// name that belongs to another, and a file changed since it was stored is
// told apart from one that is as it came.
//
// It is an SQLite database, ".gathrix-record.sqlite" in the folder, in
// write-ahead-log mode. A row is committed as soon as its picture is stored,
// so an interrupted run loses at most the row of the picture in flight; a
// row never names a file before that file is whole. One run holds the record
// for its whole length: another run into the same folder waits a few
// seconds, then gives up (Locked). A record that cannot be read (damaged,
// another program's database, one of a later version of this program) is set
// aside under another name and a new one started; the pictures are never
// touched for it.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace gathrix {

// The record's file name in the folder it describes. Its name starts as the
// program's other hidden files do, so no picture is ever stored under it.
inline constexpr const char* kRecordFileName = ".gathrix-record.sqlite";

struct RecordRow {
    std::string address;  // the picture's address as the album lists it
    std::string name;     // its file in the folder
    std::int64_t bytes = 0;  // -1: the file was being replaced when a run ended
    std::string sha256;  // 64 hex digits; empty when not known
    std::string etag;
    std::string last_modified;
    std::int64_t stored_at = 0;  // seconds since the epoch
    std::string album;           // the album address the run was given
};

// How a picture's file stands against its row: as stored, changed since (its
// size, or with verify its SHA-256, differs), gone (or no regular file), or
// not known (a run ended while it replaced the file).
enum class FileState { AsStored, Changed, Missing, Unknown };
FileState StateOfFile(const std::filesystem::path& folder, const RecordRow& row, bool verify);

class FolderRecord {
public:
    enum class OpenResult {
        Opened,   // the record, as it was or newly made
        None,     // there is none, and none was to be made
        Locked,   // another run holds it
        Failed,   // it could not be made or read, nor set aside
    };

    // What Open did besides: a record that could not be read is set aside
    // (renamed), and why.
    struct SetAside {
        std::filesystem::path from;
        std::filesystem::path to;
        std::string why;
    };

    struct Opening {
        OpenResult result = OpenResult::None;
        std::unique_ptr<FolderRecord> record;
        std::optional<SetAside> set_aside;
        std::string error;  // Failed: why, in the database's words
    };

    // Opens the record of folder for a run, and holds it until the object
    // goes. With create, one is made when there is none. wait: how long
    // another run's hold is waited for.
    static Opening Open(const std::filesystem::path& folder, bool create,
                        std::chrono::milliseconds wait = std::chrono::seconds(3));

    // Reads the record of folder without changing it (nothing is made, set
    // aside or held beyond the reading). None when there is none.
    static Opening Read(const std::filesystem::path& folder, std::chrono::milliseconds wait = std::chrono::seconds(3));

    ~FolderRecord();
    FolderRecord(const FolderRecord&) = delete;
    FolderRecord& operator=(const FolderRecord&) = delete;

    // The row of an address, when there is one.
    const RecordRow* Find(const std::string& address) const;
    // Every row, ordered by album and name.
    std::vector<RecordRow> Rows() const;
    std::size_t Size() const { return rows_.size(); }

    // Records a stored picture, replacing the row of its address and any
    // other row of its name, and commits it. False when it could not be
    // written (the run goes on; error() says why).
    bool Put(RecordRow row);
    // Before the file of name is replaced: its row (if it has one) is marked
    // as being replaced (bytes -1) and committed, so that a run killed
    // between the file's replacement and its new row never takes the new
    // file for one changed on this machine. Returns the row as it was, to be
    // put back when the file is not replaced after all.
    std::optional<RecordRow> MarkReplacing(const std::string& name);
    const std::string& Error() const { return error_; }

    // Removes the record's files when it holds no row (a run that made one
    // and then stored nothing leaves nothing behind). True when removed.
    bool RemoveIfEmpty();

    // The open database; its inside is the record's own.
    struct Database;

private:
    FolderRecord(std::unique_ptr<Database> database, std::filesystem::path path);
    // The record of an open database and the rows read from it.
    static std::unique_ptr<FolderRecord> Made(std::unique_ptr<Database> database, const std::filesystem::path& path,
                                              std::vector<RecordRow> rows);

    std::unique_ptr<Database> database_;
    std::filesystem::path path_;
    std::unordered_map<std::string, RecordRow> rows_;      // by address
    std::unordered_map<std::string, std::string> owners_;  // name -> address
    std::string error_;
};

}  // namespace gathrix
