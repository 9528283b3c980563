// A second program of the machine for the registry's multi-process tests (W98_MACHINE names
// the machine). Commands:
//   count KEY PREFIX FROM TO [flush]  writes PREFIX<i> = i for i in [FROM, TO) below HKCU\KEY,
//                                     opening and closing the key for each write as the engine
//                                     does; TO = 0 writes for ever; "flush" flushes at the end
//   pairs KEY                         for ever: x = i, then y = i
//   hold KEY NAME VALUE               writes, prints "written", waits for a line on stdin,
//                                     flushes, prints "flushed", waits for another line
//   torn FILE                         starts a large commit on the hive file directly and
//                                     kills itself in the middle of it
#include <signal.h>
#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "w98/winreg.h"

namespace {

void Write(const std::string& key, const std::string& name, DWORD value) {
  HKEY h = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h,
                      nullptr) != ERROR_SUCCESS)
    std::exit(3);
  RegSetValueExA(h, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4);
  RegCloseKey(h);
}

int Torn(const char* file) {
  sqlite3* db = nullptr;
  if (sqlite3_open(file, &db) != SQLITE_OK) return 3;
  // A tiny cache forces SQLite to write changed pages into the file before the commit.
  sqlite3_exec(db, "PRAGMA cache_size=1; BEGIN IMMEDIATE;", nullptr, nullptr, nullptr);
  sqlite3_exec(db, "UPDATE vals SET data = zeroblob(3000);", nullptr, nullptr, nullptr);
  sqlite3_exec(
      db, "INSERT INTO vals SELECT key, fold || 'X', name, type, zeroblob(3000), gen FROM vals;",
      nullptr, nullptr, nullptr);
  ::raise(SIGKILL);
  return 4;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const std::string command = argv[1];
  if (command == "count" && argc >= 6) {
    const long from = std::atol(argv[4]), to = std::atol(argv[5]);
    for (long i = from; to == 0 || i < to; ++i)
      Write(argv[2], argv[3] + std::to_string(i), static_cast<DWORD>(i));
    if (argc > 6 && std::strcmp(argv[6], "flush") == 0) RegFlushKey(HKEY_CURRENT_USER);
    return 0;
  }
  if (command == "pairs" && argc >= 3) {
    for (DWORD i = 0;; ++i) {
      Write(argv[2], "x", i);
      Write(argv[2], "y", i);
    }
  }
  if (command == "hold" && argc >= 5) {
    Write(argv[2], argv[3], static_cast<DWORD>(std::atol(argv[4])));
    std::printf("written\n");
    std::fflush(stdout);
    char line[16];
    if (!std::fgets(line, sizeof line, stdin)) return 1;
    RegFlushKey(HKEY_CURRENT_USER);
    std::printf("flushed\n");
    std::fflush(stdout);
    if (!std::fgets(line, sizeof line, stdin)) return 1;
    return 0;
  }
  if (command == "torn" && argc >= 3) return Torn(argv[2]);
  return 2;
}
