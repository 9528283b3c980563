#include "time/time_zone.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>

#include "core/machine.h"
#include "time/civil.h"

namespace w98::internal {

// A date rule of a POSIX TZ string: "Jn" (1..365, February 29 never counted), "n" (0..365)
// or "Mm.w.d" (day d of week w of month m, week 5 = the last).
struct RuleDate {
  enum class Kind { kJulian1, kJulian0, kMonthWeekDay } kind = Kind::kMonthWeekDay;
  int day = 0;
  int month = 0;
  int week = 0;
  int weekday = 0;
  std::int32_t time = 7200;  // seconds after local midnight, may be negative or past 24 h
};

struct TimeZone::Rule {
  LocalTimeType standard;
  std::optional<LocalTimeType> daylight;
  RuleDate start, end;
};

namespace {

// ---- POSIX rule parsing ----------------------------------------------------------------

class RuleParser {
 public:
  explicit RuleParser(std::string_view text) : s_(text) {}

  bool AtEnd() const { return i_ == s_.size(); }
  bool Eat(char c) {
    if (i_ < s_.size() && s_[i_] == c) {
      ++i_;
      return true;
    }
    return false;
  }
  bool Peek(char c) const { return i_ < s_.size() && s_[i_] == c; }

  // "CET" (three or more letters) or "<+0330>".
  bool Abbreviation(std::string& out) {
    if (Eat('<')) {
      const size_t close = s_.find('>', i_);
      if (close == std::string_view::npos || close - i_ < 3) return false;
      out.assign(s_.substr(i_, close - i_));
      i_ = close + 1;
      return true;
    }
    const size_t begin = i_;
    while (i_ < s_.size() && ((s_[i_] >= 'A' && s_[i_] <= 'Z') || (s_[i_] >= 'a' && s_[i_] <= 'z')))
      ++i_;
    if (i_ - begin < 3) return false;
    out.assign(s_.substr(begin, i_ - begin));
    return true;
  }

  bool Number(int& out, int max) {
    const size_t begin = i_;
    long value = 0;
    while (i_ < s_.size() && s_[i_] >= '0' && s_[i_] <= '9' && i_ - begin < 4)
      value = value * 10 + (s_[i_++] - '0');
    if (i_ == begin || value > max) return false;
    out = static_cast<int>(value);
    return true;
  }

  // [+-]hh[:mm[:ss]] in seconds; hours up to 167 as TZif version 3 allows.
  bool Clock(std::int32_t& out) {
    int sign = 1;
    if (Eat('-'))
      sign = -1;
    else
      Eat('+');
    int h = 0, m = 0, sec = 0;
    if (!Number(h, 167)) return false;
    if (Eat(':')) {
      if (!Number(m, 59)) return false;
      if (Eat(':') && !Number(sec, 59)) return false;
    }
    out = sign * (h * 3600 + m * 60 + sec);
    return true;
  }

  bool Date(RuleDate& out) {
    if (Eat('J')) {
      out.kind = RuleDate::Kind::kJulian1;
      if (!Number(out.day, 365) || out.day < 1) return false;
    } else if (Eat('M')) {
      out.kind = RuleDate::Kind::kMonthWeekDay;
      if (!Number(out.month, 12) || out.month < 1 || !Eat('.') || !Number(out.week, 5) ||
          out.week < 1 || !Eat('.') || !Number(out.weekday, 6))
        return false;
    } else {
      out.kind = RuleDate::Kind::kJulian0;
      if (!Number(out.day, 365)) return false;
    }
    out.time = 7200;
    if (Eat('/') && !Clock(out.time)) return false;
    return true;
  }

