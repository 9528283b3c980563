// libFuzzer target: arbitrary bytes as an executable file, through the version reader and
// every usual query.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

#include "version/version_info.h"
#include "version/version_resource.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  using namespace w98::internal;
  MemorySource source(std::string_view(reinterpret_cast<const char*>(data), size));
  auto resource = FindVersionResource(source);
  if (!resource) return 0;
  const std::string built = BuildVersionInfo(*resource);
  std::unique_ptr<unsigned char[]> info(new unsigned char[built.size()]);
  std::memcpy(info.get(), built.data(), built.size());
  static const char* const kQueries[] = {"\\",
                                         "\\VarFileInfo\\Translation",
                                         "\\StringFileInfo\\040904e4\\FileVersion",
                                         "\\StringFileInfo\\040904b0\\FileVersion",
                                         "\\StringFileInfo\\040904E4\\ProductName",
                                         "\\StringFileInfo",
                                         "\\x\\y"};
  for (const char* query : kQueries) {
    const void* value = nullptr;
    unsigned length = 0;
    if (QueryVersionInfo(info.get(), query, &value, &length)) {
      const auto* v = static_cast<const unsigned char*>(value);
      if (v < info.get() || v + length > info.get() + built.size()) __builtin_trap();
      volatile unsigned char sink = 0;
      for (unsigned k = 0; k < length; ++k) sink = sink ^ v[k];
    }
  }
  return 0;
}
