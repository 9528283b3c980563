// The process's table of kernel handles (threads, processes, mutexes, finds, modules ...).
#ifndef W98_SRC_CORE_HANDLES_H
#define W98_SRC_CORE_HANDLES_H

#include <memory>

#include "w98/windef.h"

namespace w98::internal {

// An object that a HANDLE names. Waitable objects override Wait.
class KernelObject {
 public:
  virtual ~KernelObject() = default;
  // Waits until the object is signalled: WAIT_OBJECT_0, WAIT_ABANDONED, WAIT_TIMEOUT, or
  // WAIT_FAILED with the last error set. The default: not waitable (ERROR_INVALID_HANDLE).
  virtual DWORD Wait(DWORD milliseconds);
};

// Adds an object and returns its new handle (never NULL or INVALID_HANDLE_VALUE).
HANDLE InsertHandle(std::shared_ptr<KernelObject> object);
// The object of a handle, or nullptr when the handle is not open.
std::shared_ptr<KernelObject> LookupHandle(HANDLE handle);
template <class T>
std::shared_ptr<T> LookupHandleAs(HANDLE handle) {
  return std::dynamic_pointer_cast<T>(LookupHandle(handle));
}
// Removes a handle; the object lives on while other handles or users hold it. False when the
// handle was not open.
bool RemoveHandle(HANDLE handle);

}  // namespace w98::internal

#endif  // W98_SRC_CORE_HANDLES_H
