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
    int confirmationAnswer = IDOK;  // what the OK/Cancel box returns; the others return IDOK
    int pulsesBeforeEnd = 3;        // the Sleep after this many pulses ends the endless loop
};

// Thrown by Sleep to end the keep-awake loop, which never returns on its own.
struct KeepAwakeEnded {};

void ResetFake(const FakeWorld& world);
const std::vector<std::string>& FakeTrace();
int OpenHandleCount();
