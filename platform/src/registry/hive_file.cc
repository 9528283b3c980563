#include "registry/hive_file.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "w98/winerror.h"

namespace w98::internal {
namespace {

// PRAGMA application_id of a hive file ("W98R").
constexpr int kApplicationId = 0x57393852;
// Format 3 finds the values a commit changed through their keys: a key row carries the
// generation of the last commit that wrote it or any of its values, and values have no index of
// their own by generation. Format 2 kept such an index, which cost a commit of many values (a
// base snapshot writes about 150,000) about as much as the values themselves; format 1 also
// named a value's key by its full path in every value row and index entry, which made a hive
// about three times as large. Files of both older formats are converted when they are opened.
constexpr int kFormat = 3;
// Commits whose stamps and deletions stay recorded; a process that last looked further back
// reloads the whole hive.
constexpr std::int64_t kKeptCommits = 4096;
constexpr int kBusyTimeoutMs = 10000;
// Page cache sizes (PRAGMA cache_size, negative: KiB). A write transaction may keep up to 16 MiB
// of changed pages: one that outgrows the cache spills pages into the file before it commits,
// and every spill syncs the journal first, so a commit of a few thousand scattered rows would
// sync many times. Readers keep SQLite's default, so that a process that loads a big hive does
// not keep much of it twice.
constexpr const char* kWriteCache = "PRAGMA cache_size=-16384";
constexpr const char* kReadCache = "PRAGMA cache_size=-2000";

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS hive(id INTEGER PRIMARY KEY CHECK (id = 1),"
    " gen INTEGER NOT NULL, stamp INTEGER NOT NULL);"
    "INSERT OR IGNORE INTO hive VALUES(1, 0, 0);"
    "CREATE TABLE IF NOT EXISTS commits(gen INTEGER PRIMARY KEY, stamp INTEGER NOT NULL);"
    "INSERT OR IGNORE INTO commits VALUES(0, 0);"
    "CREATE TABLE IF NOT EXISTS tombs(gen INTEGER NOT NULL, kind INTEGER NOT NULL,"
    " key TEXT NOT NULL, fold TEXT NOT NULL);"
    "CREATE INDEX IF NOT EXISTS tombs_gen ON tombs(gen);";

// The key and value tables of the current format.
constexpr const char* kKeyTables =
    "CREATE TABLE keys(id INTEGER PRIMARY KEY, path TEXT NOT NULL UNIQUE, name TEXT NOT NULL,"
    " gen INTEGER NOT NULL);"
    "CREATE INDEX keys_gen ON keys(gen);"
    "CREATE TABLE vals(key INTEGER NOT NULL, fold TEXT NOT NULL, name TEXT NOT NULL,"
    " type INTEGER NOT NULL, data BLOB NOT NULL, gen INTEGER NOT NULL,"
    " PRIMARY KEY(key, fold)) WITHOUT ROWID;";

// Makes every key row's generation at least that of each of its values, which is how a reader
// finds changed values (a format-2 file tagged only the values).
constexpr const char* kKeysTakeTheirValuesGenerations =
    "UPDATE keys SET gen = v.top"
    " FROM (SELECT key, max(gen) AS top FROM vals GROUP BY key) AS v"
    " WHERE v.key = keys.id AND v.top > keys.gen;";

// Converts format-1 key and value tables (renamed to keys1 and vals1, their indexes dropped,
// the current tables made), inside the caller's write transaction. A value whose key row is
// missing, which loading takes as a key, gets a key row named by its folded leaf.
constexpr const char* kFromFormat1 =
    "INSERT INTO keys(path, name, gen) SELECT path, name, gen FROM keys1 ORDER BY path;"
    "INSERT OR IGNORE INTO keys(path, name, gen)"
    " SELECT key, replace(key, rtrim(key, replace(key, '\\', '')), ''), max(gen)"
    " FROM vals1 GROUP BY key ORDER BY key;"
    "INSERT INTO vals(key, fold, name, type, data, gen)"
    " SELECT k.id, v.fold, v.name, v.type, v.data, v.gen FROM vals1 v JOIN keys k ON k.path = v.key"
    " ORDER BY k.id, v.fold;"
    "DROP TABLE keys1;"
    "DROP TABLE vals1;";

enum Slot {
  kDataVersion,
  kReadHead,
  kStampOf,
  kAllKeys,
  kAllVals,
  kTombsSince,
  kKeysSince,
  kValsSince,
  kKeyName,
  kDelKeysTree,
  kDelValsTree,
  kDelAll,
  kDelAllVals,
  kInsTomb,
  kDelValue,
  kInsKey,
  kSetHead,
  kInsCommit,
  kPrune,
  kKeyAt,
  kKeysBelow,
  kValsAt,
  kValsBelow,
  kKeyId,
  kSlotCount,  // not a statement: how many there are
};

LONG MapError(int rc) {
  switch (rc & 0xff) {
    case SQLITE_OK:
    case SQLITE_DONE:
    case SQLITE_ROW:
      return ERROR_SUCCESS;
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
      return ERROR_REGISTRY_CORRUPT;
    case SQLITE_FULL:
      return ERROR_DISK_FULL;
    case SQLITE_NOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return ERROR_BUSY;
    default:
      return ERROR_REGISTRY_IO_FAILED;
  }
}

std::string_view ColumnText(sqlite3_stmt* st, int col) {
  const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(st, col));
  return p ? std::string_view(p, static_cast<size_t>(sqlite3_column_bytes(st, col)))
           : std::string_view();
}

std::string_view ColumnBlob(sqlite3_stmt* st, int col) {
  const auto* p = static_cast<const char*>(sqlite3_column_blob(st, col));
  return p ? std::string_view(p, static_cast<size_t>(sqlite3_column_bytes(st, col)))
           : std::string_view();
}

// Binds a copy of `s`; with SQLITE_STATIC as `lifetime`, `s` itself, for a statement that
// HiveFile::Step runs (and whose bindings it clears) while `s` is still there: a commit writes
// thousands of rows.
void BindText(sqlite3_stmt* st, int i, std::string_view s,
              sqlite3_destructor_type lifetime = SQLITE_TRANSIENT) {
  sqlite3_bind_text(st, i, s.data() ? s.data() : "", static_cast<int>(s.size()), lifetime);
}

// Upper bound of the paths below `path`: '\' + 1 is ']'.
std::string BelowFirst(std::string_view path) {
  return std::string(path) + '\\';
}
std::string BelowEnd(std::string_view path) {
  return std::string(path) + ']';
}

// Writes all of `data` to `fd`; ERROR_SUCCESS, ERROR_DISK_FULL or ERROR_WRITE_FAULT.
LONG WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno == ENOSPC || errno == EDQUOT ? ERROR_DISK_FULL : ERROR_WRITE_FAULT;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return ERROR_SUCCESS;
}

// Copies the database of `source` byte for byte into the new file `target`. In rollback-journal
// mode the database file is the whole database whenever no commit is writing it, and the read
// transaction held meanwhile keeps every writer out of it (and has rolled back a commit that a
// killed process left half done): the copy is the database as of one moment. The bytes are read
// through SQLite's own file handle, since closing another descriptor of the file would drop the
// locks that SQLite holds on it in this process.
LONG CopyInto(sqlite3* source, const std::filesystem::path& target) {
  int rc = sqlite3_exec(source, "BEGIN DEFERRED; SELECT count(*) FROM sqlite_master", nullptr,
                        nullptr, nullptr);
  if (rc != SQLITE_OK) {
    if (!sqlite3_get_autocommit(source))
      sqlite3_exec(source, "ROLLBACK", nullptr, nullptr, nullptr);
    return MapError(rc);
  }
  LONG err = ERROR_SUCCESS;
  sqlite3_file* file = nullptr;
  sqlite3_int64 size = 0;
  rc = sqlite3_file_control(source, "main", SQLITE_FCNTL_FILE_POINTER, &file);
  if (rc != SQLITE_OK || file == nullptr || file->pMethods == nullptr) {
    err = ERROR_READ_FAULT;
  } else if (file->pMethods->xFileSize(file, &size) != SQLITE_OK) {
    err = ERROR_READ_FAULT;
  }
  const int out = err == ERROR_SUCCESS
                      ? ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644)
                      : -1;
  if (err == ERROR_SUCCESS && out < 0)
    err = errno == ENOSPC || errno == EDQUOT ? ERROR_DISK_FULL : ERROR_WRITE_FAULT;
  constexpr sqlite3_int64 kChunk = 1 << 20;
  std::vector<char> buffer;
  for (sqlite3_int64 offset = 0; err == ERROR_SUCCESS && offset < size; offset += kChunk) {
    const int amount = static_cast<int>(std::min(kChunk, size - offset));
    buffer.resize(static_cast<size_t>(amount));
    if (file->pMethods->xRead(file, buffer.data(), amount, offset) != SQLITE_OK)
      err = ERROR_READ_FAULT;
    else
      err = WriteAll(out, buffer.data(), buffer.size());
  }
  if (out >= 0 && ::close(out) != 0 && err == ERROR_SUCCESS) err = ERROR_WRITE_FAULT;
  sqlite3_exec(source, "ROLLBACK", nullptr, nullptr, nullptr);
  return err;
}

