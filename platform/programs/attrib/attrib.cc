#include "attrib.h"

#include <cstdint>
#include <vector>

#include "batch_text.h"
#include "dos_files.h"
#include "w98/windows.h"

namespace attrib {
namespace {

constexpr uint32_t kChangeable = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                 FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;

struct Request {
  uint32_t set = 0;
  uint32_t clear = 0;
  bool recurse = false;
  std::string path;   // as typed, quotes removed; "" for the current folder
  std::string error;  // not empty: the command is malformed

  bool Changes() const { return (set | clear) != 0; }
  bool Names(uint32_t attribute) const { return ((set | clear) & attribute) != 0; }
};

uint32_t AttributeOf(char letter) {
  switch (letter) {
    case 'R':
    case 'r':
      return FILE_ATTRIBUTE_READONLY;
    case 'A':
    case 'a':
      return FILE_ATTRIBUTE_ARCHIVE;
    case 'S':
    case 's':
      return FILE_ATTRIBUTE_SYSTEM;
    case 'H':
    case 'h':
      return FILE_ATTRIBUTE_HIDDEN;
    default:
      return 0;
  }
}

Request ParseRequest(std::string_view tail) {
  Request request;
  for (const std::string& word : command::SplitWords(tail)) {
    if (!request.error.empty()) break;
    if (word[0] == '+' || word[0] == '-') {
      const uint32_t attribute = word.size() == 2 ? AttributeOf(word[1]) : 0;
      if (attribute == 0) {
        request.error = "Invalid parameter - " + word;
      } else if (word[0] == '+') {
        request.set |= attribute;
        request.clear &= ~attribute;
      } else {
        request.clear |= attribute;
        request.set &= ~attribute;
      }
    } else if (word[0] == '/') {
      if (command::EqualsNoCase(word, "/S"))
        request.recurse = true;
      else
        request.error = "Invalid switch - " + word;
    } else if (request.path.empty()) {
      request.path = command::Unquote(word);
      if (request.path.empty()) request.error = "Invalid parameter - " + word;
    } else {
      request.error = "Too many parameters - " + word;
    }
  }
  return request;
}

std::string Letters(uint32_t attributes) {
  std::string text = "  ";
  text += (attributes & FILE_ATTRIBUTE_ARCHIVE) ? 'A' : ' ';
  text += "  ";
  text += (attributes & FILE_ATTRIBUTE_SYSTEM) ? 'S' : ' ';
  text += (attributes & FILE_ATTRIBUTE_HIDDEN) ? 'H' : ' ';
  text += (attributes & FILE_ATTRIBUTE_READONLY) ? 'R' : ' ';
  text += "     ";
  return text;
}

class Walker {
 public:
  Walker(const Request& request, const std::function<void(const std::string&)>& line)
      : request_(request), line_(line) {}

  // Works on the files that `pattern` matches and, with /S, on those in every folder below.
  void Walk(const std::string& folder, const std::string& name) {
    const std::string pattern = dos::Join(folder, name);
    if (!command::HasWildcards(name) && dos::IsFolder(pattern) && folder == top_folder_) {
      // A folder named without wildcards is itself the target.
      Visit(dos::FullPath(pattern), dos::Attributes(pattern));
    } else {
      for (const dos::Match& match : dos::FindMatches(pattern, false, true))
        Visit(dos::FullPath(match.path), match.attributes);
    }
    if (!request_.recurse) return;
    for (const std::string& sub : dos::SubFolders(folder)) Walk(sub, name);
  }

  void Start(const std::string& folder, const std::string& name) {
    top_folder_ = folder;
    Walk(folder, name);
  }

  bool Found() const { return found_; }
  bool Failed() const { return failed_; }

 private:
  void Visit(const std::string& path, uint32_t attributes) {
    found_ = true;
    if (!request_.Changes()) {
      line_(Letters(attributes) + path);
      return;
    }
    if ((attributes & FILE_ATTRIBUTE_SYSTEM) && !request_.Names(FILE_ATTRIBUTE_SYSTEM)) {
      line_("Not resetting system file " + path);
      failed_ = true;
      return;
    }
    if ((attributes & FILE_ATTRIBUTE_HIDDEN) && !request_.Names(FILE_ATTRIBUTE_HIDDEN)) {
      line_("Not resetting hidden file " + path);
      failed_ = true;
      return;
    }
    const uint32_t wanted = ((attributes | request_.set) & ~request_.clear) & kChangeable;
    if (!SetFileAttributesA(path.c_str(), wanted == 0 ? FILE_ATTRIBUTE_NORMAL : wanted)) {
      line_("Unable to change attributes - " + path);
      failed_ = true;
    }
  }

  const Request& request_;
  const std::function<void(const std::string&)>& line_;
  std::string top_folder_;
  bool found_ = false;
  bool failed_ = false;
};

}  // namespace

int Run(std::string_view tail, const std::function<void(const std::string&)>& line) {
  const Request request = ParseRequest(tail);
  if (!request.error.empty()) {
    line(request.error);
    return 1;
  }
  std::string folder = dos::FolderOf(request.path);
  std::string name = dos::NameOf(request.path);
  if (name.empty()) name = "*.*";
  Walker walker(request, line);
  walker.Start(folder, name);
  if (!walker.Found()) {
    line("File not found - " + (request.path.empty() ? std::string("*.*") : request.path));
    return 1;
  }
  return walker.Failed() ? 1 : 0;
}

}  // namespace attrib