 private:
  std::string_view s_;
  size_t i_ = 0;
};

std::int64_t DayOfRule(const RuleDate& date, std::int64_t year) {
  const std::int64_t jan1 = DaysFromCivil(year, 1, 1);
  switch (date.kind) {
    case RuleDate::Kind::kJulian1:
      return jan1 + date.day - 1 + (IsLeapYear(year) && date.day >= 60 ? 1 : 0);
    case RuleDate::Kind::kJulian0:
      return jan1 + date.day;
    case RuleDate::Kind::kMonthWeekDay: {
      const std::int64_t first = DaysFromCivil(year, date.month, 1);
      std::int64_t day =
          first + FloorMod(date.weekday - WeekdayFromDays(first), 7) + (date.week - 1) * 7;
      const std::int64_t last = first + DaysInMonth(year, date.month) - 1;
      while (day > last) day -= 7;
      return day;
    }
  }
  return jan1;
}

// ---- TZif parsing ------------------------------------------------------------------------

class Cursor {
 public:
  explicit Cursor(std::string_view bytes) : b_(bytes) {}
  bool Has(size_t n) const { return n <= b_.size() - i_; }
  size_t Offset() const { return i_; }
  bool Skip(size_t n) {
    if (!Has(n)) return false;
    i_ += n;
    return true;
  }
  std::int64_t Signed(int width) {  // big-endian, width 4 or 8; caller checked Has()
    std::uint64_t v = 0;
    for (int k = 0; k < width; ++k) v = (v << 8) | static_cast<unsigned char>(b_[i_++]);
    if (width == 4) return static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
    return static_cast<std::int64_t>(v);
  }
  std::uint8_t Byte() { return static_cast<std::uint8_t>(b_[i_++]); }
  std::string_view Take(size_t n) {
    std::string_view out = b_.substr(i_, n);
    i_ += n;
    return out;
  }
  std::string_view Rest() const { return b_.substr(i_); }

 private:
  std::string_view b_;
  size_t i_ = 0;
};

struct TzifCounts {
  std::uint32_t isut, isstd, leap, time, type, chars;
};

bool ReadHeader(Cursor& in, char& version, TzifCounts& c) {
  if (!in.Has(44)) return false;
  if (in.Take(4) != "TZif") return false;
  version = static_cast<char>(in.Byte());
  in.Skip(15);
  c.isut = static_cast<std::uint32_t>(in.Signed(4));
  c.isstd = static_cast<std::uint32_t>(in.Signed(4));
  c.leap = static_cast<std::uint32_t>(in.Signed(4));
  c.time = static_cast<std::uint32_t>(in.Signed(4));
  c.type = static_cast<std::uint32_t>(in.Signed(4));
  c.chars = static_cast<std::uint32_t>(in.Signed(4));
  // A zone has at least one type and at most 256 (indices are bytes).
  return c.type >= 1 && c.type <= 256 && c.time <= 1000000 && c.chars <= 65536 &&
         c.leap <= 100000 && (c.isut == 0 || c.isut == c.type) &&
         (c.isstd == 0 || c.isstd == c.type);
}

std::uint64_t DataSize(const TzifCounts& c, int width) {
  return std::uint64_t{c.time} * width + c.time + std::uint64_t{c.type} * 6 + c.chars +
         std::uint64_t{c.leap} * (width + 4) + c.isstd + c.isut;
}

std::string ReadHostFile(const std::string& path, size_t limit) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  std::string bytes(limit + 1, '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  bytes.resize(static_cast<size_t>(in.gcount()));
  return bytes.size() > limit ? std::string() : bytes;
}

std::string ZoneFolder() {
  const char* dir = std::getenv("TZDIR");
  return dir != nullptr && *dir != '\0' ? dir : "/usr/share/zoneinfo";
}

// A zone name that stays inside the zone folder: relative, no "." or ".." component, only the
// characters zone names use.
bool IsSafeZoneName(std::string_view name) {
  if (name.empty() || name.size() > 255 || name.front() == '/') return false;
  size_t start = 0;
  while (start <= name.size()) {
    size_t slash = name.find('/', start);
    if (slash == std::string_view::npos) slash = name.size();
    const std::string_view part = name.substr(start, slash - start);
    if (part.empty() || part == "." || part == "..") return false;
    for (char c : part)
      if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
            c == '_' || c == '-' || c == '+' || c == '.'))
        return false;
    start = slash + 1;
  }
  return true;
}

constexpr size_t kMaxZoneFile = 1 << 20;

std::shared_ptr<const TimeZone> LoadNamedZone(std::string_view name) {
  if (IsSafeZoneName(name)) {
    const std::string bytes = ReadHostFile(ZoneFolder() + "/" + std::string(name), kMaxZoneFile);
    if (!bytes.empty()) return TimeZone::FromTzif(bytes);
  }
  return TimeZone::FromPosixRule(name);
}

std::shared_ptr<const TimeZone> LoadHostZone() {
  const char* tz = std::getenv("TZ");
  if (tz == nullptr) {
    const std::string bytes = ReadHostFile("/etc/localtime", kMaxZoneFile);
    auto zone = bytes.empty() ? nullptr : TimeZone::FromTzif(bytes);
    return zone ? zone : TimeZone::Utc();
  }
  std::string_view name(tz);
  if (!name.empty() && name.front() == ':') name.remove_prefix(1);
  if (name.empty()) return TimeZone::Utc();
  std::shared_ptr<const TimeZone> zone;
  if (name.front() == '/') {
    const std::string bytes = ReadHostFile(std::string(name), kMaxZoneFile);
    if (!bytes.empty()) zone = TimeZone::FromTzif(bytes);
  } else {
    zone = LoadNamedZone(name);
  }
  return zone ? zone : TimeZone::Utc();
}

}  // namespace

