/* w98: kernel services of Windows 98 — errors, files, disks, time, profile files, threads,
 * synchronisation, memory, modules and processes.
 *
 * Every call resolves DOS paths ("C:\WINDOWS\WIN.INI", "c:/autoexec.bat", relative names
 * against the current directory) inside the machine that W98_MACHINE names; no path ever
 * reaches outside the machine folder. Unless stated otherwise a call may be made from any
 * thread, sets the calling thread's last error as Windows 98 does, and is a suspension point
 * of the calling thread (see <w98/w98.h>). */
#ifndef W98_WINBASE_H
#define W98_WINBASE_H

#include <w98/windef.h>
#include <w98/winerror.h>

W98_BEGIN_DECLS

/* ---- Errors ------------------------------------------------------------------------------ */

/* The calling thread's last error. Never a suspension point. */
W98API DWORD WINAPI GetLastError(void);
W98API void WINAPI SetLastError(DWORD dwErrCode);

/* ---- Handles ----------------------------------------------------------------------------- */

#define INVALID_HANDLE_VALUE ((HANDLE)(LONG_PTR)-1)

/* Closes a handle of a thread, process, mutex or find. Releases only: it may pause the calling
 * thread but never terminates it. */
W98API BOOL WINAPI CloseHandle(HANDLE hObject);

/* ---- Files, folders and drives ---------------------------------------------------------- */

#define FILE_ATTRIBUTE_READONLY 0x00000001
#define FILE_ATTRIBUTE_HIDDEN 0x00000002
#define FILE_ATTRIBUTE_SYSTEM 0x00000004
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020
#define FILE_ATTRIBUTE_NORMAL 0x00000080
#define INVALID_FILE_ATTRIBUTES ((DWORD)-1)

typedef struct _WIN32_FIND_DATAA {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD dwReserved0;
  DWORD dwReserved1;
  CHAR cFileName[MAX_PATH];
  CHAR cAlternateFileName[14];
} WIN32_FIND_DATAA, *PWIN32_FIND_DATAA, *LPWIN32_FIND_DATAA;

/* Directory enumeration with Windows wildcard rules ("*.*" matches every name, "*." names
 * without extension, '?' at the end of a part may match nothing), matched case-insensitively
 * against the long name and its 8.3 alias. "." and ".." are listed first in a subfolder, never
 * in a drive root. Names that Windows 98 cannot hold are never listed. No match:
 * INVALID_HANDLE_VALUE with ERROR_FILE_NOT_FOUND (ERROR_PATH_NOT_FOUND when the folder is
 * missing). The handle is closed with FindClose. */
W98API HANDLE WINAPI FindFirstFileA(LPCSTR lpFileName, LPWIN32_FIND_DATAA lpFindFileData);
/* Next match; FALSE with ERROR_NO_MORE_FILES at the end. */
W98API BOOL WINAPI FindNextFileA(HANDLE hFindFile, LPWIN32_FIND_DATAA lpFindFileData);
/* Releases a find handle (never terminates the calling thread). */
W98API BOOL WINAPI FindClose(HANDLE hFindFile);

/* Attributes kept in the file's DOS attribute record; a file without one reads as
 * FILE_ATTRIBUTE_ARCHIVE, a folder as FILE_ATTRIBUTE_DIRECTORY. Missing path:
 * INVALID_FILE_ATTRIBUTES. */
W98API DWORD WINAPI GetFileAttributesA(LPCSTR lpFileName);
/* Sets read-only, hidden, system and archive (FILE_ATTRIBUTE_NORMAL alone clears them). */
W98API BOOL WINAPI SetFileAttributesA(LPCSTR lpFileName, DWORD dwFileAttributes);

/* Copies a file in blocks (a suspension point between blocks), keeping the source's
 * last-write time and attributes. bFailIfExists: ERROR_FILE_EXISTS when the target exists.
 * A read-only or hidden target: ERROR_ACCESS_DENIED. A copy that would pass the capacity of
 * the drive: ERROR_DISK_FULL, and no partial target is left. */
W98API BOOL WINAPI CopyFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName,
                             BOOL bFailIfExists);
/* A read-only file: ERROR_ACCESS_DENIED. */
W98API BOOL WINAPI DeleteFileA(LPCSTR lpFileName);
/* Moves or renames a file or folder on one drive; the new name must not exist. */
W98API BOOL WINAPI MoveFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName);
/* ERROR_ALREADY_EXISTS when the folder exists, ERROR_PATH_NOT_FOUND when its parent is
 * missing. */
