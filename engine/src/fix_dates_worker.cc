#include "fix_dates_worker.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <optional>
#include <set>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include <w98/time.h>

#include "catalogue.h"
#include "registry_editor.h"
#include "snapshot_dates.h"
#include "snapshot_names.h"
#include "store_folder.h"
#include "text_file.h"
#include "worker_support.h"

namespace snapshot {
namespace {

constexpr __time64_t kSecondsPerDay = 86400;

struct Failure {};

void Require(bool ok) {
  if (!ok) throw Failure{};
}

// One listed snapshot and what it becomes.
struct Renaming {
  std::string old_name;
  __time64_t date = 0;  // local midnight of the old name's date
  std::string new_name;
};

// Everything a control key holds.
struct ControlKey {
  std::string image_name, comments, date, time;
  int valid = 0;
  std::vector<std::string> kernel_files, user_files;
};

ControlKey ReadControlKey(std::string_view profile) {
  ControlKey key;
  {
    Section misc(profile, cat::kMisc);
    key.image_name = misc.ReadText(cat::kImageName);
    key.comments = misc.ReadText(cat::kComments);
    key.date = misc.ReadText(cat::kDate);
    key.time = misc.ReadText(cat::kTime);
    key.valid = misc.ReadInt(cat::kValid, 0);
  }
  key.kernel_files = ReadList(FileList(profile, true));
  key.user_files = ReadList(FileList(profile, false));
  return key;
}

// A file list written value by value, its count last.
void WriteFileList(std::string_view profile, bool kernel, const std::vector<std::string>& files) {
  const ListSpec list = FileList(profile, kernel);
  Section section(list.profile, list.section);
  for (size_t i = 0; i < files.size(); ++i)
    Require(
        section.WriteText(NumberedName(list.pattern, list.first + static_cast<int>(i)), files[i]));
  Require(section.WriteInt(list.count_value, static_cast<int>(files.size())));
}

void WriteControlKey(std::string_view profile, const ControlKey& key) {
  {
    Section misc(profile, cat::kMisc);
    Require(misc.WriteText(cat::kImageName, key.image_name));
    Require(misc.WriteText(cat::kComments, key.comments));
    Require(misc.WriteText(cat::kDate, key.date));
    Require(misc.WriteText(cat::kTime, key.time));
    Require(misc.WriteInt(cat::kValid, key.valid));
  }
  WriteFileList(profile, true, key.kernel_files);
  WriteFileList(profile, false, key.user_files);
}

// Moves a control key to another name: read whole, old key deleted, new key written.
ControlKey MoveControlKey(std::string_view from, std::string_view to) {
  const ControlKey key = ReadControlKey(from);
  Require(DeleteCatalogueKey(KeyKind::kSnapshot, from));
  WriteControlKey(to, key);
  return key;
}

void CopyText(char (&field)[SS_TEXT_FIELD], const std::string& text) {
  const size_t n = std::min(text.size(), sizeof field - 1);
  std::memcpy(field, text.data(), n);
  field[n] = '\0';
}

// The export that RollBackFixDates imports; an older one is removed first, so that a failed
// export can never leave a stale backup behind.
void BackUpCatalogue(const std::string& file) {
  SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileA(file.c_str());
  Require(ExportCatalogueKey(file, CatalogueRootName()));
  Require(IsRegistryScript(file));
  AppendLineFeed(file);
}

// The listed snapshots with their dates, in list order. Fails when a name cannot be re-dated.
std::vector<Renaming> ReadListedSnapshots() {
  std::vector<Renaming> listed;
  for (const std::string& name : ReadList(SnapshotList())) {
    Require(IsUsableSnapshotName(name));
    const std::optional<__time64_t> date = NameDate(name);
    Require(date.has_value());
    listed.push_back({name, *date, {}});
  }
  return listed;
}

// Gives every snapshot its new name; fails when two different snapshots would share one.
void PlanNewNames(std::vector<Renaming>& listed, __time64_t shift) {
  std::unordered_map<std::string, std::string> owner;  // new name -> old name
  for (Renaming& snapshot : listed) {
    snapshot.new_name = RedatedName(snapshot.old_name, snapshot.date - shift);
    Require(IsUsableSnapshotName(snapshot.new_name));
    const auto [it, inserted] = owner.emplace(snapshot.new_name, snapshot.old_name);
    Require(inserted || it->second == snapshot.old_name);
  }
}

void CopyBatchFile(const std::string& store, const Renaming& snapshot, char letter, bool required) {
  const std::string from = store + "batch\\" + BatchFileName(snapshot.old_name, letter);
  const std::string to = store + "newbatch\\" + BatchFileName(snapshot.new_name, letter);
  const bool copied = CopyFileA(from.c_str(), to.c_str(), FALSE) != FALSE;
  if (required) Require(copied);
}

// Renames the snapshots in the reference lists in one pass over the versions: in a version that
// a renamed snapshot lists, every entry equal to its old name becomes its new name; in a
// version of the Index list, any other entry carrying the temporary "_" mark loses it.
void RenameReferences(const std::vector<Renaming>& listed,
                      const std::vector<std::vector<std::string>>& file_keys) {
  std::unordered_map<std::string, std::vector<size_t>> holders;  // file key -> snapshots
  std::vector<std::string> order;
  for (size_t k = 0; k < listed.size(); ++k)
    for (const std::string& key : file_keys[k]) {
      if (key.empty()) continue;
      std::vector<size_t>& of_key = holders[key];
      if (of_key.empty()) order.push_back(key);
      if (std::find(of_key.begin(), of_key.end(), k) == of_key.end()) of_key.push_back(k);
    }
  std::unordered_set<std::string> indexed;
  for (std::string& key : ReadList(IndexList())) {
    if (key.empty() || !indexed.insert(key).second) continue;
    if (holders.find(key) == holders.end()) order.push_back(key);
  }

  for (const std::string& key : order) {
    const ListSpec list = ReferenceList(key);
    const std::vector<std::string> old_entries = ReadList(list);
    std::vector<std::string> entries = old_entries;
    const auto held = holders.find(key);
    const bool in_index = indexed.count(key) != 0;
    for (std::string& entry : entries) {
      bool renamed = false;
      if (held != holders.end())
        for (size_t k : held->second)
          if (entry == listed[k].old_name) {
            entry = listed[k].new_name;
            renamed = true;
            break;
          }
      if (!renamed && in_index && !entry.empty() && entry[0] == '_') entry.erase(0, 1);
    }
    if (entries != old_entries) Require(RewriteList(list, old_entries, entries));
  }
}

// Puts newbatch in the place of batch, keeping the old folder as oldbatch until the catalogue is
// marked valid again: until then RollBackFixDates can put it back. A batch folder that cannot be
// moved aside, or a newbatch that cannot take its place, fails the run with the old batch folder
// back in place.
void SwapBatchFolders(const std::string& store) {
  const std::string batch = store + "batch";
  const std::string old_batch = store + "oldbatch";
  const std::string new_batch = store + "newbatch";
  if (PathExists(batch)) Require(MoveFileA(batch.c_str(), old_batch.c_str()) != FALSE);
  if (!MoveFileA(new_batch.c_str(), batch.c_str())) {
    MoveFileA(old_batch.c_str(), batch.c_str());
    throw Failure{};
  }
}

void Redate(const FixDatesJob& job, const std::vector<Renaming>& listed) {
  const std::string& store = job.store_dir;
  const std::string new_batch = store + "newbatch";
  if (!PathExists(new_batch)) Require(CreateDirectoryA(new_batch.c_str(), nullptr) != FALSE);
  SetFileAttributesA(new_batch.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);

  // Each control key goes to "_" + its new name first, so that no new name meets an old one
  // not yet moved.
  std::vector<std::vector<std::string>> file_keys(listed.size());
  std::set<std::string> moved;
  for (size_t k = 0; k < listed.size(); ++k) {
    const Renaming& snapshot = listed[k];
    if (job.pairs != nullptr) {
      CopyText(job.pairs[k].oldName, snapshot.old_name);
      CopyText(job.pairs[k].newName, snapshot.new_name);
    }
    const std::string temporary = "_" + snapshot.new_name;
    // A name listed twice is moved once; moving it again would empty the moved key.
    if (!moved.insert(snapshot.old_name).second) continue;
    const ControlKey key = MoveControlKey(snapshot.old_name, temporary);
    CopyBatchFile(store, snapshot, 'B', true);
    CopyBatchFile(store, snapshot, 'W', true);
    CopyBatchFile(store, snapshot, 'D', false);
    {
      Section misc(temporary, cat::kMisc);
      Require(misc.WriteText(cat::kImageName, snapshot.new_name));
      Require(misc.WriteText(cat::kDate, snapshot.new_name.substr(0, 8)));
    }
    file_keys[k] = key.kernel_files;
    file_keys[k].insert(file_keys[k].end(), key.user_files.begin(), key.user_files.end());
  }

  Require(WriteInt(cat::kReferences, cat::kMisc, cat::kValid, 0));
  RenameReferences(listed, file_keys);

  moved.clear();
  for (size_t j = 0; j < listed.size(); ++j) {
    const Renaming& snapshot = listed[j];
    Require(WriteText(cat::kMaster, cat::kMisc,
                      NumberedName(cat::kControlFile, static_cast<int>(j) + 1), snapshot.new_name));
    if (moved.insert(snapshot.new_name).second)
      MoveControlKey("_" + snapshot.new_name, snapshot.new_name);
  }

  SwapBatchFolders(store);
}

DWORD FixDates(const FixDatesJob& job) {
  BackUpCatalogue(job.store_dir + "fixall.sav");
  const __time64_t threshold =
      _time64(nullptr) - static_cast<__time64_t>(job.days) * kSecondsPerDay;

  // Leftovers of an earlier run: an oldbatch would stop the batch folders' swap and be taken for
  // this run's old batch folder by a roll-back; files in a newbatch would join the batch folder.
  RemoveFileFolder(job.store_dir + "oldbatch");
  RemoveFileFolder(job.store_dir + "newbatch");

  // Every name is checked, and every new name planned, before the catalogue is marked: a name
  // that cannot be re-dated then changes nothing.
  std::vector<Renaming> listed = ReadListedSnapshots();
  std::optional<__time64_t> latest;
  for (const Renaming& snapshot : listed)
    if (!latest || snapshot.date > *latest) latest = snapshot.date;
  const bool redate = latest.has_value() && threshold < *latest;
  if (redate) PlanNewNames(listed, *latest - threshold);

  // The flag goes first, so that wherever the run stops, a Valid of 0 is explained by it.
  Require(WriteInt(cat::kMaster, cat::kLastOp, cat::kDoFixDates, 1));
  Require(WriteInt(cat::kMaster, cat::kMisc, cat::kValid, 0));
  Require(FlushCatalogue());
  {
    Section misc(cat::kMaster, cat::kMisc);
    for (size_t i = 0; i < listed.size(); ++i)
      Require(misc.DeleteValue(NumberedName(cat::kControlFile, static_cast<int>(i) + 1)));
  }

  DWORD outcome = SS_FIXDATES_NOTHING;
  if (redate) {
    Redate(job, listed);
    outcome = SS_FIXDATES_DONE;
  } else {
    Section misc(cat::kMaster, cat::kMisc);
    for (size_t i = 0; i < listed.size(); ++i)
      Require(misc.WriteText(NumberedName(cat::kControlFile, static_cast<int>(i) + 1),
                             listed[i].old_name));
  }

  Require(WriteInt(cat::kReferences, cat::kMisc, cat::kValid, 1));
  Require(WriteInt(cat::kMaster, cat::kMisc, cat::kValid, 1));
  Require(WriteInt(cat::kMaster, cat::kLastOp, cat::kDoFixDates, 0));
  RemoveFileFolder(job.store_dir + "oldbatch");
  return outcome;
}

}  // namespace

DWORD RunFixDates(const FixDatesJob& job) {
  NamedMutexHold own(kFixDateMutex);
  NamedMutexHold catalogue(kCatalogueMutex);
  DWORD code = SS_FIXDATES_FAILED;
  try {
    code = FixDates(job);
  } catch (const Failure&) {
    code = SS_FIXDATES_FAILED;
  } catch (const std::exception&) {
    code = SS_FIXDATES_FAILED;
  }
  SendCompletion(job.window, code);
  return code;
}

}  // namespace snapshot
