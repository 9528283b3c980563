// The C runtime's table of open files: w98's own descriptors (from 3 up, the lowest free
// number first, as the Windows C runtime hands them out), each naming one open host file.
#ifndef W98_SRC_CRT_DESCRIPTOR_TABLE_H
#define W98_SRC_CRT_DESCRIPTOR_TABLE_H

#include <memory>
#include <mutex>

#include "fs/unique_fd.h"

namespace w98::internal {

// One file opened with _open. Reads, writes and seeks of a file are serialised by `mutex`.
struct CrtFile {
  std::mutex mutex;
  UniqueFd fd;
  bool text = true;  // CR LF translation (_O_TEXT, the default)
  bool can_read = false;
  bool can_write = false;
  bool append = false;              // every write goes to the end (_O_APPEND)
  char drive = 'C';                 // the drive that writes are charged to
  bool written = false;             // created, truncated or written since opened
  bool archive_set = false;         // the archive bit has been set since opened
  bool read_only_on_close = false;  // created without _S_IWRITE
};

// Adds a file; returns its descriptor, or -1 when the table is full.
int InsertCrtFile(std::shared_ptr<CrtFile> file);
// The file of a descriptor, or nullptr when it is not open.
std::shared_ptr<CrtFile> FindCrtFile(int fd);
// Removes a descriptor and returns its file (nullptr when it was not open).
std::shared_ptr<CrtFile> RemoveCrtFile(int fd);

}  // namespace w98::internal

#endif  // W98_SRC_CRT_DESCRIPTOR_TABLE_H