W98API BOOL WINAPI CreateDirectoryA(LPCSTR lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes);
/* The folder must be empty (ERROR_DIR_NOT_EMPTY otherwise). */
W98API BOOL WINAPI RemoveDirectoryA(LPCSTR lpPathName);

/* The Windows folder ("C:\WINDOWS" unless machine.ini says otherwise), without a trailing
 * backslash. Returns its length, or the size needed (with NUL) when uSize is too small. */
W98API UINT WINAPI GetWindowsDirectoryA(LPSTR lpBuffer, UINT uSize);
/* The system folder, "C:\WINDOWS\SYSTEM". Same conventions. */
W98API UINT WINAPI GetSystemDirectoryA(LPSTR lpBuffer, UINT uSize);
/* The process's current DOS folder ("C:\" unless set). */
W98API DWORD WINAPI GetCurrentDirectoryA(DWORD nBufferLength, LPSTR lpBuffer);
W98API BOOL WINAPI SetCurrentDirectoryA(LPCSTR lpPathName);
/* Full DOS path of a relative or absolute name, "." and ".." folded, never above the root. */
W98API DWORD WINAPI GetFullPathNameA(LPCSTR lpFileName, DWORD nBufferLength, LPSTR lpBuffer,
                                     LPSTR* lpFilePart);
/* Folder for temporary files, with a trailing backslash ("C:\WINDOWS\TEMP\"). */
W98API DWORD WINAPI GetTempPathA(DWORD nBufferLength, LPSTR lpBuffer);

#define DRIVE_UNKNOWN 0
#define DRIVE_NO_ROOT_DIR 1
#define DRIVE_REMOVABLE 2
#define DRIVE_FIXED 3
#define DRIVE_REMOTE 4
#define DRIVE_CDROM 5
#define DRIVE_RAMDISK 6

/* Kind of drive of a root such as "A:\" (fixed C:, removable A:, CD-ROM D: by default; the
 * kinds come from machine.ini). */
W98API UINT WINAPI GetDriveTypeA(LPCSTR lpRootPathName);
/* Bit n set when drive 'A'+n exists. */
W98API DWORD WINAPI GetLogicalDrives(void);
/* Free space, capped at 2 GB as Windows 98 reports it. The root must end in a backslash. */
W98API BOOL WINAPI GetDiskFreeSpaceA(LPCSTR lpRootPathName, LPDWORD lpSectorsPerCluster,
                                     LPDWORD lpBytesPerSector, LPDWORD lpNumberOfFreeClusters,
                                     LPDWORD lpTotalNumberOfClusters);
/* Free space of the drive holding lpDirectoryName: the host's free space, capped by the
 * capacity that machine.ini may give the drive. */
W98API BOOL WINAPI GetDiskFreeSpaceExA(LPCSTR lpDirectoryName,
                                       PULARGE_INTEGER lpFreeBytesAvailableToCaller,
                                       PULARGE_INTEGER lpTotalNumberOfBytes,
                                       PULARGE_INTEGER lpTotalNumberOfFreeBytes);

/* ---- Time -------------------------------------------------------------------------------- */

/* The machine's clock: host time plus the offset that SetLocalTime stored in machine.ini. */
W98API void WINAPI GetLocalTime(LPSYSTEMTIME lpSystemTime);
W98API void WINAPI GetSystemTime(LPSYSTEMTIME lpSystemTime);
W98API void WINAPI GetSystemTimeAsFileTime(LPFILETIME lpSystemTimeAsFileTime);
/* Moves the machine's clock (never the host's) by storing an offset in machine.ini. */
W98API BOOL WINAPI SetLocalTime(const SYSTEMTIME* lpSystemTime);
W98API BOOL WINAPI SetSystemTime(const SYSTEMTIME* lpSystemTime);
/* Converts with the bias in force now (not at the file's date), as Windows 98 does. */
W98API BOOL WINAPI FileTimeToLocalFileTime(const FILETIME* lpFileTime, LPFILETIME lpLocalFileTime);
W98API BOOL WINAPI LocalFileTimeToFileTime(const FILETIME* lpLocalFileTime, LPFILETIME lpFileTime);
W98API BOOL WINAPI FileTimeToSystemTime(const FILETIME* lpFileTime, LPSYSTEMTIME lpSystemTime);
W98API BOOL WINAPI SystemTimeToFileTime(const SYSTEMTIME* lpSystemTime, LPFILETIME lpFileTime);
/* Milliseconds since the machine started (host monotonic clock). */
W98API DWORD WINAPI GetTickCount(void);

