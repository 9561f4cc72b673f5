// Keeps the session's idle timer from reaching the screensaver time-out.
#include "VigilantMouse.h"

static DWORD LastInputTick()
{
    LASTINPUTINFO info = {sizeof info, 0};
    GetLastInputInfo(&info);
    return info.dwTime;
}

// Whether input sent since the idle tick stood at this value was counted, given the time input
// takes to land.
static bool InputCountedSince(DWORD tick)
{
    for (DWORD waited = 0; waited < InputLandingWaitMs; waited += InputPollMs) {
        Sleep(InputPollMs);
        if (LastInputTick() != tick)
            return true;
    }
    return false;
}

// Whether the pointer, the monitors and the virtual screen now come in physical pixels, the space
// SendInput's absolute scale spans. The manifest makes the process aware of the system's DPI only,
// and from Windows 8.1 on such a process may get them scaled on a monitor whose scaling differs
// from the main one (Microsoft's PhysicalToLogicalPoint remarks): a pixel aside could land
// hundreds of pixels away. A per-monitor aware thread is given physical pixels (Microsoft's "High
// DPI Desktop Application Development on Windows"). Every box is closed by now, so none changes
// its look. Windows 10 before version 1607 lacks the thread call; before 8.1 one DPI serves every
// monitor, which 8.1's per-monitor calls tell apart.
static bool UsePhysicalPixels()
{
    if (auto* setThreadDpiAwarenessContext =
            SystemCall<HANDLE WINAPI(HANDLE)>("user32.dll", "SetThreadDpiAwarenessContext"))
        return setThreadDpiAwarenessContext(reinterpret_cast<HANDLE>(PerMonitorDpiAwareness)) !=
               nullptr;
    return !SystemCall<BOOL WINAPI(HWND, POINT*)>("user32.dll",
                                                  "LogicalToPhysicalPointForPerMonitorDPI");
}

// A pixel as the absolute scale (0..65535 over the virtual screen) names it: its first step. A
// system that truncates lands on the pixel, and so does one that rounds halves up while a pixel
// spans at least two steps, on any virtual screen up to 32,768 pixels wide. The pixel's middle
// would round onto the next pixel at widths such as 1024, and a quarter in onto the one before at
// widths past 16,384.
static LONG AbsoluteCoordinate(LONG pixel, int origin, int extent)
{
    const long long steps = static_cast<long long>(pixel - origin) * AbsoluteScale;
    return static_cast<LONG>((steps + extent - 1) / extent);
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
    if (width <= 0 || height <= 0)  // no screen to aim at (the call failed)
        return;

    INPUT move = {};
    move.type = INPUT_MOUSE;
    move.mi.dx = AbsoluteCoordinate(aside, left, width);
    move.mi.dy = AbsoluteCoordinate(home.y, top, height);
    move.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_VIRTUALDESK;
    move.mi.dwExtraInfo = static_cast<ULONG_PTR>(GetMessageExtraInfo());
    if (SendInput(1, &move, sizeof move) != 1)
        return;
    // Deciding before the move has landed would leave the pointer aside, one more pixel with
    // every pulse.
    POINT landed = home;
    for (DWORD waited = 0; waited < InputLandingWaitMs && landed.x == home.x && landed.y == home.y;
         waited += InputPollMs) {
        Sleep(InputPollMs);
        if (!GetCursorPos(&landed))
            return;
    }
    // Back only from where the move left it: a pointer anywhere else was moved by the user.
    if (landed.x == aside && landed.y == home.y)
        SetCursorPos(home.x, home.y);
}

void RunKeepAwakeLoop()
{
    // Where the pixels may be scaled, a move aside is not made at all.
    const bool physicalPixels = UsePhysicalPixels();
    for (;;) {
        // After a wake for a timer, maintenance or the network, Windows sleeps again unless a
        // user shows up, and a pulse would pass for one: a laptop in a bag would stay awake. The
        // flag clears only once someone uses the PC's own keyboard or mouse, which a user working
        // through Remote Desktop after a Wake-on-LAN never does: there it keeps that user's
        // session from locking as ever. Asked on every pass, since one session can be used from
        // afar and then at the console.
        if (IsSystemResumeAutomatic() && !GetSystemMetrics(SM_REMOTESESSION)) {
            Sleep(PulseIntervalMs);
            continue;
        }
        INPUT pulse = {};
        pulse.type = INPUT_MOUSE;
        pulse.mi.dx = 0;
        pulse.mi.dy = 0;
        pulse.mi.mouseData = 0;
        // Relative: a move of zero counts as input but leaves the pointer where it is.
        pulse.mi.dwFlags = MOUSEEVENTF_MOVE;
        pulse.mi.time = 0;  // the system stamps the event itself
        pulse.mi.dwExtraInfo = static_cast<ULONG_PTR>(GetMessageExtraInfo());
        const DWORD inputBeforePulse = LastInputTick();
        // A refused send (a locked session, the secure desktop) is simply tried again next time.
        // No Windows documents that a move of zero distance counts toward the idle time, and some
        // drop it: the idle tick, which the screensaver goes by, tells.
        if (SendInput(1, &pulse, sizeof pulse) == 1 && physicalPixels &&
            !InputCountedSince(inputBeforePulse))
            SendCountedMove();
        Sleep(PulseIntervalMs);
    }
}
