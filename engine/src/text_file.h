// A text file written through the C runtime's low-level calls in text mode, so that each "\n"
// reaches the disk as CR LF and positions count bytes on disk.
#ifndef SNAPSHOT_SRC_TEXT_FILE_H
#define SNAPSHOT_SRC_TEXT_FILE_H

#include <string>
#include <string_view>
#include <vector>

namespace snapshot {

class TextFile {
 public:
  TextFile() = default;
  ~TextFile() { Close(); }
  TextFile(const TextFile&) = delete;
  TextFile& operator=(const TextFile&) = delete;

  // Creates the file empty (replacing an older one) for reading and writing. False when it
  // cannot be created.
  bool Create(const std::string& path);
  // Opens an existing or new file for reading and writing without truncating it, positioned at
  // its end.
  bool OpenForAppend(const std::string& path);
  // Opens an existing file for reading and writing, positioned at its end; false (nothing
  // created) when it does not exist or cannot be written.
  bool OpenExistingForAppend(const std::string& path);
  bool is_open() const { return fd_ >= 0; }

  // One write of the whole text; false when the file is not open or the write fell short
  // (last_error() tells why, for example ERROR_DISK_FULL).
  bool Write(std::string_view text);
  // The entries, in order, as one write.
  bool WriteAll(const std::vector<std::string>& entries);
  // Moves to the start of the file, so that the next write overwrites what is there.
  bool Rewind();
  void Close();

  unsigned long last_error() const { return last_error_; }

 private:
  bool Open(const std::string& path, int flags);
  bool SeekEnd();

  int fd_ = -1;
  unsigned long last_error_ = 0;
};

// True when the file exists and begins with "REGEDIT4", the first line of a registry script.
bool IsRegistryScript(const std::string& path);

// True when the file is missing or empty or its last byte ends a line (LF): text appended to it
// then starts on a line of its own.
bool EndsWithLineEnd(const std::string& path);

// Appends one byte 0x0A to an existing file (opened without creating or truncating it), makes
// it durable and closes it. False when the file does not open or the byte is not written.
bool AppendLineFeed(const std::string& path);

}  // namespace snapshot

#endif  // SNAPSHOT_SRC_TEXT_FILE_H
