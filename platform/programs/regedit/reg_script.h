// REGEDIT4 registry scripts: the reader (a table-driven state machine over the lines of a
// script) and the writer of the export format.
//
// The reader is strict where Windows 98's editor was lenient: a malformed line makes the whole
// script fail (and names the line), so that an import is all or nothing. It accepts CR LF, LF
// and CR line ends, a missing last line end, blank lines and ';' or '#' comment lines, key
// lines [ROOT\path] and [-ROOT\path] (delete the tree), value lines "name"= or @= with a
// quoted string, dword:1-8 hex digits, hex: or hex(T): byte lists (continued on the next line
// after a '\'), or '-' (delete the value). Inside quotes, \\ is a backslash and \" a quote.
//
// The writer produces what Windows 98's editor writes: CR LF line ends, hex lists wrapped
// before column 80, and an empty line at the end. Strings that the format cannot carry as
// text (embedded NULs, line breaks, no terminating NUL) are written as hex(1): lists, so that
// export then import gives back every byte.
//
// Pure functions without any registry or file access; safe on any input.
#ifndef W98_PROGRAMS_REGEDIT_REG_SCRIPT_H
#define W98_PROGRAMS_REGEDIT_REG_SCRIPT_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace regedit {

enum class ScriptRoot { kLocalMachine, kCurrentUser, kClassesRoot, kUsers };

struct ScriptOp {
  enum Kind { kCreateKey, kDeleteKey, kSetValue, kDeleteValue };
  Kind kind = kCreateKey;
  int line = 0;  // 1-based line of the script
  ScriptRoot root = ScriptRoot::kLocalMachine;
  std::vector<std::string> path;  // key names below the root
  std::string name;               // value name ("" is the default value)
  std::uint32_t type = 0;
  std::string data;
};

struct ScriptError {
  int line = 0;  // 1-based; 0 when the error is not about one line
  std::string message;
};

// Reads a whole script. On success fills *ops in the script's order; on failure fills *error
// and leaves *ops empty.
bool ParseScript(std::string_view text, std::vector<ScriptOp>* ops, ScriptError* error);

// The full name of a root ("HKEY_LOCAL_MACHINE"), and the root of a full name (any case).
const char* ScriptRootName(ScriptRoot root);
bool ScriptRootOfName(std::string_view name, ScriptRoot* root);

// ---- writing ----
// "REGEDIT4" and its line end.
void AppendHeader(std::string& out);
// An empty line, then "[full path]". False (nothing written) when the path holds a line break,
// which the format cannot carry.
bool AppendKeyLine(std::string& out, std::string_view full_path);
// One value line. False (nothing written) when the name holds a line break.
bool AppendValueLine(std::string& out, std::string_view name, std::uint32_t type,
                     std::string_view data);
// The empty line that ends the file.
void AppendTrailer(std::string& out);

}  // namespace regedit

#endif  // W98_PROGRAMS_REGEDIT_REG_SCRIPT_H
