/* w98: version resources of 32-bit and 64-bit PE files and 16-bit NE files. */
#ifndef W98_WINVER_H
#define W98_WINVER_H

#include <w98/windef.h>
#include <w98/winerror.h>

W98_BEGIN_DECLS

typedef struct tagVS_FIXEDFILEINFO {
  DWORD dwSignature; /* 0xFEEF04BD */
  DWORD dwStrucVersion;
  DWORD dwFileVersionMS;
  DWORD dwFileVersionLS;
  DWORD dwProductVersionMS;
  DWORD dwProductVersionLS;
  DWORD dwFileFlagsMask;
  DWORD dwFileFlags;
  DWORD dwFileOS;
  DWORD dwFileType;
  DWORD dwFileSubtype;
  DWORD dwFileDateMS;
  DWORD dwFileDateLS;
} VS_FIXEDFILEINFO;

/* Size of the buffer GetFileVersionInfoA needs; 0 when the file has no (readable) version
 * resource: missing, not an executable, malformed or truncated files all give 0. */
W98API DWORD WINAPI GetFileVersionInfoSizeA(LPCSTR lptstrFilename, LPDWORD lpdwHandle);
/* Fills an opaque buffer that only VerQueryValueA reads. */
W98API BOOL WINAPI GetFileVersionInfoA(LPCSTR lptstrFilename, DWORD dwHandle, DWORD dwLen,
                                       LPVOID lpData);
/* "\\" gives the VS_FIXEDFILEINFO; "\\VarFileInfo\\Translation" the {language, code page}
 * pairs (length in bytes); "\\StringFileInfo\\<lang><cp>\\<Name>" an ANSI string (length in
 * characters). Keys compare case-insensitively. FALSE when the path does not exist. Never
 * reads outside the buffer. */
W98API BOOL WINAPI VerQueryValueA(LPCVOID pBlock, LPCSTR lpSubBlock, LPVOID* lplpBuffer,
                                  PUINT puLen);

W98_END_DECLS

#endif /* W98_WINVER_H */
