// Zero mouse moves as the program sends them, and the two places they should show: a low-level
// mouse hook and the session's idle tick.
#pragma once

#include "Desktop.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

// A point as the suite's messages write it.
inline std::string At(POINT p) { return std::to_string(p.x) + "," + std::to_string(p.y); }

// The program's own pulse: a relative move of zero, stamped by the system.
inline UINT SendZeroMove()
{
    INPUT pulse{};
    pulse.type = INPUT_MOUSE;
    pulse.mi.dwFlags = MOUSEEVENTF_MOVE;
    pulse.mi.dwExtraInfo = static_cast<ULONG_PTR>(GetMessageExtraInfo());
    return SendInput(1, &pulse, sizeof pulse);
}

inline DWORD LastInputTick()
{
    LASTINPUTINFO info{sizeof info, 0};
    GetLastInputInfo(&info);
    return info.dwTime;
}
// The last input's tick, taken once the desktop has settled: a window appearing under the
// pointer counts as input on X, and a box appearing does too under some Wines.
inline DWORD InputTickOnceSettled()
{
    Sleep(500);
    return LastInputTick();
}
// The tick of the first input after the given one, or 0 when none came in time.
inline DWORD WaitForInputAfter(DWORD tick, DWORD waitMs)
{
    for (const DWORD start = GetTickCount(); GetTickCount() - start < waitMs; Sleep(20))
        if (LastInputTick() != tick)
            return LastInputTick();
    return 0;
}

// How a low-level hook stands in for a Windows that does not count a move of zero distance. Such a
// swallowed move never reaches the idle tick, while moves to any other position pass.
enum class StandIn {
    None,           // the hook only watches
    Swallows,       // the hook swallows zero moves, as a hook of another program could
    PlatformDrops,  // ... and does not record them, as recent Windows and Wine from 10.1 call no hook
    SlowSwallows,   // swallows them, and lets any other move land only 100 ms after it was sent,
                    // as on a system whose input passes slow hooks of other programs first. Under
                    // Wine a move that lands after its hook never reaches the X pointer, and Wine
                    // soon takes the pointer back from X: a pointer left aside shows on Windows only
};

// Injected mouse moves as a low-level mouse hook sees them: the pulse is one at the pointer's own
// position, a move aside one anywhere else. The hook lives on a thread of its own, which must pump
// messages for the hook to be called. The hook's point is in physical pixels, so the suite makes
// itself per-monitor aware for the pointer to be read in the same space (its manifest).
class ZeroMoveWatch {
public:
    struct Move {
        POINT at;
        bool atPointer;
    };
    explicit ZeroMoveWatch(StandIn standInMode = StandIn::None)
    {
        standIn = standInMode;
        thread = CreateThread(nullptr, 0, Watch, nullptr, 0, &threadId);
        while (!hooked && WaitForSingleObject(thread, 10) == WAIT_TIMEOUT) {}
    }
    ~ZeroMoveWatch()
    {
        PostThreadMessageA(threadId, WM_QUIT, 0, 0);
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
        hooked = false;
        moves.clear();
    }
    ZeroMoveWatch(const ZeroMoveWatch&) = delete;
    ZeroMoveWatch& operator=(const ZeroMoveWatch&) = delete;

