// The change database that the file monitor fills and recovery points read (Linux):
// one SQLite file holding one row per path and kind of change, with the attributes and
// the local time of the latest such change. Every write is a transaction, so a watcher
// that dies leaves the rows of the changes it had committed, never half a row.
#pragma once

#include <memory>
#include <string>

#include "services/file_monitor.h"

struct sqlite3;
struct sqlite3_stmt;

namespace orv {

class ChangeDatabase {
 public:
  enum class Mode { kRead, kWrite };

  ~ChangeDatabase();
  ChangeDatabase(const ChangeDatabase&) = delete;
  ChangeDatabase& operator=(const ChangeDatabase&) = delete;

  // Opens the database at `path` (UTF-8). kWrite creates it and its table when missing;
  // kRead fails with 2 for a missing file and 13 for a file that is not a change
  // database. A reader opens the file read-only, except to undo once the transaction
  // that a writer killed in its middle left behind.
  static DWORD Open(const std::string& path, Mode mode, std::unique_ptr<ChangeDatabase>& db);

  // Groups the following records into one transaction.
  DWORD Begin();
  DWORD Commit();
  // Records one change; a change of the same kind to the same path replaces the row.
  DWORD Record(const MonitoredChange& change);

  // The changes after `since` in the order they happened: Start, then Next until it
  // answers 18 (no more).
  DWORD Start(os::FileTime since);
  DWORD Next(MonitoredChange& change);

 private:
  explicit ChangeDatabase(sqlite3* db) : db_(db) {}
  // `leftTransaction` tells a reader's failure that comes from such a transaction.
  static DWORD OpenOnce(const std::string& path, Mode mode, std::unique_ptr<ChangeDatabase>& db,
                        bool& leftTransaction);
  DWORD Prepare(const char* sql, sqlite3_stmt*& statement);

  sqlite3* db_ = nullptr;
  sqlite3_stmt* insert_ = nullptr;
  sqlite3_stmt* query_ = nullptr;
};

}  // namespace orv
