// Parsing of batch lines after %-expansion: label lines, the '@' prefix, the command name
// (internal command or program), redirections, and the IF and GOTO forms. Pure functions over
// text; the interpreter runs what they return.
#ifndef COMMAND_LINE_PARSER_H
#define COMMAND_LINE_PARSER_H

#include <string>
#include <string_view>
#include <vector>

namespace command {

// What one line of a batch file is.
struct BatchLine {
  enum class Kind { kEmpty, kLabel, kCommand };
  Kind kind = Kind::kEmpty;
  bool quiet = false;  // began with '@': not echoed even while ECHO is on
  std::string text;    // the command without leading blanks and '@'; for a label, its name
};

// Classifies a line: blank, a label (first non-blank character ':'; never run, so `::` lines
// never redirect), or a command.
BatchLine ClassifyLine(std::string_view line);

// The key under which GOTO finds a label: its first word, upper-cased, cut to the 8
// characters that COMMAND.COM compares. Leading ':' characters are skipped.
std::string LabelKey(std::string_view name);

// The internal commands that the interpreter knows. kUnsupported names MS-DOS internal
// commands that this interpreter does not carry out (FOR, LH ...); a line using one is
// reported and skipped.
enum class Internal {
  kNone,
  kEcho,
  kRem,
  kSet,
  kIf,
  kGoto,
  kCall,
  kCopy,
  kDel,
  kShift,
  kExit,
  kCd,
  kMd,
  kRd,
  kRen,
  kType,
  kCls,
  kPause,
  kPath,
  kPrompt,
  kUnsupported,
};

struct Redirection {
  enum class Kind { kOutput, kAppend, kInput };
  Kind kind = Kind::kOutput;
  std::string target;  // file name, quotes removed
};

// One command, ready to run.
struct SimpleCommand {
  Internal internal = Internal::kNone;
  std::string name;  // the command word as typed, quotes kept ("ECHO", "\"C:\\X.EXE\"")
  std::string tail;  // everything after the name with redirections taken out, blanks kept
  std::vector<Redirection> redirections;
  std::string error;  // not empty: the line cannot run; this is the message to report
};

// Splits a command into its name, tail and redirections. Redirection operators ('>', '>>',
// '<') inside double quotes are text. A REM line redirects only when the operator is the
// first thing after REM (the `rem > "file"` idiom); any other REM text, '>' included, is a
// comment and touches no file. A pipe ('|') outside quotes is reported as unsupported. The
// tail of IF and CALL is left whole: the command they run is parsed on its own.
SimpleCommand ParseCommand(std::string_view text);

// IF [NOT] ERRORLEVEL n | IF [NOT] EXIST file | IF [NOT] a==b, then the command to run.
struct IfClause {
  enum class Kind { kErrorLevel, kExist, kCompare };
  Kind kind = Kind::kCompare;
  bool negate = false;
  unsigned long level = 0;  // kErrorLevel
  std::string left;         // kExist: the file name as typed; kCompare: the left word
  std::string right;        // kCompare: the right word (quotes kept, compared exactly)
  std::string command;      // the command run when the condition holds
  std::string error;        // not empty: a syntax error; nothing runs
};
IfClause ParseIf(std::string_view tail);

// The label that a GOTO names (its LabelKey), "" when none is given.
std::string GotoTarget(std::string_view tail);

}  // namespace command

#endif  // COMMAND_LINE_PARSER_H
