#include "quick_restore.h"

#include <cstdio>
#include <new>

#include "dos_files.h"
#include "w98/windows.h"

namespace trestore {
namespace {

constexpr DWORD kProtection =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

// A name in `folder` that no file holds yet ("~TR00001.TMP" ...), or "" when none is free.
std::string FreeName(const std::string& folder, const char* extension) {
  for (unsigned i = 1; i < 100000; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "~TR%05u.%s", i, extension);
    const std::string path = dos::Join(folder, name);
    if (dos::Attributes(path) == INVALID_FILE_ATTRIBUTES) return path;
  }
  return {};
}

void RemoveFile(const std::string& path) {
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileA(path.c_str());
}

// Counts a failed copy under the counter its error belongs to; returns the exit code.
int CountCopyError(DWORD error, ErrorCounts* counts) {
  switch (error) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      ++counts->low_disk;
      return kDiskFull;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_READ_FAULT:
    case ERROR_HANDLE_EOF:
      ++counts->read;
      return kStoredCopyBad;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      ++counts->memory;
      return kInternalError;
    case ERROR_GEN_FAILURE:
    case ERROR_NOT_READY:
      ++counts->hardware;
      return kTargetNotWritten;
    default:
      ++counts->write;
      return kTargetNotWritten;
  }
}

class Restorer {
 public:
  Restorer(const RestoreOptions& options, const std::function<void(const std::string&)>& progress,
           RestoreResult* result)
      : options_(options), progress_(progress), result_(result) {}

  void Restore(const RestoreRecord& record) {
    const DWORD stored = GetFileAttributesA(record.stored.c_str());
    if (stored == INVALID_FILE_ATTRIBUTES || (stored & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      ++result_->counts.read;
      return Fail(kStoredCopyBad, record, "stored copy missing: " + record.stored);
    }
    const DWORD existing = GetFileAttributesA(record.original.c_str());
    if (existing != INVALID_FILE_ATTRIBUTES && (existing & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      ++result_->counts.write;
      return Fail(kTargetNotWritten, record, "a folder has the file's name");
    }
    if (existing != INVALID_FILE_ATTRIBUTES && !options_.overwrite) {
      progress_("Kept " + record.original);
      return;
    }
    const std::string folder = dos::FolderOf(record.original);
    if (!folder.empty() && !dos::CreateFolders(folder)) {
      ++result_->counts.write;
      return Fail(kTargetNotWritten, record, "cannot create its folder");
    }
    const std::string temporary = FreeName(folder, "TMP");
    if (temporary.empty()) {
      ++result_->counts.write;
      return Fail(kTargetNotWritten, record, "no free temporary name");
    }
    if (!CopyFileA(record.stored.c_str(), temporary.c_str(), TRUE)) {
      const DWORD error = GetLastError();
      RemoveFile(temporary);
      return Fail(CountCopyError(error, &result_->counts), record, "copy failed");
    }
    // The copy carries the stored copy's protection; it gets the file's own at the end.
    SetFileAttributesA(temporary.c_str(), FILE_ATTRIBUTE_NORMAL);

    std::string previous;
    if (existing != INVALID_FILE_ATTRIBUTES) {
      // Unprotect the file in place and move it aside; it comes back if the rename fails.
      previous = FreeName(folder, "OLD");
      SetFileAttributesA(record.original.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (previous.empty() || !MoveFileA(record.original.c_str(), previous.c_str())) {
        SetFileAttributesA(record.original.c_str(), existing);
        RemoveFile(temporary);
        ++result_->counts.write;
        return Fail(kTargetNotWritten, record, "cannot replace the file in place");
      }
    }
    if (!MoveFileA(temporary.c_str(), record.original.c_str())) {
      if (!previous.empty()) {
        MoveFileA(previous.c_str(), record.original.c_str());
        SetFileAttributesA(record.original.c_str(), existing);
      }
      RemoveFile(temporary);
      ++result_->counts.write;
      return Fail(kTargetNotWritten, record, "cannot rename the copy into place");
    }
    if (!previous.empty()) RemoveFile(previous);
    SetFileAttributesA(record.original.c_str(),
                       (record.attributes & kProtection) | FILE_ATTRIBUTE_ARCHIVE);
    ++result_->restored;
    progress_("Restored " + record.original);
  }

 private:
  void Fail(int code, const RestoreRecord& record, const std::string& why) {
    NoteFailure(result_, code);
    progress_("Not restored " + record.original + " (" + why + ")");
  }

  const RestoreOptions& options_;
  const std::function<void(const std::string&)>& progress_;
  RestoreResult* result_;
};

}  // namespace

void NoteFailure(RestoreResult* result, int code) {
  if (result->exit_code >= kDiskFull) return;
  if (code > result->exit_code) result->exit_code = code;
}

RestoreResult RestoreFiles(const RestoreList& list, const RestoreOptions& options,
                           const std::function<void(const std::string&)>& progress) {
  RestoreResult result;
  for (const std::string& line : list.malformed) {
    ++result.counts.application;
    NoteFailure(&result, kInternalError);
    progress("Malformed record skipped: " + line);
  }
  Restorer restorer(options, progress, &result);
  for (const RestoreRecord& record : list.records) {
    try {
      restorer.Restore(record);
    } catch (const std::bad_alloc&) {
      ++result.counts.memory;
      NoteFailure(&result, kInternalError);
    }
  }
  return result;
}

std::string LogText(const ErrorCounts& counts) {
  char text[512];
  std::snprintf(text, sizeof text,
                "Hardware Errors: %u\nRead Errors: %u\nWrite Errors: %u\nMemory Errors: %u\n"
                "Application Errors: %u\nLow Disk Space Errors: %u\n",
                counts.hardware, counts.read, counts.write, counts.memory, counts.application,
                counts.low_disk);
  return text;
}

}  // namespace trestore
