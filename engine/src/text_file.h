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
  enum class Writes {
    kDirect,    // each Write reaches the file before it returns
    kBuffered,  // Writes are held in memory (up to 64 KiB) and reach the file in larger pieces
  };

  explicit TextFile(Writes writes = Writes::kDirect) : buffered_(writes == Writes::kBuffered) {}
  // Closes the file; what is still held back is written first (its failure goes unreported:
  // call Flush before when it matters).
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

  // One write of the whole text (or, buffered, the text held back); false when the file is not
  // open or a write fell short (last_error() tells why, for example ERROR_DISK_FULL).
  bool Write(std::string_view text);
  // Writes what is held back. False when a write fell short.
  bool Flush();
  // The entries, in order, as one write.
  bool WriteAll(const std::vector<std::string>& entries);
  // Moves to the start of the file (after writing what is held back), so that the next write
  // overwrites what is there.
  bool Rewind();
  // Writes what is held back, then closes the file.
  void Close();

  unsigned long last_error() const { return last_error_; }

 private:
  bool Open(const std::string& path, int flags);
  bool SeekEnd();

  bool WriteNow(std::string_view text);

  bool buffered_;
  std::string held_;  // buffered writes not yet made
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
