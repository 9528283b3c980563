#include "snapshot_naming.h"

#include <cstdio>

#include <w98/windows.h>

namespace quillow {
namespace {

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
  return text;
}

int HexValue(const std::string& digits) {
  if (digits.empty()) return 0;
  int value = 0;
  for (char c : digits) {
    int digit;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (c >= 'A' && c <= 'F')
      digit = c - 'A' + 10;
    else if (c >= 'a' && c <= 'f')
      digit = c - 'a' + 10;
    else
      return 0;
    value = value * 16 + digit;
  }
  return value;
}

}  // namespace

std::string NextSnapshotNumber(const std::vector<SnapshotInfo>& snapshots,
                               const std::string& prefix) {
  int largest = 0;
  const std::string wanted = Upper(prefix);
  for (const SnapshotInfo& snapshot : snapshots) {
    if (snapshot.valid == 0) continue;
    if (Upper(snapshot.name).find(wanted) == std::string::npos) continue;
    const std::string digits = snapshot.name.size() > 10 ? snapshot.name.substr(10, 2) : "";
    const int number = HexValue(digits);
    if (number > largest) largest = number;
  }
  char text[16];
  std::snprintf(text, sizeof text, "%02X", largest + 1);
  return text;
}

std::string TodayStamp() {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  char stamp[16];
  std::snprintf(stamp, sizeof stamp, "%04d%02d%02d", now.wYear, now.wMonth, now.wDay);
  return stamp;
}

}  // namespace quillow
