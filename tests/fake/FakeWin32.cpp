#include "FakeWin32.h"

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
FakeWorld world;
Effects effects;
PulseEffects pulse;
DWORD inputTick;
LPARAM extraInfo;
bool perMonitorAware;
bool movedAside;
MOUSEINPUT pendingMove;  // an absolute move that has not landed yet
int pausesUntilLanding;
bool pulseBegun;
int pauses;
int loopCalls;
// However the program paces itself, a run ends after this many calls of the keep-awake loop: one
// that stopped sending ends too, and so does one that spins without pausing.
constexpr int MaxLoopCalls = 100000;

HANDLE HandleOf(DWORD id) { return reinterpret_cast<HANDLE>(std::uintptr_t{0x10000} + id); }
DWORD IdOf(HANDLE handle) { return static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(handle) - 0x10000); }
const FakeProcess* Process(DWORD id)
{
    const auto found = std::find_if(world.processes.begin(), world.processes.end(),
                                    [&](const FakeProcess& p) { return p.id == id; });
    return found == world.processes.end() ? nullptr : &*found;
}
bool Contains(const RECT& r, POINT p) { return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom; }

// As Windows 8.1 and later show a thread that is not per-monitor aware a monitor scaled otherwise
// than the main one: in the main monitor's scaling, from the same top left corner.
int ScaleOf(const FakeMonitor& m) { return world.system == FakeSystem::Vista ? 100 : m.scalePercent; }
LONG Rescale(LONG value, LONG origin, const FakeMonitor& m, bool toLogical)
{
    const int main = ScaleOf(world.monitors.front()), own = ScaleOf(m);
    if (perMonitorAware || own == main)
        return value;
    return origin + (value - origin) * (toLogical ? main : own) / (toLogical ? own : main);
}
POINT Rescale(POINT p, const FakeMonitor& m, bool toLogical)
{
    return {Rescale(p.x, m.pixels.left, m, toLogical), Rescale(p.y, m.pixels.top, m, toLogical)};
}
RECT Rect(const FakeMonitor& m, bool logical)
{
    const POINT end = Rescale({m.pixels.right, m.pixels.bottom}, m, logical);
    return {m.pixels.left, m.pixels.top, end.x, end.y};
}
// The monitor a point is on, as the program sees it or in pixels; the main one for a point on none.
const FakeMonitor& MonitorAt(POINT p, bool logical)
{
    const auto found = std::find_if(world.monitors.begin(), world.monitors.end(),
                                    [&](const FakeMonitor& m) { return Contains(Rect(m, logical), p); });
    return found == world.monitors.end() ? world.monitors.front() : *found;
}
RECT VirtualScreen(bool logical)
{
    RECT all = Rect(world.monitors.front(), logical);
    for (const FakeMonitor& m : world.monitors) {
        const RECT r = Rect(m, logical);
        all = {std::min(all.left, r.left), std::min(all.top, r.top), std::max(all.right, r.right),
               std::max(all.bottom, r.bottom)};
    }
    return all;
}

void Misused(const std::string& what) { effects.badInput.push_back(what); }

// A relative move as the program means it: one zero move, stamped by the system, with this
// pulse's extra information.
bool IsZeroMove(UINT count, const INPUT& input, int size)
{
    const MOUSEINPUT& mi = input.mi;
    return count == 1 && size == sizeof(INPUT) && input.type == INPUT_MOUSE && mi.dx == 0 && mi.dy == 0 &&
           mi.mouseData == 0 && mi.dwFlags == MOUSEEVENTF_MOVE && mi.time == 0 &&
           mi.dwExtraInfo == static_cast<ULONG_PTR>(extraInfo);
}

