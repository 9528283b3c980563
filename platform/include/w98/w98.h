// w98's own extensions beside the Win32 subset: machines and program stubs, message queues and
// window state for UI toolkits, how programs are started and the machine restarts, thread
// termination.
#ifndef W98_W98_H
#define W98_W98_H

#include <w98/machine.h>
#include <w98/messages.h>
#include <w98/session.h>
#include <w98/thread.h>

#endif  // W98_W98_H
