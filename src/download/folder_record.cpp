#include "download/folder_record.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <algorithm>
#include <system_error>
#include <tuple>
#include <utility>

#include "download/picture_names.h"
#include "net/sha256.h"

namespace gathrix {

namespace fs = std::filesystem;

namespace {

// Marks the database as this program's record ("GXRC"), and its layout.
constexpr int kApplicationId = 0x47585243;
constexpr int kSchemaVersion = 1;

// Keyed by address alone, so that committing a row writes as few pages as
// can be; that a name has one row is kept by Put.
constexpr const char* kSchema =
    "CREATE TABLE pictures("
    " address TEXT PRIMARY KEY NOT NULL,"
    " name TEXT NOT NULL,"
    " bytes INTEGER NOT NULL,"
    " sha256 TEXT NOT NULL,"
    " etag TEXT NOT NULL,"
    " last_modified TEXT NOT NULL,"
    " stored_at INTEGER NOT NULL,"
    " album TEXT NOT NULL) WITHOUT ROWID;"
    "PRAGMA application_id = 1196970563;"
    "PRAGMA user_version = 1;";
static_assert(kApplicationId == 1196970563);

// The files SQLite keeps beside a database in write-ahead-log mode.
constexpr const char* kCompanionSuffixes[] = {"-wal", "-shm", "-journal"};

bool IsBusy(int code) { return (code & 0xFF) == SQLITE_BUSY || (code & 0xFF) == SQLITE_LOCKED; }

std::string ColumnText(sqlite3_stmt* statement, int column) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    return text ? std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(statement, column))) : std::string();
}

// A name as stored in the folder: one a picture could have been given, so
// that an edited record cannot make a run write outside the folder.
bool UsableName(const std::string& name) { return !name.empty() && SafeLocalName(name) == name; }

}  // namespace

struct FolderRecord::Database {
    sqlite3* db = nullptr;
    sqlite3_stmt* put = nullptr;
    ~Database() {
        sqlite3_finalize(put);
        sqlite3_close(db);
    }

    int Exec(const char* sql) const { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr); }

    // One whole number of a pragma.
    std::optional<std::int64_t> Number(const char* sql) const {
        sqlite3_stmt* statement = nullptr;
        std::optional<std::int64_t> value;
        if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) == SQLITE_OK && sqlite3_step(statement) == SQLITE_ROW)
            value = sqlite3_column_int64(statement, 0);
        sqlite3_finalize(statement);
        return value;
    }
};

namespace {

enum class Attempt { Ok, Busy, Unreadable };

struct Attempted {
    Attempt attempt = Attempt::Unreadable;
    std::string error;
};

Attempted Fail(sqlite3* db, int code) {
    Attempted result;
    result.attempt = IsBusy(code) ? Attempt::Busy : Attempt::Unreadable;
    result.error = db ? sqlite3_errmsg(db) : sqlite3_errstr(code);
    return result;
}

// Opens path as a record: takes the hold on it for as long as the database is
// open (exclusive locking; no shared memory then either), and makes its table
// when the file is new.
Attempted OpenDatabase(const fs::path& path, bool create, std::chrono::milliseconds wait, FolderRecord::Database& d) {
    const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0) | SQLITE_OPEN_NOFOLLOW;
    int code = sqlite3_open_v2(path.c_str(), &d.db, flags, nullptr);
    if (code != SQLITE_OK) return Fail(d.db, code);
    sqlite3_busy_timeout(d.db, static_cast<int>(std::clamp<std::int64_t>(wait.count(), 0, 600000)));
    if ((code = d.Exec("PRAGMA locking_mode = EXCLUSIVE;")) != SQLITE_OK) return Fail(d.db, code);
    // Taking the hold also reads the file: a damaged or foreign one fails here.
    if ((code = d.Exec("BEGIN IMMEDIATE;")) != SQLITE_OK) return Fail(d.db, code);
    const std::optional<std::int64_t> application = d.Number("PRAGMA application_id;");
    const std::optional<std::int64_t> version = d.Number("PRAGMA user_version;");
    const std::optional<std::int64_t> tables = d.Number("SELECT count(*) FROM sqlite_master;");
    if (!application || !version || !tables) return Fail(d.db, sqlite3_errcode(d.db));
    if (*application == 0 && *version == 0 && *tables == 0) {
        if ((code = d.Exec(kSchema)) != SQLITE_OK) return Fail(d.db, code);
    } else if (*application != kApplicationId) {
        return {Attempt::Unreadable, "not a record of this program"};
    } else if (*version > kSchemaVersion) {
        return {Attempt::Unreadable, "made by a later version of this program"};
    }
    if ((code = d.Exec("COMMIT;")) != SQLITE_OK) return Fail(d.db, code);
    // Commits go to the log, and the log back into the database (every few
    // thousand rows, and at the end), without waiting for the disk, as the
    // pictures themselves are written: a crash of the program loses no
    // committed row. A power cut may leave the record damaged; it is then
    // set aside and begun anew. Waiting for the disk instead would make each
    // run wait at its end for all the pictures it wrote, which a journalling
    // file system writes out first.
    if ((code = d.Exec("PRAGMA journal_mode = WAL; PRAGMA synchronous = OFF; PRAGMA wal_autocheckpoint = 8000;")) !=
        SQLITE_OK)
        return Fail(d.db, code);
    return {Attempt::Ok, {}};
}