struct FileKind {
  int application_id = 0;
  int format = 0;  // PRAGMA user_version
  int tables = 0;  // schema entries of any kind
};

int ReadInt(sqlite3* db, const char* sql, int* out) {
  sqlite3_stmt* st = nullptr;
  int rc = sqlite3_prepare_v2(db, sql, -1, &st, nullptr);
  if (rc == SQLITE_OK && (rc = sqlite3_step(st)) == SQLITE_ROW) {
    *out = sqlite3_column_int(st, 0);
    rc = SQLITE_OK;
  }
  sqlite3_finalize(st);
  return rc;
}

int ReadFileKind(sqlite3* db, FileKind* out) {
  int rc = ReadInt(db, "PRAGMA application_id", &out->application_id);
  if (rc == SQLITE_OK) rc = ReadInt(db, "PRAGMA user_version", &out->format);
  if (rc == SQLITE_OK) rc = ReadInt(db, "SELECT count(*) FROM sqlite_master", &out->tables);
  return rc;
}

// The statements that make a file of `kind` a hive of the current format ("" when it is one
// already); ERROR_REGISTRY_CORRUPT for a file that is not empty and not a hive, or a hive of a
// format this build does not know.
LONG SchemaWork(const FileKind& kind, std::string* sql) {
  if (kind.application_id != kApplicationId) {
    if (kind.tables != 0) return ERROR_REGISTRY_CORRUPT;
    *sql = std::string(kSchema) + kKeyTables +
           "PRAGMA application_id=" + std::to_string(kApplicationId) + ";";
  } else if (kind.format == 1) {
    *sql = std::string(
               "ALTER TABLE keys RENAME TO keys1; ALTER TABLE vals RENAME TO vals1;"
               "DROP INDEX keys_gen; DROP INDEX vals_gen;") +
           kKeyTables + kFromFormat1 + kKeysTakeTheirValuesGenerations;
  } else if (kind.format == 2) {
    *sql = std::string("DROP INDEX IF EXISTS vals_gen;") + kKeysTakeTheirValuesGenerations;
  } else if (kind.format == kFormat) {
    return ERROR_SUCCESS;
  } else {
    return ERROR_REGISTRY_CORRUPT;
  }
  *sql += "PRAGMA user_version=" + std::to_string(kFormat) + ";";
  return ERROR_SUCCESS;
}

}  // namespace

