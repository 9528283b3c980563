#include "registry/hive.h"

#include <dirent.h>
#include <sys/stat.h>
#include <time.h>

#include <chrono>
#include <random>
#include <unordered_map>
#include <unordered_set>

#include "core/text.h"
#include "registry/hive_set.h"
#include "w98/winerror.h"

namespace w98::internal {
namespace {

// How often a reader looks for other processes' commits: when nothing announces them, and
// when the machine's change counter does (which leaves only files replaced behind w98's back).
constexpr std::int64_t kCheckIntervalNs = 2'000'000;
constexpr std::int64_t kAnnouncedCheckIntervalNs = 50'000'000;

std::int64_t RandomStamp() {
  static std::mutex mutex;
  static std::mt19937_64 engine{std::random_device{}() ^ static_cast<std::uint64_t>(MonotonicNs())};
  std::lock_guard<std::mutex> lock(mutex);
  std::int64_t stamp = 0;
  while (stamp == 0) stamp = static_cast<std::int64_t>(engine());
  return stamp;
}

std::vector<std::string_view> SplitFolded(std::string_view path) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  while (start < path.size()) {
    size_t end = path.find('\\', start);
    if (end == std::string_view::npos) end = path.size();
    parts.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

// The entry of `dir` whose name equals `name` without regard to case, or "" when none.
std::string FindNoCase(const std::filesystem::path& dir, const std::string& name) {
  DIR* d = ::opendir(dir.c_str());
  if (d == nullptr) return {};
  std::string found;
  while (dirent* e = ::readdir(d)) {
    if (EqualsNoCase(e->d_name, name)) {
      found = e->d_name;
      break;
    }
  }
  ::closedir(d);
  return found;
}

// Builds a tree from the rows of a file: keys parents first, then values. A row whose parent
// key has no row of its own gets the chain above it rebuilt from the folded names.
class TreeBuilder {
 public:
  TreeBuilder() : root_(std::make_shared<RegKey>()) { by_path_.emplace("", root_.get()); }

  void OnKey(const KeyRow& row) {
    const size_t cut = row.path.rfind('\\');
    RegKey* parent =
        KeyAt(cut == std::string_view::npos ? std::string_view() : row.path.substr(0, cut));
    if (parent->FindChild(row.name) == nullptr)
      by_path_.emplace(std::string(row.path), parent->AddChild(row.name).get());
  }
  void OnValue(const ValueRow& row) {
    RegValue& v = KeyAt(row.key)->InsertValue(row.name);
    v.type = row.type;
    v.data.assign(row.data);
  }
  const std::shared_ptr<RegKey>& Root() const { return root_; }

 private:
  RegKey* KeyAt(std::string_view path) {
    auto it = by_path_.find(std::string(path));
    if (it != by_path_.end()) return it->second;
    RegKey* cur = root_.get();
    for (std::string_view part : SplitFolded(path)) {
      auto child = cur->FindChild(part);
      cur = child ? child.get() : cur->AddChild(part).get();
      by_path_.emplace(cur->path, cur);
    }
    return cur;
  }

  std::shared_ptr<RegKey> root_;
  std::unordered_map<std::string, RegKey*> by_path_;
};

// Copies the values and the keys below `from` into `to` (as committed data: no pending marks).
void CopyTree(const RegKey& from, RegKey& to) {
  to.values = from.values;
  for (RegValue& v : to.values) v.dirty_seq = 0;
  for (const auto& child : from.children) CopyTree(*child, *to.AddChild(child->name));
}

}  // namespace

std::int64_t MonotonicNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::int64_t CoarseMonotonicNs() {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

struct Hive::Batch {
  struct KeyPart {
    std::string path;
    // (path, name) of the key and the keys above it that no earlier part of the batch names,
    // from the top down.
    std::vector<std::pair<std::string, std::string>> chain;
    std::vector<RegValue> values;
    std::vector<std::string> deleted;
  };
  std::uint64_t seq = 0;
  std::vector<std::string> trees;
  std::vector<KeyPart> keys;
  bool Empty() const { return trees.empty() && keys.empty(); }
};

Hive::Hive(std::filesystem::path file)
    : file_path_(std::move(file)), identity_path_(file_path_), root_(std::make_shared<RegKey>()) {}

Hive::~Hive() {
  if (pending_since_.load() != 0) Commit();
}

std::filesystem::path Hive::File() const {
  std::lock_guard<std::mutex> lock(identity_mutex_);
  return identity_path_;
}

bool Hive::Uses(dev_t dev, ino_t ino) {
  std::filesystem::path path;
  {
    std::lock_guard<std::mutex> lock(identity_mutex_);
    if (identity_open_) return identity_dev_ == dev && identity_ino_ == ino;
    path = identity_path_;
  }
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && st.st_dev == dev && st.st_ino == ino;
}

void Hive::PublishIdentity() {
  std::lock_guard<std::mutex> lock(identity_mutex_);
  identity_path_ = file_path_;
  identity_open_ = file_ != nullptr;
  if (file_) {
    identity_dev_ = file_->Device();
    identity_ino_ = file_->Inode();
  }
}

void Hive::Hold(bool hold) {
  if (hold) {
    ++holds_;
  } else if (--holds_ == 0 && pending_since_.load() != 0) {
    WakeFlusher();
  }
}

// ---------------------------------------------------------------- file side

void Hive::SetChangeCounter(std::atomic<std::uint64_t>* counter) {
  if (counter != nullptr) seen_changes_.store(counter->load());
  change_counter_.store(counter);
}

void Hive::AnnounceCommit() {
  std::atomic<std::uint64_t>* counter = change_counter_.load();
  if (counter == nullptr) return;
  const std::uint64_t before = counter->fetch_add(1);
  // Our own commit need not send us to the file again; someone else's would.
  std::uint64_t expected = before;
  seen_changes_.compare_exchange_strong(expected, before + 1);
}

LONG Hive::Sync(bool force) {
  // Every registry call comes here: the periodic look is timed by the cheap coarse clock.
  const std::int64_t now = CoarseMonotonicNs();
  std::atomic<std::uint64_t>* counter = change_counter_.load();
  // A commit that another process announced must be seen now; the periodic look may wait.
  const bool announced = counter != nullptr && counter->load() != seen_changes_.load();
  const bool must = force || !loaded_.load() || announced;
  if (!must) {
    const std::int64_t since = now - last_check_ns_.load();
    if (since < (counter == nullptr ? kCheckIntervalNs : kAnnouncedCheckIntervalNs))
      return ERROR_SUCCESS;
  }
  std::unique_lock<std::mutex> lock(file_mutex_, std::defer_lock);
  if (must) {
    lock.lock();
  } else if (!lock.try_lock()) {
    return ERROR_SUCCESS;  // a commit is under way and catches up itself
  }
  last_check_ns_.store(now);
  // Counted before the file is read, and marked seen only once the tree shows it: a thread
  // that finds the mark meanwhile waits above for this sync instead of reading a stale tree.
  const std::uint64_t announcements = counter != nullptr ? counter->load() : 0;
  const LONG err = SyncLocked();
  if (err == ERROR_SUCCESS && counter != nullptr) seen_changes_.store(announcements);
  return err;
}

bool Hive::FileReplaced() {
  struct stat st {};
  if (::stat(file_path_.c_str(), &st) != 0) return true;
  return st.st_dev != file_->Device() || st.st_ino != file_->Inode();
}

void Hive::LetGoOfFile() {
  file_.reset();
  need_full_ = true;
  data_version_ = -1;
  PublishIdentity();
}

LONG Hive::OpenFileLocked() {
  if (file_ && FileReplaced()) LetGoOfFile();
  if (file_) return ERROR_SUCCESS;
  // The file may have come back under another case (a restore that deleted and copied it).
  struct stat st {};
  if (::stat(file_path_.c_str(), &st) != 0) {
    const std::string other = FindNoCase(file_path_.parent_path(), file_path_.filename().string());
    if (!other.empty()) file_path_ = file_path_.parent_path() / other;
  }
  if (LONG err = HiveFile::Open(file_path_, &file_)) {
    LetGoOfFile();
    return err;
  }
  PublishIdentity();
  return ERROR_SUCCESS;
}

LONG Hive::SyncLocked() {
  if (LONG err = OpenFileLocked()) return err;
  std::int64_t version = 0;
  if (LONG err = file_->DataVersion(&version)) {
    LetGoOfFile();
    return err;
  }
  if (!need_full_ && version == data_version_) return ERROR_SUCCESS;
  LONG err = file_->BeginRead();
  if (err == ERROR_SUCCESS) err = CatchUp();
  file_->Rollback();
  if (err != ERROR_SUCCESS) {
    LetGoOfFile();
    return err;
  }
  data_version_ = version;
  loaded_.store(true);
  return ERROR_SUCCESS;
}

// Inside a transaction: brings the tree up to the file's head.
LONG Hive::CatchUp() {
  HiveHead head;
  if (LONG err = file_->ReadHead(&head)) return err;
  if (!need_full_ && head == seen_) return ERROR_SUCCESS;
  bool full = need_full_;
  if (!full) {
    bool found = false;
    std::int64_t stamp = 0;
    if (LONG err = file_->StampOf(seen_.gen, &found, &stamp)) return err;
    full = !found || stamp != seen_.stamp;  // the history this process followed is gone
  }
  if (full) {
    TreeBuilder fresh;
    LONG err = file_->LoadAll([&](const KeyRow& row) { fresh.OnKey(row); },
                              [&](const ValueRow& row) { fresh.OnValue(row); });
    if (err != ERROR_SUCCESS) return err;
    std::lock_guard<std::mutex> lock(mutex_);
    Reconcile(*root_, fresh.Root().get());
  } else {
    std::lock_guard<std::mutex> lock(mutex_);
    LONG err = file_->LoadSince(
        seen_.gen, [&](const TombRow& row) { ApplyTomb(row); },
        [&](const KeyRow& row) { ApplyKey(row); }, [&](const ValueRow& row) { ApplyValue(row); });
    if (err != ERROR_SUCCESS) return err;
  }
  seen_ = head;
  need_full_ = false;
  return ERROR_SUCCESS;
}

LONG Hive::Commit() {
  std::lock_guard<std::mutex> lock(file_mutex_);
  if (pending_since_.load() == 0) return ERROR_SUCCESS;
  if (!file_ || need_full_ || FileReplaced()) {
    if (LONG err = SyncLocked()) return err;
  }
  Batch batch;
  {
    std::lock_guard<std::mutex> tree(mutex_);
    batch = TakeBatch();
  }
  if (!batch.Empty()) {
    if (LONG err = WriteOut(batch)) return err;
  }
  {
    std::lock_guard<std::mutex> tree(mutex_);
    ClearCommitted(batch.seq);
  }
  // Changes made while this commit wrote go out in the next one, over the same pages: the
  // write cache is kept until a commit finds nothing more to write.
  if (pending_since_.load() == 0) file_->ReleaseWriteCache();
  return ERROR_SUCCESS;
}

LONG Hive::WriteOut(const Batch& batch) {
  LONG err = file_->BeginWrite();
  if (err == ERROR_SUCCESS) err = CatchUp();
  const HiveHead next{seen_.gen + 1, RandomStamp()};
  if (err == ERROR_SUCCESS) err = WriteBatch(batch, next.gen);
  if (err == ERROR_SUCCESS) err = file_->WriteHead(next);
  if (err == ERROR_SUCCESS) {
    err = file_->Commit();
  } else {
    file_->Rollback();
  }
  if (err != ERROR_SUCCESS) {
    if (err != ERROR_BUSY) LetGoOfFile();
    return err;
  }
  seen_ = next;
  AnnounceCommit();
  std::int64_t version = 0;
  if (file_->DataVersion(&version) == ERROR_SUCCESS) data_version_ = version;
  return ERROR_SUCCESS;
}

void Hive::Detach() {
  Commit();
  std::lock_guard<std::mutex> lock(file_mutex_);
  LetGoOfFile();
  last_check_ns_.store(0);
  // The file is about to be replaced: other processes should look again.
  if (std::atomic<std::uint64_t>* counter = change_counter_.load()) counter->fetch_add(1);
}

LONG Hive::Backup(const std::filesystem::path& target) {
  Commit();
  std::lock_guard<std::mutex> lock(file_mutex_);
  if (!file_ || FileReplaced()) {
    if (LONG err = SyncLocked()) return err;
  }
  return file_->BackupTo(target);
}

LONG Hive::ReadSubtree(const std::vector<std::string_view>& parts, std::shared_ptr<RegKey>* root) {
  {
    std::lock_guard<std::mutex> lock(file_mutex_);
    // Unloaded means unchanged here as well: every write loads the hive first.
    if (!loaded_.load() && pending_since_.load() == 0) {
      if (LONG err = OpenFileLocked()) return err;
      std::string path;
      for (std::string_view part : parts) path = ChildPath(path, part);
      TreeBuilder part;
      LONG err = file_->BeginRead();
      if (err == ERROR_SUCCESS)
        err = file_->LoadSubtree(
            path, [&](const KeyRow& row) { part.OnKey(row); },
            [&](const ValueRow& row) { part.OnValue(row); });
      file_->Rollback();
      if (err != ERROR_SUCCESS) {
        LetGoOfFile();
        return err;
      }
      *root = part.Root();
      return ERROR_SUCCESS;
    }
  }
  if (LONG err = Sync()) return err;
  auto copy = std::make_shared<RegKey>();
  std::lock_guard<std::mutex> tree(mutex_);
  const RegKey* from = root_.get();
  RegKey* to = copy.get();
  bool found = true;
  for (std::string_view part : parts) {
    auto child = from->FindChild(part);
    if (!child) {
      found = false;
      break;
    }
    from = child.get();
    to = to->AddChild(child->name).get();
  }
  if (found) CopyTree(*from, *to);
  *root = std::move(copy);
  return ERROR_SUCCESS;
}

Hive::Batch Hive::TakeBatch() {
  Batch batch;
  batch.seq = seq_;
  for (const auto& tree : pending_trees_) batch.trees.push_back(tree.first);
  // Keys of one batch share the keys above them: each is named once. This runs under the tree
  // lock, which every registry call of the process waits for.
  std::unordered_set<const RegKey*> chained;
  for (const auto& key : pending_keys_) {
    if (key->removed) continue;
    Batch::KeyPart part;
    part.path = key->path;
    bool needs_key = key->created_seq != 0;
    for (const auto& v : key->values) {
      if (v.dirty_seq == 0) continue;
      part.values.push_back(v);
      needs_key = true;
    }
    for (const auto& d : key->deleted_values) part.deleted.push_back(d.first);
    if (needs_key) {
      for (RegKey* k = key.get(); k != nullptr && k->parent != nullptr; k = k->parent) {
        if (!chained.insert(k).second) break;  // and the keys above it, too
        part.chain.emplace_back(k->path, k->name);
      }
      std::reverse(part.chain.begin(), part.chain.end());
    }
    if (part.chain.empty() && part.values.empty() && part.deleted.empty()) continue;
    batch.keys.push_back(std::move(part));
  }
  return batch;
}

LONG Hive::WriteBatch(const Batch& batch, std::int64_t gen) {
  for (const auto& tree : batch.trees)
    if (LONG err = file_->DeleteTree(tree, gen)) return err;
  std::vector<std::string> folds;
  std::vector<HiveFile::ValueWrite> writes;
  for (const auto& part : batch.keys) {
    for (const auto& d : part.deleted)
      if (LONG err = file_->DeleteValue(part.path, d, gen)) return err;
    for (const auto& link : part.chain)
      if (LONG err = file_->EnsureKey(link.first, link.second, gen)) return err;
    // The folded names first: the writes below refer to them.
    folds.clear();
    for (const auto& v : part.values) folds.push_back(UpperCase(v.name));
    writes.clear();
    for (size_t i = 0; i < part.values.size(); ++i) {
      const RegValue& v = part.values[i];
      writes.push_back({folds[i], v.name, v.type, v.data});
    }
    if (LONG err = file_->PutValues(part.path, writes.data(), writes.size(), gen)) return err;
  }
  return ERROR_SUCCESS;
}

void Hive::ClearCommitted(std::uint64_t seq) {
  std::erase_if(pending_trees_, [&](const auto& t) { return t.second <= seq; });
  std::erase_if(pending_keys_, [&](const std::shared_ptr<RegKey>& key) {
    if (key->created_seq != 0 && key->created_seq <= seq) key->created_seq = 0;
    for (auto& v : key->values)
      if (v.dirty_seq != 0 && v.dirty_seq <= seq) v.dirty_seq = 0;
    std::erase_if(key->deleted_values, [&](const auto& d) { return d.second <= seq; });
    key->listed = !key->removed && key->HasLocalChanges();
    return !key->listed;
  });
  if (pending_keys_.empty() && pending_trees_.empty()) {
    pending_since_.store(0);
  } else {
    pending_since_.store(MonotonicNs());
  }
}

// ---------------------------------------------------------------- applying others' commits

bool Hive::UnderPendingTree(std::string_view path) const {
  for (const auto& tree : pending_trees_) {
    const std::string& p = tree.first;
    if (p.empty() || path == p ||
        (path.size() > p.size() && path.compare(0, p.size(), p) == 0 && path[p.size()] == '\\'))
      return true;
  }
  return false;
}

RegKey* Hive::FindFolded(std::string_view path) {
  RegKey* cur = root_.get();
  for (std::string_view part : SplitFolded(path)) {
    auto child = cur->FindChild(part);
    if (!child) return nullptr;
    cur = child.get();
  }
  return cur;
}

RegKey* Hive::EnsureFolded(std::string_view path, std::string_view leaf_name) {
  RegKey* cur = root_.get();
  const auto parts = SplitFolded(path);
  for (size_t i = 0; i < parts.size(); ++i) {
    auto child = cur->FindChild(parts[i]);
    if (!child) {
      std::string name;
      if (i + 1 == parts.size() && !leaf_name.empty()) {
        name = std::string(leaf_name);
      } else {
        const size_t end = static_cast<size_t>(parts[i].data() + parts[i].size() - path.data());
        if (!file_ || !file_->KeyName(path.substr(0, end), &name)) name = std::string(parts[i]);
      }
      child = cur->AddChild(name);
    }
    cur = child.get();
  }
  return cur;
}

bool Hive::Reconcile(RegKey& local, const RegKey* fresh) {
  if (fresh != nullptr && UnderPendingTree(local.path)) fresh = nullptr;
  // Values: a merge of two sorted lists.
  std::vector<RegValue> merged;
  merged.reserve(local.values.size() + (fresh ? fresh->values.size() : 0));
  size_t i = 0, j = 0;
  const size_t nf = fresh ? fresh->values.size() : 0;
  while (i < local.values.size() || j < nf) {
    int order;
    if (i == local.values.size()) {
      order = 1;
    } else if (j == nf) {
      order = -1;
    } else {
      order = CompareNoCase(local.values[i].name, fresh->values[j].name);
    }
    if (order < 0) {
      if (local.values[i].dirty_seq != 0) merged.push_back(std::move(local.values[i]));
      ++i;
    } else if (order > 0) {
      if (!local.HasPendingDelete(UpperCase(fresh->values[j].name)))
        merged.push_back(fresh->values[j]);
      ++j;
    } else {
      if (local.values[i].dirty_seq != 0) {
        merged.push_back(std::move(local.values[i]));
      } else {
        merged.push_back(fresh->values[j]);
      }
      ++i;
      ++j;
    }
  }
  local.values.AssignSorted(std::move(merged));
  // Children.
  for (size_t k = 0; k < local.children.size();) {
    std::shared_ptr<RegKey> child = local.children[k];
    std::shared_ptr<RegKey> counterpart = fresh ? fresh->FindChild(child->name) : nullptr;
    if (Reconcile(*child, counterpart.get())) {
      local.DetachChildAt(k);
      MarkRemoved(*child);
    } else {
      ++k;
    }
  }
  if (fresh != nullptr) {
    for (const auto& fc : fresh->children) {
      if (local.FindChild(fc->name) || UnderPendingTree(fc->path)) continue;
      auto added = local.AddChild(fc->name);
      if (Reconcile(*added, fc.get())) local.RemoveChild(fc->name);
    }
  }
  return fresh == nullptr && &local != root_.get() && local.values.empty() &&
         local.children.empty() && local.created_seq == 0;
}

void Hive::ApplyTomb(const TombRow& row) {
  if (UnderPendingTree(row.key)) return;
  RegKey* key = FindFolded(row.key);
  if (key == nullptr) return;
  if (row.tree) {
    if (Reconcile(*key, nullptr) && key->parent != nullptr) key->parent->RemoveChild(key->name);
    return;
  }
  // row.fold is the folded name; a case-insensitive lookup finds the value under any case.
  RegValue* v = key->FindValue(row.fold);
  if (v != nullptr && v->dirty_seq == 0) key->EraseValue(row.fold);
}

void Hive::ApplyKey(const KeyRow& row) {
  if (UnderPendingTree(row.path)) return;
  EnsureFolded(row.path, row.name);
}

void Hive::ApplyValue(const ValueRow& row) {
  if (UnderPendingTree(row.key)) return;
  RegKey* key = EnsureFolded(row.key, {});
  if (!key->deleted_values.empty() && key->HasPendingDelete(UpperCase(row.name))) return;
  bool inserted = false;
  RegValue& v = key->InsertValue(row.name, &inserted);
  if (!inserted && v.dirty_seq != 0) return;  // this process's change is not committed yet
  v.name.assign(row.name);
  v.type = row.type;
  v.data.assign(row.data);
}

// ---------------------------------------------------------------- local changes

void Hive::NotePending() {
  if (pending_since_.load() == 0) {
    pending_since_.store(MonotonicNs());
    WakeFlusher();
  }
}

void Hive::Touch(RegKey& key) {
  if (!key.listed) {
    key.listed = true;
    pending_keys_.push_back(key.shared_from_this());
  }
  NotePending();
}

std::shared_ptr<RegKey> Hive::Find(RegKey& from, const std::vector<std::string_view>& parts) {
  std::shared_ptr<RegKey> cur = from.shared_from_this();
  for (std::string_view part : parts) {
    cur = cur->FindChild(part);
    if (!cur) return nullptr;
  }
  return cur;
}

std::shared_ptr<RegKey> Hive::Create(RegKey& from, const std::vector<std::string_view>& parts,
                                     bool* created) {
  std::shared_ptr<RegKey> cur = from.shared_from_this();
  *created = false;
  for (std::string_view part : parts) {
    std::shared_ptr<RegKey> next = cur->FindChild(part);
    if (!next) {
      next = cur->AddChild(part);
      next->created_seq = NextSeq();
      Touch(*next);
      *created = true;
    } else {
      *created = false;
    }
    cur = std::move(next);
  }
  return cur;
}

void Hive::SetValue(RegKey& key, std::string_view name, DWORD type, std::string_view data) {
  RegValue& v = key.InsertValue(name);
  v.type = type;
  v.data.assign(data);
  v.dirty_seq = NextSeq();
  if (!key.deleted_values.empty()) key.DropPendingDelete(UpperCase(name));
  Touch(key);
}

bool Hive::DeleteValue(RegKey& key, std::string_view name) {
  if (!key.EraseValue(name)) return false;
  const std::string folded = UpperCase(name);
  key.DropPendingDelete(folded);
  key.deleted_values.emplace_back(folded, NextSeq());
  Touch(key);
  return true;
}

void Hive::DeleteTree(RegKey& key) {
  pending_trees_.emplace_back(key.path, NextSeq());
  if (key.parent != nullptr) {
    key.parent->RemoveChild(key.name);
  } else {
    for (auto& child : key.children) MarkRemoved(*child);
    key.ClearChildren();
    key.values.clear();
    key.deleted_values.clear();
  }
  NotePending();
}

}  // namespace w98::internal
