#include "core/text.h"

#include <cstring>

namespace w98::internal {

size_t CopyToBuffer(std::string_view text, char* buffer, size_t size) {
  if (buffer == nullptr || size == 0) return 0;
  const size_t n = text.size() < size - 1 ? text.size() : size - 1;
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
  return n;
}

}  // namespace w98::internal