LONG HiveFile::Open(const std::filesystem::path& file, std::unique_ptr<HiveFile>* out) {
  std::unique_ptr<HiveFile> hive(new HiveFile);
  int rc =
      sqlite3_open_v2(file.c_str(), &hive->db_,
                      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
  if (rc != SQLITE_OK) return MapError(rc);
  sqlite3_extended_result_codes(hive->db_, 1);
  sqlite3_busy_timeout(hive->db_, kBusyTimeoutMs);
  // A commit empties its journal rather than deleting it: no directory change per commit, and
  // no stream of deleted files for the file system to step over when files are created nearby.
  if (LONG err = hive->Exec("PRAGMA journal_mode=TRUNCATE; PRAGMA synchronous=FULL;")) return err;

  // A file of ours carries our application id and its format; an empty file becomes a hive, a
  // hive of the older format is converted, and anything else is left alone.
  FileKind kind{};
  rc = ReadFileKind(hive->db_, &kind);
  if (rc != SQLITE_OK) return MapError(rc);
  if (kind.application_id != kApplicationId || kind.format != kFormat) {
    if (LONG err = hive->Exec("BEGIN IMMEDIATE")) return err;
    rc = ReadFileKind(hive->db_, &kind);  // as of now, with other writers kept out
    std::string sql;
    LONG err = MapError(rc);
    if (err == ERROR_SUCCESS) err = SchemaWork(kind, &sql);
    if (err == ERROR_SUCCESS && !sql.empty()) err = hive->Exec(sql.c_str());
    if (err != ERROR_SUCCESS) {
      hive->Rollback();
      return err;
    }
    if (LONG commit = hive->Commit()) return commit;
  }
  struct stat st {};
  if (::stat(file.c_str(), &st) != 0) return ERROR_REGISTRY_IO_FAILED;
  hive->dev_ = st.st_dev;
  hive->ino_ = st.st_ino;
  *out = std::move(hive);
  return ERROR_SUCCESS;
}

HiveFile::~HiveFile() {
  for (auto*& st : stmts_) sqlite3_finalize(st);
  for (auto*& st : put_values_) sqlite3_finalize(st);
  sqlite3_close_v2(db_);
}

LONG HiveFile::Exec(const char* sql) {
  return MapError(sqlite3_exec(db_, sql, nullptr, nullptr, nullptr));
}

sqlite3_stmt* HiveFile::Prepare(int slot, const char* sql) {
  static_assert(kSlotCount == kSlots, "one statement slot for each Slot");
  return PrepareOnce(stmts_[slot], sql);
}

sqlite3_stmt* HiveFile::PrepareOnce(sqlite3_stmt*& st, const char* sql) {
  if (st == nullptr) sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &st, nullptr);
  return st;
}

