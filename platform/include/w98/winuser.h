/* w98: windows, messages and the end of a session.
 *
 * A window belongs to the thread that created it and is known to every process of the
 * machine through the machine's window table (FindWindowA, SendMessageA, placement). A thread
 * receives messages sent from other threads and processes only while it calls GetMessageA,
 * PeekMessageA, SendMessageA or waits in a message-aware call, as on Windows. */
#ifndef W98_WINUSER_H
#define W98_WINUSER_H

#include <w98/windef.h>
#include <w98/winerror.h>

W98_BEGIN_DECLS

typedef LRESULT(CALLBACK* WNDPROC)(HWND, UINT, WPARAM, LPARAM);

#define WM_NULL 0x0000
#define WM_CREATE 0x0001
#define WM_DESTROY 0x0002
#define WM_MOVE 0x0003
#define WM_SIZE 0x0005
#define WM_ACTIVATE 0x0006
#define WM_SETTEXT 0x000C
#define WM_GETTEXT 0x000D
#define WM_GETTEXTLENGTH 0x000E
#define WM_CLOSE 0x0010
#define WM_QUERYENDSESSION 0x0011
#define WM_QUIT 0x0012
#define WM_ENDSESSION 0x0016
#define WM_SHOWWINDOW 0x0018
#define WM_WINDOWPOSCHANGED 0x0047
#define WM_COPYDATA 0x004A
#define WM_NCCREATE 0x0081
#define WM_NCDESTROY 0x0082
#define WM_TIMER 0x0113
#define WM_USER 0x0400
#define WM_APP 0x8000

#define GWL_WNDPROC (-4)
#define GWL_HINSTANCE (-6)
#define GWL_ID (-12)
#define GWL_STYLE (-16)
#define GWL_EXSTYLE (-20)
#define GWL_USERDATA (-21)

#define WS_OVERLAPPED 0x00000000L
#define WS_POPUP 0x80000000L
#define WS_CHILD 0x40000000L
#define WS_MINIMIZE 0x20000000L
#define WS_VISIBLE 0x10000000L
#define WS_MAXIMIZE 0x01000000L
#define WS_CAPTION 0x00C00000L
#define WS_SYSMENU 0x00080000L
#define WS_OVERLAPPEDWINDOW 0x00CF0000L
#define WS_EX_TOPMOST 0x00000008L
#define WS_EX_TOOLWINDOW 0x00000080L
#define CW_USEDEFAULT ((int)0x80000000)

#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_NORMAL 1
#define SW_SHOWMINIMIZED 2
#define SW_SHOWMAXIMIZED 3
#define SW_MAXIMIZE 3
#define SW_SHOWNOACTIVATE 4
#define SW_SHOW 5
#define SW_MINIMIZE 6
#define SW_SHOWMINNOACTIVE 7
#define SW_SHOWNA 8
#define SW_RESTORE 9
#define SW_SHOWDEFAULT 10

#define HWND_TOP ((HWND)0)
#define HWND_BOTTOM ((HWND)1)
#define HWND_TOPMOST ((HWND)-1)
#define HWND_NOTOPMOST ((HWND)-2)
#define HWND_BROADCAST ((HWND)0xffff)

#define SWP_NOSIZE 0x0001
#define SWP_NOMOVE 0x0002
#define SWP_NOZORDER 0x0004
#define SWP_NOACTIVATE 0x0010
#define SWP_SHOWWINDOW 0x0040
#define SWP_HIDEWINDOW 0x0080

#define PM_NOREMOVE 0x0000
#define PM_REMOVE 0x0001

#define EWX_LOGOFF 0
#define EWX_SHUTDOWN 0x00000001
#define EWX_REBOOT 0x00000002
#define EWX_FORCE 0x00000004
#define EWX_POWEROFF 0x00000008

typedef struct tagMSG {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  DWORD time;
  POINT pt;
} MSG, *LPMSG;

typedef struct tagWNDCLASSA {
  UINT style;
  WNDPROC lpfnWndProc;
  int cbClsExtra;
  int cbWndExtra;
  HINSTANCE hInstance;
  HICON hIcon;
  HCURSOR hCursor;
  HBRUSH hbrBackground;
  LPCSTR lpszMenuName;
  LPCSTR lpszClassName;
} WNDCLASSA, *LPWNDCLASSA;

typedef struct tagCREATESTRUCTA {
  LPVOID lpCreateParams;
  HINSTANCE hInstance;
  HMENU hMenu;
  HWND hwndParent;
  int cy;
  int cx;
  int y;
  int x;
  LONG style;
  LPCSTR lpszName;
  LPCSTR lpszClass;
  DWORD dwExStyle;
} CREATESTRUCTA, *LPCREATESTRUCTA;

typedef struct tagCOPYDATASTRUCT {
  ULONG_PTR dwData;
  DWORD cbData;
  LPVOID lpData;
} COPYDATASTRUCT, *PCOPYDATASTRUCT;

typedef struct tagWINDOWPLACEMENT {
  UINT length;
  UINT flags;
  UINT showCmd;
  POINT ptMinPosition;
  POINT ptMaxPosition;
  RECT rcNormalPosition;
} WINDOWPLACEMENT, *PWINDOWPLACEMENT, *LPWINDOWPLACEMENT;

