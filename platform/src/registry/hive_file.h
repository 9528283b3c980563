// One hive file on disk: an SQLite database in rollback-journal mode.
//
// Tables: `keys` (number, folded path, case-kept leaf name, generation), `vals` (the key's
// number, folded value name, name, type, bytes, generation), `tombs` (deleted trees and values
// by folded path, by generation), `commits` (generation -> random stamp of recent commits) and the
// one-row `hive` (last generation and its stamp). Every commit bumps the generation and tags the
// rows it writes with it, a key row also when the commit writes one of the key's values, so
// another process catches up by reading the rows newer than the generation it last saw (the
// values through their keys); the stamp of that generation tells it whether the file still has
// the history it followed (after a restore it does not, and it reloads everything).
//
// The rollback journal (not WAL) keeps the database file itself complete whenever no commit
// is in progress, so the file alone is the hive. Commits run with synchronous=FULL.
//
// Not thread-safe: the owning Hive serializes use with its file mutex.
#ifndef W98_SRC_REGISTRY_HIVE_FILE_H
#define W98_SRC_REGISTRY_HIVE_FILE_H

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "w98/windef.h"

struct sqlite3;
struct sqlite3_stmt;

namespace w98::internal {

struct HiveHead {
  std::int64_t gen = 0;
  std::int64_t stamp = 0;
  bool operator==(const HiveHead&) const = default;
};

struct KeyRow {
  std::string_view path;  // folded
  std::string_view name;
};
struct ValueRow {
  std::string_view key;  // folded key path
  std::string_view name;
  DWORD type;
  std::string_view data;
};
struct TombRow {
  bool tree;              // a deleted key tree, else one deleted value
  std::string_view key;   // folded key path
  std::string_view fold;  // folded value name (values only)
};

class HiveFile {
 public:
  // Opens (creating when missing) the hive file at `file` and makes sure it holds the hive
  // tables. ERROR_SUCCESS, ERROR_REGISTRY_CORRUPT when the file is not a hive, or
  // ERROR_REGISTRY_IO_FAILED.
  static LONG Open(const std::filesystem::path& file, std::unique_ptr<HiveFile>* out);
  ~HiveFile();
  HiveFile(const HiveFile&) = delete;
  HiveFile& operator=(const HiveFile&) = delete;

  dev_t Device() const { return dev_; }
  ino_t Inode() const { return ino_; }

  // Changes whenever another connection commits (PRAGMA data_version).
  LONG DataVersion(std::int64_t* out);

  LONG BeginRead();   // a consistent snapshot for the reads that follow
  LONG BeginWrite();  // takes the write lock at once (waits for other writers)
  // Ends the write transaction. The pages of the write transaction's larger page cache stay
  // cached for the next one (a burst of commits extends the same pages) until
  // ReleaseWriteCache().
  LONG Commit();
  void Rollback();  // also releases the write cache
  // Shrinks the page cache to the size kept between bursts of writes.
  void ReleaseWriteCache() { UseWriteCache(false); }

  LONG ReadHead(HiveHead* out);
  // The stamp recorded for generation `gen`, or false when the file has no such commit.
  LONG StampOf(std::int64_t gen, bool* found, std::int64_t* stamp);
  // Every key (in path order, parents first) and every value.
  LONG LoadAll(const std::function<void(const KeyRow&)>& on_key,
               const std::function<void(const ValueRow&)>& on_value);
  // The keys above the key at folded `path` (parents first; those the file lacks are left out),
  // the key itself with every key below it (in path order), then the values of all of these.
  // An empty path is the whole hive (LoadAll).
  LONG LoadSubtree(std::string_view path, const std::function<void(const KeyRow&)>& on_key,
                   const std::function<void(const ValueRow&)>& on_value);
  // What commits after generation `since` changed: deletions first, then current rows.
  LONG LoadSince(std::int64_t since, const std::function<void(const TombRow&)>& on_tomb,
                 const std::function<void(const KeyRow&)>& on_key,
                 const std::function<void(const ValueRow&)>& on_value);
  // The case-kept name of the key at folded `path`; false when the file has none.
  bool KeyName(std::string_view path, std::string* name);

  // Writing, inside BeginWrite(), all tagged with generation `gen`.
  LONG DeleteTree(std::string_view path, std::int64_t gen);
  LONG DeleteValue(std::string_view key, std::string_view fold, std::int64_t gen);
  LONG EnsureKey(std::string_view path, std::string_view name, std::int64_t gen);
  // One value of a key, as PutValues writes it: `fold` is its name upper-cased.
  struct ValueWrite {
    std::string_view fold;
    std::string_view name;
    DWORD type = 0;
    std::string_view data;
  };
  // Writes `count` values of the key at folded `key` (made when the file lacks it), replacing
  // those of the same folded names. A commit writes thousands: they go in statements of up to
  // kValuesPerStatement rows each, which takes SQLite about a third fewer instructions than a
  // statement per row.
  LONG PutValues(std::string_view key, const ValueWrite* values, size_t count, std::int64_t gen);
  static constexpr size_t kValuesPerStatement = 16;
  // Records the commit as the new head and forgets history older than the kept window.
  LONG WriteHead(const HiveHead& head);

  // Copies the whole database, as of one moment, into the new file `target`.
  LONG BackupTo(const std::filesystem::path& target);

 private:
  HiveFile() = default;
  LONG Exec(const char* sql);
  sqlite3_stmt* Prepare(int slot, const char* sql);
  // `st`, compiled from `sql` when it is not yet (nullptr when that fails).
  sqlite3_stmt* PrepareOnce(sqlite3_stmt*& st, const char* sql);
  LONG Step(sqlite3_stmt* st);  // runs a statement that returns no rows, then resets it
  LONG Fail(int rc);
  // The number of the key row at folded `path`, which is tagged `gen` (and made when the file
  // lacks it): the key of a value written in the commit of generation `gen`.
  LONG KeyId(std::string_view path, std::int64_t gen, std::int64_t* id);
  // Switches between the page cache of write transactions and the smaller one of reads.
  void UseWriteCache(bool use);

  sqlite3* db_ = nullptr;
  bool write_cache_ = false;
  dev_t dev_ = 0;
  ino_t ino_ = 0;
  // The key row last made or looked up in this write transaction: a key's values come together.
  struct {
    bool known = false;
    std::string path;
    std::int64_t id = 0;
  } key_id_;
  static constexpr int kSlots = 24;
  sqlite3_stmt* stmts_[kSlots] = {};
  // The value writes of 1 to kValuesPerStatement rows, prepared at first use.
  sqlite3_stmt* put_values_[kValuesPerStatement] = {};
};

// Writes a complete copy of the SQLite database `source` (opened read-write so that SQLite
// can finish a crashed commit first) as of one moment to `target`.
LONG BackupDatabaseFile(const std::filesystem::path& source, const std::filesystem::path& target);

// Opens the SQLite database `file` once, so that SQLite rolls back a commit that a killed
// process left half done (and removes its journal).
void RecoverDatabaseFile(const std::filesystem::path& file);

}  // namespace w98::internal

#endif  // W98_SRC_REGISTRY_HIVE_FILE_H
