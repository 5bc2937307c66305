#include "services/change_database.h"

#include <sqlite3.h>

#include "platform/encoding.h"
#include "platform/errors.h"
#include "platform/folder.h"

namespace orv {

namespace {

constexpr char kSchema[] =
    "CREATE TABLE IF NOT EXISTS changes("
    " path TEXT NOT NULL, kind INTEGER NOT NULL, attributes INTEGER NOT NULL,"
    " time INTEGER NOT NULL, PRIMARY KEY(path, kind));"
    "CREATE INDEX IF NOT EXISTS changes_by_time ON changes(time);";

// SQLite's answers in the library's vocabulary.
DWORD ErrorOf(int code) {
  if (code == SQLITE_CANTOPEN_SYMLINK) return os::kStoppedOnLink;
  switch (code & 0xFF) {
    case SQLITE_OK:
    case SQLITE_DONE:
    case SQLITE_ROW:
      return err::kSuccess;
    case SQLITE_CANTOPEN:
      return err::kFileNotFound;
    case SQLITE_PERM:
    case SQLITE_READONLY:
    case SQLITE_AUTH:
      return err::kAccessDenied;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return err::kSharingViolation;
    case SQLITE_FULL:
      return err::kDiskFull;
    case SQLITE_NOMEM:
      return err::kNotEnoughMemory;
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
    case SQLITE_ERROR:
      return err::kInvalidData;
    default:
      return err::kInvalidFunction;
  }
}

// Undoes the transaction that a writer killed in its middle left in the journal: the
// first connection that may write does it when it reads.
bool RollBackLeftTransaction(const std::string& path) {
  sqlite3* handle = nullptr;
  const int opened = sqlite3_open_v2(path.c_str(), &handle, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW, nullptr);
  const bool done = opened == SQLITE_OK &&
                    sqlite3_exec(handle, "SELECT count(*) FROM sqlite_schema", nullptr, nullptr, nullptr) == SQLITE_OK;
  sqlite3_close(handle);
  return done;
}

}  // namespace

ChangeDatabase::~ChangeDatabase() {
  sqlite3_finalize(insert_);
  sqlite3_finalize(query_);
  sqlite3_close(db_);
}

DWORD ChangeDatabase::Open(const std::string& path, Mode mode,
                           std::unique_ptr<ChangeDatabase>& db) {
  bool leftTransaction = false;
  const DWORD error = OpenOnce(path, mode, db, leftTransaction);
  if (error == err::kSuccess || !leftTransaction) return error;
  // A watcher killed in the middle of a transaction left it in the journal; a reader
  // that opened the file read-only cannot undo it, and SQLite will not read past it.
  if (!RollBackLeftTransaction(path)) return error;
  return OpenOnce(path, mode, db, leftTransaction);
}

DWORD ChangeDatabase::OpenOnce(const std::string& path, Mode mode, std::unique_ptr<ChangeDatabase>& db,
                               bool& leftTransaction) {
  db.reset();
  leftTransaction = false;
  // A link in the database's place is refused, never followed to another file.
  const int flags = SQLITE_OPEN_NOFOLLOW | (mode == Mode::kWrite ? SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE
                                                                 : SQLITE_OPEN_READONLY);
  sqlite3* handle = nullptr;
  const int opened = sqlite3_open_v2(path.c_str(), &handle, flags, nullptr);
  std::unique_ptr<ChangeDatabase> result(new ChangeDatabase(handle));
  if (opened != SQLITE_OK) return ErrorOf(handle ? sqlite3_extended_errcode(handle) : opened);
  // A watcher and a reader meet at the same file: wait for the other's transaction.
  sqlite3_busy_timeout(handle, 10000);
  if (mode == Mode::kWrite) {
    const int made = sqlite3_exec(handle, kSchema, nullptr, nullptr, nullptr);
    if (made != SQLITE_OK) return ErrorOf(made);
  }
  if (const DWORD error = result->Prepare(
          "SELECT path, kind, attributes, time FROM changes WHERE time > ?"
          " ORDER BY time, rowid",
          result->query_)) {
    leftTransaction = sqlite3_extended_errcode(handle) == SQLITE_READONLY_ROLLBACK;
    return error;
  }
  db = std::move(result);
  return err::kSuccess;
}

DWORD ChangeDatabase::Prepare(const char* sql, sqlite3_stmt*& statement) {
  const int prepared = sqlite3_prepare_v2(db_, sql, -1, &statement, nullptr);
  return ErrorOf(prepared);
}

DWORD ChangeDatabase::Begin() {
  return ErrorOf(sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr));
}

DWORD ChangeDatabase::Commit() {
  return ErrorOf(sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr));
}

DWORD ChangeDatabase::Record(const MonitoredChange& change) {
  if (!insert_) {
    if (const DWORD error = Prepare(
            "INSERT INTO changes(path, kind, attributes, time) VALUES(?, ?, ?, ?)"
            " ON CONFLICT(path, kind) DO UPDATE SET"
            " attributes = excluded.attributes, time = excluded.time",
            insert_))
      return error;
  }
  const std::string path = os::ToUtf8(change.path);
  sqlite3_reset(insert_);
  sqlite3_bind_text(insert_, 1, path.data(), static_cast<int>(path.size()), SQLITE_TRANSIENT);
  sqlite3_bind_int64(insert_, 2, change.kind);
  sqlite3_bind_int64(insert_, 3, change.attributes);
  sqlite3_bind_int64(insert_, 4, static_cast<sqlite3_int64>(change.time));
  return ErrorOf(sqlite3_step(insert_));
}

DWORD ChangeDatabase::Start(os::FileTime since) {
  sqlite3_reset(query_);
  return ErrorOf(sqlite3_bind_int64(query_, 1, static_cast<sqlite3_int64>(since)));
}

DWORD ChangeDatabase::Next(MonitoredChange& change) {
  const int stepped = sqlite3_step(query_);
  if (stepped == SQLITE_DONE) return err::kNoMoreFiles;
  if (stepped != SQLITE_ROW) return ErrorOf(stepped);
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(query_, 0));
  change.path = os::FromUtf8(text ? text : "");
  change.kind = static_cast<DWORD>(sqlite3_column_int64(query_, 1));
  change.attributes = static_cast<DWORD>(sqlite3_column_int64(query_, 2));
  change.time = static_cast<os::FileTime>(sqlite3_column_int64(query_, 3));
  return err::kSuccess;
}

}  // namespace orv