// Where Windows puts an absolute move: each of the 65536 steps is 1/65536 of the virtual screen,
// or without MOUSEEVENTF_VIRTUALDESK of the main monitor, in physical pixels.
void MoveAbsolutely(const MOUSEINPUT& mi)
{
    const RECT area = mi.dwFlags & MOUSEEVENTF_VIRTUALDESK ? VirtualScreen(false) : world.monitors.front().pixels;
    const std::int64_t half = world.absoluteRoundsHalfUp ? 32768 : 0;
    const POINT to{area.left + static_cast<LONG>((std::int64_t{mi.dx} * (area.right - area.left) + half) / 65536),
                   area.top + static_cast<LONG>((std::int64_t{mi.dy} * (area.bottom - area.top) + half) / 65536)};
    const POINT from = world.cursor;
    if (std::any_of(world.monitors.begin(), world.monitors.end(),
                    [&](const FakeMonitor& m) { return Contains(m.pixels, to); }))
        world.cursor = to;
    if (!pulseBegun)
        Misused("a move aside before any zero move");
    pulse.asides.push_back(world.cursor);
    movedAside = true;
    inputTick += from.x != world.cursor.x || from.y != world.cursor.y;
}

void EndPulse()
{
    if (!pulseBegun)
        return;
    pulse.pointer = world.cursor;
    effects.pulses.push_back(pulse);
    pulse = {};
}
// Every call the keep-awake loop makes counts toward the bound on a run.
void LoopCall()
{
    if (++loopCalls == MaxLoopCalls) {
        EndPulse();
        throw KeepAwakeEnded{};
    }
}

// Each relative move the program sends, taken in or not, begins a pulse.
void BeginPulse()
{
    EndPulse();
    if (static_cast<int>(effects.pulses.size()) == world.pulsesBeforeEnd)
        throw KeepAwakeEnded{};
    pulseBegun = true;
}
}  // namespace

void ResetFake(const FakeWorld& scripted)
{
    world = scripted;
    effects = {};
    pulse = {};
    inputTick = 1000;
    extraInfo = 0xE0;
    perMonitorAware = movedAside = pulseBegun = false;
    pausesUntilLanding = pauses = loopCalls = 0;
}
const Effects& FakeEffects() { return effects; }

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    char style[16];
    std::snprintf(style, sizeof style, "%#x", type);
    effects.boxes.push_back(std::string(owner ? "owned " : "") + "'" + caption + "' " + style + " '" + text + "'");
    return type == (MB_OKCANCEL | MB_ICONINFORMATION) ? world.confirmationAnswer : IDOK;
}

LPARAM WINAPI GetMessageExtraInfo()
{
    LoopCall();
    return ++extraInfo;
}

UINT WINAPI SendInput(UINT count, INPUT* inputs, int size)
{
    LoopCall();
    const MOUSEINPUT& mi = inputs->mi;
    const bool absolute = mi.dwFlags & MOUSEEVENTF_ABSOLUTE;
    if (!absolute)
        BeginPulse();
    if (world.inputRefused)
        return 0;
    if (mi.dwFlags == (MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_VIRTUALDESK) ||
        mi.dwFlags == (MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE)) {
        pendingMove = mi;
        if ((pausesUntilLanding = world.pausesBeforeInputLands) == 0)
            MoveAbsolutely(mi);
    } else if (IsZeroMove(count, *inputs, size)) {
        ++pulse.zeroMoves;
        inputTick += world.zeroMoveCounts;
    } else {
        Misused("SendInput flags " + std::to_string(mi.dwFlags) + " dx " + std::to_string(mi.dx));
    }
    return count;
}

void WINAPI Sleep(DWORD milliseconds)
{
    LoopCall();
    if (pausesUntilLanding > 0 && --pausesUntilLanding == 0)
        MoveAbsolutely(pendingMove);
    if (movedAside && world.userMovesTo.x >= 0)
        world.cursor = world.userMovesTo;
    movedAside = false;
    (pulseBegun ? pulse.pauses : effects.pausesBeforeFirstPulse).push_back(milliseconds);
    ++pauses;
}

BOOL WINAPI IsSystemResumeAutomatic()
{
    LoopCall();
    return pauses < world.pausesResumedUnattended;
}

