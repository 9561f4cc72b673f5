#include "FakeWin32.h"

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
FakeWorld world;
std::vector<std::string> trace;
int openHandles;
int heapBlocks;
int pulses;
bool movedAside;
DWORD inputTick;
LPARAM extraInfo;

// Handles and module handles name the process they belong to, so the trace can show them.
HANDLE HandleOf(DWORD id) { return reinterpret_cast<HANDLE>(std::uintptr_t{0x10000} + id); }
DWORD IdOf(HANDLE handle) { return static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(handle) - 0x10000); }
bool Contains(const RECT& r, POINT p) { return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom; }
const FakeProcess& ProcessOf(HANDLE handle)
{
    return *std::find_if(world.processes.begin(), world.processes.end(),
                         [&](const FakeProcess& p) { return p.id == IdOf(handle); });
}

template <typename... Args> void Record(const char* format, Args... args)
{
    char line[512];
    std::snprintf(line, sizeof line, format, args...);
    trace.emplace_back(line);
}
}  // namespace

void ResetFake(const FakeWorld& scripted)
{
    world = scripted;
    trace.clear();
    openHandles = heapBlocks = pulses = 0;
    movedAside = false;
    inputTick = 1000;
    extraInfo = 0xE0;
}
const std::vector<std::string>& FakeTrace() { return trace; }
int OpenHandleCount() { return openHandles; }
int HeapBlockCount() { return heapBlocks; }

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    Record("MessageBoxA %#zx '%s' %#x '%s'", reinterpret_cast<std::uintptr_t>(owner), caption, type, text);
    return type == (MB_OKCANCEL | MB_ICONINFORMATION) ? world.confirmationAnswer : IDOK;
}

LPARAM WINAPI GetMessageExtraInfo()
{
    Record("GetMessageExtraInfo");
    return ++extraInfo;
}

UINT WINAPI SendInput(UINT count, INPUT* inputs, int size)
{
    const MOUSEINPUT& mi = inputs->mi;
    Record("SendInput %u {type %u dx %d dy %d data %u flags %#x time %u extra %#zx} %d", count,
           inputs->type, mi.dx, mi.dy, mi.mouseData, mi.dwFlags, mi.time, mi.dwExtraInfo, size);
    if (world.inputRefused)
        return 0;
    if (mi.dwFlags & MOUSEEVENTF_ABSOLUTE) {
        // Where Windows puts an absolute move on the virtual screen: each of the 65536 steps
        // is 1/65536 of its width.
        const auto [left, top, width, height] = world.screen;
        const std::int64_t half = world.absoluteRoundsHalfUp ? 32768 : 0;
        const POINT to{left + static_cast<LONG>((std::int64_t{mi.dx} * width + half) / 65536),
                       top + static_cast<LONG>((std::int64_t{mi.dy} * height + half) / 65536)};
        const POINT from = world.cursor;
        if (std::any_of(world.monitors.begin(), world.monitors.end(),
                        [&](const RECT& m) { return Contains(m, to); }))
            world.cursor = to;
        Record("  moved to %d,%d", world.cursor.x, world.cursor.y);
        movedAside = true;
        inputTick += from.x != world.cursor.x || from.y != world.cursor.y;
    } else {
        inputTick += mi.dx != 0 || mi.dy != 0 || world.zeroMoveCounts;
    }
    return count;
}

void WINAPI Sleep(DWORD milliseconds)
{
    Record("Sleep %u", milliseconds);
    if (movedAside && world.userMovesTo.x >= 0)
        world.cursor = world.userMovesTo;
    movedAside = false;
    if (milliseconds == 20000 /* the pause after a pulse */ && ++pulses == world.pulsesBeforeEnd)
        throw KeepAwakeEnded{};
}

BOOL WINAPI GetLastInputInfo(LASTINPUTINFO* info)
{
    Record("GetLastInputInfo %u", info->cbSize);
    info->dwTime = inputTick;
    return TRUE;
}

BOOL WINAPI GetCursorPos(POINT* point)
{
    Record("GetCursorPos");
    *point = world.cursor;
    return TRUE;
}

BOOL WINAPI SetCursorPos(int x, int y)
{
    Record("SetCursorPos %d,%d", x, y);
    world.cursor = {x, y};
    return TRUE;
}

int WINAPI GetSystemMetrics(int index)
{
    Record("GetSystemMetrics %d", index);
    return world.screen[index - SM_XVIRTUALSCREEN];
}

HMONITOR WINAPI MonitorFromPoint(POINT point, DWORD flags)
{
    Record("MonitorFromPoint %d,%d %u", point.x, point.y, flags);
    const auto found = std::find_if(world.monitors.begin(), world.monitors.end(),
                                    [&](const RECT& m) { return Contains(m, point); });
    // Nearest, roughly: a point on no monitor gets the first.
    return &(found == world.monitors.end() ? world.monitors.front() : *found);
}

