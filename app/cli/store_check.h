// The invariants of the snapshot store, checked against the catalogue and the copy folder.
#ifndef QUILLOW_APP_CLI_STORE_CHECK_H
#define QUILLOW_APP_CLI_STORE_CHECK_H

#include <string>
#include <vector>

namespace quillow {

struct InvariantResult {
  std::string name;                   // a short title
  std::string statement;              // what must hold
  std::vector<std::string> problems;  // empty when it holds
  std::vector<std::string> notes;     // what is allowed but worth knowing
  size_t checked = 0;                 // how many items were looked at
  bool holds() const { return problems.empty(); }
};

// Checks every invariant of the store in `store` (ending with a backslash): the snapshot list,
// the marks, each snapshot's files and their references, reference counts, the stored copies of
// indexed versions, and copies that nothing references. Reads only.
std::vector<InvariantResult> CheckStore(const std::string& store);

}  // namespace quillow

#endif  // QUILLOW_APP_CLI_STORE_CHECK_H
