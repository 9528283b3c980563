#include "window/window_table.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "process/host_process.h"
#include "w98/winuser.h"

namespace w98::internal {
namespace {

// Holds the table's write lock for its lifetime.
class TableLock {
 public:
  explicit TableLock(const std::filesystem::path& folder) {
    fd_ = ::open((folder / ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ >= 0)
      while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
      }
  }
  ~TableLock() {
    if (fd_ >= 0) ::close(fd_);
  }
  TableLock(const TableLock&) = delete;
  TableLock& operator=(const TableLock&) = delete;

 private:
  int fd_ = -1;
};

std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else {
      out += c;
    }
  }
  return out;
}

std::string Unescape(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) {
      const char next = text[++i];
      out += next == 'n' ? '\n' : next == 'r' ? '\r' : next;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::uintptr_t HandleValue(HWND hwnd) {
  return reinterpret_cast<std::uintptr_t>(hwnd);
}
HWND HandleOf(std::uintptr_t value) {
  return reinterpret_cast<HWND>(value);
}

bool WriteAtomically(const std::filesystem::path& path, const std::string& bytes) {
  const std::filesystem::path temp = path.string() + ".new";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) return false;
  }
  return ::rename(temp.c_str(), path.c_str()) == 0;
}

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

}  // namespace

bool WindowRecord::TopLevel() const {
  return parent == nullptr && !(style & WS_CHILD);
}

std::string FormatWindowRecord(const WindowRecord& r) {
  char numbers[512];
  std::snprintf(numbers, sizeof numbers,
                "hwnd=%" PRIxPTR "\npid=%d\npidstart=%" PRIu64 "\ntid=%u\nparent=%" PRIxPTR
                "\nstyle=%u\nexstyle=%u\nshow=%u\nvisible=%d\ntopmost=%d\nrestoremax=%d\n"
                "normal=%d %d %d %d\nminpos=%d %d\nmaxpos=%d %d\n",
                HandleValue(r.hwnd), static_cast<int>(r.pid), r.pid_start, r.thread_id,
                HandleValue(r.parent), r.style, r.ex_style, r.show, r.visible ? 1 : 0,
                r.topmost ? 1 : 0, r.restore_maximized ? 1 : 0, r.normal.left, r.normal.top,
                r.normal.right, r.normal.bottom, r.min_position.x, r.min_position.y,
                r.max_position.x, r.max_position.y);
  return std::string(numbers) + "class=" + Escape(r.class_name) + "\ntitle=" + Escape(r.title) +
         "\n";
}

std::optional<WindowRecord> ParseWindowRecord(const std::string& text) {
  WindowRecord r;
  bool has_hwnd = false, has_pid = false;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    const size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = line.substr(0, eq);
    const std::string value = line.substr(eq + 1);
    const char* v = value.c_str();
    if (key == "hwnd") {
      r.hwnd = HandleOf(std::strtoull(v, nullptr, 16));
      has_hwnd = r.hwnd != nullptr;
    } else if (key == "pid") {
      r.pid = static_cast<pid_t>(std::strtol(v, nullptr, 10));
      has_pid = r.pid > 0;
    } else if (key == "pidstart") {
      r.pid_start = std::strtoull(v, nullptr, 10);
    } else if (key == "tid") {
      r.thread_id = static_cast<DWORD>(std::strtoul(v, nullptr, 10));
    } else if (key == "parent") {
      r.parent = HandleOf(std::strtoull(v, nullptr, 16));
    } else if (key == "style") {
      r.style = static_cast<DWORD>(std::strtoul(v, nullptr, 10));
    } else if (key == "exstyle") {
      r.ex_style = static_cast<DWORD>(std::strtoul(v, nullptr, 10));
    } else if (key == "show") {
      r.show = static_cast<UINT>(std::strtoul(v, nullptr, 10));
    } else if (key == "visible") {
      r.visible = value == "1";
    } else if (key == "topmost") {
      r.topmost = value == "1";
    } else if (key == "restoremax") {
      r.restore_maximized = value == "1";
    } else if (key == "normal") {
      std::sscanf(v, "%d %d %d %d", &r.normal.left, &r.normal.top, &r.normal.right,
                  &r.normal.bottom);
    } else if (key == "minpos") {
      std::sscanf(v, "%d %d", &r.min_position.x, &r.min_position.y);
    } else if (key == "maxpos") {
      std::sscanf(v, "%d %d", &r.max_position.x, &r.max_position.y);
    } else if (key == "class") {
      r.class_name = Unescape(value);
    } else if (key == "title") {
      r.title = Unescape(value);
    }
  }
  if (!has_hwnd || !has_pid) return std::nullopt;
  return r;
}

