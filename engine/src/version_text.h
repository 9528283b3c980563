// The version text of a file: the FileVersion string of its version resource.
#ifndef SNAPSHOT_SRC_VERSION_TEXT_H
#define SNAPSHOT_SRC_VERSION_TEXT_H

#include <string>

namespace snapshot {

// The FileVersion text of the first translation (language 0, code page 0 when the file lists
// none), trailing white space removed and then one last unprintable character; empty when the
// file has no version resource or no such text.
std::string ReadVersionText(const std::string& path);

}  // namespace snapshot

#endif  // SNAPSHOT_SRC_VERSION_TEXT_H