/* ---- Profile (.INI) files --------------------------------------------------------------- */

/* Windows profile semantics: case-insensitive sections and keys, a name without a folder in
 * the Windows folder, CR LF line ends, every other line kept as it was. Writers of one file
 * in different processes never lose each other's keys. */
W98API UINT WINAPI GetPrivateProfileIntA(LPCSTR lpAppName, LPCSTR lpKeyName, INT nDefault,
                                         LPCSTR lpFileName);
W98API DWORD WINAPI GetPrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName,
                                             LPCSTR lpDefault, LPSTR lpReturnedString,
                                             DWORD nSize, LPCSTR lpFileName);
/* A NULL lpString deletes the key, a NULL lpKeyName the section. */
W98API BOOL WINAPI WritePrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName,
                                              LPCSTR lpString, LPCSTR lpFileName);
W98API UINT WINAPI GetProfileIntA(LPCSTR lpAppName, LPCSTR lpKeyName, INT nDefault);
W98API DWORD WINAPI GetProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpDefault,
                                      LPSTR lpReturnedString, DWORD nSize);
W98API BOOL WINAPI WriteProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpString);

/* ---- Threads and synchronisation --------------------------------------------------------- */

#define INFINITE 0xFFFFFFFF
#define WAIT_OBJECT_0 0x00000000L
#define WAIT_ABANDONED 0x00000080L
#define WAIT_TIMEOUT 0x00000102L
#define WAIT_FAILED 0xFFFFFFFF
#define STILL_ACTIVE 259
#define CREATE_SUSPENDED 0x00000004
#define MAXIMUM_SUSPEND_COUNT 0x7F

#define THREAD_PRIORITY_IDLE (-15)
#define THREAD_PRIORITY_LOWEST (-2)
#define THREAD_PRIORITY_BELOW_NORMAL (-1)
#define THREAD_PRIORITY_NORMAL 0
#define THREAD_PRIORITY_ABOVE_NORMAL 1
#define THREAD_PRIORITY_HIGHEST 2
#define THREAD_PRIORITY_TIME_CRITICAL 15

typedef DWORD(WINAPI* LPTHREAD_START_ROUTINE)(LPVOID lpThreadParameter);

/* A thread whose suspension and termination take effect at its next w98 call (see
 * <w98/w98.h>). lpThreadId may be NULL. */
W98API HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES lpThreadAttributes, SIZE_T dwStackSize,
                                  LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter,
                                  DWORD dwCreationFlags, LPDWORD lpThreadId);
/* Priorities as Windows names them; any other value: FALSE, ERROR_INVALID_PRIORITY. */
W98API BOOL WINAPI SetThreadPriority(HANDLE hThread, int nPriority);
W98API int WINAPI GetThreadPriority(HANDLE hThread);
/* Returns the previous suspend count, 0xFFFFFFFF on failure. */
W98API DWORD WINAPI SuspendThread(HANDLE hThread);
W98API DWORD WINAPI ResumeThread(HANDLE hThread);
/* The thread stops at its next w98 call and runs none of its own code after it; its exit code
 * becomes dwExitCode and mutexes it owns are abandoned. */
W98API BOOL WINAPI TerminateThread(HANDLE hThread, DWORD dwExitCode);
W98API BOOL WINAPI GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode);
W98API void WINAPI ExitThread(DWORD dwExitCode);
W98API DWORD WINAPI GetCurrentThreadId(void);
W98API HANDLE WINAPI GetCurrentThread(void);
W98API void WINAPI Sleep(DWORD dwMilliseconds);
/* Waits on a thread, process or mutex handle. Sleep and WaitForSingleObject end at once when
 * the calling thread is terminated (see <w98/thread.h>). */
W98API DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);

/* A named mutex is one object for the whole machine, across processes; names are
 * case-sensitive. An existing name returns a handle to it with ERROR_ALREADY_EXISTS (and
 * bInitialOwner ignored); a fresh one sets ERROR_SUCCESS. */
W98API HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES lpMutexAttributes, BOOL bInitialOwner,
                                  LPCSTR lpName);
/* Releases only; never terminates the calling thread. */
W98API BOOL WINAPI ReleaseMutex(HANDLE hMutex);

/* ---- Memory ------------------------------------------------------------------------------ */

#define GMEM_FIXED 0x0000
#define GMEM_MOVEABLE 0x0002
#define GMEM_ZEROINIT 0x0040
#define GHND (GMEM_MOVEABLE | GMEM_ZEROINIT)
#define GPTR (GMEM_FIXED | GMEM_ZEROINIT)