// Reads every row; a row whose name no picture could have is left out.
Attempted LoadRows(FolderRecord::Database& d, std::vector<RecordRow>& rows) {
    sqlite3_stmt* statement = nullptr;
    int code = sqlite3_prepare_v2(
        d.db, "SELECT address, name, bytes, sha256, etag, last_modified, stored_at, album FROM pictures;", -1,
        &statement, nullptr);
    if (code != SQLITE_OK) return Fail(d.db, code);
    while ((code = sqlite3_step(statement)) == SQLITE_ROW) {
        RecordRow row;
        row.address = ColumnText(statement, 0);
        row.name = ColumnText(statement, 1);
        row.bytes = sqlite3_column_int64(statement, 2);
        row.sha256 = ColumnText(statement, 3);
        row.etag = ColumnText(statement, 4);
        row.last_modified = ColumnText(statement, 5);
        row.stored_at = sqlite3_column_int64(statement, 6);
        row.album = ColumnText(statement, 7);
        if (UsableName(row.name) && row.bytes >= -1) rows.push_back(std::move(row));
    }
    sqlite3_finalize(statement);
    if (code != SQLITE_DONE) return Fail(d.db, code);
    return {Attempt::Ok, {}};
}

bool Exists(const fs::path& path) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0;
}

// Renames the record and its companion files out of the way, under the first
// free name of RECORD.unreadable, RECORD.unreadable-2, ...
std::optional<fs::path> MoveAside(const fs::path& path) {
    fs::path aside;
    for (int number = 1; number < 1000; ++number) {
        aside = path;
        aside += number == 1 ? ".unreadable" : ".unreadable-" + std::to_string(number);
        bool taken = Exists(aside);
        for (const char* suffix : kCompanionSuffixes) taken = taken || Exists(fs::path(aside) += suffix);
        if (!taken) break;
        aside.clear();
    }
    if (aside.empty()) return std::nullopt;
    std::error_code ec;
    fs::rename(path, aside, ec);
    if (ec) return std::nullopt;
    for (const char* suffix : kCompanionSuffixes) {
        if (Exists(fs::path(path) += suffix)) fs::rename(fs::path(path) += suffix, fs::path(aside) += suffix, ec);
    }
    return aside;
}

}  // namespace

FileState StateOfFile(const fs::path& folder, const RecordRow& row, bool verify) {
    struct stat status {};
    const fs::path path = folder / row.name;
    if (::lstat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return FileState::Missing;
    if (row.bytes < 0) return FileState::Unknown;
    if (status.st_size != row.bytes) return FileState::Changed;
    if (verify && !row.sha256.empty() && net::FileSha256(path) != std::optional<std::string>(row.sha256))
        return FileState::Changed;
    return FileState::AsStored;
}

FolderRecord::FolderRecord(std::unique_ptr<Database> database, fs::path path)
    : database_(std::move(database)), path_(std::move(path)) {}

FolderRecord::~FolderRecord() = default;

std::unique_ptr<FolderRecord> FolderRecord::Made(std::unique_ptr<Database> database, const fs::path& path,
                                                 std::vector<RecordRow> rows) {
    std::unique_ptr<FolderRecord> record(new FolderRecord(std::move(database), path));
    for (RecordRow& row : rows) {
        record->owners_[row.name] = row.address;
        std::string address = row.address;
        record->rows_.emplace(std::move(address), std::move(row));
    }
    return record;
}

FolderRecord::Opening FolderRecord::Open(const fs::path& folder, bool create, std::chrono::milliseconds wait) {
    Opening opening;
    const fs::path path = folder / kRecordFileName;
    struct stat status {};
    const bool exists = ::lstat(path.c_str(), &status) == 0;
    if (!exists && !create) return opening;

    std::string why;
    if (exists && !S_ISREG(status.st_mode)) why = "not a regular file";
    for (;;) {
        if (!why.empty()) {
            // Unreadable: set aside once, then a new record.
            const std::optional<fs::path> aside = opening.set_aside ? std::nullopt : MoveAside(path);
            if (!aside) {
                opening.result = OpenResult::Failed;
                opening.error = why;
                return opening;
            }
            opening.set_aside = SetAside{path, *aside, why};
            why.clear();
        }
        auto database = std::make_unique<Database>();
        Attempted attempted = OpenDatabase(path, true, wait, *database);
        std::vector<RecordRow> rows;
        if (attempted.attempt == Attempt::Ok) attempted = LoadRows(*database, rows);
        if (attempted.attempt == Attempt::Ok) {
            opening.result = OpenResult::Opened;
            opening.record = Made(std::move(database), path, std::move(rows));
            return opening;
        }
        if (attempted.attempt == Attempt::Busy) {
            opening.result = OpenResult::Locked;
            return opening;
        }
        why = attempted.error;
        database.reset();  // closed before the file moves
    }
}

FolderRecord::Opening FolderRecord::Read(const fs::path& folder, std::chrono::milliseconds wait) {
    Opening opening;
    const fs::path path = folder / kRecordFileName;
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) return opening;
    Attempted attempted{Attempt::Unreadable, "not a regular file"};
    auto database = std::make_unique<Database>();
    std::vector<RecordRow> rows;
    if (S_ISREG(status.st_mode)) {
        attempted = OpenDatabase(path, false, wait, *database);
        if (attempted.attempt == Attempt::Ok) attempted = LoadRows(*database, rows);
    }
    if (attempted.attempt == Attempt::Busy) {
        opening.result = OpenResult::Locked;
        return opening;
    }
    if (attempted.attempt != Attempt::Ok) {
        opening.result = OpenResult::Failed;
        opening.error = attempted.error;
        return opening;
    }
    opening.result = OpenResult::Opened;
    opening.record = Made(std::move(database), path, std::move(rows));
    return opening;
}

