// Entry of every w98 call.
//
// Every Win32 call of w98 begins with EnterCall() (or EnterReleaseCall() for calls that only
// release something). This is where a thread that another thread has suspended waits, and
// where a terminated thread stops: EnterCall() may throw the thread's termination (see
// <w98/w98.h>); EnterReleaseCall() may pause but never throws, so destructors that release
// resources stay safe. Both are called before the call takes any lock of w98's own.
#ifndef W98_SRC_CORE_API_H
#define W98_SRC_CORE_API_H

namespace w98::internal {

void EnterCall();
void EnterReleaseCall();

}  // namespace w98::internal

#endif  // W98_SRC_CORE_API_H
