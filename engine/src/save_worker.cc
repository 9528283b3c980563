#include "save_worker.h"

#include <deque>
#include <exception>
#include <optional>
#include <unordered_set>
#include <vector>

#include "catalogue.h"
#include "copy_thread.h"
#include "file_facts.h"
#include "registry_editor.h"
#include "release.h"
#include "settings.h"
#include "snapshot/snapshot.h"
#include "snapshot_names.h"
#include "text_file.h"
#include "texts/texts.h"
#include "version_text.h"
#include "worker_support.h"

namespace snapshot {
namespace {

constexpr unsigned long kAliasNumbers = 100000;
// How many aliases a save looks up one by one before it lists the copy folder once instead: a
// save that stores a few versions looks at a few names, a base snapshot lists the folder.
constexpr int kProbedAliases = 64;

// Ends the run with a completion code.
struct Failure {
  DWORD code;
};

void Require(bool ok, DWORD code = SS_SAVE_FAILED) {
  if (!ok) throw Failure{code};
}

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A folder of the store that the save creates when it is missing, read-only and hidden.
void EnsureStoreFolder(const std::string& folder) {
  if (Exists(folder)) return;
  Require(CreateDirectoryA(folder.c_str(), nullptr) != FALSE);
  SetFileAttributesA(folder.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
}

// Closes a find handle also when the thread is stopped during the enumeration.
class FindHandle {
 public:
  explicit FindHandle(HANDLE handle) : handle_(handle) {}
  ~FindHandle() {
    if (handle_ != INVALID_HANDLE_VALUE) FindClose(handle_);
  }
  FindHandle(const FindHandle&) = delete;
  FindHandle& operator=(const FindHandle&) = delete;
  bool ok() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

class SaveRun {
 public:
  explicit SaveRun(const SaveJob& job)
      : job_(job),
        folders_{job.store_dir, job.windows_dir, job.boot_dir},
        copy_folder_(job.store_dir + "backup") {}

  DWORD Run() {
    MarkStart();
    ReadPatterns();
    Require(WriteInt(cat::kReferences, cat::kMisc, cat::kValid, 0));
    // Held open for the sections of every file below it.
    references_.emplace(cat::kReferences);
    CreateWorkFiles();
    copier_.Start(job_.copy_control);
    for (const std::string& pattern : patterns_) SavePattern(pattern);
    Finish();
    return SS_SAVE_DONE;
  }

 private:
  // Export the profiles the save changes, then mark the catalogue as being in a save and list
  // the new snapshot, then make the marks durable.
  void MarkStart() {
    const std::string& store = job_.store_dir;
    ExportCatalogueKey(store + "snapshot.sav", ProfileKeyName(cat::kMaster));
    ExportCatalogueKey(store + "cref.sav", ProfileKeyName(cat::kReferences));

    // The save's flag goes first, so that wherever the save stops, a Valid of 0 is always
    // explained by it (an interrupted save, never a damaged catalogue).
    {
      Section last_op(cat::kMaster, cat::kLastOp);
      Require(last_op.WriteInt(cat::kDoSave, 1));
      Require(last_op.WriteText(cat::kSaveImage, job_.name));
    }
    Require(WriteInt(job_.name, cat::kMisc, cat::kValid, 0));
    Require(WriteInt(cat::kMaster, cat::kMisc, cat::kValid, 0));
    if (SnapshotListed(job_.name)) {
      // A save under a listed name replaces that snapshot: its references are released as a
      // delete releases them, so the list never names it twice.
      Require(WriteInt(cat::kReferences, cat::kMisc, cat::kValid, 0));
      Require(ReleaseSnapshotReferences(job_.name));
      Require(RemoveFromSnapshotList(job_.name, nullptr));
      DeleteCatalogueKey(KeyKind::kSnapshot, job_.name);
      Require(WriteInt(job_.name, cat::kMisc, cat::kValid, 0));
    } else {
      // Lists left by a save of this name that was stopped before it was listed.
      Require(DeleteSection(job_.name, cat::kKernelFileList));
      Require(DeleteSection(job_.name, cat::kUserFileList));
    }
    {
      // The new name is written before the count that includes it, so a stop between the two
      // never leaves a count naming a missing value.
      Section misc(cat::kMaster, cat::kMisc);
      const int count = misc.ReadInt(cat::kNumofSSImage, 0) + 1;
      Require(misc.WriteText(NumberedName(cat::kControlFile, count), job_.name));
      Require(misc.WriteInt(cat::kNumofSSImage, count));
    }
    Require(FlushCatalogue());
  }

  void ReadPatterns() {
    const int counter = ReadInt(cat::kMaster, cat::kMisc, cat::kAliasSequentialNumber, 0);
    alias_counter_ = counter < 0 ? 0 : static_cast<unsigned long>(counter) % kAliasNumbers;
    Section backup(cat::kMaster, cat::kBackupList);
    const int roots = backup.ReadInt(cat::kRootFileTypeCount, 0);
    for (int i = 0; i < roots; ++i)
      patterns_.push_back(backup.ReadText(NumberedName(cat::kRootFileType, i)));
    const int windows = backup.ReadInt(cat::kWinFileTypeCount, 0);
    for (int i = 0; i < windows; ++i)
      patterns_.push_back(job_.windows_dir + backup.ReadText(NumberedName(cat::kWinFileType, i)));
  }

  void CreateWorkFiles() {
    const std::string& store = job_.store_dir;
    Require(boot_.Create(store + "tempboot"));
    WriteTo(boot_, texts::BootOpening(folders_, job_.comments));
    Require(win_.Create(store + "tempwin"));
    WriteTo(win_, texts::WinOpening(folders_));
    Require(dos_.Create(store + "tempdosboot"));
    WriteTo(dos_, std::string(texts::kQuickRestoreHeader));
    Require(log_.Create(store + "backup.log"));
  }

  void SavePattern(const std::string& pattern) {
    WIN32_FIND_DATAA found;
    FindHandle find(FindFirstFileA(pattern.c_str(), &found));
    if (!find.ok()) {
      if (EqualsNoCase(pattern, "c:\\config.sys")) config_missing_ = true;
      if (EqualsNoCase(pattern, "c:\\autoexec.bat")) {
        SettleAll();  // the line follows the restore blocks of the files before it
        WriteTo(win_, texts::WinDeleteAutoexec());
      }
      return;
    }
    const std::string folder = PatternFolder(pattern);
    do {
      const std::string_view name = found.cFileName;
      if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || name == "." || name == "..")
        continue;
      SaveFile(found, folder);
    } while (FindNextFileA(find.get(), &found));
  }

  void SaveFile(const WIN32_FIND_DATAA& found, const std::string& folder) {
    if (job_.mode == SS_SAVE_MODE_YIELD) Sleep(0);
    const FileFacts facts = DeriveFileFacts(found, folder);
    const std::string version = ReadVersionText(facts.path);
    {
      // The list entry first, then the count that includes it.
      Section& list = HeldSection(facts.kernel ? kernel_list_ : user_list_, job_.name,
                                  facts.kernel ? cat::kKernelFileList : cat::kUserFileList);
      int& count = facts.kernel ? kernel_count_ : user_count_;
      Require(list.WriteText(NumberedName(cat::kFile, count), facts.key));
      ++count;
      Require(list.WriteInt(cat::kFileCount, count));
    }
    // A version whose copy is under way is known only once the copy is made: a failed copy
    // leaves the file to be stored anew.
    while (copying_keys_.count(facts.key) != 0) SettleFront();
    Section entry(*references_, facts.key);
    const int references = entry.ReadInt(cat::kRefCount, 0);
    if (!copy_folder_ready_) {
      // Made (when missing) at the first file; the save does not look for it again.
      EnsureStoreFolder(copy_folder_);
      copy_folder_ready_ = true;
    }
    if (references != 0)
      ShareVersion(facts, version, references, entry);
    else
      StoreVersion(found, facts, version, entry);
    while (!deferred_.empty() && FrontReady()) SettleFront();
  }

  // The version is stored already: the new snapshot takes a reference to it.
  void ShareVersion(const FileFacts& facts, const std::string& version, int references,
                    Section& entry) {
    const std::string stored = entry.ReadText(cat::kStorePath) + entry.ReadText(cat::kAlias);
    const std::string original =
        entry.ReadText(cat::kOriginalPath) + entry.ReadText(cat::kOriginalFileName);
    deferred_.push_back({facts, version, original, stored, false, 0, std::nullopt});
    // The new name first, then the count that includes it.
    Require(entry.WriteText(NumberedName(cat::kRefControlFile, references + 1), job_.name));
    Require(entry.WriteInt(cat::kRefCount, references + 1));
  }

  // A version no snapshot holds: copy it into the store under a fresh alias.
  void StoreVersion(const WIN32_FIND_DATAA& found, const FileFacts& facts,
                    const std::string& version, Section& entry) {
    const std::string alias = ChooseAlias(facts);
    Require(HeldSection(master_misc_, cat::kMaster, cat::kMisc)
                .WriteInt(cat::kAliasSequentialNumber, static_cast<int>(alias_counter_)));
    {
      // The version's entry is complete before its copy exists, so a copy never exists that no
      // entry names, wherever the save stops; deleting the half-made snapshot then removes it.
      Require(entry.WriteText(NumberedName(cat::kRefControlFile, 1), job_.name));
      Require(entry.WriteInt(cat::kRefCount, 1));
      Require(entry.WriteText(cat::kOriginalPath, facts.folder));
      Require(entry.WriteText(cat::kOriginalFileName, facts.name));
      Require(entry.WriteText(cat::kStorePath, copy_folder_ + "\\"));
      Require(entry.WriteText(cat::kStoreDir, copy_folder_));
      Require(entry.WriteText(cat::kType, ""));
      Require(entry.WriteText(cat::kAlias, alias));
      Require(entry.WriteText(cat::kSize, facts.size_text));
      Require(entry.WriteText(cat::kDate, facts.date_text));
      Require(entry.WriteText(cat::kTime, facts.time_text));
      Require(entry.WriteText(cat::kAttrib, facts.attribute_text));
      Require(entry.WriteText(cat::kVersion, version));
      entry.Close();
    }
    // The copy is made by the copier; what follows it in the catalogue and the work files is
    // done, in the order of the files, once it is made. Settled copies make room first; when
    // the copier is still behind, this thread makes the copy itself rather than wait.
    while (copier_.Full() && !deferred_.empty() && FrontReady()) SettleFront();
    const std::string copy = copy_folder_ + "\\" + alias;
    std::optional<DWORD> made_here;
    if (copier_.Full())
      made_here = CopyThread::MakeCopy({facts.path, copy});
    else
      copier_.Push({facts.path, copy});
    copying_keys_.insert(facts.key);
    deferred_.push_back({facts, version, facts.path, copy, true, found.nFileSizeLow, made_here});
  }

  // True when the oldest unsettled file can be settled without waiting.
  bool FrontReady() const {
    const Deferred& front = deferred_.front();
    return !front.copying || front.made_here.has_value() || copier_.Ready();
  }

  // Finishes the oldest file whose restore lines are not written yet: a shared version's lines,
  // or, once its copy is made, a stored version's lines, backup.log line and Index entry.
  void SettleFront() {
    const Deferred item = std::move(deferred_.front());
    deferred_.pop_front();
    if (!item.copying) {
      AppendRestoreLines(item.facts, item.version, item.original, item.stored);
      return;
    }
    const DWORD result = item.made_here ? *item.made_here : copier_.Take();
    copying_keys_.erase(item.facts.key);
    if (result == ERROR_OPERATION_ABORTED) throw Failure{SS_SAVE_FAILED};
    if (result != ERROR_SUCCESS) {
      // The file stays listed in the snapshot, without a version in the reference table.
      Require(DeleteSection(cat::kReferences, item.facts.key));
      WriteTo(log_, texts::BackupLogCopyError(item.facts.path, copy_folder_));
      ULARGE_INTEGER available{};
      if (GetDiskFreeSpaceExA(copy_folder_.c_str(), &available, nullptr, nullptr) &&
          available.HighPart == 0 && available.LowPart < item.size)
        throw Failure{SS_SAVE_DISK_FULL};
      return;
    }
    // Marked here rather than by the copier, whose thread bounds how fast the save runs.
    SetFileAttributesA(item.stored.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    AppendRestoreLines(item.facts, item.version, item.original, item.stored);
    WriteTo(log_, texts::BackupLogCopied(item.facts.path, copy_folder_));
    Section index(*references_, cat::kIndex);
    const int count = index.ReadInt(cat::kIndexCount, 0) + 1;
    Require(index.WriteText(NumberedName(cat::kKey, count), item.facts.key));
    Require(index.WriteInt(cat::kIndexCount, count));
  }

  void SettleAll() {
    while (!deferred_.empty()) SettleFront();
  }

  // The first sequence number from the counter on whose alias no file exists in the copy
  // folder; the counter then moves past it.
  std::string ChooseAlias(const FileFacts& facts) {
    unsigned long number = alias_counter_;
    const unsigned long start = number;
    std::string alias = AliasName(number, facts.year, facts.month);
    while (AliasTaken(alias)) {
      number = (number + 1) % kAliasNumbers;
      alias = AliasName(number, facts.year, facts.month);
      if (number == start) throw Failure{SS_SAVE_NO_ALIAS};
    }
    alias_counter_ = (number + 1) % kAliasNumbers;
    taken_aliases_.insert(FoldedName(alias));  // its copy may still be on its way
    return alias;
  }

  // True when a file of the copy folder, or a copy this save has begun, has the name `alias`.
  bool AliasTaken(const std::string& alias) {
    const std::string folded = FoldedName(alias);
    if (taken_aliases_.count(folded) != 0) return true;
    if (copy_folder_listed_) return false;
    if (probed_aliases_ < kProbedAliases) {
      ++probed_aliases_;
      return Exists(copy_folder_ + "\\" + alias);
    }
    ListCopyFolder();
    return taken_aliases_.count(folded) != 0;
  }

  // Adds the names in the copy folder to the taken aliases. The store is the engine's own, and
  // one catalogue-changing worker runs at a time: no other file appears in it during the save.
  void ListCopyFolder() {
    copy_folder_listed_ = true;
    WIN32_FIND_DATAA found;
    FindHandle find(FindFirstFileA((copy_folder_ + "\\*.*").c_str(), &found));
    if (!find.ok()) return;
    do {
      taken_aliases_.insert(FoldedName(found.cFileName));
    } while (FindNextFileA(find.get(), &found));
  }

  static std::string FoldedName(std::string_view name) {
    std::string folded(name);
    for (char& c : folded)
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return folded;
  }

  // The file's restore block goes to the boot-phase batch (with a quick-restore record) for a
  // kernel file, to the Windows-phase batch for a user file.
  void AppendRestoreLines(const FileFacts& facts, const std::string& version,
                          const std::string& original, const std::string& stored) {
    const texts::RestoreItem item{original, stored, version, facts.attribute_text, facts.size_text};
    if (facts.kernel) {
      WriteTo(boot_, texts::RestoreBlock(item));
      WriteTo(dos_, texts::QuickRestoreRecord(version, original, stored, facts.attribute_letters));
    } else {
      WriteTo(win_, texts::RestoreBlock(item));
    }
  }

  void Finish() {
    SettleAll();
    FlushTo(log_);
    log_.Close();
    WriteTo(boot_, texts::BootClosing(folders_, config_missing_));
    WriteTo(win_, texts::WinClosing(folders_));
    for (TextFile* file : {&boot_, &win_, &dos_}) FlushTo(*file);
    win_.Close();
    dos_.Close();

    SYSTEMTIME now{};
    GetLocalTime(&now);
    const std::string time = TimeText(now);
    {
      Section misc(job_.name, cat::kMisc);
      Require(misc.WriteText(cat::kImageName, job_.name));
      Require(misc.WriteText(cat::kComments, job_.comments));
      Require(misc.WriteText(cat::kDate, DateText(now)));
      Require(misc.WriteText(cat::kTime, time));
    }
    // The placeholder and its replacement are both 26 bytes on disk: nothing after it moves.
    Require(boot_.Rewind());
    WriteTo(boot_, texts::BootTimeLine(time));
    FlushTo(boot_);
    boot_.Close();

    const std::string& store = job_.store_dir;
    const std::string batch = store + "batch";
    EnsureStoreFolder(batch);
    const std::pair<const char*, char> copies[] = {
        {"tempboot", 'B'}, {"tempwin", 'W'}, {"tempdosboot", 'D'}};
    for (const auto& [work_file, letter] : copies) {
      const std::string target = batch + "\\" + BatchFileName(job_.name, letter);
      Require(CopyFileA((store + work_file).c_str(), target.c_str(), FALSE) != FALSE);
    }

    // Every Valid is 1 before the save's flag is cleared.
    Require(WriteInt(job_.name, cat::kMisc, cat::kValid, 1));
    Require(WriteInt(cat::kReferences, cat::kMisc, cat::kValid, 1));
    Require(WriteInt(cat::kMaster, cat::kMisc, cat::kValid, 1));
    {
      Section last_op(cat::kMaster, cat::kLastOp);
      Require(last_op.WriteInt(cat::kDoSave, 0));
      Require(last_op.DeleteValue(cat::kSaveImage));
    }

    const Settings settings(store);
    if (!IsScheduledName(job_.name)) {
      settings.Write(setting::kLatest, job_.name);
      settings.Write(setting::kLatestTime, time);
    } else {
      settings.Write(setting::kLatestScheduled, job_.name);
      settings.Write(setting::kLatest, job_.name);
      settings.Write(setting::kLatestScheduledTime, time);
      settings.Write(setting::kLatestTime, time);
    }
  }

  // A section written at every file, opened at its first use and held for the rest of the run.
  static Section& HeldSection(std::optional<Section>& held, std::string_view profile,
                              std::string_view section) {
    if (!held) held.emplace(profile, section);
    return *held;
  }

  // A work file that cannot be written ends the save: 102 when the disk is full, else 101.
  static void WriteTo(TextFile& file, const std::string& text) {
    if (!file.Write(text)) throw Failure{WriteFailureCode(file)};
  }
  static void WriteTo(TextFile& file, const std::vector<std::string>& writes) {
    if (!file.WriteAll(writes)) throw Failure{WriteFailureCode(file)};
  }
  static void FlushTo(TextFile& file) {
    if (!file.Flush()) throw Failure{WriteFailureCode(file)};
  }
  static DWORD WriteFailureCode(const TextFile& file) {
    return file.last_error() == ERROR_DISK_FULL ? SS_SAVE_DISK_FULL : SS_SAVE_FAILED;
  }

  // A file whose restore lines wait for its copy, or for the copies of the files before it.
  struct Deferred {
    FileFacts facts;
    std::string version;
    std::string original;            // the file's path, as its restore lines name it
    std::string stored;              // its stored copy's path
    bool copying;                    // a copy of it was made or handed to the copier
    DWORD size;                      // its size (low part), for telling a full disk
    std::optional<DWORD> made_here;  // the result of a copy this thread made itself
  };

  const SaveJob& job_;
  const texts::Folders folders_;
  const std::string copy_folder_;
  std::optional<Profile> references_;   // the reference table, once the save has marked it
  std::optional<Section> kernel_list_;  // the snapshot's file lists
  std::optional<Section> user_list_;
  std::optional<Section> master_misc_;  // where the alias counter is kept
  std::vector<std::string> patterns_;
  unsigned long alias_counter_ = 0;
  int kernel_count_ = 0;
  int user_count_ = 0;
  bool config_missing_ = false;
  bool copy_folder_ready_ = false;
  int probed_aliases_ = 0;
  bool copy_folder_listed_ = false;
  std::unordered_set<std::string> taken_aliases_;  // folded names (see AliasTaken)
  // The work files are written in large pieces; each is flushed, and a failure reported, before
  // it is closed.
  TextFile boot_{TextFile::Writes::kBuffered};  // "tempboot"
  TextFile win_{TextFile::Writes::kBuffered};   // "tempwin"
  TextFile dos_{TextFile::Writes::kBuffered};   // "tempdosboot"
  TextFile log_{TextFile::Writes::kBuffered};   // "backup.log"
  std::deque<Deferred> deferred_;               // in the order of the files
  std::unordered_set<std::string> copying_keys_;
  // Declared last, so that it goes first: the copier has ended before anything else of the
  // run goes away.
  CopyThread copier_;
};

}  // namespace

DWORD RunSave(const SaveJob& job) {
  DWORD code = SS_SAVE_FAILED;
  if (IsUsableSnapshotName(job.name)) {
    NamedMutexHold own(kSaveMutex);
    NamedMutexHold catalogue(kCatalogueMutex);
    try {
      SaveRun run(job);
      code = run.Run();
    } catch (const Failure& failure) {
      code = failure.code;
    } catch (const std::exception&) {
      code = SS_SAVE_FAILED;
    }
    SendCompletion(job.window, code);
    return code;
  }
  SendCompletion(job.window, code);
  return code;
}

}  // namespace snapshot