LONG HiveFile::Step(sqlite3_stmt* st) {
  if (st == nullptr) return Fail(sqlite3_errcode(db_));
  const int rc = sqlite3_step(st);
  sqlite3_reset(st);
  sqlite3_clear_bindings(st);
  return rc == SQLITE_DONE || rc == SQLITE_ROW ? ERROR_SUCCESS : Fail(rc);
}

LONG HiveFile::Fail(int rc) {
  return MapError(rc == SQLITE_OK ? SQLITE_ERROR : rc);
}

LONG HiveFile::DataVersion(std::int64_t* out) {
  sqlite3_stmt* st = Prepare(kDataVersion, "PRAGMA data_version");
  if (st == nullptr) return Fail(sqlite3_errcode(db_));
  const int rc = sqlite3_step(st);
  if (rc == SQLITE_ROW) *out = sqlite3_column_int64(st, 0);
  sqlite3_reset(st);
  return rc == SQLITE_ROW ? ERROR_SUCCESS : Fail(rc);
}

LONG HiveFile::BeginRead() {
  return Exec("BEGIN DEFERRED; SELECT gen FROM hive;");
}
LONG HiveFile::BeginWrite() {
  key_id_.known = false;  // numbers are looked up afresh in each write transaction
  UseWriteCache(true);
  const LONG err = Exec("BEGIN IMMEDIATE");
  if (err != ERROR_SUCCESS) UseWriteCache(false);
  return err;
}
LONG HiveFile::Commit() {
  const LONG err = Exec("COMMIT");
  if (err != ERROR_SUCCESS) Rollback();
  return err;
}
void HiveFile::Rollback() {
  if (!sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  UseWriteCache(false);
}
void HiveFile::UseWriteCache(bool use) {
  // Shrinking the cache lets go of the pages beyond the reader's size at once.
  if (use != write_cache_ && Exec(use ? kWriteCache : kReadCache) == ERROR_SUCCESS)
    write_cache_ = use;
}

LONG HiveFile::ReadHead(HiveHead* out) {
  sqlite3_stmt* st = Prepare(kReadHead, "SELECT gen, stamp FROM hive WHERE id = 1");
  if (st == nullptr) return Fail(sqlite3_errcode(db_));
  const int rc = sqlite3_step(st);
  if (rc == SQLITE_ROW) {
    out->gen = sqlite3_column_int64(st, 0);
    out->stamp = sqlite3_column_int64(st, 1);
  }
  sqlite3_reset(st);
  if (rc == SQLITE_DONE) return ERROR_REGISTRY_CORRUPT;
  return rc == SQLITE_ROW ? ERROR_SUCCESS : Fail(rc);
}

LONG HiveFile::StampOf(std::int64_t gen, bool* found, std::int64_t* stamp) {
  sqlite3_stmt* st = Prepare(kStampOf, "SELECT stamp FROM commits WHERE gen = ?1");
  if (st == nullptr) return Fail(sqlite3_errcode(db_));
  sqlite3_bind_int64(st, 1, gen);
  const int rc = sqlite3_step(st);
  *found = rc == SQLITE_ROW;
  if (*found) *stamp = sqlite3_column_int64(st, 0);
  sqlite3_reset(st);
  return rc == SQLITE_ROW || rc == SQLITE_DONE ? ERROR_SUCCESS : Fail(rc);
}

namespace {

// Steps through key rows. The row of the hive's root (path ""), which exists only to number
// the root's values, is no key of its own and is passed over.
int StepKeys(sqlite3_stmt* st, const std::function<void(const KeyRow&)>& on_key) {
  int rc;
  while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
    const KeyRow row{ColumnText(st, 0), ColumnText(st, 1)};
    if (!row.path.empty()) on_key(row);
  }
  sqlite3_reset(st);
  return rc;
}

int StepValues(sqlite3_stmt* st, const std::function<void(const ValueRow&)>& on_value) {
  int rc;
  while ((rc = sqlite3_step(st)) == SQLITE_ROW)
    on_value(ValueRow{ColumnText(st, 0), ColumnText(st, 1),
                      static_cast<DWORD>(sqlite3_column_int64(st, 2)), ColumnBlob(st, 3)});
  sqlite3_reset(st);
  return rc;
}

}  // namespace

