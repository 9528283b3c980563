#include "engine_testing.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include <w98/w98.h>

#include "completion_window.h"
#include "installation.h"
#include "store_check.h"

namespace snapshot::testing {
namespace {

constexpr unsigned kCompletionTimeoutMs = 120000;

std::string DosPathOf(const std::string& relative) {
  std::string path = "C:\\" + relative;
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

DWORD RunWorker(const std::function<LONG(HWND)>& start) {
  quillow::CompletionWindow window;
  std::string error;
  if (!window.Start(&error)) return 0;
  const LONG status = start(window.window());
  if (status != SS_OK) return static_cast<DWORD>(status);
  DWORD code = 0;
  return window.WaitFor(&code, kCompletionTimeoutMs) ? code : 0;
}

}  // namespace

EngineMachine::EngineMachine() {
  std::filesystem::create_directories(OnC("WINDOWS/ZEMO/SNAPSHOT"));
  Provision({});
}

void EngineMachine::PutFile(const std::string& relative, const std::string& bytes, DWORD attributes,
                            std::time_t written) {
  const std::string dos = DosPathOf(relative);
  SetFileAttributesA(dos.c_str(), FILE_ATTRIBUTE_NORMAL);
  WriteFile(relative, bytes);
  const auto when =
      std::chrono::file_clock::from_sys(std::chrono::system_clock::from_time_t(written));
  std::filesystem::last_write_time(OnC(relative), when);
  SetFileAttributesA(dos.c_str(), attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes);
}

void EngineMachine::RemoveFile(const std::string& relative) {
  std::error_code ec;
  std::filesystem::remove(OnC(relative), ec);
}

void EngineMachine::Provision(const quillow::BackupPatterns& patterns) {
  quillow::ProvisionPatterns(patterns);
}

DWORD EngineMachine::Save(const std::string& name, const std::string& comments, LONG mode) {
  return RunWorker(
      [&](HWND window) { return ::SaveSSImage(window, name.c_str(), comments.c_str(), mode); });
}

DWORD EngineMachine::Delete(const std::string& name) {
  return RunWorker([&](HWND window) { return ::DeleteSSImg(window, name.c_str(), 0); });
}

DWORD EngineMachine::FixDates(LONG days, SSRenameRecord* pairs) {
  return RunWorker([&](HWND window) { return ::FixSSImgDates(window, days, pairs, 0); });
}

bool EngineMachine::SetClock(int year, int month, int day, int hour) {
  SYSTEMTIME time{};
  time.wYear = static_cast<WORD>(year);
  time.wMonth = static_cast<WORD>(month);
  time.wDay = static_cast<WORD>(day);
  time.wHour = static_cast<WORD>(hour);
  return SetLocalTime(&time) != FALSE;
}

void EngineMachine::SetCapacity(unsigned long long bytes) const {
  std::string text = ReadHostFile("machine.ini");
  const size_t at = text.find("[capacity]");
  const std::string section = "[capacity]\r\nC=" + std::to_string(bytes) + "\r\n";
  if (at == std::string::npos) {
    text += section;
  } else {
    const size_t end = text.find('[', at + 1);
    text.replace(at, end == std::string::npos ? std::string::npos : end - at, section);
  }
  WriteHostFile("machine.ini", text);
}

void EngineMachine::PutTwoIniFiles() {
  PutFile("WINDOWS/SYSTEM.INI", "[boot]\r\n");
  PutFile("WINDOWS/WIN.INI", "[windows]\r\n");
  Provision({{}, {"\\SYSTEM.INI", "\\WIN.INI"}});
}

void EngineMachine::LeaveRoom(unsigned long long room) const {
  // The hives' pending writes first: a commit running in the background while the drive is
  // counted would leave its journal in the count, and the room it frees afterwards would let
  // writes through that the test means to refuse.
  RegFlushKey(HKEY_CURRENT_USER);
  RegFlushKey(HKEY_LOCAL_MACHINE);
  // A limit far above what the drive holds first, so that the free space reads as room left.
  SetCapacity(1ull << 30);
  ULARGE_INTEGER free{}, total{};
  GetDiskFreeSpaceExA("C:\\", &free, &total, nullptr);
  SetCapacity(total.QuadPart - free.QuadPart + room);
}

std::string EngineMachine::StorePath(const std::string& name) const {
  return w98::HostPathOf(std::string(kStore) + name);
}

std::string EngineMachine::StoreFile(const std::string& name) const {
  return ReadFile("WINDOWS/ZEMO/SNAPSHOT/" + name);
}

std::string EngineMachine::ReadHostFile(const std::string& name) const {
  std::ifstream in(Root() / name, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void EngineMachine::WriteHostFile(const std::string& name, const std::string& bytes) const {
  // Replaced whole, by a rename, as w98 replaces machine.ini.
  const std::filesystem::path target = Root() / name;
  const std::filesystem::path temporary = target.string() + ".new";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << bytes;
  }
  std::filesystem::rename(temporary, target);
}

std::vector<std::string> EngineMachine::StoredCopies() const {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry :
       std::filesystem::directory_iterator(OnC("WINDOWS/ZEMO/SNAPSHOT/backup"), ec))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> SnapshotList() {
  return quillow::catalogue::ReadList("snapshot.ini", "Misc", "NumofSSImage", "ControlFile", 1);
}

std::vector<std::string> References(const std::string& file_key) {
  return quillow::catalogue::ReadList("cref.tab", file_key, "RefCount", "RefControlFile", 1);
}

std::vector<std::string> IndexKeys() {
  return quillow::catalogue::ReadList("cref.tab", "Index", "IndexCount", "Key", 1);
}

std::vector<std::string> StoreProblems() {
  std::vector<std::string> problems;
  for (const quillow::InvariantResult& result : quillow::CheckStore(kStore))
    for (const std::string& problem : result.problems)
      problems.push_back(result.name + ": " + problem);
  return problems;
}

std::string Setting(const std::string& key) {
  char buffer[512];
  const std::string file = std::string(kStore) + "sswizard.ini";
  GetPrivateProfileStringA("snapshot", key.c_str(), "<missing>", buffer, sizeof buffer,
                           file.c_str());
  return buffer;
}

void WriteSetting(const std::string& key, const std::string& value) {
  const std::string file = std::string(kStore) + "sswizard.ini";
  WritePrivateProfileStringA("snapshot", key.c_str(), value.c_str(), file.c_str());
}

bool ExportKey(const std::string& dos_file, const std::string& key) {
  return w98::testing::RunHidden("regedit.exe", "/E " + dos_file + " " + key);
}

}  // namespace snapshot::testing