    std::vector<Move> Moves() const
    {
        const std::lock_guard<std::mutex> lock(mutex);
        return moves;
    }
    // How many zero moves came so far.
    std::size_t Seen() const
    {
        const std::vector<Move> all = Moves();
        return static_cast<std::size_t>(
            std::count_if(all.begin(), all.end(), [](const Move& move) { return move.atPointer; }));
    }
    // The moves once the first has come, or none when none came in time.
    std::vector<Move> WaitForMoves(DWORD waitMs) const
    {
        for (const DWORD start = GetTickCount(); GetTickCount() - start < waitMs; Sleep(5))
            if (std::vector<Move> all = Moves(); !all.empty())
                return all;
        return {};
    }

private:
    static LRESULT CALLBACK Seen(int code, WPARAM message, LPARAM data)
    {
        const auto& event = *reinterpret_cast<const MSLLHOOKSTRUCT*>(data);
        POINT cursor{};
        GetCursorPos(&cursor);
        if (code == HC_ACTION && message == WM_MOUSEMOVE && (event.flags & LLMHF_INJECTED)) {
            const bool atPointer = event.pt.x == cursor.x && event.pt.y == cursor.y;
            if (event.dwExtraInfo == LateMoveMark)
                return CallNextHookEx(nullptr, code, message, data);
            if (!atPointer || standIn != StandIn::PlatformDrops) {
                const std::lock_guard<std::mutex> lock(mutex);
                moves.push_back({event.pt, atPointer});
            }
            if (atPointer && standIn != StandIn::None)
                return 1;
            // A hook is called before SendInput returns, so holding the move here would not
            // delay it past that: it is held back, and sent again later from another thread.
            if (standIn == StandIn::SlowSwallows) {
                CloseHandle(CreateThread(nullptr, 0, SendLate, new POINT(event.pt), 0, nullptr));
                return 1;
            }
        }
        return CallNextHookEx(nullptr, code, message, data);
    }
    static constexpr ULONG_PTR LateMoveMark = 0x5EC0DE;
    static DWORD WINAPI SendLate(void* point)
    {
        const POINT to = *static_cast<POINT*>(point);
        delete static_cast<POINT*>(point);
        Sleep(100);
        // The first absolute step inside the pixel, over the virtual screen.
        auto step = [](LONG pixel, int origin, int extent) {
            return static_cast<LONG>(((static_cast<long long>(pixel - origin) << 16) + extent - 1) / extent);
        };
        INPUT move{};
        move.type = INPUT_MOUSE;
        move.mi.dx = step(to.x, GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_CXVIRTUALSCREEN));
        move.mi.dy = step(to.y, GetSystemMetrics(SM_YVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN));
        move.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_VIRTUALDESK;
        move.mi.dwExtraInfo = LateMoveMark;
        SendInput(1, &move, sizeof move);
        return 0;
    }
    static DWORD WINAPI Watch(void*)
    {
        const HHOOK hook = SetWindowsHookExA(WH_MOUSE_LL, Seen, GetModuleHandleA(nullptr), 0);
        MSG message;
        PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);  // the queue for WM_QUIT
        hooked = true;
        while (GetMessageA(&message, nullptr, 0, 0) > 0)
            DispatchMessageA(&message);
        UnhookWindowsHookEx(hook);
        return 0;
    }

    HANDLE thread = nullptr;
    DWORD threadId = 0;
    static inline std::atomic<bool> hooked = false;
    static inline std::atomic<StandIn> standIn = StandIn::None;
    static inline std::mutex mutex;
    static inline std::vector<Move> moves;
};

// The suite's manifest asks for per-monitor awareness, so that the pointer, the monitors and a
// hook's points are all in physical pixels; this says what the system granted.
inline std::string SuiteDpiAwareness()
{
    auto* get = SystemCall<HANDLE WINAPI()>("user32.dll", "GetThreadDpiAwarenessContext");
    auto* awareness = SystemCall<int WINAPI(HANDLE)>("user32.dll", "GetAwarenessFromDpiAwarenessContext");
    if (!get || !awareness)
        return "the suite's DPI awareness cannot be asked here";
    switch (awareness(get())) {
    case 2: return "the suite is per-monitor DPI aware";
    case 1: return "the suite is aware of the system's DPI only";
    default: return "the suite is not DPI aware: a hook and the pointer may disagree on coordinates";
    }
}

// What became of the suite's own zero move at start, in one line: which link of the chain from
// SendInput to the idle tick held. A failing pulse test repeats it.
const std::string& ZeroMoveProbe();
// Whether that zero move moved the idle tick: where it did not, the program's counted input is
// its move aside, which follows each zero move after the program's wait of a second.
bool ZeroMoveCountsHere();