LONG HiveFile::LoadAll(const std::function<void(const KeyRow&)>& on_key,
                       const std::function<void(const ValueRow&)>& on_value) {
  sqlite3_stmt* keys = Prepare(kAllKeys, "SELECT path, name FROM keys ORDER BY path");
  // Key by key (CROSS JOIN keeps the keys outside), each key's values by its primary key.
  sqlite3_stmt* vals = Prepare(kAllVals,
                               "SELECT k.path, v.name, v.type, v.data FROM keys k"
                               " CROSS JOIN vals v ON v.key = k.id");
  if (keys == nullptr || vals == nullptr) return Fail(sqlite3_errcode(db_));
  int rc = StepKeys(keys, on_key);
  if (rc == SQLITE_DONE) rc = StepValues(vals, on_value);
  return rc == SQLITE_DONE ? ERROR_SUCCESS : Fail(rc);
}

LONG HiveFile::LoadSubtree(std::string_view path, const std::function<void(const KeyRow&)>& on_key,
                           const std::function<void(const ValueRow&)>& on_value) {
  if (path.empty()) return LoadAll(on_key, on_value);
  // The exact key and the range below it are separate lookups: one range from `path` itself
  // would also take in siblings such as "PATHX" (which sort between "PATH" and "PATH\").
  sqlite3_stmt* key_at = Prepare(kKeyAt, "SELECT path, name FROM keys WHERE path = ?1");
  sqlite3_stmt* keys_below = Prepare(
      kKeysBelow, "SELECT path, name FROM keys WHERE path >= ?1 AND path < ?2 ORDER BY path");
  sqlite3_stmt* vals_at = Prepare(kValsAt,
                                  "SELECT k.path, v.name, v.type, v.data FROM keys k"
                                  " JOIN vals v ON v.key = k.id WHERE k.path = ?1");
  sqlite3_stmt* vals_below = Prepare(kValsBelow,
                                     "SELECT k.path, v.name, v.type, v.data FROM keys k"
                                     " JOIN vals v ON v.key = k.id"
                                     " WHERE k.path >= ?1 AND k.path < ?2");
  if (key_at == nullptr || keys_below == nullptr || vals_at == nullptr || vals_below == nullptr)
    return Fail(sqlite3_errcode(db_));
  for (size_t cut = path.find('\\'); cut != std::string_view::npos;
       cut = path.find('\\', cut + 1)) {
    BindText(key_at, 1, path.substr(0, cut));
    const int rc = StepKeys(key_at, on_key);
    if (rc != SQLITE_DONE) return Fail(rc);
  }
  BindText(key_at, 1, path);
  int rc = StepKeys(key_at, on_key);
  if (rc != SQLITE_DONE) return Fail(rc);
  const std::string first = BelowFirst(path);
  const std::string end = BelowEnd(path);
  BindText(keys_below, 1, first);
  BindText(keys_below, 2, end);
  rc = StepKeys(keys_below, on_key);
  BindText(vals_at, 1, path);
  if (rc == SQLITE_DONE) rc = StepValues(vals_at, on_value);
  BindText(vals_below, 1, first);
  BindText(vals_below, 2, end);
  if (rc == SQLITE_DONE) rc = StepValues(vals_below, on_value);
  return rc == SQLITE_DONE ? ERROR_SUCCESS : Fail(rc);
}

