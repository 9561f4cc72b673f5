// Stand-in for <windows.h> in the host unit tests: exactly what the program uses, with the
// real values and record layouts, backed by the scripted fake in FakeWin32.cpp.
#pragma once

#include <cstddef>
#include <cstdint>

#define WINAPI
#define FALSE 0
#define TRUE 1
#define MAX_PATH 260

using BOOL = int;
using UINT = unsigned int;
using LONG = std::int32_t;
using DWORD = std::uint32_t;
using ULONG_PTR = std::uintptr_t;
using INT_PTR = std::intptr_t;
using LPARAM = std::intptr_t;
using HANDLE = void*;
using HMODULE = void*;
using HWND = void*;
using HMONITOR = void*;
using LPCSTR = const char*;
using SIZE_T = std::size_t;
using FARPROC = std::intptr_t(WINAPI*)();

constexpr UINT MB_OK = 0x0, MB_OKCANCEL = 0x1, MB_ICONWARNING = 0x30, MB_ICONINFORMATION = 0x40;
constexpr int IDOK = 1, IDCANCEL = 2;
constexpr DWORD PROCESS_TERMINATE = 0x0001, PROCESS_VM_READ = 0x0010,
                PROCESS_QUERY_INFORMATION = 0x0400, STILL_ACTIVE = 259;
constexpr DWORD LOAD_LIBRARY_SEARCH_SYSTEM32 = 0x800;
constexpr DWORD INPUT_MOUSE = 0, MOUSEEVENTF_MOVE = 0x0001, MOUSEEVENTF_VIRTUALDESK = 0x4000,
                MOUSEEVENTF_ABSOLUTE = 0x8000;
constexpr DWORD MONITOR_DEFAULTTONEAREST = 2;
constexpr int SM_XVIRTUALSCREEN = 76, SM_YVIRTUALSCREEN = 77, SM_CXVIRTUALSCREEN = 78,
              SM_CYVIRTUALSCREEN = 79, SM_REMOTESESSION = 0x1000;

struct POINT {
    LONG x, y;
};
struct RECT {
    LONG left, top, right, bottom;
};
struct MONITORINFO {
    DWORD cbSize;
    RECT rcMonitor, rcWork;
    DWORD dwFlags;
};
struct LASTINPUTINFO {
    UINT cbSize;
    DWORD dwTime;
};

struct MOUSEINPUT {
    LONG dx, dy;
    DWORD mouseData, dwFlags, time;
    ULONG_PTR dwExtraInfo;
};
// The keyboard and hardware records of the real union are smaller than the mouse record.
struct INPUT {
    DWORD type;
    union { MOUSEINPUT mi; };
};
static_assert(sizeof(INPUT) == 40, "the 64-bit platform's INPUT record");

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
UINT WINAPI SendInput(UINT count, INPUT* inputs, int size);
LPARAM WINAPI GetMessageExtraInfo();
void WINAPI Sleep(DWORD milliseconds);
BOOL WINAPI GetLastInputInfo(LASTINPUTINFO* info);
BOOL WINAPI IsSystemResumeAutomatic();
BOOL WINAPI GetCursorPos(POINT* point);
BOOL WINAPI SetCursorPos(int x, int y);
int WINAPI GetSystemMetrics(int index);
HMONITOR WINAPI MonitorFromPoint(POINT point, DWORD flags);
BOOL WINAPI GetMonitorInfoA(HMONITOR monitor, MONITORINFO* info);
HANDLE WINAPI OpenProcess(DWORD access, BOOL inherit, DWORD processId);
BOOL WINAPI TerminateProcess(HANDLE process, UINT exitCode);
BOOL WINAPI GetExitCodeProcess(HANDLE process, DWORD* exitCode);
BOOL WINAPI ProcessIdToSessionId(DWORD processId, DWORD* session);
BOOL WINAPI CloseHandle(HANDLE object);
DWORD WINAPI GetCurrentProcessId();
DWORD WINAPI GetLongPathNameA(LPCSTR shortPath, char* longPath, DWORD size);
HMODULE WINAPI GetModuleHandleA(LPCSTR name);
FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name);
HANDLE WINAPI GetProcessHeap();
void* WINAPI HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes);
BOOL WINAPI HeapFree(HANDLE heap, DWORD flags, void* memory);