BOOL WINAPI GetLastInputInfo(LASTINPUTINFO* info)
{
    LoopCall();
    if (info->cbSize != sizeof *info)
        Misused("LASTINPUTINFO size");
    info->dwTime = inputTick;
    return TRUE;
}

BOOL WINAPI GetCursorPos(POINT* point)
{
    LoopCall();
    if (!world.cursorReadable)
        return FALSE;
    *point = Rescale(world.cursor, MonitorAt(world.cursor, false), true);
    return TRUE;
}

BOOL WINAPI SetCursorPos(int x, int y)
{
    LoopCall();
    world.cursor = Rescale({x, y}, MonitorAt({x, y}, true), false);
    return TRUE;
}

int WINAPI GetSystemMetrics(int index)
{
    LoopCall();
    if (index == SM_REMOTESESSION)
        return world.remoteSession;
    const RECT all = VirtualScreen(true);
    const int metrics[] = {all.left, all.top, all.right - all.left, all.bottom - all.top};
    return metrics[index - SM_XVIRTUALSCREEN];
}

HMONITOR WINAPI MonitorFromPoint(POINT point, DWORD)
{
    LoopCall();
    // Nearest, roughly: a point on no monitor gets the main one.
    return const_cast<FakeMonitor*>(&MonitorAt(point, true));
}

BOOL WINAPI GetMonitorInfoA(HMONITOR monitor, MONITORINFO* info)
{
    LoopCall();
    if (info->cbSize != sizeof *info)
        Misused("MONITORINFO size");
    if (!world.monitorReadable)
        return FALSE;
    info->rcMonitor = info->rcWork = Rect(*static_cast<const FakeMonitor*>(monitor), true);
    return TRUE;
}

BOOL WINAPI EnumProcesses(DWORD* processIds, DWORD size, DWORD* bytesWritten)
{
    if (world.enumerationFails)
        return FALSE;
    const std::size_t count = std::min<std::size_t>(world.processes.size(), size / sizeof(DWORD));
    for (std::size_t i = 0; i < count; ++i)
        processIds[i] = world.processes[i].id;
    *bytesWritten = static_cast<DWORD>(count * sizeof(DWORD));
    return TRUE;
}

HANDLE WINAPI OpenProcess(DWORD access, BOOL inherit, DWORD processId)
{
    effects.opened.push_back(processId);
    if (access != (PROCESS_TERMINATE | PROCESS_VM_READ | PROCESS_QUERY_INFORMATION) || inherit)
        Misused("OpenProcess access " + std::to_string(access) + " inherit " + std::to_string(inherit));
    const FakeProcess* process = Process(processId);
    if (!process || !process->opens)
        return nullptr;
    ++effects.openHandles;
    return HandleOf(processId);
}

BOOL WINAPI EnumProcessModules(HANDLE process, HMODULE* modules, DWORD, DWORD* bytesNeeded)
{
    if (!Process(IdOf(process))->imageName)
        return FALSE;
    *modules = reinterpret_cast<HMODULE>(process);
    *bytesNeeded = 3 * sizeof(HMODULE);  // a real process lists more modules than the one slot
    return TRUE;
}

// Images lie in a downloads folder whose 8.3 short name is the path's; only the file's own name
// may have a long form of its own.
constexpr char ShortFolder[] = "C:\\Users\\me\\DOWNLO~1\\", LongFolder[] = "C:\\Users\\me\\Downloads\\";

DWORD WINAPI GetModuleFileNameExA(HANDLE process, HMODULE, char* path, DWORD size)
{
    const std::string image = ShortFolder + std::string(Process(IdOf(process))->imageName);
    std::snprintf(path, size, "%s", image.c_str());
    return static_cast<DWORD>(std::min<std::size_t>(image.size(), size));
}

