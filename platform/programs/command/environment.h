// The environment of a DOS command interpreter: NAME=value pairs in the order they were set.
#ifndef COMMAND_ENVIRONMENT_H
#define COMMAND_ENVIRONMENT_H

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace command {

class Environment {
 public:
  using Entry = std::pair<std::string, std::string>;

  // The value of `name` (compared without regard to case); false when it is not set.
  bool Get(std::string_view name, std::string* value) const;
  // Sets `name` (stored as given; SET upper-cases it first) to `value`; an empty value
  // removes it. A changed variable moves to the end of the list, as COMMAND.COM keeps it.
  void Set(std::string_view name, std::string_view value);
  const std::vector<Entry>& Entries() const { return entries_; }

  // The environment that the machine's command interpreter starts with: COMSPEC, PATH,
  // PROMPT, TEMP, TMP, windir and winbootdir, built from the machine's Windows folder
  // (`windows_folder`, for example "C:\WINDOWS"). The host's own environment plays no part,
  // so what a batch file sees does not depend on the host.
  static Environment MachineDefault(const std::string& windows_folder);

 private:
  std::vector<Entry> entries_;
};

}  // namespace command

#endif  // COMMAND_ENVIRONMENT_H