LONG HiveFile::LoadSince(std::int64_t since, const std::function<void(const TombRow&)>& on_tomb,
                         const std::function<void(const KeyRow&)>& on_key,
                         const std::function<void(const ValueRow&)>& on_value) {
  sqlite3_stmt* tombs =
      Prepare(kTombsSince, "SELECT kind, key, fold FROM tombs WHERE gen > ?1 ORDER BY gen");
  sqlite3_stmt* keys =
      Prepare(kKeysSince, "SELECT path, name FROM keys WHERE gen > ?1 ORDER BY path");
  // The changed keys through their generation index, then each one's values in order: a key
  // row is at least as new as each of its values.
  sqlite3_stmt* vals = Prepare(kValsSince,
                               "SELECT k.path, v.name, v.type, v.data FROM keys k"
                               " CROSS JOIN vals v ON v.key = k.id"
                               " WHERE k.gen > ?1 AND v.gen > ?1");
  if (tombs == nullptr || keys == nullptr || vals == nullptr) return Fail(sqlite3_errcode(db_));
  sqlite3_bind_int64(tombs, 1, since);
  sqlite3_bind_int64(keys, 1, since);
  sqlite3_bind_int64(vals, 1, since);
  int rc;
  while ((rc = sqlite3_step(tombs)) == SQLITE_ROW)
    on_tomb(TombRow{sqlite3_column_int(tombs, 0) == 0, ColumnText(tombs, 1), ColumnText(tombs, 2)});
  sqlite3_reset(tombs);
  if (rc == SQLITE_DONE) rc = StepKeys(keys, on_key);
  if (rc == SQLITE_DONE) rc = StepValues(vals, on_value);
  return rc == SQLITE_DONE ? ERROR_SUCCESS : Fail(rc);
}

bool HiveFile::KeyName(std::string_view path, std::string* name) {
  sqlite3_stmt* st = Prepare(kKeyName, "SELECT name FROM keys WHERE path = ?1");
  if (st == nullptr) return false;
  BindText(st, 1, path);
  const bool found = sqlite3_step(st) == SQLITE_ROW;
  if (found) *name = std::string(ColumnText(st, 0));
  sqlite3_reset(st);
  return found;
}

LONG HiveFile::DeleteTree(std::string_view path, std::int64_t gen) {
  key_id_.known = false;  // the numbers of deleted keys may be given out again
  if (path.empty()) {
    if (LONG err = Step(Prepare(kDelAllVals, "DELETE FROM vals"))) return err;
    if (LONG err = Step(Prepare(kDelAll, "DELETE FROM keys"))) return err;
  } else {
    // The values first: they are found through the key rows.
    sqlite3_stmt* vals = Prepare(kDelValsTree,
                                 "DELETE FROM vals WHERE key IN (SELECT id FROM keys"
                                 " WHERE path = ?1 OR (path >= ?2 AND path < ?3))");
    sqlite3_stmt* keys =
        Prepare(kDelKeysTree, "DELETE FROM keys WHERE path = ?1 OR (path >= ?2 AND path < ?3)");
    for (sqlite3_stmt* st : {vals, keys}) {
      if (st == nullptr) return Fail(sqlite3_errcode(db_));
      BindText(st, 1, path);
      BindText(st, 2, BelowFirst(path));
      BindText(st, 3, BelowEnd(path));
      if (LONG err = Step(st)) return err;
    }
  }
  sqlite3_stmt* tomb =
      Prepare(kInsTomb, "INSERT INTO tombs(gen, kind, key, fold) VALUES(?1, ?2, ?3, ?4)");
  if (tomb == nullptr) return Fail(sqlite3_errcode(db_));
  sqlite3_bind_int64(tomb, 1, gen);
  sqlite3_bind_int(tomb, 2, 0);
  BindText(tomb, 3, path);
  BindText(tomb, 4, "");
  return Step(tomb);
}