std::shared_ptr<const TimeZone> TimeZone::Utc() {
  static const std::shared_ptr<const TimeZone> utc = [] {
    std::shared_ptr<TimeZone> zone(new TimeZone);
    zone->types_.push_back(LocalTimeType{0, false, "UTC"});
    return zone;
  }();
  return utc;
}

std::shared_ptr<const TimeZone> TimeZone::FromPosixRule(std::string_view text) {
  RuleParser p(text);
  Rule rule;
  std::int32_t west = 0;
  if (!p.Abbreviation(rule.standard.abbreviation) || !p.Clock(west)) return nullptr;
  rule.standard.utc_offset = -west;
  if (!p.AtEnd()) {
    LocalTimeType dst;
    dst.is_dst = true;
    if (!p.Abbreviation(dst.abbreviation)) return nullptr;
    dst.utc_offset = rule.standard.utc_offset + 3600;
    if (!p.AtEnd() && !p.Peek(',')) {
      if (!p.Clock(west)) return nullptr;
      dst.utc_offset = -west;
    }
    if (p.Eat(',')) {
      if (!p.Date(rule.start) || !p.Eat(',') || !p.Date(rule.end)) return nullptr;
    } else {
      // No dates given: the United States rules, as the C library assumes.
      rule.start = RuleDate{RuleDate::Kind::kMonthWeekDay, 0, 3, 2, 0, 7200};
      rule.end = RuleDate{RuleDate::Kind::kMonthWeekDay, 0, 11, 1, 0, 7200};
    }
    rule.daylight = dst;
  }
  if (!p.AtEnd()) return nullptr;
  std::shared_ptr<TimeZone> zone(new TimeZone);
  zone->types_.push_back(rule.standard);
  zone->rule_ = std::make_shared<const Rule>(std::move(rule));
  return zone;
}

std::shared_ptr<const TimeZone> TimeZone::FromTzif(std::string_view bytes) {
  Cursor in(bytes);
  char version = 0;
  TzifCounts c{};
  if (!ReadHeader(in, version, c)) return nullptr;
  int width = 4;
  if (version >= '2') {
    // Skip the 32-bit block and read the 64-bit one that follows.
    if (!in.Skip(static_cast<size_t>(std::min<std::uint64_t>(DataSize(c, 4), bytes.size() + 1))))
      return nullptr;
    if (!ReadHeader(in, version, c)) return nullptr;
    width = 8;
  }
  if (!in.Has(static_cast<size_t>(std::min<std::uint64_t>(DataSize(c, width), bytes.size() + 1))))
    return nullptr;
  std::shared_ptr<TimeZone> zone(new TimeZone);
  zone->transitions_.reserve(c.time);
  for (std::uint32_t k = 0; k < c.time; ++k) {
    const std::int64_t at = in.Signed(width);
    if (!zone->transitions_.empty() && at <= zone->transitions_.back()) return nullptr;
    zone->transitions_.push_back(at);
  }
  zone->transition_to_.reserve(c.time);
  for (std::uint32_t k = 0; k < c.time; ++k) {
    const std::uint8_t type = in.Byte();
    if (type >= c.type) return nullptr;
    zone->transition_to_.push_back(type);
  }
  struct RawType {
    std::int32_t offset;
    bool dst;
    std::uint8_t abbr;
  };
  std::vector<RawType> raw(c.type);
  for (RawType& t : raw) {
    t.offset = static_cast<std::int32_t>(in.Signed(4));
    t.dst = in.Byte() != 0;
    t.abbr = in.Byte();
    if (t.offset <= -25 * 3600 || t.offset >= 26 * 3600) return nullptr;
  }
  const std::string_view chars = in.Take(c.chars);
  for (const RawType& t : raw) {
    if (t.abbr >= chars.size()) return nullptr;
    std::string_view abbr = chars.substr(t.abbr);
    abbr = abbr.substr(0, abbr.find('\0'));
    zone->types_.push_back(LocalTimeType{t.offset, t.dst, std::string(abbr)});
  }
  in.Skip(static_cast<size_t>(std::uint64_t{c.leap} * (width + 4)) + c.isstd + c.isut);
  if (width == 8) {
    // Footer: "\n" POSIX rule "\n", for instants after the last transition.
    std::string_view rest = in.Rest();
    if (rest.size() >= 2 && rest.front() == '\n') {
      const size_t end = rest.find('\n', 1);
      if (end != std::string_view::npos && end > 1) {
        auto footer = FromPosixRule(rest.substr(1, end - 1));
        if (footer) zone->rule_ = footer->rule_;
      }
    }
  }
  return zone;
}