W98API HGLOBAL WINAPI GlobalAlloc(UINT uFlags, SIZE_T dwBytes);
W98API LPVOID WINAPI GlobalLock(HGLOBAL hMem);
W98API BOOL WINAPI GlobalUnlock(HGLOBAL hMem);
/* Releases only; never terminates the calling thread. NULL on success. */
W98API HGLOBAL WINAPI GlobalFree(HGLOBAL hMem);
W98API SIZE_T WINAPI GlobalSize(HGLOBAL hMem);

/* ---- Modules ----------------------------------------------------------------------------- */

/* "name.dll" loads the shared library "libname.so" (name in lower case), searched in the
 * calling program's own host folder first, then in the machine's host program folder.
 * ERROR_MOD_NOT_FOUND when neither has it. GetProcAddress finds exports by name only. */
W98API HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName);
W98API FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName);
W98API BOOL WINAPI FreeLibrary(HMODULE hLibModule);
/* Full path (DOS form when the program lives on a drive of the machine, else host form). */
W98API DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize);

/* ---- Processes --------------------------------------------------------------------------- */

#define STARTF_USESHOWWINDOW 0x00000001
#define NORMAL_PRIORITY_CLASS 0x00000020
#define CREATE_NEW_CONSOLE 0x00000010
#define DETACHED_PROCESS 0x00000008

typedef struct _STARTUPINFOA {
  DWORD cb;
  LPSTR lpReserved;
  LPSTR lpDesktop;
  LPSTR lpTitle;
  DWORD dwX;
  DWORD dwY;
  DWORD dwXSize;
  DWORD dwYSize;
  DWORD dwXCountChars;
  DWORD dwYCountChars;
  DWORD dwFillAttribute;
  DWORD dwFlags;
  WORD wShowWindow;
  WORD cbReserved2;
  LPBYTE lpReserved2;
  HANDLE hStdInput;
  HANDLE hStdOutput;
  HANDLE hStdError;
} STARTUPINFOA, *LPSTARTUPINFOA;

typedef struct _PROCESS_INFORMATION {
  HANDLE hProcess;
  HANDLE hThread;
  DWORD dwProcessId;
  DWORD dwThreadId;
} PROCESS_INFORMATION, *LPPROCESS_INFORMATION;

/* Starts a program of the machine: its stub on a drive names the host program to run.
 * Resolved by path (an unquoted name with blanks is tried at each blank), by the folders
 * Windows searches (the caller's folder, the current folder, C:\WINDOWS\SYSTEM, C:\WINDOWS,
 * C:\WINDOWS\COMMAND) and by the missing extension (.EXE, .COM, .BAT; a batch file runs as
 * "C:\COMMAND.COM /C file args"). No such file: ERROR_FILE_NOT_FOUND; a file that is not a
 * program stub: ERROR_BAD_EXE_FORMAT. How the command line, current folder and machine reach
 * the program: <w98/session.h>. The registry is flushed first, so the program sees every
 * write made before it started. hProcess and hThread are both signalled when the program ends
 * (dwThreadId equals dwProcessId); the caller closes both. */
W98API BOOL WINAPI CreateProcessA(LPCSTR lpApplicationName, LPSTR lpCommandLine,
                                  LPSECURITY_ATTRIBUTES lpProcessAttributes,
                                  LPSECURITY_ATTRIBUTES lpThreadAttributes,
                                  BOOL bInheritHandles, DWORD dwCreationFlags,
                                  LPVOID lpEnvironment, LPCSTR lpCurrentDirectory,
                                  LPSTARTUPINFOA lpStartupInfo,
                                  LPPROCESS_INFORMATION lpProcessInformation);
/* STILL_ACTIVE while the process runs, then its exit code (the full 32 bits when it ended with
 * ExitProcess; 128 + the signal number when the host ended it with a signal). */
W98API BOOL WINAPI GetExitCodeProcess(HANDLE hProcess, LPDWORD lpExitCode);
W98API DWORD WINAPI GetCurrentProcessId(void);
/* Flushes the registry and ends the process at once (other threads run no further). */
W98API void WINAPI ExitProcess(UINT uExitCode);
/* The Windows command line the program was started with (see <w98/session.h>); for a program
 * started some other way, its host arguments quoted as the C runtime reads them. */
W98API LPSTR WINAPI GetCommandLineA(void);

W98_END_DECLS

#endif /* W98_WINBASE_H */
