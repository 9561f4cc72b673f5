// Keeps the session's idle timer from reaching the screensaver time-out.
#include "VigilantMouse.h"

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
        SendInput(1, &pulse, sizeof pulse);  // a rejected send is simply tried again next time
        Sleep(PulseIntervalMs);
    }
}
