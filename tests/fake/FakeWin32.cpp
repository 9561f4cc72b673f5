#include "FakeWin32.h"

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {
FakeWorld world;
std::vector<std::string> trace;
int openHandles;
int sleeps;
LPARAM extraInfo;

// Handles and module handles name the process they belong to, so the trace can show them.
HANDLE HandleOf(DWORD id) { return reinterpret_cast<HANDLE>(std::uintptr_t{0x10000} + id); }
DWORD IdOf(HANDLE handle) { return static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(handle) - 0x10000); }
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
    openHandles = sleeps = 0;
    extraInfo = 0xE0;
}
const std::vector<std::string>& FakeTrace() { return trace; }
int OpenHandleCount() { return openHandles; }

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
    return count;
}

void WINAPI Sleep(DWORD milliseconds)
{
    Record("Sleep %u", milliseconds);
    if (++sleeps == world.pulsesBeforeEnd)
        throw KeepAwakeEnded{};
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
