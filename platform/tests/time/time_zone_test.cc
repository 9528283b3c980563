// Zone data read by w98 itself: TZif files of the host's database and POSIX rules, including
// damaged input.
#include "time/time_zone.h"

#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

namespace w98::internal {
namespace {

std::string ReadZoneFile(const std::string& name) {
  std::ifstream in("/usr/share/zoneinfo/" + name, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

TEST(TimeZone, DatabaseAndRuleAgreeForBerlin) {
  auto database = FindTimeZone("Europe/Berlin");
  auto rule = FindTimeZone("CET-1CEST,M3.5.0,M10.5.0/3");
  ASSERT_TRUE(database && rule);
  // Every hour of 2000 to 2040: both give the same offset and the same kind.
  for (std::int64_t t = 946684800; t < 2208988800; t += 3600) {
    ASSERT_EQ(database->At(t).utc_offset, rule->At(t).utc_offset) << t;
    ASSERT_EQ(database->At(t).is_dst, rule->At(t).is_dst) << t;
  }
  EXPECT_EQ(database->At(1721037600).abbreviation, "CEST");
  EXPECT_EQ(rule->At(1705316400).abbreviation, "CET");
}

TEST(TimeZone, KnowsHistoryBeforeTheCurrentRules) {
  // New York before 2007 changed to daylight time on the first Sunday of April.
  auto zone = FindTimeZone("America/New_York");
  ASSERT_TRUE(zone);
  EXPECT_FALSE(zone->At(1142143200).is_dst) << "2006-03-12 06:00 UTC";
  EXPECT_TRUE(zone->At(1173682800).is_dst) << "2007-03-12 07:00 UTC";
}

TEST(TimeZone, ParsesPosixRuleForms) {
  struct Case {
    const char* rule;
    std::int64_t at;
    std::int32_t offset;
    bool dst;
  } cases[] = {
      {"EST5EDT", 1720000000, -4 * 3600, true},  // default dates: the US rules
      {"EST5EDT", 1705316400, -5 * 3600, false},
      {"<+0330>-3:30", 1720000000, 12600, false},
      {"AEST-10AEDT,M10.1.0,M4.1.0/3", 1705316400, 11 * 3600, true},  // southern summer
      {"AEST-10AEDT,M10.1.0,M4.1.0/3", 1720000000, 10 * 3600, false},
      {"XXX3YYY,J60/0,J300/0", 1720000000, -2 * 3600, true},
      {"XXX3YYY,59/0,299/0", 1705316400, -3 * 3600, false},
      {"IST-1GMT0,M10.5.0,M3.5.0/1", 1705316400, 0, true},  // negative daylight saving
  };
  for (const Case& c : cases) {
    auto zone = TimeZone::FromPosixRule(c.rule);
    ASSERT_TRUE(zone) << c.rule;
    EXPECT_EQ(zone->At(c.at).utc_offset, c.offset) << c.rule << " at " << c.at;
    EXPECT_EQ(zone->At(c.at).is_dst, c.dst) << c.rule << " at " << c.at;
  }
  for (const char* bad :
       {"", "E5", "EST", "EST5EDT,M13.1.0,M11.1.0", "EST5EDT,M3.6.0,M11.1.0",
        "EST5EDT,M3.2.7,M11.1.0", "EST5EDT,M3.2.0", "EST5 trailing", "<+03", "EST999"}) {
    EXPECT_FALSE(TimeZone::FromPosixRule(bad)) << "'" << bad << "' was accepted";
  }
}

TEST(TimeZone, RefusesNamesOutsideTheDatabase) {
  for (const char* name : {"../../../etc/passwd", "/etc/localtime", "Europe/../../../etc/hosts",
                           "Europe//Berlin", "Europe/Berlin\n", "no/such/zone"})
    EXPECT_FALSE(FindTimeZone(name)) << name;
}

// Every prefix of a real zone file, and the file with single bytes damaged, is refused or
// read without reaching outside the data (AddressSanitizer checks the reads).
TEST(TimeZone, SurvivesTruncatedAndDamagedFiles) {
  const std::string bytes = ReadZoneFile("Europe/Berlin");
  ASSERT_GT(bytes.size(), 100u) << "the zone database is missing (package tzdata)";
  ASSERT_TRUE(TimeZone::FromTzif(bytes));
  size_t accepted = 0;
  for (size_t n = 0; n < bytes.size(); ++n) {
    auto zone = TimeZone::FromTzif(std::string_view(bytes).substr(0, n));
    if (zone) {
      ++accepted;
      zone->At(0);
      zone->ToUtc(1700000000, -1);
    }
  }
  EXPECT_LT(accepted, bytes.size() / 2) << "most prefixes cut the data and must be refused";
  for (size_t pos = 0; pos < bytes.size(); pos += 3) {
    for (unsigned char value : {0x00, 0x7F, 0xFF}) {
      std::string damaged = bytes;
      damaged[pos] = static_cast<char>(value);
      if (auto zone = TimeZone::FromTzif(damaged)) {
        zone->At(-5000000000);
        zone->At(1700000000);
        zone->At(5000000000);
        zone->ToUtc(1700000000, 1);
      }
    }
  }
}

}  // namespace
}  // namespace w98::internal
