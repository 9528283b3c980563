/* w98: starting programs through the shell. */
#ifndef W98_SHELLAPI_H
#define W98_SHELLAPI_H

#include <w98/windef.h>
#include <w98/winerror.h>

W98_BEGIN_DECLS

#define SEE_MASK_NOCLOSEPROCESS 0x00000040
#define SEE_MASK_FLAG_NO_UI 0x00000400
#define SE_ERR_FNF 2
#define SE_ERR_PNF 3
#define SE_ERR_ACCESSDENIED 5
#define SE_ERR_NOASSOC 31

typedef struct _SHELLEXECUTEINFOA {
  DWORD cbSize;
  ULONG fMask;
  HWND hwnd;
  LPCSTR lpVerb;
  LPCSTR lpFile;
  LPCSTR lpParameters;
  LPCSTR lpDirectory;
  int nShow;
  HINSTANCE hInstApp;
  LPVOID lpIDList;
  LPCSTR lpClass;
  HKEY hkeyClass;
  DWORD dwHotKey;
  HANDLE hIcon;
  HANDLE hProcess;
} SHELLEXECUTEINFOA, *LPSHELLEXECUTEINFOA;

/* Verb "open" (or NULL) starts the program lpFile with lpParameters, as CreateProcessA
 * resolves it. With SEE_MASK_NOCLOSEPROCESS hProcess receives the process handle, which the
 * caller closes. A missing program: FALSE, ERROR_FILE_NOT_FOUND, hInstApp = SE_ERR_FNF. */
W98API BOOL WINAPI ShellExecuteExA(LPSHELLEXECUTEINFOA lpExecInfo);

W98_END_DECLS

#endif /* W98_SHELLAPI_H */
