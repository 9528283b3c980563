// The interpreter's core: batch frames, echo, dispatch, IF, GOTO, CALL, SHIFT, and the
// programs and batch files that a command word names.
#include "interpreter.h"

#include <algorithm>
#include <memory>
#include <utility>

#include "batch_text.h"
#include "dos_files.h"
#include "w98/windows.h"

namespace command {
namespace {

constexpr size_t kNoFrame = static_cast<size_t>(-1);
// CALL and COMMAND /C nest in-process; a batch file that calls itself for ever stops here
// with a message instead of exhausting the stack.
constexpr size_t kMaxFrames = 64;
constexpr int kMaxDepth = 16;

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

}  // namespace

Interpreter::Interpreter(Console& console, Environment environment, int depth)
    : console_(console), environment_(std::move(environment)), depth_(depth) {}

void Interpreter::Report(std::string_view message) {
  console_.Line(message);
}

int Interpreter::RunLine(std::string_view line) {
  const BatchLine classified = ClassifyLine(line);
  if (classified.kind == BatchLine::Kind::kCommand) Execute(classified.text, kNoFrame);
  return errorlevel_;
}

int Interpreter::RunInvocation(std::string_view switches, bool* ran) {
  if (ran != nullptr) *ran = false;
  size_t pos = 0;
  for (;;) {
    pos = SkipDelimiters(switches, pos);
    if (pos >= switches.size()) return errorlevel_;
    if (switches[pos] != '/') {
      ReadWord(switches, pos, "/");  // the folder of COMMAND.COM; not needed here
      continue;
    }
    const size_t letter = pos + 1;
    if (letter < switches.size() && (switches[letter] == 'C' || switches[letter] == 'c' ||
                                     switches[letter] == 'K' || switches[letter] == 'k')) {
      // /C runs the rest of the line and ends; /K would then wait for keyboard input, which a
      // machine without a keyboard never gives, so it ends as /C does.
      if (ran != nullptr) *ran = true;
      return RunLine(switches.substr(letter + 1));
    }
    // Other switches (/E:nnnn, /L:nnnn, /U:nnn, /P, /F, /Y, /D, /Z ...) change nothing here.
    pos = letter;
    while (pos < switches.size() && !IsDelimiter(switches[pos]) && switches[pos] != '/') ++pos;
  }
}

std::string Interpreter::Prompt() const {
  std::string pattern;
  if (!environment_.Get("PROMPT", &pattern)) pattern = "$p$g";
  char folder[MAX_PATH * 4] = "";
  const DWORD n = GetCurrentDirectoryA(sizeof folder, folder);
  const std::string current = (n > 0 && n < sizeof folder) ? std::string(folder, n) : "C:\\";
  std::string out;
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] != '$' || i + 1 >= pattern.size()) {
      out += pattern[i];
      continue;
    }
    switch (pattern[++i]) {
      case 'p':
      case 'P':
        out += current;
        break;
      case 'g':
      case 'G':
        out += '>';
        break;
      case 'l':
      case 'L':
        out += '<';
        break;
      case 'b':
      case 'B':
        out += '|';
        break;
      case 'q':
      case 'Q':
        out += '=';
        break;
      case 'n':
      case 'N':
        out += current.substr(0, 1);
        break;
      case '_':
        out += '\n';
        break;
      case '$':
        out += '$';
        break;
      default:
        break;  // time, date, version and control codes are left out
    }
  }
  return out;
}

void Interpreter::RunFrame(Frame frame) {
  if (frames_.size() >= kMaxFrames) {
    Report("Batch files nested too deeply");
    return;
  }
  frames_.push_back(std::move(frame));
  const size_t index = frames_.size() - 1;
  while (!exited_) {
    Frame& current = frames_[index];
    if (current.ended || current.next >= current.lines.size()) break;
    const std::string raw = current.lines[current.next++];
    RunBatchLine(raw, index);
  }
  frames_.pop_back();
}

void Interpreter::RunBatchLine(const std::string& raw, size_t frame) {
  const Frame& current = frames_[frame];
  std::vector<std::string> args;
  for (size_t i = 0; i < 10; ++i) {
    const size_t index = current.shift + i;
    args.push_back(index < current.args.size() ? current.args[index] : std::string());
  }
  const std::string expanded = ExpandPercents(
      raw, args,
      [this](std::string_view name, std::string* value) { return environment_.Get(name, value); });
  const BatchLine line = ClassifyLine(expanded);
  if (line.kind != BatchLine::Kind::kCommand) return;
  if (echo_ && !line.quiet) {
    console_.Write("\n");
    console_.Write(Prompt());
    console_.Line(line.text);
  }
  Execute(line.text, frame);
}

