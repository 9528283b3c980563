// Expected files typed out by hand (golden/), and a byte-for-byte comparison that shows where a
// written file first differs.
#ifndef SNAPSHOT_TESTS_GOLDEN_H
#define SNAPSHOT_TESTS_GOLDEN_H

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

namespace snapshot::testing {

// The expected file `name`, with "{PLACEHOLDER}" replaced by `value` when given.
inline std::string Golden(const std::string& name, const std::string& placeholder = "",
                          const std::string& value = "") {
  std::ifstream in(std::string(QUILLOW_GOLDEN_DIR) + "/" + name, std::ios::binary);
  EXPECT_TRUE(in.good()) << "no expected file " << name;
  std::ostringstream text;
  text << in.rdbuf();
  std::string expected = text.str();
  if (!placeholder.empty()) {
    const size_t at = expected.find(placeholder);
    if (at != std::string::npos) expected.replace(at, placeholder.size(), value);
  }
  return expected;
}

inline void ExpectSameBytes(const std::string& expected, const std::string& actual,
                            const std::string& what) {
  if (expected == actual) return;
  size_t at = 0;
  while (at < expected.size() && at < actual.size() && expected[at] == actual[at]) ++at;
  ADD_FAILURE() << what << " differs from its expected file at byte " << at
                << "\n--- expected ---\n"
                << expected << "\n--- actual ---\n"
                << actual;
}

}  // namespace snapshot::testing

#endif  // SNAPSHOT_TESTS_GOLDEN_H
