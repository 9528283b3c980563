// The machine's window table: one small text file per window in "run/windows/", so that every
// process of the machine can find a window (FindWindowA), read its caption and placement, and
// learn which process and thread own it. Writers hold "run/windows/.lock"; each entry is
// replaced atomically, so readers never see a torn one. Entries of processes that have ended
// are ignored (and removed when found).
#ifndef W98_SRC_WINDOW_WINDOW_TABLE_H
#define W98_SRC_WINDOW_WINDOW_TABLE_H

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "w98/windef.h"

namespace w98::internal {

// What the machine knows of a window.
struct WindowRecord {
  HWND hwnd = nullptr;
  pid_t pid = 0;
  std::uint64_t pid_start = 0;  // the owner process's start time (see host_process.h)
  DWORD thread_id = 0;
  HWND parent = nullptr;
  std::string class_name;
  std::string title;
  DWORD style = 0;
  DWORD ex_style = 0;
  // Placement: showCmd as GetWindowPlacement reports it (SW_SHOWNORMAL, SW_SHOWMINIMIZED or
  // SW_SHOWMAXIMIZED), visibility, topmost, and where the window is when normal.
  UINT show = 1;
  bool visible = false;
  bool topmost = false;
  bool restore_maximized = false;  // a minimised window that was maximised before
  RECT normal{0, 0, 0, 0};
  POINT min_position{-1, -1};
  POINT max_position{-1, -1};

  bool TopLevel() const;
};

class WindowTable {
 public:
  explicit WindowTable(std::filesystem::path run_folder);

  // A machine-wide new window handle (never reused while the run folder lives).
  HWND NewHandle();
  // Writes (adds or replaces) an entry.
  bool Put(const WindowRecord& record);
  // The entry of a window whose owner process still runs.
  std::optional<WindowRecord> Get(HWND hwnd);
  // Changes an entry under the table's lock: `change` edits the record read; false when the
  // window is not in the table (or its owner ended).
  bool Update(HWND hwnd, const std::function<void(WindowRecord&)>& change);
  void Remove(HWND hwnd);
  // Every live entry, ordered by handle (creation order).
  std::vector<WindowRecord> All();
  // Removes every entry of process `pid`.
  void RemoveProcess(pid_t pid);

  // The machine's foreground window (0 when none or when it is gone).
  HWND Foreground();
  void SetForeground(HWND hwnd);

  const std::filesystem::path& Folder() const { return folder_; }

 private:
  std::filesystem::path EntryPath(HWND hwnd) const;
  std::optional<WindowRecord> Read(const std::filesystem::path& file);
  bool Write(const WindowRecord& record);

  std::filesystem::path folder_;
};

// Text form of an entry, and back (nullopt for a malformed entry).
std::string FormatWindowRecord(const WindowRecord& record);
std::optional<WindowRecord> ParseWindowRecord(const std::string& text);

}  // namespace w98::internal

#endif  // W98_SRC_WINDOW_WINDOW_TABLE_H