void Interpreter::Execute(std::string_view text, size_t frame) {
  const SimpleCommand command = ParseCommand(text);
  if (!command.error.empty()) {
    Report(command.error);
    return;
  }
  std::unique_ptr<FileConsole> file;
  for (const Redirection& redirection : command.redirections) {
    if (redirection.kind == Redirection::Kind::kInput) {
      if (!dos::IsFile(redirection.target)) {
        Report(std::string(kFileNotFound) + " - " + redirection.target);
        return;
      }
      continue;  // no command here reads its standard input
    }
    // Every output redirection creates (or truncates) its file; the last one gets the output.
    auto opened =
        FileConsole::Open(redirection.target, redirection.kind == Redirection::Kind::kAppend);
    if (!opened) {
      Report(kFileCreationError);
      return;
    }
    file = std::move(opened);
  }
  if (command.internal == Internal::kNone && command.name.empty()) return;
  ExecuteParsed(command, frame, file ? static_cast<Console&>(*file) : console_);
}

void Interpreter::ExecuteParsed(const SimpleCommand& command, size_t frame, Console& out) {
  switch (command.internal) {
    case Internal::kEcho:
      Echo(command, out);
      break;
    case Internal::kRem:
      break;
    case Internal::kSet:
      Set(command, out);
      break;
    case Internal::kIf:
      If(command, frame);
      break;
    case Internal::kGoto:
      Goto(command, frame);
      break;
    case Internal::kCall:
      Call(command, frame);
      break;
    case Internal::kCopy:
      Copy(command, out);
      break;
    case Internal::kDel:
      Del(command, out);
      break;
    case Internal::kShift:
      Shift(frame);
      break;
    case Internal::kExit:
      exited_ = true;
      break;
    case Internal::kCd:
      Cd(command, out);
      break;
    case Internal::kMd:
      Md(command, out);
      break;
    case Internal::kRd:
      Rd(command, out);
      break;
    case Internal::kRen:
      Ren(command, out);
      break;
    case Internal::kType:
      Type(command, out);
      break;
    case Internal::kCls:
      break;  // the output is a log, not a screen
    case Internal::kPause:
      Pause(out);
      break;
    case Internal::kPath:
      Path(command, out);
      break;
    case Internal::kPrompt:
      PromptCommand(command);
      break;
    case Internal::kUnsupported:
      Report("Unsupported command, line skipped: " + command.name + command.tail);
      break;
    case Internal::kNone:
      RunProgram(command, frame, false, out);
      break;
  }
}

bool Interpreter::ConditionHolds(const IfClause& clause) const {
  switch (clause.kind) {
    case IfClause::Kind::kErrorLevel:
      return static_cast<unsigned long>(errorlevel_) >= clause.level;
    case IfClause::Kind::kCompare:
      return clause.left == clause.right;
    case IfClause::Kind::kExist: {
      const std::string name = Unquote(clause.left);
      if (EqualsNoCase(dos::NameOf(name), "NUL")) {
        // "dir\NUL" tests that a folder exists; NUL itself always exists.
        const std::string folder = dos::FolderOf(name);
        return folder.empty() || dos::IsFolder(folder);
      }
      // Hidden and system files count: a restore line unprotects an existing target only
      // when IF EXIST sees it.
      if (HasWildcards(name)) return !dos::FindMatches(name, false, true).empty();
      return dos::IsFile(name);
    }
  }
  return false;
}

void Interpreter::If(const SimpleCommand& command, size_t frame) {
  const IfClause clause = ParseIf(command.tail);
  if (!clause.error.empty()) {
    Report(clause.error);
    return;
  }
  if (ConditionHolds(clause) != clause.negate) Execute(clause.command, frame);
}

void Interpreter::Goto(const SimpleCommand& command, size_t frame) {
  if (frame == kNoFrame) return;  // GOTO outside a batch file does nothing
  const std::string key = GotoTarget(command.tail);
  Frame& current = frames_[frame];
  if (!key.empty()) {
    for (size_t i = 0; i < current.lines.size(); ++i) {
      const BatchLine line = ClassifyLine(current.lines[i]);
      if (line.kind == BatchLine::Kind::kLabel && LabelKey(line.text) == key) {
        current.next = i + 1;
        return;
      }
    }
  }
  Report(kLabelNotFound);
  current.ended = true;
}

void Interpreter::Call(const SimpleCommand& command, size_t frame) {
  const SimpleCommand inner = ParseCommand(command.tail);
  if (!inner.error.empty()) {
    Report(inner.error);
    return;
  }
  if (inner.internal != Internal::kNone) {
    Execute(command.tail, frame);
    return;
  }
  if (inner.name.empty()) return;
  std::unique_ptr<FileConsole> file;
  for (const Redirection& redirection : inner.redirections) {
    if (redirection.kind == Redirection::Kind::kInput) continue;
    auto opened =
        FileConsole::Open(redirection.target, redirection.kind == Redirection::Kind::kAppend);
    if (!opened) {
      Report(kFileCreationError);
      return;
    }
    file = std::move(opened);
  }
  RunProgram(inner, frame, true, file ? static_cast<Console&>(*file) : console_);
}

