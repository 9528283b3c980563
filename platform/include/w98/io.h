/* w98: the low-level file calls of the Windows C runtime, over DOS paths of the machine.
 *
 * Text mode (the default, or _O_TEXT) writes each '\n' as CR LF and reads CR LF back as '\n'
 * (a Ctrl-Z ends the text), so positions count bytes on disk, as the Windows C runtime does.
 * _O_BINARY passes bytes unchanged. Descriptors are w98's own, not host descriptors. A write
 * that would pass the drive's capacity fails with errno ENOSPC and the last error
 * ERROR_DISK_FULL. A read-only file cannot be opened for writing (EACCES). Failures return -1
 * and set errno. */
#ifndef W98_IO_H
#define W98_IO_H

#include <w98/windef.h>

W98_BEGIN_DECLS

#define _O_RDONLY 0x0000
#define _O_WRONLY 0x0001
#define _O_RDWR 0x0002
#define _O_APPEND 0x0008
#define _O_CREAT 0x0100
#define _O_TRUNC 0x0200
#define _O_EXCL 0x0400
#define _O_TEXT 0x4000
#define _O_BINARY 0x8000

#define _S_IREAD 0x0100
#define _S_IWRITE 0x0080

#define _SEEK_SET 0
#define _SEEK_CUR 1
#define _SEEK_END 2

/* Opens or creates a file; pmode (with _O_CREAT) _S_IWRITE or not: a file created without
 * _S_IWRITE gets the read-only attribute when it is closed. */
W98API int _open(const char* filename, int oflag, ...);
W98API int _read(int fd, void* buffer, unsigned int count);
/* Returns the bytes taken from the buffer (before CR LF expansion in text mode). */
W98API int _write(int fd, const void* buffer, unsigned int count);
W98API long _lseek(int fd, long offset, int origin);
W98API long _tell(int fd);
W98API long _filelength(int fd);
/* Makes the file's data durable on disk. */
W98API int _commit(int fd);
/* Releases only: never terminates the calling thread. */
W98API int _close(int fd);

W98_END_DECLS

#endif /* W98_IO_H */
