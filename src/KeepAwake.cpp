// Keeps the session's idle timer from reaching the screensaver time-out.
#include "VigilantMouse.h"

static DWORD LastInputTick()
{
    LASTINPUTINFO info = {sizeof info, 0};
    GetLastInputInfo(&info);
    return info.dwTime;
}

// The pointer, the monitors and the virtual screen in physical pixels, the space SendInput's
// absolute scale spans. The manifest makes the process aware of the system's DPI only, and from
// Windows 8.1 on such a process gets scaled coordinates on a monitor whose scaling differs from
// the main one: a pixel aside could land hundreds of pixels away. Windows virtualizes no
// coordinate for a per-monitor aware thread (Microsoft's "High DPI Desktop Application
// Development on Windows"), so GetCursorPos, GetMonitorInfo and GetSystemMetrics give physical
// pixels and SetCursorPos takes them. Every box is closed by now, so none changes its look.
// Looked up at run time: Windows before 10 version 1607 lacks the call, and up to 8 one DPI
// serves every monitor anyway.
static void UsePhysicalPixels()
{
    using SetThreadDpiAwarenessContextCall = HANDLE(WINAPI*)(HANDLE);
    const FARPROC found =
        GetProcAddress(GetModuleHandleA("user32.dll"), "SetThreadDpiAwarenessContext");
    // Through the generic function type, which any function pointer may be cast to and from.
    const auto setThreadDpiAwarenessContext =
        reinterpret_cast<SetThreadDpiAwarenessContextCall>(reinterpret_cast<void (*)()>(found));
    if (setThreadDpiAwarenessContext)
        setThreadDpiAwarenessContext(reinterpret_cast<HANDLE>(PerMonitorDpiAwareness));
}

// A pixel as the absolute scale (0..65535 over the virtual screen) names it: a quarter into the
// pixel. The middle sits exactly on a half step at widths such as 1024, where a system that rounds
// halves up lands on the next pixel; a quarter in, truncating and rounding land on the same one.
static LONG AbsoluteCoordinate(LONG pixel, int origin, int extent)
{
    return static_cast<LONG>(((static_cast<long long>(pixel - origin) * 4 + 1) * AbsoluteScale) /
                             (4 * static_cast<long long>(extent)));
}

// A move one pixel aside and back, for a system that does not count a move of zero distance.
// Absolute, so that pointer acceleration cannot shrink it to nothing; SetCursorPos puts the
// pointer back without being input itself.
static void SendCountedMove()
{
    POINT home;
    if (!GetCursorPos(&home))
        return;
    // Aside within the pointer's own monitor: off every monitor, the system keeps the pointer
    // where it is, and the move is one of zero distance again.
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    if (!GetMonitorInfoA(MonitorFromPoint(home, MONITOR_DEFAULTTONEAREST), &monitor))
        return;
    const LONG aside = home.x + 1 < monitor.rcMonitor.right ? home.x + 1 : home.x - 1;
    const int left = GetSystemMetrics(SM_XVIRTUALSCREEN);
    const int top = GetSystemMetrics(SM_YVIRTUALSCREEN);
    const int width = GetSystemMetrics(SM_CXVIRTUALSCREEN);
    const int height = GetSystemMetrics(SM_CYVIRTUALSCREEN);

    INPUT move = {};
    move.type = INPUT_MOUSE;
    move.mi.dx = AbsoluteCoordinate(aside, left, width);
    move.mi.dy = AbsoluteCoordinate(home.y, top, height);
    move.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_VIRTUALDESK;
    move.mi.dwExtraInfo = static_cast<ULONG_PTR>(GetMessageExtraInfo());
    SendInput(1, &move, sizeof move);
    Sleep(InputSettleMs);  // the move lands after SendInput returns: the pointer goes back after it
    // Back only from where the move left it: a pointer anywhere else was moved by the user since.
    POINT landed;
    if (GetCursorPos(&landed) && landed.x == aside && landed.y == home.y)
        SetCursorPos(home.x, home.y);
}

void RunKeepAwakeLoop()
{
    UsePhysicalPixels();
    for (;;) {
        INPUT pulse = {};
        pulse.type = INPUT_MOUSE;
        pulse.mi.dx = 0;
        pulse.mi.dy = 0;
        pulse.mi.mouseData = 0;
        // Relative, not absolute: a move of zero counts as input but leaves the pointer where it is.
        pulse.mi.dwFlags = MOUSEEVENTF_MOVE;
        pulse.mi.time = 0;  // the system stamps the event itself
        pulse.mi.dwExtraInfo = static_cast<ULONG_PTR>(GetMessageExtraInfo());
        const DWORD inputBeforePulse = LastInputTick();
        // A refused send (a locked session, the secure desktop) is simply tried again next time.
        if (SendInput(1, &pulse, sizeof pulse) == 1) {
            // No Windows documents that a move of zero distance counts toward the idle time, and
            // some drop it: the idle tick, which the screensaver goes by, tells.
            Sleep(InputSettleMs);
            if (LastInputTick() == inputBeforePulse)
                SendCountedMove();
        }
        Sleep(PulseIntervalMs);
    }
}