DWORD WINAPI GetLongPathNameA(LPCSTR shortPath, char* longPath, DWORD size)
{
    const auto named = std::find_if(world.processes.begin(), world.processes.end(), [&](const FakeProcess& p) {
        return p.imageName && ShortFolder + std::string(p.imageName) == shortPath;
    });
    if (named == world.processes.end())
        return 0;  // no such file
    const std::string path = LongFolder + std::string(named->longName ? named->longName : named->imageName);
    if (path.size() >= size)
        return static_cast<DWORD>(path.size() + 1);  // the room it needs
    std::memcpy(longPath, path.c_str(), path.size() + 1);
    return static_cast<DWORD>(path.size());
}

DWORD WINAPI GetModuleBaseNameA(HANDLE process, HMODULE, char* name, DWORD size)
{
    // Like the real call on a name that fills the buffer: truncated, with no terminator.
    const char* image = Process(IdOf(process))->imageName;
    const DWORD length = std::min<DWORD>(static_cast<DWORD>(std::strlen(image)), size);
    std::memcpy(name, image, length);
    if (length < size)
        name[length] = '\0';
    return length;
}

BOOL WINAPI TerminateProcess(HANDLE process, UINT exitCode)
{
    if (!Process(IdOf(process))->terminates)
        return FALSE;
    effects.stopped.push_back(std::to_string(IdOf(process)) + " " + std::to_string(exitCode));
    return TRUE;
}

BOOL WINAPI GetExitCodeProcess(HANDLE process, DWORD* exitCode)
{
    *exitCode = Process(IdOf(process))->exitCode;
    return TRUE;
}

BOOL WINAPI ProcessIdToSessionId(DWORD processId, DWORD* session)
{
    const FakeProcess* process = Process(processId);
    if (!process || process->session == UnreadableSession)
        return FALSE;
    *session = process->session;
    return TRUE;
}

BOOL WINAPI CloseHandle(HANDLE)
{
    --effects.openHandles;
    return TRUE;
}

DWORD WINAPI GetCurrentProcessId() { return world.ownId; }

HMODULE WINAPI GetModuleHandleA(LPCSTR) { return reinterpret_cast<HMODULE>(0x7FF0000); }

namespace {
BOOL WINAPI SetDefaultDllDirectories(DWORD flags)
{
    effects.dllSearch = flags;
    return TRUE;
}
HANDLE WINAPI SetThreadDpiAwarenessContext(HANDLE context)
{
    if (reinterpret_cast<INT_PTR>(context) != -3 || world.physicalPixelsRefused)  // -3: the only context this fake knows
        return nullptr;
    perMonitorAware = true;
    return reinterpret_cast<HANDLE>(INT_PTR{-2});  // the system-aware context the manifest gave
}
BOOL WINAPI LogicalToPhysicalPointForPerMonitorDPI(HWND, POINT*) { return FALSE; }
template <typename Call> FARPROC AsFarProc(Call* call)
{
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(call));
}
}  // namespace

FARPROC WINAPI GetProcAddress(HMODULE, LPCSTR name)
{
    const std::string call = name;
    if (call == "SetDefaultDllDirectories" && world.system != FakeSystem::Vista)
        return AsFarProc(SetDefaultDllDirectories);
    if (call == "LogicalToPhysicalPointForPerMonitorDPI" && world.system != FakeSystem::Vista)
        return AsFarProc(LogicalToPhysicalPointForPerMonitorDPI);
    if (call == "SetThreadDpiAwarenessContext" && world.system == FakeSystem::Windows10)
        return AsFarProc(SetThreadDpiAwarenessContext);
    return nullptr;
}

// The heap is real memory, counted so that a test sees every block given back.
HANDLE WINAPI GetProcessHeap() { return reinterpret_cast<HANDLE>(0x4EA9); }

void* WINAPI HeapAlloc(HANDLE, DWORD, SIZE_T bytes)
{
    if (bytes > world.heapLimit)
        return nullptr;
    ++effects.heapBlocks;
    return std::malloc(bytes);
}

BOOL WINAPI HeapFree(HANDLE, DWORD, void* memory)
{
    --effects.heapBlocks;
    std::free(memory);
    return TRUE;
}
