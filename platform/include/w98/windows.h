/* w98: the Win32 subset of a Windows 98 machine. Include this one header. */
#ifndef W98_WINDOWS_H
#define W98_WINDOWS_H

#include <w98/windef.h>
#include <w98/winerror.h>
#include <w98/winbase.h>
#include <w98/winreg.h>
#include <w98/winuser.h>
#include <w98/shellapi.h>
#include <w98/winver.h>

#endif /* W98_WINDOWS_H */
