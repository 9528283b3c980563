// Finding the version resource (RT_VERSION) of an executable: a 32-bit or 64-bit PE file or a
// 16-bit NE file. Every offset read from the file is checked against the file's size and the
// structure it lies in, so damaged files give "none", never a read outside the data.
#ifndef W98_SRC_VERSION_VERSION_RESOURCE_H
#define W98_SRC_VERSION_VERSION_RESOURCE_H

#include <optional>
#include <string>

#include "version/byte_source.h"

namespace w98::internal {

struct VersionResource {
  std::string bytes;         // the VS_VERSIONINFO tree, exactly its root's wLength bytes
  bool sixteen_bit = false;  // from an NE file: ANSI keys, no wType
};

// The version resource of the executable in `source`, or nullopt when it has none or the
// file is not a well-formed PE or NE file. The tree's root is checked (its length fits the
// resource, its header and key are complete); the rest of the tree is checked by its readers.
std::optional<VersionResource> FindVersionResource(const ByteSource& source);

}  // namespace w98::internal

#endif  // W98_SRC_VERSION_VERSION_RESOURCE_H
