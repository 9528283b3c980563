/* w98: the registry of a Windows 98 machine.
 *
 * HKEY_LOCAL_MACHINE lives in C:\WINDOWS\SYSTEM.DAT and HKEY_CURRENT_USER in
 * C:\WINDOWS\USER.DAT, real files on drive C: that a snapshot saves and a restore copies back.
 * Key and value names are case-insensitive and case-preserving; "" and NULL name the default
 * value. Registry calls return their error code and leave the last error alone. A key handle
 * may be used from any thread of the process. A write is seen at once by every thread of the
 * process, by other processes of the machine within 100 ms (at once after RegFlushKey), and by
 * every program started after it. */
#ifndef W98_WINREG_H
#define W98_WINREG_H

#include <w98/windef.h>
#include <w98/winerror.h>

W98_BEGIN_DECLS

#define HKEY_CLASSES_ROOT ((HKEY)(ULONG_PTR)((LONG)0x80000000))
#define HKEY_CURRENT_USER ((HKEY)(ULONG_PTR)((LONG)0x80000001))
#define HKEY_LOCAL_MACHINE ((HKEY)(ULONG_PTR)((LONG)0x80000002))
#define HKEY_USERS ((HKEY)(ULONG_PTR)((LONG)0x80000003))

typedef DWORD REGSAM;
#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_CREATE_SUB_KEY 0x0004
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_NOTIFY 0x0010
#define KEY_CREATE_LINK 0x0020
#define KEY_READ 0x20019
#define KEY_WRITE 0x20006
#define KEY_EXECUTE KEY_READ
#define KEY_ALL_ACCESS 0xF003F

#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_DWORD_LITTLE_ENDIAN 4
#define REG_DWORD_BIG_ENDIAN 5
#define REG_LINK 6
#define REG_MULTI_SZ 7

#define REG_OPTION_NON_VOLATILE 0x00000000
#define REG_CREATED_NEW_KEY 0x00000001
#define REG_OPENED_EXISTING_KEY 0x00000002

/* ERROR_FILE_NOT_FOUND when the key is missing; a bad root: ERROR_BADKEY. */
W98API LONG WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                                 PHKEY phkResult);
/* Creates missing keys along the path; *lpdwDisposition tells whether the key was new. */
W98API LONG WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass,
                                   DWORD dwOptions, REGSAM samDesired,
                                   LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult,
                                   LPDWORD lpdwDisposition);
W98API LONG WINAPI RegOpenKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult);
W98API LONG WINAPI RegCreateKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult);
/* Releases only: never terminates the calling thread. */
W98API LONG WINAPI RegCloseKey(HKEY hKey);
/* ERROR_FILE_NOT_FOUND when missing (type set to 0, size left alone, as Windows 98 does);
 * ERROR_MORE_DATA with the needed size when the buffer is too small. */
W98API LONG WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved,
                                    LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData);
/* REG_SZ data is stored whole with its NUL, whatever cbData says (Windows 98). */
W98API LONG WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType,
                                  const BYTE* lpData, DWORD cbData);
W98API LONG WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName);
/* Removes the key with everything below it (Windows 98). */
W98API LONG WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey);
/* Makes the hive durable on disk and visible to every process of the machine. */
W98API LONG WINAPI RegFlushKey(HKEY hKey);
W98API LONG WINAPI RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName,
                                 LPDWORD lpReserved, LPSTR lpClass, LPDWORD lpcchClass,
                                 PFILETIME lpftLastWriteTime);
W98API LONG WINAPI RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName,
                                 LPDWORD lpcchValueName, LPDWORD lpReserved, LPDWORD lpType,
                                 LPBYTE lpData, LPDWORD lpcbData);
/* One entry of RegQueryMultipleValuesA: the name in, the data's size, place and type out. */
typedef struct value_entA {
  LPSTR ve_valuename;
  DWORD ve_valuelen;
  DWORD_PTR ve_valueptr;
  DWORD ve_type;
} VALENTA, *PVALENTA;
/* Reads the named values of one key at once, all under one look at the key, so no write of
 * another thread falls between them. The data are packed one after another into lpValueBuf, each
 * entry pointing at its own; *ldwTotsize is the buffer's size in, the bytes used out. With
 * lpValueBuf NULL, only the size needed is given back (ERROR_SUCCESS, as Windows 98 does); too
 * small a buffer gives ERROR_MORE_DATA and the size needed. ERROR_FILE_NOT_FOUND when any of the
 * values is missing: then neither the entries nor the buffer are touched. */
W98API LONG WINAPI RegQueryMultipleValuesA(HKEY hKey, PVALENTA val_list, DWORD num_vals,
                                           LPSTR lpValueBuf, LPDWORD ldwTotsize);
W98API LONG WINAPI RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass,
                                    LPDWORD lpReserved, LPDWORD lpcSubKeys,
                                    LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                                    LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen,
                                    LPDWORD lpcbMaxValueLen, LPDWORD lpcbSecurityDescriptor,
                                    PFILETIME lpftLastWriteTime);

W98_END_DECLS

#endif /* W98_WINREG_H */
