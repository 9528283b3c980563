// Helpers of the engine's tests: a throw-away machine with the product installed, files put on
// drive C: with chosen contents, times and attributes, and saves run to their completion code.
#ifndef SNAPSHOT_TESTS_ENGINE_TESTING_H
#define SNAPSHOT_TESTS_ENGINE_TESTING_H

#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include <w98/windows.h>

#include "catalogue_access.h"
#include "default_patterns.h"
#include "snapshot/snapshot.h"
#include "temp_machine.h"

namespace snapshot::testing {

inline constexpr char kStore[] = "c:\\windows\\zemo\\snapshot\\";
// 1998-11-15 12:00:00 UTC: November 1998 in every time zone, so aliases end in ".98b".
inline constexpr std::time_t kNovember1998 = 911131200;

// A machine with the store folder and an empty provisioned pattern list; Init not yet called.
class EngineMachine : public w98::testing::TempMachine {
 public:
  EngineMachine();

  // Writes a file on drive C: ("WINDOWS/SYSTEM.INI") with its last-write time and attributes.
  void PutFile(const std::string& relative, const std::string& bytes,
               DWORD attributes = FILE_ATTRIBUTE_ARCHIVE, std::time_t written = kNovember1998);
  // Removes a file of drive C: (host path relative to C:).
  void RemoveFile(const std::string& relative);
  // Replaces the provisioned backup patterns.
  void Provision(const quillow::BackupPatterns& patterns);
  // The small machine most engine tests start from: SYSTEM.INI and WIN.INI, provisioned as the
  // only patterns. Init is left to the caller.
  void PutTwoIniFiles();

  LONG Init() { return ::Init(kStore); }
  // Runs a save to its end and returns its completion code, or 0 when none came within the
  // time limit; SaveSSImage's own failure status when it did not start.
  DWORD Save(const std::string& name, const std::string& comments = "", LONG mode = 0);
  DWORD Delete(const std::string& name);
  // Runs a date fixing to its end, filling `pairs` (one entry per listed snapshot, or null).
  DWORD FixDates(LONG days, SSRenameRecord* pairs);
  // Sets the machine's clock (SetLocalTime) to the given local date and time.
  static bool SetClock(int year, int month, int day, int hour = 12);

  // Drive C: holds at most `bytes` in all (0: no limit); every write past it fails with
  // ERROR_DISK_FULL.
  void SetCapacity(unsigned long long bytes) const;
  // Drive C: can take `room` more bytes than it holds now.
  void LeaveRoom(unsigned long long room) const;

  // A file of the machine folder itself (machine.ini), read and written on the host.
  std::string ReadHostFile(const std::string& name) const;
  void WriteHostFile(const std::string& name, const std::string& bytes) const;

  // A file of the store, read on the host ("" when missing).
  std::string StoreFile(const std::string& name) const;
  // Host path of a file of the store.
  std::string StorePath(const std::string& name) const;
  // Names of the files in the store's copy folder.
  std::vector<std::string> StoredCopies() const;
};

// Catalogue values, read without creating keys.
inline int Int(const std::string& profile, const std::string& section, const std::string& value,
               int fallback = -999) {
  return quillow::catalogue::ReadInt(profile, section, value).value_or(fallback);
}
inline std::string Text(const std::string& profile, const std::string& section,
                        const std::string& value) {
  return quillow::catalogue::ReadText(profile, section, value).value_or("<missing>");
}
std::vector<std::string> SnapshotList();
std::vector<std::string> References(const std::string& file_key);
std::vector<std::string> IndexKeys();

// The store's invariants: empty when every one holds, else their problems.
std::vector<std::string> StoreProblems();

// A settings value of the store's sswizard.ini ("<missing>" when absent).
std::string Setting(const std::string& key);
void WriteSetting(const std::string& key, const std::string& value);

// Exports a registry key with the machine's registry editor ("regedit /E file key") and waits
// for it; false when it could not be started.
bool ExportKey(const std::string& dos_file, const std::string& key);
inline constexpr char kCatalogueKey[] = "HKEY_CURRENT_USER\\Software\\Zemo\\Snapshot";

}  // namespace snapshot::testing

#endif  // SNAPSHOT_TESTS_ENGINE_TESTING_H
