#include "w98/winbase.h"

namespace {
thread_local DWORD t_last_error = ERROR_SUCCESS;
}  // namespace

W98API DWORD WINAPI GetLastError(void) { return t_last_error; }
W98API void WINAPI SetLastError(DWORD dwErrCode) { t_last_error = dwErrCode; }
