// The registry editor of a machine, as a command line:
//
//   regedit [/S] [/I] FILE                       import (merge) FILE
//   regedit [/L:system] [/R:user] FILE           import into the named hive files
//   regedit [/L:system] [/R:user] /E FILE [KEY]  export KEY (everything when none) to FILE
//
// File paths are DOS paths of the machine. Switches are case-insensitive and may be quoted
// whole ("/L:C:\WINDOWS\SYSTEM.DAT"). Words after the export file are the key path, joined by
// single blanks, so an unquoted key path with blanks still works. An import is all or nothing:
// a malformed line imports nothing and names the line.
#ifndef W98_PROGRAMS_REGEDIT_REGEDIT_TOOL_H
#define W98_PROGRAMS_REGEDIT_REGEDIT_TOOL_H

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace w98::internal {
class Hive;
}

namespace regedit {

struct Options {
  bool do_export = false;
  bool silent = false;
  std::string system_file;  // /L:
  std::string user_file;    // /R:
  std::string file;
  std::string key;  // export only; "" exports everything
};

// Reads the words of a command line (program name excluded). False with a reason on misuse.
bool ParseArguments(const std::vector<std::string>& args, Options* options, std::string* error);

// The two hives that an import or export works on: the machine's own, or the files that /L:
// and /R: name.
struct Hives {
  std::shared_ptr<w98::internal::Hive> system;
  std::shared_ptr<w98::internal::Hive> user;
};
bool OpenHives(const Options& options, Hives* hives, std::string* error);

// Writes the key `key` (a full path beginning with a root name; "" for the whole registry) with
// everything below it as a REGEDIT4 text, as of one moment. False with a reason when the key
// does not exist or holds a name the format cannot carry.
bool ExportText(Hives& hives, std::string_view key, std::string* text, std::string* error);

// Imports a REGEDIT4 text; all or nothing. False with a reason (naming the line) otherwise.
bool ImportText(Hives& hives, std::string_view text, std::string* error);

// Runs the whole program: messages for the user in *out, errors in *err. Returns the exit code
// (0 success, 1 failure, 2 misuse).
int RunRegedit(const std::vector<std::string>& args, std::string* out, std::string* err);

}  // namespace regedit

#endif  // W98_PROGRAMS_REGEDIT_REGEDIT_TOOL_H
