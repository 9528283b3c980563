// COPY and DEL as COMMAND.COM runs them inside a batch file.
//
// COPY never asks before overwriting in a batch file (so /Y changes nothing), keeps the
// source's last-write time, and gives the copy the archive attribute but never read-only.
// Like MS-DOS, COPY and DEL do not see hidden or system files; restore batch files clear
// those attributes first with ATTRIB.
#include <cstdio>
#include <string>
#include <vector>

#include "batch_text.h"
#include "dos_files.h"
#include "interpreter.h"
#include "w98/windows.h"

namespace command {
namespace {

struct FileArguments {
  std::vector<std::string> paths;  // as typed, quotes kept
  std::string bad_switch;          // not empty: "/X" that the command does not know
  bool plus = false;               // a '+' outside quotes: combining files
};

// Splits the tail of COPY or DEL into paths and switches; `known` lists the switches
// (upper case, without '/') that are accepted and ignored.
FileArguments ReadFileArguments(std::string_view tail, const std::vector<std::string>& known) {
  FileArguments out;
  size_t pos = 0;
  for (;;) {
    pos = SkipDelimiters(tail, pos);
    if (pos >= tail.size()) break;
    if (tail[pos] == '/') {
      size_t end = pos + 1;
      while (end < tail.size() && !IsDelimiter(tail[end]) && tail[end] != '/') ++end;
      const std::string name = UpperCase(tail.substr(pos + 1, end - pos - 1));
      bool accepted = false;
      for (const std::string& k : known) accepted = accepted || name == k;
      if (!accepted && out.bad_switch.empty())
        out.bad_switch = std::string(tail.substr(pos, end - pos));
      pos = end;
      continue;
    }
    std::string word = ReadWord(tail, pos, "/");
    bool quoted = false;
    for (char c : word) {
      if (c == '"') quoted = !quoted;
      if (c == '+' && !quoted) out.plus = true;
    }
    out.paths.push_back(std::move(word));
  }
  return out;
}

std::string CopiedLine(unsigned count) {
  char line[64];
  std::snprintf(line, sizeof line, "%9u file(s) copied", count);
  return line;
}

bool IsAllFiles(std::string_view name) {
  return name == "*.*" || name == "*";
}

bool EndsWithSeparator(const std::string& path) {
  return !path.empty() && (path.back() == '\\' || path.back() == '/' || path.back() == ':');
}

}  // namespace

void Interpreter::Copy(const SimpleCommand& command, Console& out) {
  const FileArguments args = ReadFileArguments(command.tail, {"Y", "-Y", "A", "B", "V"});
  if (!args.bad_switch.empty()) {
    out.Line("Invalid switch - " + args.bad_switch);
    return;
  }
  if (args.plus) {
    out.Line("Combining files is not supported");
    out.Line(CopiedLine(0));
    return;
  }
  if (args.paths.empty()) {
    out.Line(kRequiredParameterMissing);
    return;
  }
  if (args.paths.size() > 2) {
    out.Line(kTooManyParameters);
    return;
  }
  const std::string source = Unquote(args.paths[0]);
  const std::string destination = args.paths.size() > 1 ? Unquote(args.paths[1]) : "";

  std::string pattern = source;
  bool several = HasWildcards(source);
  if (!several && dos::IsFolder(source)) {
    pattern = dos::Join(source, "*.*");
    several = true;
  }
  const std::vector<dos::Match> matches = dos::FindMatches(pattern, false, false);
  if (matches.empty()) {
    out.Line(std::string(kFileNotFound) + " - " + source);
    out.Line(CopiedLine(0));
    return;
  }

  bool to_folder = false;
  std::string folder;
  if (destination.empty()) {
    to_folder = true;  // the current folder
  } else if (EndsWithSeparator(destination) || dos::IsFolder(destination)) {
    to_folder = true;
    folder = destination;
  } else if (HasWildcards(destination)) {
    if (!IsAllFiles(dos::NameOf(destination))) {
      out.Line("Invalid destination - " + destination);
      out.Line(CopiedLine(0));
      return;
    }
    to_folder = true;
    folder = dos::FolderOf(destination);
  } else if (matches.size() > 1) {
    // MS-DOS would join the files into one; nothing here does that.
    out.Line("Combining files is not supported");
    out.Line(CopiedLine(0));
    return;
  }

  unsigned copied = 0;
  for (const dos::Match& match : matches) {
    const std::string target = to_folder ? dos::Join(folder, match.name) : destination;
    if (several) out.Line(match.path);
    if (EqualsNoCase(dos::FullPath(match.path), dos::FullPath(target))) {
      out.Line("File cannot be copied onto itself");
      continue;
    }
    if (!CopyFileA(match.path.c_str(), target.c_str(), FALSE)) {
      const DWORD error = GetLastError();
      if (error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL) {
        out.Line("Insufficient disk space");
        break;
      }
      if (error == ERROR_ACCESS_DENIED)
        out.Line(std::string(kAccessDenied) + " - " + target);
      else if (error == ERROR_PATH_NOT_FOUND)
        out.Line("Path not found - " + target);
      else
        out.Line(std::string(kFileCreationError) + " - " + target);
      continue;
    }
    // The copy is never read-only, and carries the archive attribute.
    SetFileAttributesA(target.c_str(),
                       (match.attributes & ~(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) |
                           FILE_ATTRIBUTE_ARCHIVE);
    ++copied;
  }
  out.Line(CopiedLine(copied));
}

void Interpreter::Del(const SimpleCommand& command, Console& out) {
  const FileArguments args = ReadFileArguments(command.tail, {});
  if (!args.bad_switch.empty()) {
    out.Line("Invalid switch - " + args.bad_switch);
    return;
  }
  if (args.paths.empty()) {
    out.Line(kRequiredParameterMissing);
    return;
  }
  if (args.paths.size() > 1) {
    out.Line(kTooManyParameters);
    return;
  }
  const std::string target = Unquote(args.paths[0]);
  std::string pattern = target;
  if (!HasWildcards(target) && dos::IsFolder(target)) pattern = dos::Join(target, "*.*");
  if (IsAllFiles(dos::NameOf(pattern))) {
    // MS-DOS asks before emptying a folder; with no keyboard to answer, the answer is no.
    out.Line("All files in directory will be deleted!");
    out.Line("Are you sure (Y/N)?N");
    return;
  }
  const std::vector<dos::Match> matches = dos::FindMatches(pattern, false, false);
  if (matches.empty()) {
    out.Line(kFileNotFound);
    return;
  }
  for (const dos::Match& match : matches) {
    if (DeleteFileA(match.path.c_str())) continue;
    out.Line(GetLastError() == ERROR_FILE_NOT_FOUND ? kFileNotFound : kAccessDenied);
  }
}

}  // namespace command
