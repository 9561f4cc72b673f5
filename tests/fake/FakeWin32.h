// The scripted world behind the fake Win32 layer, and what the program did to it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

constexpr DWORD UnreadableSession = 0xFFFFFFFF;

struct FakeProcess {
    DWORD id;
    const char* imageName;          // nullptr: its module list cannot be read
    bool opens = true;              // false: OpenProcess refuses it
    bool terminates = true;         // false: TerminateProcess refuses it
    DWORD exitCode = STILL_ACTIVE;  // what GetExitCodeProcess reports after a refusal
    DWORD session = 1;              // the sign-in session it runs in, as the program's own does;
                                    // UnreadableSession: ProcessIdToSessionId fails for it
    const char* longName = nullptr; // the file's long name, where imageName is its 8.3 short one
};

// A monitor in physical pixels, with its own scaling; the first is the main one, whose scaling
// the whole system goes by.
struct FakeMonitor {
    RECT pixels;
    int scalePercent = 100;
};

// Which Windows the world is: what it can be asked, and how it scales.
enum class FakeSystem {
    Vista,      // no SetDefaultDllDirectories; one DPI for every monitor
    Windows81,  // monitors scaled each on its own, and no thread call to see physical pixels
    Windows10,  // version 1607 or later: SetThreadDpiAwarenessContext
};

struct FakeWorld {
    std::vector<FakeProcess> processes = {};  // in the order EnumProcesses lists them
    DWORD ownId = 100;
    bool enumerationFails = false;
    FakeSystem system = FakeSystem::Windows10;
    std::size_t heapLimit = SIZE_MAX;  // HeapAlloc refuses a larger block, as when memory runs out
    int confirmationAnswer = IDOK;  // what the OK/Cancel box returns; the others return IDOK
    int pulsesBeforeEnd = 3;        // the send after this many pulses ends the endless loop
    int pausesResumedUnattended = 0;  // the PC woke by itself, and no user came for this many pauses
    bool remoteSession = false;     // true: a Remote Desktop session (SM_REMOTESESSION)
    bool physicalPixelsRefused = false;  // true: SetThreadDpiAwarenessContext fails
    bool zeroMoveCounts = true;     // false: a move of zero distance leaves the idle tick alone
    bool inputRefused = false;      // true: SendInput takes nothing, as on a locked session
    bool cursorReadable = true;     // false: GetCursorPos fails
    bool monitorReadable = true;    // false: GetMonitorInfoA fails
    POINT cursor{500, 300};         // in physical pixels
    std::vector<FakeMonitor> monitors{{{0, 0, 1024, 768}}};  // a move aimed off all of them goes nowhere
    bool absoluteRoundsHalfUp = false;  // how an absolute move finds its pixel; Wine truncates
    POINT userMovesTo{-1, -1};  // where the user puts the pointer while a move aside lands
    int pausesBeforeInputLands = 0;  // an absolute move lands only after this many Sleeps, as
                                     // behind another program's slow hook
};

// What one pulse, from its send up to the next, did to the world.
struct PulseEffects {
    int zeroMoves = 0;          // zero moves taken in, each a well-formed record
    std::vector<POINT> asides;  // where each absolute move put the pointer
    POINT pointer{};            // where the pointer stood when the next pulse came
    std::vector<DWORD> pauses;  // every pause, in milliseconds
};

struct Effects {
    std::vector<std::string> boxes;      // caption, style and text of each box shown
    std::vector<DWORD> opened;           // processes opened, in order
    std::vector<std::string> stopped;    // "id exit-code" of each process terminated
    std::vector<std::string> badInput;   // input the system would not take as the program means it
    std::vector<PulseEffects> pulses;
    std::vector<DWORD> pausesBeforeFirstPulse;
    DWORD dllSearch = 0;                 // the flags SetDefaultDllDirectories was given
    int openHandles = 0, heapBlocks = 0; // left open at the end
};

// Thrown by any call the keep-awake loop makes to end it, which never returns on its own.
struct KeepAwakeEnded {};

void ResetFake(const FakeWorld& world);
const Effects& FakeEffects();
