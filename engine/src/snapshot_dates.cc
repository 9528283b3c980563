#include "snapshot_dates.h"

#include <cstdio>

namespace snapshot {
namespace {

constexpr size_t kDateLength = 8;

int Digits(std::string_view text) {
  int number = 0;
  for (char c : text) number = number * 10 + (c - '0');
  return number;
}

}  // namespace

std::optional<__time64_t> NameDate(std::string_view name) {
  if (name.size() < kDateLength) return std::nullopt;
  for (size_t i = 0; i < kDateLength; ++i)
    if (name[i] < '0' || name[i] > '9') return std::nullopt;
  struct tm local {};
  local.tm_year = Digits(name.substr(0, 4)) - 1900;
  local.tm_mon = Digits(name.substr(4, 2)) - 1;
  local.tm_mday = Digits(name.substr(6, 2));
  local.tm_isdst = -1;
  const __time64_t when = _mktime64(&local);
  if (when == -1) return std::nullopt;
  return when;
}

std::string RedatedName(std::string_view name, __time64_t when) {
  if (name.size() < kDateLength) return {};
  struct tm local {};
  if (_localtime64_s(&local, &when) != 0) return {};
  char date[32];
  std::snprintf(date, sizeof date, "%04d%02d%02d", local.tm_year + 1900, local.tm_mon + 1,
                local.tm_mday);
  std::string renamed(date);
  if (renamed.size() != kDateLength) return {};  // a year past 9999
  renamed.append(name.substr(kDateLength));
  return renamed;
}

}  // namespace snapshot
