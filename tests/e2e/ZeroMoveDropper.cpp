// Stands in for a platform that drops moves of zero distance before any hook and the idle tick,
// as upstream Wine does from 10.1 on and recent Windows may: a low-level mouse hook in a process
// of its own that swallows every injected move landing on the pointer's own pixel. Low-level
// hooks are called newest first, so it hooks itself in again every 100 ms and stays ahead of the
// suite's own. Once hooked it sets the event named by its argument, then runs until it is ended.
// Usage: zero-move-dropper.exe EVENT-NAME
#include <windows.h>

static LRESULT CALLBACK DropZeroMoves(int code, WPARAM message, LPARAM data)
{
    const auto& event = *reinterpret_cast<const MSLLHOOKSTRUCT*>(data);
    POINT pointer{};
    // Its manifest makes it per-monitor aware: the pointer and the hook's point are both in
    // physical pixels.
    if (code == HC_ACTION && message == WM_MOUSEMOVE && (event.flags & LLMHF_INJECTED) &&
        GetCursorPos(&pointer) && event.pt.x == pointer.x && event.pt.y == pointer.y)
        return 1;
    return CallNextHookEx(nullptr, code, message, data);
}

int main(int argc, char** argv)
{
    HHOOK hook = SetWindowsHookExA(WH_MOUSE_LL, DropZeroMoves, GetModuleHandleA(nullptr), 0);
    if (!hook || argc < 2)
        return 1;
    if (HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[1])) {
        SetEvent(ready);
        CloseHandle(ready);
    }
    SetTimer(nullptr, 0, 100, nullptr);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_TIMER) {
            if (const HHOOK newer = SetWindowsHookExA(WH_MOUSE_LL, DropZeroMoves, GetModuleHandleA(nullptr), 0)) {
                UnhookWindowsHookEx(hook);
                hook = newer;
            }
        }
        DispatchMessageA(&message);
    }
    return 0;
}
