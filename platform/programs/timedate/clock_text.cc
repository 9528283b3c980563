#include "clock_text.h"

#include <cstdio>

namespace clocktext {
namespace {

// Exactly `digits` decimal digits at text[pos].
bool Digits(const std::string& text, size_t pos, int digits, int& out) {
  if (pos + static_cast<size_t>(digits) > text.size()) return false;
  out = 0;
  for (int k = 0; k < digits; ++k) {
    const char c = text[pos + static_cast<size_t>(k)];
    if (c < '0' || c > '9') return false;
    out = out * 10 + (c - '0');
  }
  return true;
}

int DaysIn(int year, int month) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

}  // namespace

bool ParseDate(const std::string& text, SYSTEMTIME& st) {
  int y = 0, m = 0, d = 0;
  if (text.size() != 10 || text[4] != '-' || text[7] != '-' || !Digits(text, 0, 4, y) ||
      !Digits(text, 5, 2, m) || !Digits(text, 8, 2, d))
    return false;
  if (y < 1601 || m < 1 || m > 12 || d < 1 || d > DaysIn(y, m)) return false;
  st.wYear = static_cast<WORD>(y);
  st.wMonth = static_cast<WORD>(m);
  st.wDay = static_cast<WORD>(d);
  return true;
}

bool ParseTime(const std::string& text, SYSTEMTIME& st) {
  int h = 0, m = 0, s = 0;
  if ((text.size() != 5 && text.size() != 8) || text[2] != ':' || !Digits(text, 0, 2, h) ||
      !Digits(text, 3, 2, m))
    return false;
  if (text.size() == 8 && (text[5] != ':' || !Digits(text, 6, 2, s))) return false;
  if (h > 23 || m > 59 || s > 59) return false;
  st.wHour = static_cast<WORD>(h);
  st.wMinute = static_cast<WORD>(m);
  st.wSecond = static_cast<WORD>(s);
  st.wMilliseconds = 0;
  return true;
}

std::string FormatDate(const SYSTEMTIME& st) {
  static const char* const kDays[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  char text[32];
  std::snprintf(text, sizeof text, "%s %04u-%02u-%02u", kDays[st.wDayOfWeek % 7], st.wYear,
                st.wMonth, st.wDay);
  return text;
}

std::string FormatTime(const SYSTEMTIME& st) {
  char text[24];
  std::snprintf(text, sizeof text, "%02u:%02u:%02u", st.wHour, st.wMinute, st.wSecond);
  return text;
}

bool SetMachineLocalTime(const SYSTEMTIME& st) {
  return SetLocalTime(&st) && SetLocalTime(&st);
}

}  // namespace clocktext
