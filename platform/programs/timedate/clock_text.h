// Reading and showing the machine's clock as text, for the Date/Time applet and the w98 tool.
#ifndef W98_PROGRAMS_TIMEDATE_CLOCK_TEXT_H
#define W98_PROGRAMS_TIMEDATE_CLOCK_TEXT_H

#include <string>

#include "w98/windows.h"

namespace clocktext {

// "YYYY-MM-DD" into the date fields of `st` (other fields untouched); false when malformed
// or not a real date (2023-02-29).
bool ParseDate(const std::string& text, SYSTEMTIME& st);
// "HH:MM" or "HH:MM:SS" into the time fields of `st` (milliseconds cleared); false when
// malformed or out of range.
bool ParseTime(const std::string& text, SYSTEMTIME& st);

// "Wed 2024-01-10" and "12:00:05".
std::string FormatDate(const SYSTEMTIME& st);
std::string FormatTime(const SYSTEMTIME& st);

// Sets the machine's local time exactly. SetLocalTime converts with the bias in force when it
// is called, so a time on the other side of a daylight-saving change needs a second call (as
// Windows documents); the second call is always made. False (with GetLastError) on failure.
bool SetMachineLocalTime(const SYSTEMTIME& st);

}  // namespace clocktext

#endif  // W98_PROGRAMS_TIMEDATE_CLOCK_TEXT_H
