// Who this process is: its id.
#include <unistd.h>

#include "core/api.h"
#include "w98/winbase.h"

W98API DWORD WINAPI GetCurrentProcessId(void) {
  w98::internal::EnterCall();
  return static_cast<DWORD>(::getpid());
}
