// The MS-DOS 7 batch interpreter: runs command lines and batch files on the current w98
// machine, as COMMAND.COM does for the commands that start-up and restore batch files use.
//
// Behaviour worth knowing:
// - A failing line never stops a batch file: it is reported on the console and the next
//   line runs. Lines that the interpreter does not understand are reported and skipped.
// - Lines are never cut at 127 characters (MS-DOS would cut them).
// - Internal commands leave ERRORLEVEL alone; a program's exit code becomes ERRORLEVEL.
//   A program that is found but cannot be started sets ERRORLEVEL 1, so that a batch
//   testing ERRORLEVEL never mistakes it for success.
// - Batch files, COMMAND /C children and CALLs run in-process; programs (.COM, .EXE stubs)
//   run through CreateProcessA and are waited for.
//
// One Interpreter is used by one thread.
#ifndef COMMAND_INTERPRETER_H
#define COMMAND_INTERPRETER_H

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "console.h"
#include "environment.h"
#include "line_parser.h"

namespace command {

class Interpreter {
 public:
  // `console` receives every output and message; it must outlive the interpreter. `depth` is
  // the number of COMMAND /C interpreters above this one (a guard against endless nesting).
  Interpreter(Console& console, Environment environment, int depth = 0);

  // Runs one command line as `COMMAND /C line` runs it; a batch file that it starts runs to
  // its end (or to EXIT). %-references are not expanded on a command line. Returns
  // ERRORLEVEL afterwards.
  int RunLine(std::string_view line);

  // Runs the switches and command of a COMMAND invocation ("/C line", "/E:1024 /C line",
  // "/K line"), as a child interpreter does. Returns ERRORLEVEL afterwards. Without /C or /K
  // nothing runs and false is stored in *ran (when given).
  int RunInvocation(std::string_view switches, bool* ran = nullptr);

  int ErrorLevel() const { return errorlevel_; }
  const Environment& Env() const { return environment_; }
  bool Exited() const { return exited_; }
  // The prompt text ($P$G by default) for the current folder.
  std::string Prompt() const;

 private:
  struct Frame {
    std::string path;                // the batch file as found
    std::vector<std::string> lines;  // its lines, read when it started
    size_t next = 0;                 // index of the next line to run
    std::vector<std::string> args;   // %0 (as typed), %1 ...
    size_t shift = 0;                // SHIFT count
    bool ended = false;
  };

  struct Program {
    enum class Kind { kNotFound, kBatch, kProgram, kInterpreter };
    Kind kind = Kind::kNotFound;
    std::string path;
  };

  // Runs a batch frame until its end, a missing label, or EXIT.
  void RunFrame(Frame frame);
  void RunBatchLine(const std::string& raw, size_t frame);
  // Runs one command (after '@' and echo) in the context of frame index `frame` (npos: the
  // command line).
  void Execute(std::string_view text, size_t frame);
  void ExecuteParsed(const SimpleCommand& command, size_t frame, Console& out);
  void Report(std::string_view message);

  // Internal commands (builtins.cc, copy_del.cc).
  void Echo(const SimpleCommand& command, Console& out);
  void Set(const SimpleCommand& command, Console& out);
  void Path(const SimpleCommand& command, Console& out);
  void PromptCommand(const SimpleCommand& command);
  void Cd(const SimpleCommand& command, Console& out);
  void Md(const SimpleCommand& command, Console& out);
  void Rd(const SimpleCommand& command, Console& out);
  void Ren(const SimpleCommand& command, Console& out);
  void Type(const SimpleCommand& command, Console& out);
  void Pause(Console& out);
  void Copy(const SimpleCommand& command, Console& out);
  void Del(const SimpleCommand& command, Console& out);

  // Control flow (interpreter.cc).
  void If(const SimpleCommand& command, size_t frame);
  void Goto(const SimpleCommand& command, size_t frame);
  void Call(const SimpleCommand& command, size_t frame);
  void Shift(size_t frame);
  bool ConditionHolds(const IfClause& clause) const;

  // Programs and batch files named by a command word.
  Program Resolve(const std::string& name) const;
  void RunProgram(const SimpleCommand& command, size_t frame, bool call, Console& out);
  void StartBatch(const std::string& path, const SimpleCommand& command, size_t frame, bool call);
  void StartProcess(const std::string& path, const SimpleCommand& command);

  Console& console_;
  Environment environment_;
  int depth_;
  int errorlevel_ = 0;
  bool echo_ = true;
  bool exited_ = false;
  std::vector<Frame> frames_;
};

// Messages that COMMAND.COM prints, used exactly.
inline constexpr const char* kBadCommand = "Bad command or file name";
inline constexpr const char* kLabelNotFound = "Label not found";
inline constexpr const char* kFileNotFound = "File not found";
inline constexpr const char* kAccessDenied = "Access denied";
inline constexpr const char* kRequiredParameterMissing = "Required parameter missing";
inline constexpr const char* kTooManyParameters = "Too many parameters";
inline constexpr const char* kFileCreationError = "File creation error";
inline constexpr const char* kInvalidDirectory = "Invalid directory";
inline constexpr const char* kSyntaxErrorMessage = "Syntax error";

}  // namespace command

#endif  // COMMAND_INTERPRETER_H
