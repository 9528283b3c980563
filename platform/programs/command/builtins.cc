// Internal commands that act on the interpreter's state or on one file or folder: ECHO, SET,
// PATH, PROMPT, CD, MD, RD, REN, TYPE, PAUSE.
#include <string>

#include "batch_text.h"
#include "dos_files.h"
#include "interpreter.h"
#include "w98/windows.h"

namespace command {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// The single file or folder argument of CD, MD, RD and TYPE, quotes removed.
std::string PathArgument(std::string_view tail) {
  return Unquote(TrimBlanks(tail));
}

}  // namespace

void Interpreter::Echo(const SimpleCommand& command, Console& out) {
  const std::string_view tail = command.tail;
  const auto state = [&] { out.Line(echo_ ? "ECHO is on" : "ECHO is off"); };
  if (tail.empty()) return state();
  const char first = tail.front();
  const std::string_view rest = tail.substr(1);
  if (IsDelimiter(first)) {
    // "ECHO text": one separator is dropped, the rest (blanks included) is printed.
    const std::string_view word = TrimBlanks(rest);
    if (word.empty()) return state();
    if (EqualsNoCase(word, "ON")) {
      echo_ = true;
      return;
    }
    if (EqualsNoCase(word, "OFF")) {
      echo_ = false;
      return;
    }
    out.Line(rest);
    return;
  }
  // "ECHO." prints an empty line, "ECHO.text" the text; so do ':', '/', '[', ']', '+', '('.
  if (first == '.' || first == ':' || first == '/' || first == '[' || first == ']' ||
      first == '+' || first == '(') {
    out.Line(rest);
    return;
  }
  out.Line(tail);
}

void Interpreter::Set(const SimpleCommand& command, Console& out) {
  std::string_view tail = command.tail;
  while (!tail.empty() && IsBlank(tail.front())) tail.remove_prefix(1);
  if (TrimBlanks(tail).empty()) {
    for (const auto& [name, value] : environment_.Entries()) out.Line(name + "=" + value);
    return;
  }
  const size_t equals = tail.find('=');
  if (equals == std::string_view::npos || equals == 0) {
    Report(kSyntaxErrorMessage);
    return;
  }
  environment_.Set(UpperCase(tail.substr(0, equals)), tail.substr(equals + 1));
}

void Interpreter::Path(const SimpleCommand& command, Console& out) {
  std::string_view tail = command.tail;
  if (!tail.empty() && (IsDelimiter(tail.front()))) tail.remove_prefix(1);
  const std::string_view value = TrimBlanks(tail);
  if (value.empty()) {
    std::string path;
    out.Line(environment_.Get("PATH", &path) ? "PATH=" + path : std::string("No Path"));
    return;
  }
  environment_.Set("PATH", value == ";" ? std::string_view() : value);
}

void Interpreter::PromptCommand(const SimpleCommand& command) {
  std::string_view tail = command.tail;
  if (!tail.empty() && IsDelimiter(tail.front())) tail.remove_prefix(1);
  environment_.Set("PROMPT", TrimBlanks(tail));
}

void Interpreter::Cd(const SimpleCommand& command, Console& out) {
  const std::string path = PathArgument(command.tail);
  if (path.empty() || (path.size() == 2 && path[1] == ':')) {
    char folder[MAX_PATH * 4] = "";
    const DWORD n = GetCurrentDirectoryA(sizeof folder, folder);
    out.Line(n > 0 && n < sizeof folder ? std::string(folder, n) : std::string("C:\\"));
    return;
  }
  if (!SetCurrentDirectoryA(path.c_str())) out.Line(kInvalidDirectory);
}

void Interpreter::Md(const SimpleCommand& command, Console& out) {
  const std::string path = PathArgument(command.tail);
  if (path.empty()) {
    out.Line(kRequiredParameterMissing);
    return;
  }
  if (!CreateDirectoryA(path.c_str(), nullptr)) out.Line("Unable to create directory");
}

void Interpreter::Rd(const SimpleCommand& command, Console& out) {
  const std::string path = PathArgument(command.tail);
  if (path.empty()) {
    out.Line(kRequiredParameterMissing);
    return;
  }
  if (!RemoveDirectoryA(path.c_str()))
    out.Line("Invalid path, not directory,\nor directory not empty");
}

void Interpreter::Ren(const SimpleCommand& command, Console& out) {
  const std::vector<std::string> words = SplitWords(command.tail);
  if (words.size() < 2) {
    out.Line(kRequiredParameterMissing);
    return;
  }
  if (words.size() > 2) {
    out.Line(kTooManyParameters);
    return;
  }
  const std::string source = Unquote(words[0]);
  const std::string name = Unquote(words[1]);
  if (HasWildcards(source) || HasWildcards(name) || !dos::FolderOf(name).empty()) {
    out.Line("Invalid parameter");
    return;
  }
  const std::string target = dos::Join(dos::FolderOf(source), name);
  if (!MoveFileA(source.c_str(), target.c_str())) out.Line("Duplicate file name or file not found");
}

void Interpreter::Type(const SimpleCommand& command, Console& out) {
  const std::string path = PathArgument(command.tail);
  if (path.empty()) {
    out.Line(kRequiredParameterMissing);
    return;
  }
  std::string bytes;
  if (HasWildcards(path) || !dos::IsFile(path) || !dos::ReadWholeFile(path, &bytes)) {
    out.Line(std::string(kFileNotFound) + " - " + path);
    return;
  }
  // Text ends at a Ctrl-Z; CR LF is written as a line end of the console.
  std::string text;
  text.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\x1a') break;
    if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
    text += bytes[i];
  }
  out.Write(text);
}

void Interpreter::Pause(Console& out) {
  // No keyboard is attached while a machine starts: the message is shown and the batch goes
  // on, instead of waiting for ever.
  out.Line("Press any key to continue . . .");
}

}  // namespace command
