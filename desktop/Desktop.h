// Starting Windows programs under Wine and finding their message boxes: shared by the
// end-to-end tests and the footprint benchmark's driver.
#pragma once

#include <windows.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

// A call of the system's looked up at run time, or null where this Windows lacks it.
template <typename Call> Call* SystemCall(const char* dll, const char* name)
{
    return reinterpret_cast<Call*>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA(dll), name)));
}

// The Wine this runs under, as its ntdll says, or "" on Windows.
inline std::string WineVersion()
{
    auto* get = SystemCall<const char* CDECL()>("ntdll.dll", "wine_get_version");
    return get ? get() : "";
}

// A cross build hands over Linux paths, and Wine's drive Z: is the Linux root; a native build's
// paths only need their separators turned.
inline std::string WindowsPath(std::string path)
{
    const bool isLinuxPath = !path.empty() && path.front() == '/';
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return isLinuxPath ? "Z:" + path : path;
}

// The path an environment variable names, in either form, or "" when it is not set. It is read
// whole, however long, so that a path too long to open fails where it is used.
inline std::string PathFromEnvironment(const char* name)
{
    std::string path(32767, '\0');  // the longest value an environment variable can hold
    path.resize(GetEnvironmentVariableA(name, path.data(), static_cast<DWORD>(path.size())));
    return path.empty() ? "" : WindowsPath(path);
}

// The folder of the running test program, with its trailing backslash: where the bundle's other
// files lie.
inline std::string TestsFolder()
{
    char path[MAX_PATH] = {};
    const std::string self(path, GetModuleFileNameA(nullptr, path, sizeof path));
    return self.substr(0, self.find_last_of('\\') + 1);
}

// The exe under test: the one VIGILANTMOUSE_EXE names, or else VigilantMouse.exe beside the
// running program, so that the tests run from wherever they were unpacked.
inline std::string ExeUnderTest()
{
    if (std::string named = PathFromEnvironment("VIGILANTMOUSE_EXE"); !named.empty())
        return named;
    return TestsFolder() + "VigilantMouse.exe";
}

// A file's whole content, or "" when it cannot be read.
inline std::string FileBytes(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

struct Process {
    HANDLE handle;
    DWORD id;
};

// The process, or a null handle when it cannot be started; with a show state, as a shortcut set
// to "Run: Minimized" or a script's hidden start hands it on.
inline Process StartProcess(const std::string& exe, const std::string& arguments = "", int showState = -1)
{
    std::string commandLine = "\"" + exe + "\"" + (arguments.empty() ? "" : " " + arguments);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    if (showState >= 0) {
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = static_cast<WORD>(showState);
    }
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &info))
        return {nullptr, 0};
    CloseHandle(info.hThread);
    return {info.hProcess, info.dwProcessId};
}

// The exit code, or STILL_ACTIVE when the process has not ended within the wait.
inline DWORD ExitCode(const Process& process, DWORD waitMs)
{
    if (WaitForSingleObject(process.handle, waitMs) != WAIT_OBJECT_0)
        return STILL_ACTIVE;
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(process.handle, &code);
    return code;
}
inline bool IsRunning(const Process& process) { return ExitCode(process, 0) == STILL_ACTIVE; }

// The visible message boxes of one process, or with hiddenToo all of them.
inline std::vector<HWND> MessageBoxes(DWORD processId, bool hiddenToo = false)
{
    struct Search {
        DWORD processId;
        bool hiddenToo;
        std::vector<HWND> found;
    } search{processId, hiddenToo, {}};
    EnumWindows(
        [](HWND window, LPARAM param) -> BOOL {
            auto& s = *reinterpret_cast<Search*>(param);
            DWORD owner = 0;
            char className[16] = {};
            GetWindowThreadProcessId(window, &owner);
            GetClassNameA(window, className, sizeof className);
            if (owner == s.processId && (s.hiddenToo || IsWindowVisible(window)) &&
                std::string(className) == "#32770")
                s.found.push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The process's first message box as soon as it is visible, or null when none came in time or
// the process ended first.
inline HWND WaitForMessageBox(const Process& process, DWORD waitMs, bool hiddenToo = false)
{
    for (const DWORD start = GetTickCount(); GetTickCount() - start < waitMs; Sleep(1)) {
        if (const std::vector<HWND> boxes = MessageBoxes(process.id, hiddenToo); !boxes.empty())
            return boxes.front();
        if (!IsRunning(process))
            break;
    }
    return nullptr;
}