LONG HiveFile::DeleteValue(std::string_view key, std::string_view fold, std::int64_t gen) {
  sqlite3_stmt* del =
      Prepare(kDelValue,
              "DELETE FROM vals WHERE key = (SELECT id FROM keys WHERE path = ?1) AND fold = ?2");
  sqlite3_stmt* tomb =
      Prepare(kInsTomb, "INSERT INTO tombs(gen, kind, key, fold) VALUES(?1, ?2, ?3, ?4)");
  if (del == nullptr || tomb == nullptr) return Fail(sqlite3_errcode(db_));
  BindText(del, 1, key);
  BindText(del, 2, fold);
  if (LONG err = Step(del)) return err;
  sqlite3_bind_int64(tomb, 1, gen);
  sqlite3_bind_int(tomb, 2, 1);
  BindText(tomb, 3, key);
  BindText(tomb, 4, fold);
  return Step(tomb);
}

LONG HiveFile::EnsureKey(std::string_view path, std::string_view name, std::int64_t gen) {
  sqlite3_stmt* st =
      Prepare(kInsKey, "INSERT OR IGNORE INTO keys(path, name, gen) VALUES(?1, ?2, ?3)");
  if (st == nullptr) return Fail(sqlite3_errcode(db_));
  BindText(st, 1, path, SQLITE_STATIC);
  BindText(st, 2, name, SQLITE_STATIC);
  sqlite3_bind_int64(st, 3, gen);
  if (LONG err = Step(st)) return err;
  // A new key's values follow at once: its number is at hand.
  if (sqlite3_changes(db_) == 1) {
    key_id_.known = true;
    key_id_.path.assign(path);
    key_id_.id = sqlite3_last_insert_rowid(db_);
  }
  return ERROR_SUCCESS;
}

LONG HiveFile::KeyId(std::string_view path, std::int64_t gen, std::int64_t* id) {
  if (key_id_.known && key_id_.path == path) {
    *id = key_id_.id;
    return ERROR_SUCCESS;
  }
  // The key row takes the generation of the values written to it (once a commit, as a key's
  // values come together), so that readers find them.
  sqlite3_stmt* st = Prepare(kKeyId, "UPDATE keys SET gen = ?2 WHERE path = ?1 RETURNING id");
  if (st == nullptr) return Fail(sqlite3_errcode(db_));
  BindText(st, 1, path, SQLITE_STATIC);
  sqlite3_bind_int64(st, 2, gen);
  int rc = sqlite3_step(st);
  const bool found = rc == SQLITE_ROW;
  if (found) {
    *id = sqlite3_column_int64(st, 0);
    rc = sqlite3_step(st);  // the statement's end (path is unique)
  }
  sqlite3_reset(st);
  sqlite3_clear_bindings(st);
  if (rc != SQLITE_DONE) return Fail(rc);
  if (!found) {
    // A value always lives in a key: one missing from the file is made, named by its leaf
    // (EnsureKey then holds its number).
    const size_t cut = path.rfind('\\');
    if (LONG err =
            EnsureKey(path, cut == std::string_view::npos ? path : path.substr(cut + 1), gen))
      return err;
    if (!key_id_.known || key_id_.path != path) return ERROR_REGISTRY_CORRUPT;
    *id = key_id_.id;
    return ERROR_SUCCESS;
  }
  key_id_.known = true;
  key_id_.path.assign(path);
  key_id_.id = *id;
  return ERROR_SUCCESS;
}

