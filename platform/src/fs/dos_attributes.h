// DOS attributes (read-only, hidden, system, archive) of files and folders on the machine's
// drives, kept in the extended attribute "user.DOSATTRIB".
//
// Encoding: the value is ASCII text "0x" followed by the attribute bits in hexadecimal,
// written as two upper-case digits without a terminating NUL ("0x21" = read-only + archive).
// Only FILE_ATTRIBUTE_READONLY (0x01), HIDDEN (0x02), SYSTEM (0x04) and ARCHIVE (0x20) are
// stored; the directory bit comes from the entry's type. Readers accept one to eight hex digits
// in either case and an optional trailing NUL. A file without the attribute, or with a value
// that does not parse, reads as archive only; a folder reads as having none of the four bits.
#ifndef W98_SRC_FS_DOS_ATTRIBUTES_H
#define W98_SRC_FS_DOS_ATTRIBUTES_H

#include <optional>
#include <string>
#include <string_view>

#include "w98/winbase.h"

namespace w98::internal {

inline constexpr const char* kDosAttributeName = "user.DOSATTRIB";
// The bits that the record can hold.
inline constexpr DWORD kStoredAttributeBits = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                              FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;

std::string EncodeDosAttributes(DWORD bits);
// The stored bits of a record, or nullopt when it is malformed.
std::optional<DWORD> DecodeDosAttributes(std::string_view value);

// Stored bits of `name` in the open folder `dir_fd` (a folder's own attributes with name "."),
// with the defaults above when there is no valid record.
DWORD ReadDosAttributes(int dir_fd, const char* name, bool is_directory);
// Stored bits of an open (not O_PATH) descriptor.
DWORD ReadDosAttributesOfFd(int fd, bool is_directory);

// Writes the stored bits (masked to kStoredAttributeBits). Returns ERROR_SUCCESS or a Win32
// error.
DWORD WriteDosAttributes(int dir_fd, const char* name, DWORD bits);
DWORD WriteDosAttributesOfFd(int fd, DWORD bits);

// What GetFileAttributesA and FindFirstFileA report for stored bits: the directory bit for a
// folder, FILE_ATTRIBUTE_NORMAL for a file with no bit at all.
DWORD ReportedAttributes(DWORD stored, bool is_directory);

}  // namespace w98::internal

#endif  // W98_SRC_FS_DOS_ATTRIBUTES_H