WindowTable::WindowTable(std::filesystem::path run_folder)
    : folder_(std::move(run_folder) / "windows") {
  std::error_code ec;
  std::filesystem::create_directories(folder_, ec);
}

std::filesystem::path WindowTable::EntryPath(HWND hwnd) const {
  char name[32];
  std::snprintf(name, sizeof name, "%" PRIxPTR ".win", HandleValue(hwnd));
  return folder_ / name;
}

HWND WindowTable::NewHandle() {
  TableLock lock(folder_);
  const std::filesystem::path counter = folder_ / "next";
  std::uintptr_t next = std::strtoull(ReadAll(counter).c_str(), nullptr, 16);
  if (next < 0x20000) next = 0x20000;  // clear of HWND_BROADCAST and the special handles
  char text[32];
  std::snprintf(text, sizeof text, "%" PRIxPTR "\n", next + 2);
  WriteAtomically(counter, text);
  return HandleOf(next);
}

std::optional<WindowRecord> WindowTable::Read(const std::filesystem::path& file) {
  auto record = ParseWindowRecord(ReadAll(file));
  if (!record) return std::nullopt;
  if (!ProcessIsAlive(record->pid, record->pid_start)) return std::nullopt;
  return record;
}

bool WindowTable::Write(const WindowRecord& record) {
  return WriteAtomically(EntryPath(record.hwnd), FormatWindowRecord(record));
}

bool WindowTable::Put(const WindowRecord& record) {
  TableLock lock(folder_);
  return Write(record);
}

std::optional<WindowRecord> WindowTable::Get(HWND hwnd) {
  if (hwnd == nullptr) return std::nullopt;
  return Read(EntryPath(hwnd));
}

bool WindowTable::Update(HWND hwnd, const std::function<void(WindowRecord&)>& change) {
  TableLock lock(folder_);
  auto record = Read(EntryPath(hwnd));
  if (!record) return false;
  change(*record);
  return Write(*record);
}

void WindowTable::Remove(HWND hwnd) {
  TableLock lock(folder_);
  ::unlink(EntryPath(hwnd).c_str());
}

std::vector<WindowRecord> WindowTable::All() {
  std::vector<std::filesystem::path> files;
  if (DIR* dir = ::opendir(folder_.c_str())) {
    while (dirent* e = ::readdir(dir)) {
      const std::string name = e->d_name;
      if (name.size() > 4 && name.compare(name.size() - 4, 4, ".win") == 0)
        files.push_back(folder_ / name);
    }
    ::closedir(dir);
  }
  std::vector<WindowRecord> records;
  for (const auto& file : files) {
    auto record = ParseWindowRecord(ReadAll(file));
    if (!record) continue;
    if (!ProcessIsAlive(record->pid, record->pid_start)) {
      ::unlink(file.c_str());  // the owner ended without removing it
      continue;
    }
    records.push_back(*record);
  }
  std::sort(records.begin(), records.end(), [](const WindowRecord& a, const WindowRecord& b) {
    return HandleValue(a.hwnd) < HandleValue(b.hwnd);
  });
  return records;
}

void WindowTable::RemoveProcess(pid_t pid) {
  for (const WindowRecord& record : All())
    if (record.pid == pid) Remove(record.hwnd);
}

HWND WindowTable::Foreground() {
  const HWND hwnd = HandleOf(std::strtoull(ReadAll(folder_ / "foreground").c_str(), nullptr, 16));
  return Get(hwnd) ? hwnd : nullptr;
}

void WindowTable::SetForeground(HWND hwnd) {
  char text[32];
  std::snprintf(text, sizeof text, "%" PRIxPTR "\n", HandleValue(hwnd));
  TableLock lock(folder_);
  WriteAtomically(folder_ / "foreground", text);
}

}  // namespace w98::internal
