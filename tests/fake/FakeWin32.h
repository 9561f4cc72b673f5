// The scripted world behind the fake Win32 layer, and the trace of every call the program makes.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct FakeProcess {
    DWORD id;
    const char* imageName;          // nullptr: its module list cannot be read
    bool opens = true;              // false: OpenProcess refuses it
    bool terminates = true;         // false: TerminateProcess refuses it
    DWORD exitCode = STILL_ACTIVE;  // what GetExitCodeProcess reports after a refusal
};

struct FakeWorld {
    std::vector<FakeProcess> processes;  // in the order EnumProcesses lists them
    DWORD ownId = 100;
    bool enumerationFails = false;
    bool setDefaultDllDirectoriesExists = true;  // false: Vista, or 7 without KB2533623
    bool setThreadDpiAwarenessContextExists = true;  // false: before Windows 10 version 1607
    std::size_t heapLimit = SIZE_MAX;  // HeapAlloc refuses a larger block, as when memory runs out
    int confirmationAnswer = IDOK;  // what the OK/Cancel box returns; the others return IDOK
    int pulsesBeforeEnd = 3;        // the Sleep after this many pulses ends the endless loop
    bool zeroMoveCounts = true;     // false: a move of zero distance leaves the idle tick alone
    bool inputRefused = false;      // true: SendInput takes nothing, as on a locked session
    POINT cursor{500, 300};
    int screen[4] = {0, 0, 1024, 768};  // the virtual screen: left, top, width, height
    std::vector<RECT> monitors{{0, 0, 1024, 768}};  // a move aimed off all of them goes nowhere
    bool absoluteRoundsHalfUp = false;  // how an absolute move finds its pixel; Wine truncates
    POINT userMovesTo{-1, -1};  // where the user puts the pointer while a move aside settles
};

// Thrown by Sleep to end the keep-awake loop, which never returns on its own.
struct KeepAwakeEnded {};

void ResetFake(const FakeWorld& world);
const std::vector<std::string>& FakeTrace();
int OpenHandleCount();
int HeapBlockCount();
