#include "console.h"

#include <cstdio>

#include "w98/io.h"

namespace command {

void StdoutConsole::Write(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
}

void StdoutConsole::Flush() {
  std::fflush(stdout);
}

std::unique_ptr<FileConsole> FileConsole::Open(const std::string& path, bool append) {
  const int flags = _O_WRONLY | _O_CREAT | _O_TEXT | (append ? _O_APPEND : _O_TRUNC);
  const int fd = _open(path.c_str(), flags, _S_IREAD | _S_IWRITE);
  if (fd < 0) return nullptr;
  return std::unique_ptr<FileConsole>(new FileConsole(fd));
}

FileConsole::~FileConsole() {
  _close(fd_);
}

void FileConsole::Write(std::string_view text) {
  while (good_ && !text.empty()) {
    const int n = _write(fd_, text.data(), static_cast<unsigned>(text.size()));
    if (n <= 0) {
      good_ = false;
      break;
    }
    text.remove_prefix(static_cast<size_t>(n));
  }
}

}  // namespace command
