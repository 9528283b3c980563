#include "crt/text_mode.h"

#include <unistd.h>

#include <cerrno>

namespace w98::internal {
namespace {

constexpr char kCtrlZ = 0x1A;

ssize_t ReadSome(int fd, char* buffer, size_t count) {
  for (;;) {
    const ssize_t n = ::read(fd, buffer, count);
    if (n >= 0 || errno != EINTR) return n;
  }
}

}  // namespace

std::string ExpandLineEnds(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16 + 2);
  // Line by line rather than character by character: batch files are written this way.
  for (size_t from = 0;;) {
    const size_t end = text.find('\n', from);
    if (end == std::string_view::npos) {
      out.append(text.substr(from));
      return out;
    }
    out.append(text.substr(from, end - from));
    out += "\r\n";
    from = end + 1;
  }
}

long ReadText(int fd, char* buffer, size_t count) {
  const ssize_t raw = ReadSome(fd, buffer, count);
  if (raw <= 0) return raw;
  size_t out = 0;
  for (size_t in = 0; in < static_cast<size_t>(raw); ++in) {
    const char c = buffer[in];
    if (c == kCtrlZ) {
      // Leave the Ctrl-Z unread: the file position stays on it.
      if (::lseek(fd, static_cast<off_t>(in) - raw, SEEK_CUR) < 0) return -1;
      break;
    }
    if (c != '\r') {
      buffer[out++] = c;
      continue;
    }
    if (in + 1 < static_cast<size_t>(raw)) {
      if (buffer[in + 1] == '\n') {
        buffer[out++] = '\n';
        ++in;
      } else {
        buffer[out++] = '\r';
      }
      continue;
    }
    // A CR at the end of what was read: look at the next byte on disk.
    char next = 0;
    const ssize_t n = ReadSome(fd, &next, 1);
    if (n < 0) return -1;
    if (n == 1 && next == '\n') {
      buffer[out++] = '\n';
    } else {
      buffer[out++] = '\r';
      if (n == 1 && ::lseek(fd, -1, SEEK_CUR) < 0) return -1;
    }
  }
  return static_cast<long>(out);
}

}  // namespace w98::internal
