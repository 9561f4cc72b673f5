// A DLL to plant beside the exe under names Windows might look for there. It says when it was
// loaded and does nothing else: DllMain appends the loading process's path to a marker file
// named after the DLL itself ("uxtheme.dll.loaded"), beside it.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, void*)
{
    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;
    wchar_t marker[MAX_PATH + 8] = {};
    char process[MAX_PATH + 1] = {};  // room for the line feed after a path that fills MAX_PATH
    const DWORD length = GetModuleFileNameW(self, marker, MAX_PATH);
    lstrcatW(marker + length, L".loaded");
    const DWORD processLength = GetModuleFileNameA(nullptr, process, MAX_PATH);
    process[processLength] = '\n';
    const HANDLE file = CreateFileW(marker, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(file, process, processLength + 1, &written, nullptr);
        CloseHandle(file);
    }
    return TRUE;
}