const LocalTimeType& TimeZone::RuleAt(const Rule& rule, std::int64_t utc) const {
  if (!rule.daylight) return rule.standard;
  const std::int64_t year = CivilFromDays(FloorDiv(utc + rule.standard.utc_offset, 86400)).year;
  const std::int64_t start =
      DayOfRule(rule.start, year) * 86400 + rule.start.time - rule.standard.utc_offset;
  const std::int64_t end =
      DayOfRule(rule.end, year) * 86400 + rule.end.time - rule.daylight->utc_offset;
  const bool dst = start < end ? (utc >= start && utc < end) : !(utc >= end && utc < start);
  return dst ? *rule.daylight : rule.standard;
}

const LocalTimeType& TimeZone::At(std::int64_t utc) const {
  if (transitions_.empty() || utc >= transitions_.back()) {
    if (rule_) return RuleAt(*rule_, utc);
    if (transitions_.empty()) return types_.front();
    return types_[transition_to_.back()];
  }
  if (utc < transitions_.front()) return types_.front();
  const auto it = std::upper_bound(transitions_.begin(), transitions_.end(), utc);
  return types_[transition_to_[static_cast<size_t>(it - transitions_.begin()) - 1]];
}

std::int64_t TimeZone::ToUtc(std::int64_t local, int is_dst) const {
  // Zone changes are at least days apart, so the offsets in force a day either side of the
  // reading are the only ones that can apply to it.
  const LocalTimeType& before = At(local - 86400 - 26 * 3600);
  const LocalTimeType& after = At(local + 86400 + 26 * 3600);
  const LocalTimeType* candidates[2] = {&before, &after};
  // Readings that really occur (utc + offset(utc) == local), earlier instant first.
  std::int64_t fit_utc[2];
  const LocalTimeType* fits[2];
  int count = 0;
  for (const LocalTimeType* type : candidates) {
    const std::int64_t utc = local - type->utc_offset;
    if (At(utc).utc_offset != type->utc_offset) continue;
    if (count == 1 && fit_utc[0] == utc) continue;
    fit_utc[count] = utc;
    fits[count] = &At(utc);
    ++count;
  }
  if (count == 2 && fit_utc[1] < fit_utc[0]) {
    std::swap(fit_utc[0], fit_utc[1]);
    std::swap(fits[0], fits[1]);
  }
  if (is_dst >= 0) {
    for (int k = 0; k < count; ++k)
      if (fits[k]->is_dst == (is_dst > 0)) return fit_utc[k];
    for (const LocalTimeType* type : candidates)
      if (type->is_dst == (is_dst > 0)) return local - type->utc_offset;
    // The zone has no reading of the asked kind near the time; standard time in a zone
    // without daylight saving, or a daylight reading one hour ahead of standard time.
    if (is_dst > 0 && rule_ && rule_->daylight) return local - rule_->daylight->utc_offset;
  }
  if (count > 0) return fit_utc[0];
  return local - before.utc_offset;  // skipped by a spring-forward
}

std::shared_ptr<const TimeZone> FindTimeZone(std::string_view name) {
  static std::mutex mutex;
  static std::map<std::string, std::shared_ptr<const TimeZone>, std::less<>> cache;
  std::lock_guard<std::mutex> lock(mutex);
  const auto found = cache.find(name);
  if (found != cache.end()) return found->second;
  // Unknown names are kept too, so that a misspelt zone costs one file look-up, not one per call.
  auto zone = name.empty() ? LoadHostZone() : LoadNamedZone(name);
  cache.emplace(std::string(name), zone);
  return zone;
}

std::shared_ptr<const TimeZone> MachineTimeZone() {
  std::string name;
  if (auto machine = Machine::Current()) name = machine->Setting("clock", "timezone");
  return MachineTimeZoneNamed(name);
}

std::shared_ptr<const TimeZone> MachineTimeZoneNamed(std::string_view name) {
  auto zone = FindTimeZone(name);
  return zone ? zone : TimeZone::Utc();
}

}  // namespace w98::internal
