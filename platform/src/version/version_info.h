// The buffer of GetFileVersionInfoA: the version tree as the file holds it and, for a 32-bit
// tree, the signature "FE2X" and an ANSI copy of each of its texts, so that VerQueryValueA can
// hand out ANSI strings without writing into the caller's buffer.
//
//   [tree: root wLength bytes][pad to 4]["FE2X"][ANSI copies]
//
// The ANSI copy of a text whose UTF-16 value lies at offset v of the tree is at v / 2 of the
// copy area, NUL-terminated; the copies never overlap because the UTF-16 values do not, and
// between two values there is always a block header.
#ifndef W98_SRC_VERSION_VERSION_INFO_H
#define W98_SRC_VERSION_VERSION_INFO_H

#include <cstddef>
#include <string>
#include <string_view>

#include "version/version_resource.h"

namespace w98::internal {

// Bytes that BuildVersionInfo writes for `resource`.
size_t VersionInfoSize(const VersionResource& resource);

// The buffer for `resource`, exactly VersionInfoSize bytes.
std::string BuildVersionInfo(const VersionResource& resource);

// Looks up `path` in a buffer that BuildVersionInfo wrote (VerQueryValueA): sets *value to the
// value inside the buffer and *length to wValueLength (characters for texts, which come from
// the ANSI copies; bytes otherwise), never more than the block holds. False when the path
// does not exist.
bool QueryVersionInfo(const unsigned char* info, std::string_view path, const void** value,
                      unsigned* length);

}  // namespace w98::internal

#endif  // W98_SRC_VERSION_VERSION_INFO_H