LONG HiveFile::PutValues(std::string_view key, const ValueWrite* values, size_t count,
                         std::int64_t gen) {
  if (count == 0) return ERROR_SUCCESS;
  std::int64_t id = 0;
  if (LONG err = KeyId(key, gen, &id)) return err;
  constexpr int kColumns = 6;  // key, fold, name, type, data, gen
  while (count > 0) {
    const size_t rows = std::min(count, kValuesPerStatement);
    sqlite3_stmt* st = put_values_[rows - 1];
    if (st == nullptr) {
      std::string sql = "INSERT OR REPLACE INTO vals(key, fold, name, type, data, gen) VALUES";
      for (size_t row = 0; row < rows; ++row) sql += row == 0 ? "(?,?,?,?,?,?)" : ",(?,?,?,?,?,?)";
      st = PrepareOnce(put_values_[rows - 1], sql.c_str());
    }
    if (st == nullptr) return Fail(sqlite3_errcode(db_));
    for (size_t row = 0; row < rows; ++row) {
      const ValueWrite& v = values[row];
      const int at = static_cast<int>(row) * kColumns;
      sqlite3_bind_int64(st, at + 1, id);
      BindText(st, at + 2, v.fold, SQLITE_STATIC);
      BindText(st, at + 3, v.name, SQLITE_STATIC);
      sqlite3_bind_int64(st, at + 4, v.type);
      sqlite3_bind_blob(st, at + 5, v.data.data() ? v.data.data() : "",
                        static_cast<int>(v.data.size()), SQLITE_STATIC);
      sqlite3_bind_int64(st, at + 6, gen);
    }
    if (LONG err = Step(st)) return err;
    values += rows;
    count -= rows;
  }
  return ERROR_SUCCESS;
}

LONG HiveFile::WriteHead(const HiveHead& head) {
  sqlite3_stmt* set = Prepare(kSetHead, "UPDATE hive SET gen = ?1, stamp = ?2 WHERE id = 1");
  sqlite3_stmt* ins =
      Prepare(kInsCommit, "INSERT OR REPLACE INTO commits(gen, stamp) VALUES(?1, ?2)");
  sqlite3_stmt* prune = Prepare(kPrune, "DELETE FROM commits WHERE gen <= ?1;");
  if (set == nullptr || ins == nullptr || prune == nullptr) return Fail(sqlite3_errcode(db_));
  sqlite3_bind_int64(set, 1, head.gen);
  sqlite3_bind_int64(set, 2, head.stamp);
  if (LONG err = Step(set)) return err;
  sqlite3_bind_int64(ins, 1, head.gen);
  sqlite3_bind_int64(ins, 2, head.stamp);
  if (LONG err = Step(ins)) return err;
  if (head.gen > kKeptCommits) {
    // Forget old history now and then (every 64 commits keeps the cost small).
    if (head.gen % 64 == 0) {
      sqlite3_bind_int64(prune, 1, head.gen - kKeptCommits);
      if (LONG err = Step(prune)) return err;
      const std::string sql =
          "DELETE FROM tombs WHERE gen <= " + std::to_string(head.gen - kKeptCommits);
      if (LONG err = Exec(sql.c_str())) return err;
    }
  }
  return ERROR_SUCCESS;
}

LONG HiveFile::BackupTo(const std::filesystem::path& target) {
  return CopyInto(db_, target);
}

LONG BackupDatabaseFile(const std::filesystem::path& source, const std::filesystem::path& target) {
  sqlite3* db = nullptr;
  int rc =
      sqlite3_open_v2(source.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
  if (rc != SQLITE_OK) {
    sqlite3_close_v2(db);
    db = nullptr;
    rc = sqlite3_open_v2(source.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
  }
  LONG err = MapError(rc);
  if (err == ERROR_SUCCESS) {
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    // Reading the schema first lets SQLite roll back a commit that a killed process left.
    err =
        MapError(sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr));
  }
  if (err == ERROR_SUCCESS) err = CopyInto(db, target);
  sqlite3_close_v2(db);
  return err;
}

void RecoverDatabaseFile(const std::filesystem::path& file) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) ==
      SQLITE_OK) {
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
  }
  sqlite3_close_v2(db);
}

}  // namespace w98::internal