/* Classes are per process; ERROR_CLASS_ALREADY_EXISTS for a second registration. */
W98API ATOM WINAPI RegisterClassA(const WNDCLASSA* lpWndClass);
/* Top-level and hidden windows. The window belongs to the calling thread and enters the
 * machine's window table; WM_CREATE is sent before the call returns. */
W98API HWND WINAPI CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName,
                                   DWORD dwStyle, int X, int Y, int nWidth, int nHeight,
                                   HWND hWndParent, HMENU hMenu, HINSTANCE hInstance,
                                   LPVOID lpParam);
W98API BOOL WINAPI DestroyWindow(HWND hWnd);
W98API LRESULT WINAPI DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
W98API LRESULT WINAPI CallWindowProcA(WNDPROC lpPrevWndFunc, HWND hWnd, UINT Msg, WPARAM wParam,
                                      LPARAM lParam);
/* True for a window of any process of the machine that still exists. */
W98API BOOL WINAPI IsWindow(HWND hWnd);
/* The window's own thread asks its procedure (WM_GETTEXT); any other thread or process reads
 * the caption the machine keeps, and never waits for the owner. */
W98API int WINAPI GetWindowTextA(HWND hWnd, LPSTR lpString, int nMaxCount);
W98API BOOL WINAPI SetWindowTextA(HWND hWnd, LPCSTR lpString);
/* GWL_WNDPROC replaces the window procedure of a window of the calling process and returns
 * the previous one, to be called through CallWindowProcA. */
W98API LONG_PTR WINAPI SetWindowLongA(HWND hWnd, int nIndex, LONG_PTR dwNewLong);
W98API LONG_PTR WINAPI GetWindowLongA(HWND hWnd, int nIndex);
W98API DWORD WINAPI GetWindowThreadProcessId(HWND hWnd, LPDWORD lpdwProcessId);

/* On the owner thread a direct call. From another thread or process the message is queued to
 * the owner thread and the sender waits until the window procedure has returned, running the
 * messages sent to its own thread meanwhile. Between processes WM_COPYDATA carries its cbData
 * bytes, WM_SETTEXT its text and WM_GETTEXT its answer; any other lParam travels as a number.
 * A gone window: 0 with ERROR_INVALID_WINDOW_HANDLE. */
W98API LRESULT WINAPI SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
/* Messages that point into the sender's memory (WM_COPYDATA, WM_SETTEXT, WM_GETTEXT ...)
 * cannot be posted: FALSE with ERROR_MESSAGE_SYNC_ONLY. hWnd NULL posts to the calling thread. */
W98API BOOL WINAPI PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
W98API BOOL WINAPI PostThreadMessageA(DWORD idThread, UINT Msg, WPARAM wParam, LPARAM lParam);
/* FALSE on WM_QUIT, -1 on error. */
W98API BOOL WINAPI GetMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax);
W98API BOOL WINAPI PeekMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax,
                                UINT wRemoveMsg);
W98API BOOL WINAPI TranslateMessage(const MSG* lpMsg);
W98API LRESULT WINAPI DispatchMessageA(const MSG* lpMsg);
W98API void WINAPI PostQuitMessage(int nExitCode);
W98API BOOL WINAPI WaitMessage(void);

/* Top-level windows of every process of the machine; NULL arguments match anything;
 * case-insensitive. */
W98API HWND WINAPI FindWindowA(LPCSTR lpClassName, LPCSTR lpWindowName);
W98API BOOL WINAPI GetWindowPlacement(HWND hWnd, WINDOWPLACEMENT* lpwndpl);
W98API BOOL WINAPI SetWindowPlacement(HWND hWnd, const WINDOWPLACEMENT* lpwndpl);
W98API BOOL WINAPI ShowWindow(HWND hWnd, int nCmdShow);
W98API BOOL WINAPI SetForegroundWindow(HWND hWnd);
W98API HWND WINAPI GetForegroundWindow(void);
W98API BOOL WINAPI SetWindowPos(HWND hWnd, HWND hWndInsertAfter, int X, int Y, int cx, int cy,
                                UINT uFlags);
W98API BOOL WINAPI IsIconic(HWND hWnd);
W98API BOOL WINAPI IsZoomed(HWND hWnd);
W98API BOOL WINAPI IsWindowVisible(HWND hWnd);

/* Asks every top-level window of the machine with WM_QUERYENDSESSION, then sends WM_ENDSESSION
 * (TRUE); with EWX_FORCE neither is sent. A window answering 0 keeps the session: the windows
 * that agreed get WM_ENDSESSION (FALSE) and the call returns FALSE with ERROR_CANCELLED. A
 * window that does not answer within 5 seconds does not hold the session up. Then ends the
 * machine's programs (its process table; the calling process itself is left), flushes the
 * registry and, with EWX_REBOOT, starts the machine's restart (`w98 restart`, see
 * <w98/session.h>), which outlives the caller. Returns TRUE once the restart has begun. */
W98API BOOL WINAPI ExitWindowsEx(UINT uFlags, DWORD dwReserved);

W98_END_DECLS

#endif /* W98_WINUSER_H */