const RecordRow* FolderRecord::Find(const std::string& address) const {
    const auto found = rows_.find(address);
    return found == rows_.end() ? nullptr : &found->second;
}

std::vector<RecordRow> FolderRecord::Rows() const {
    std::vector<RecordRow> rows;
    rows.reserve(rows_.size());
    for (const auto& [address, row] : rows_) rows.push_back(row);
    std::sort(rows.begin(), rows.end(), [](const RecordRow& a, const RecordRow& b) {
        return std::tie(a.album, a.name, a.address) < std::tie(b.album, b.name, b.address);
    });
    return rows;
}

bool FolderRecord::Put(RecordRow row) {
    Database& d = *database_;
    if (!d.db) return false;
    if (!d.put &&
        sqlite3_prepare_v2(d.db,
                           "INSERT OR REPLACE INTO pictures(address, name, bytes, sha256, etag, last_modified,"
                           " stored_at, album) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8);",
                           -1, &d.put, nullptr) != SQLITE_OK) {
        error_ = sqlite3_errmsg(d.db);
        return false;
    }
    const auto bind = [&d](int column, const std::string& text) {
        sqlite3_bind_text(d.put, column, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    };
    bind(1, row.address);
    bind(2, row.name);
    sqlite3_bind_int64(d.put, 3, row.bytes);
    bind(4, row.sha256);
    bind(5, row.etag);
    bind(6, row.last_modified);
    sqlite3_bind_int64(d.put, 7, row.stored_at);
    bind(8, row.album);
    // Another address's row of this name goes in the same transaction.
    const auto owner = owners_.find(row.name);
    const std::string other = owner != owners_.end() && owner->second != row.address ? owner->second : "";
    const bool takes_name = !other.empty();
    if (takes_name) {
        sqlite3_stmt* remove = nullptr;
        bool removed = d.Exec("BEGIN;") == SQLITE_OK &&
                       sqlite3_prepare_v2(d.db, "DELETE FROM pictures WHERE address = ?1;", -1, &remove, nullptr) ==
                           SQLITE_OK;
        if (removed) {
            sqlite3_bind_text(remove, 1, other.data(), static_cast<int>(other.size()), SQLITE_TRANSIENT);
            removed = sqlite3_step(remove) == SQLITE_DONE;
        }
        sqlite3_finalize(remove);
        if (!removed) {
            error_ = sqlite3_errmsg(d.db);
            d.Exec("ROLLBACK;");
            return false;
        }
    }
    const int code = sqlite3_step(d.put);
    sqlite3_reset(d.put);
    if (code != SQLITE_DONE || (takes_name && d.Exec("COMMIT;") != SQLITE_OK)) {
        error_ = sqlite3_errmsg(d.db);
        if (takes_name) d.Exec("ROLLBACK;");
        return false;
    }
    // The same in memory: the address's old name is free, and another
    // address that had this name has no row any more.
    if (const auto old = rows_.find(row.address); old != rows_.end()) owners_.erase(old->second.name);
    if (takes_name) rows_.erase(other);
    owners_[row.name] = row.address;
    std::string address = row.address;
    rows_.insert_or_assign(std::move(address), std::move(row));
    return true;
}

std::optional<RecordRow> FolderRecord::MarkReplacing(const std::string& name) {
    const auto owner = owners_.find(name);
    if (owner == owners_.end()) return std::nullopt;
    const RecordRow old = rows_.at(owner->second);
    if (old.bytes < 0) return std::nullopt;
    RecordRow marked = old;
    marked.bytes = -1;
    if (!Put(std::move(marked))) return std::nullopt;
    return old;
}

bool FolderRecord::RemoveIfEmpty() {
    if (!rows_.empty() || database_->Number("SELECT count(*) FROM pictures;").value_or(1) != 0) return false;
    database_.reset();
    database_ = std::make_unique<Database>();
    std::error_code ec;
    fs::remove(path_, ec);
    for (const char* suffix : kCompanionSuffixes) fs::remove(fs::path(path_) += suffix, ec);
    return true;
}

}  // namespace gathrix