void Interpreter::Shift(size_t frame) {
  if (frame == kNoFrame) return;
  Frame& current = frames_[frame];
  if (current.shift < current.args.size()) ++current.shift;
}

Interpreter::Program Interpreter::Resolve(const std::string& name) const {
  Program program;
  if (name.empty() || HasWildcards(name)) return program;
  const std::string base = dos::NameOf(name);
  if (EqualsNoCase(base, "COMMAND") || EqualsNoCase(base, "COMMAND.COM")) {
    program.kind = Program::Kind::kInterpreter;
    return program;
  }
  std::vector<std::string> extensions;
  const size_t dot = base.rfind('.');
  if (dot != std::string::npos) {
    const std::string extension = UpperCase(base.substr(dot));
    if (extension != ".COM" && extension != ".EXE" && extension != ".BAT") return program;
    extensions.push_back("");
  } else {
    extensions = {".COM", ".EXE", ".BAT"};
  }
  std::vector<std::string> folders{""};
  if (dos::FolderOf(name).empty()) {
    std::string path;
    if (environment_.Get("PATH", &path)) {
      size_t start = 0;
      while (start <= path.size()) {
        size_t end = path.find(';', start);
        if (end == std::string::npos) end = path.size();
        std::string folder = Unquote(path.substr(start, end - start));
        while (!folder.empty() && IsBlank(folder.back())) folder.pop_back();
        if (!folder.empty()) folders.push_back(folder);
        start = end + 1;
      }
    }
  }
  for (const std::string& folder : folders) {
    for (const std::string& extension : extensions) {
      const std::string candidate =
          folder.empty() ? name + extension : dos::Join(folder, name + extension);
      if (!dos::IsFile(candidate)) continue;
      program.path = candidate;
      const std::string found_extension =
          UpperCase(candidate.substr(candidate.size() - std::min<size_t>(4, candidate.size())));
      program.kind = found_extension == ".BAT" ? Program::Kind::kBatch : Program::Kind::kProgram;
      return program;
    }
  }
  return program;
}

void Interpreter::RunProgram(const SimpleCommand& command, size_t frame, bool call, Console& out) {
  const Program program = Resolve(Unquote(command.name));
  switch (program.kind) {
    case Program::Kind::kNotFound:
      Report(kBadCommand);
      return;
    case Program::Kind::kInterpreter: {
      if (depth_ >= kMaxDepth) {
        Report("Command interpreters nested too deeply");
        return;
      }
      // A child interpreter gets a copy of the environment; what it changes is lost.
      Interpreter child(out, environment_, depth_ + 1);
      bool ran = false;
      child.RunInvocation(command.tail, &ran);
      if (!ran) {
        Report("COMMAND needs /C here: there is no keyboard to read commands from");
        return;
      }
      errorlevel_ = child.ErrorLevel();
      return;
    }
    case Program::Kind::kBatch:
      StartBatch(program.path, command, frame, call);
      return;
    case Program::Kind::kProgram:
      out.Flush();
      console_.Flush();
      StartProcess(program.path, command);
      return;
  }
}

void Interpreter::StartBatch(const std::string& path, const SimpleCommand& command, size_t frame,
                             bool call) {
  std::string bytes;
  if (!dos::ReadWholeFile(path, &bytes)) {
    Report("Batch file missing");
    return;
  }
  Frame batch;
  batch.path = path;
  batch.lines = SplitBatchLines(bytes);
  batch.args.push_back(command.name);
  for (std::string& word : SplitWords(command.tail)) batch.args.push_back(std::move(word));
  if (call || frame == kNoFrame) {
    RunFrame(std::move(batch));
  } else {
    // A batch file started without CALL takes the place of the running one for good.
    frames_[frame] = std::move(batch);
  }
}

void Interpreter::StartProcess(const std::string& path, const SimpleCommand& command) {
  std::string line = command.name + command.tail;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessA(path.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &info)) {
    Report("Cannot start " + path);
    errorlevel_ = 1;
    return;
  }
  WaitForSingleObject(info.hProcess, INFINITE);
  DWORD code = 1;
  if (!GetExitCodeProcess(info.hProcess, &code)) code = 1;
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  // ERRORLEVEL holds one byte; a larger code must not read as success.
  errorlevel_ = code > 255 ? 255 : static_cast<int>(code);
}

}  // namespace command