BOOL WINAPI GetMonitorInfoA(HMONITOR monitor, MONITORINFO* info)
{
    const RECT& m = *static_cast<const RECT*>(monitor);
    Record("GetMonitorInfoA %d,%d-%d,%d %u", m.left, m.top, m.right, m.bottom, info->cbSize);
    info->rcMonitor = info->rcWork = m;
    return TRUE;
}

BOOL WINAPI EnumProcesses(DWORD* processIds, DWORD size, DWORD* bytesWritten)
{
    Record("EnumProcesses %u", size);
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
    Record("OpenProcess %#x %d %u", access, inherit, processId);
    const auto process = std::find_if(world.processes.begin(), world.processes.end(),
                                      [&](const FakeProcess& p) { return p.id == processId; });
    if (process == world.processes.end() || !process->opens)
        return nullptr;
    ++openHandles;
    return HandleOf(processId);
}

BOOL WINAPI EnumProcessModules(HANDLE process, HMODULE* modules, DWORD size, DWORD* bytesNeeded)
{
    Record("EnumProcessModules h%u %u", IdOf(process), size);
    if (!ProcessOf(process).imageName)
        return FALSE;
    *modules = reinterpret_cast<HMODULE>(process);
    *bytesNeeded = 3 * sizeof(HMODULE);  // a real process lists more modules than the one slot
    return TRUE;
}

DWORD WINAPI GetModuleBaseNameA(HANDLE process, HMODULE module, char* name, DWORD size)
{
    Record("GetModuleBaseNameA h%u m%u %u", IdOf(process), IdOf(module), size);
    // Like the real call on a name that fills the buffer: truncated, with no terminator.
    const char* image = ProcessOf(process).imageName;
    const DWORD length = std::min<DWORD>(static_cast<DWORD>(std::strlen(image)), size);
    std::memcpy(name, image, length);
    if (length < size)
        name[length] = '\0';
    return length;
}

BOOL WINAPI TerminateProcess(HANDLE process, UINT exitCode)
{
    Record("TerminateProcess h%u %u", IdOf(process), exitCode);
    return ProcessOf(process).terminates;
}

BOOL WINAPI GetExitCodeProcess(HANDLE process, DWORD* exitCode)
{
    Record("GetExitCodeProcess h%u", IdOf(process));
    *exitCode = ProcessOf(process).exitCode;
    return TRUE;
}

BOOL WINAPI CloseHandle(HANDLE object)
{
    Record("CloseHandle h%u", IdOf(object));
    --openHandles;
    return TRUE;
}

DWORD WINAPI GetCurrentProcessId()
{
    Record("GetCurrentProcessId");
    return world.ownId;
}

HMODULE WINAPI GetModuleHandleA(LPCSTR name)
{
    Record("GetModuleHandleA %s", name);
    return reinterpret_cast<HMODULE>(0x7FF0000);
}

namespace {
BOOL WINAPI SetDefaultDllDirectories(DWORD flags)
{
    Record("SetDefaultDllDirectories %#x", flags);
    return TRUE;
}
HANDLE WINAPI SetThreadDpiAwarenessContext(HANDLE context)
{
    Record("SetThreadDpiAwarenessContext %td", reinterpret_cast<INT_PTR>(context));
    return reinterpret_cast<HANDLE>(INT_PTR{-2});  // the system-aware context the manifest gave
}
template <typename Call> FARPROC AsFarProc(Call* call)
{
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(call));
}
}  // namespace

FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name)
{
    Record("GetProcAddress %#zx %s", reinterpret_cast<std::uintptr_t>(module), name);
    if (world.setDefaultDllDirectoriesExists && std::strcmp(name, "SetDefaultDllDirectories") == 0)
        return AsFarProc(SetDefaultDllDirectories);
    if (world.setThreadDpiAwarenessContextExists && std::strcmp(name, "SetThreadDpiAwarenessContext") == 0)
        return AsFarProc(SetThreadDpiAwarenessContext);
    return nullptr;
}

// The heap is real memory, counted so that a test sees every block given back; only the sizes
// asked for go into the trace.
HANDLE WINAPI GetProcessHeap() { return reinterpret_cast<HANDLE>(0x4EA9); }

void* WINAPI HeapAlloc(HANDLE, DWORD flags, SIZE_T bytes)
{
    Record("HeapAlloc %#x %zu", flags, bytes);
    if (bytes > world.heapLimit)
        return nullptr;
    ++heapBlocks;
    return std::malloc(bytes);
}

BOOL WINAPI HeapFree(HANDLE, DWORD, void* memory)
{
    --heapBlocks;
    std::free(memory);
    return TRUE;
}
