// Keeps the session's idle timer from reaching the screensaver time-out.
#include "VigilantMouse.h"

static DWORD LastInputTick()
{
    LASTINPUTINFO info = {sizeof info, 0};
    GetLastInputInfo(&info);
    return info.dwTime;
}

// A pixel as the absolute scale (0..65535 over the virtual screen) names it: the middle of the
// pixel, so that whichever way the system rounds, the move lands on that pixel.
static LONG AbsoluteCoordinate(int pixel, int origin, int extent)
{
    return static_cast<LONG>(((static_cast<long long>(pixel - origin) * 2 + 1) * AbsoluteScale) /
                             (2 * static_cast<long long>(extent)));
}

// A move one pixel aside and back, for a system that does not count a move of zero distance.
// Absolute, so that pointer acceleration cannot shrink it to nothing; SetCursorPos puts the
// pointer back without being input itself.
static void SendCountedMove()
{
    POINT home;
    if (!GetCursorPos(&home))
        return;
    const int left = GetSystemMetrics(SM_XVIRTUALSCREEN);
    const int top = GetSystemMetrics(SM_YVIRTUALSCREEN);
    const int width = GetSystemMetrics(SM_CXVIRTUALSCREEN);
    const int height = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    // Away from the right edge of the virtual screen, where a pixel aside would be off it.
    const int aside = home.x + 1 < left + width ? home.x + 1 : home.x - 1;

    INPUT move = {};
    move.type = INPUT_MOUSE;
    move.mi.dx = AbsoluteCoordinate(aside, left, width);
    move.mi.dy = AbsoluteCoordinate(home.y, top, height);
    move.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_VIRTUALDESK;
    move.mi.dwExtraInfo = static_cast<ULONG_PTR>(GetMessageExtraInfo());
    SendInput(1, &move, sizeof move);
    Sleep(InputSettleMs);  // the move lands after SendInput returns: the pointer goes back after it
    SetCursorPos(home.x, home.y);
}

void RunKeepAwakeLoop()
{
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
