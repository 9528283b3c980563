#include "fs/dos_attributes.h"

#include <sys/xattr.h>

#include <cerrno>

#include "fs/host_calls.h"

namespace w98::internal {
namespace {

DWORD DefaultBits(bool is_directory) {
  return is_directory ? 0 : FILE_ATTRIBUTE_ARCHIVE;
}

DWORD FromRecord(const char* value, ssize_t length, bool is_directory) {
  if (length < 0) return DefaultBits(is_directory);
  auto bits = DecodeDosAttributes(std::string_view(value, static_cast<size_t>(length)));
  return bits ? *bits : DefaultBits(is_directory);
}

}  // namespace

std::string EncodeDosAttributes(DWORD bits) {
  // "0x" and two upper-case hex digits, which hold every stored bit. Written on every change
  // of attributes, so without the formatting machinery of printf.
  static_assert(kStoredAttributeBits <= 0xFF);
  static constexpr char kHex[] = "0123456789ABCDEF";
  const unsigned stored = bits & kStoredAttributeBits;
  return {'0', 'x', kHex[stored >> 4], kHex[stored & 0xF]};
}

std::optional<DWORD> DecodeDosAttributes(std::string_view value) {
  if (!value.empty() && value.back() == '\0') value.remove_suffix(1);
  if (value.size() < 3 || value.size() > 10 || value[0] != '0' ||
      (value[1] != 'x' && value[1] != 'X'))
    return std::nullopt;
  DWORD bits = 0;
  for (char c : value.substr(2)) {
    int digit;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (c >= 'a' && c <= 'f')
      digit = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
      digit = c - 'A' + 10;
    else
      return std::nullopt;
    bits = (bits << 4) | static_cast<DWORD>(digit);
  }
  return bits & kStoredAttributeBits;
}

DWORD ReadDosAttributes(int dir_fd, const char* name, bool is_directory) {
  char value[16];
  const ssize_t n = GetXattrAt(dir_fd, name, kDosAttributeName, value, sizeof value);
  return FromRecord(value, n, is_directory);
}

DWORD ReadDosAttributesOfFd(int fd, bool is_directory) {
  char value[16];
  const ssize_t n = ::fgetxattr(fd, kDosAttributeName, value, sizeof value);
  return FromRecord(value, n, is_directory);
}

DWORD WriteDosAttributes(int dir_fd, const char* name, DWORD bits) {
  const std::string value = EncodeDosAttributes(bits);
  if (SetXattrAt(dir_fd, name, kDosAttributeName, value.data(), value.size()) == 0)
    return ERROR_SUCCESS;
  return Win32ErrorFromErrno(errno);
}

DWORD WriteDosAttributesOfFd(int fd, DWORD bits) {
  const std::string value = EncodeDosAttributes(bits);
  if (::fsetxattr(fd, kDosAttributeName, value.data(), value.size(), 0) == 0) return ERROR_SUCCESS;
  return Win32ErrorFromErrno(errno);
}

DWORD ReportedAttributes(DWORD stored, bool is_directory) {
  DWORD bits = stored & kStoredAttributeBits;
  if (is_directory) bits |= FILE_ATTRIBUTE_DIRECTORY;
  return bits == 0 ? FILE_ATTRIBUTE_NORMAL : bits;
}

}  // namespace w98::internal
