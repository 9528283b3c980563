// Time zones from the host's zone database (TZif files under /usr/share/zoneinfo, or TZDIR)
// and from POSIX TZ rules, without touching the process's TZ variable or the C library's
// zone state: every lookup here is a pure function of the zone object, so any thread may
// convert at any time.
#ifndef W98_SRC_TIME_TIME_ZONE_H
#define W98_SRC_TIME_TIME_ZONE_H

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace w98::internal {

// One kind of local time of a zone: its offset from UTC and whether it is daylight saving.
struct LocalTimeType {
  std::int32_t utc_offset = 0;  // seconds east of UTC (CET = +3600)
  bool is_dst = false;
  std::string abbreviation;  // "CET", "CEST"
};

class TimeZone {
 public:
  // Parses the bytes of a TZif file (versions 1 to 4). nullptr when the data is malformed;
  // every count and offset is checked against the data's size.
  static std::shared_ptr<const TimeZone> FromTzif(std::string_view bytes);
  // Parses a POSIX TZ rule ("CET-1CEST,M3.5.0,M10.5.0/3", "EST5EDT", "<+0330>-3:30").
  // nullptr when malformed.
  static std::shared_ptr<const TimeZone> FromPosixRule(std::string_view rule);
  static std::shared_ptr<const TimeZone> Utc();

  // The local time type in force at `utc` (seconds since 1970). The reference stays valid as
  // long as the zone does.
  const LocalTimeType& At(std::int64_t utc) const;

  // The instant whose local wall-clock reading is `local` (seconds since 1970, read as if
  // UTC). `is_dst` < 0 lets the zone decide; in a repeated hour the earlier instant wins, and a
  // reading that a spring-forward skips is taken with the offset in force before the change
  // (02:30 becomes 03:30 daylight time). `is_dst` >= 0 prefers a reading of that kind near the
  // time when the zone has one, so "02:30, daylight saving" in winter is an hour earlier than
  // "02:30, standard time".
  std::int64_t ToUtc(std::int64_t local, int is_dst) const;

 private:
  struct Rule;  // a POSIX rule: standard time, and daylight saving time with its dates

  TimeZone() = default;
  const LocalTimeType& RuleAt(const Rule& rule, std::int64_t utc) const;

  std::vector<std::int64_t> transitions_;    // instants at which the type changes, ascending
  std::vector<std::uint8_t> transition_to_;  // index into types_ of each transition
  std::vector<LocalTimeType> types_;
  std::shared_ptr<const Rule> rule_;  // after the last transition (TZif footer), or the whole zone
};

// The zone a name of machine.ini's [clock] timezone stands for: "" the host's zone (TZ, else
// /etc/localtime, else UTC); an IANA name ("Europe/Berlin") read from the zone database; or a
// POSIX rule. nullptr when the name is none of these, or would reach outside the zone
// database folder. Zones are read once and kept for the life of the process.
std::shared_ptr<const TimeZone> FindTimeZone(std::string_view name);

// The current machine's zone; UTC when machine.ini names an unknown zone or there is no
// machine.
std::shared_ptr<const TimeZone> MachineTimeZone();
// The zone that machine.ini names `name` ("" for the host's); UTC when it is unknown.
std::shared_ptr<const TimeZone> MachineTimeZoneNamed(std::string_view name);

}  // namespace w98::internal

#endif  // W98_SRC_TIME_TIME_ZONE_H
