// Finds another running instance by its executable's name and terminates it.
#include "VigilantMouse.h"

#include <psapi.h>
#include <string.h>

// The first module a process lists is its executable image.
static bool ImageNameStartsWithProgramName(HANDLE process)
{
    char name[MAX_PATH] = {};
    memcpy(name, UnknownName, sizeof UnknownName);

    HMODULE image;
    DWORD bytesNeeded;
    // One slot is enough: only the first module is wanted, so "too small" is not a failure.
    if (EnumProcessModules(process, &image, sizeof image, &bytesNeeded))
        GetModuleBaseNameA(process, image, name, sizeof name);

    // A prefix test: whatever follows the name (".exe", a digit, a copy marker) still matches.
    return strncmp(name, ProgramName, ProgramNameLength) == 0;
}

static bool StopInstance(HANDLE process)
{
    if (TerminateProcess(process, StoppedInstanceExitCode))
        return true;
    // Termination is refused to a process that is already ending: that one counts as stopped.
    DWORD exitCode;
    return GetExitCodeProcess(process, &exitCode) && exitCode != STILL_ACTIVE;
}

ScanOutcome StopOtherInstance()
{
    DWORD processIds[ProcessIdCapacity];
    DWORD bytesWritten;
    if (!EnumProcesses(processIds, sizeof processIds, &bytesWritten))
        return ScanOutcome::EnumerationFailed;

    bool unstoppableInstanceFound = false;
    const DWORD processCount = bytesWritten / sizeof processIds[0];
    for (DWORD i = 0; i < processCount; ++i) {
        const DWORD processId = processIds[i];
        if (processId == 0)  // the System Idle Process: nothing to open
            continue;

        // No inheritance: the handle never outlives this visit.
        HANDLE process = OpenProcess(InstanceAccess, FALSE, processId);
        if (!process)  // another user's, protected, elevated, or already gone
            continue;

        bool stopped = false;
        // The own id is asked only after a name match: the scan always meets itself.
        if (ImageNameStartsWithProgramName(process) && processId != GetCurrentProcessId()) {
            stopped = StopInstance(process);
            unstoppableInstanceFound |= !stopped;
        }
        CloseHandle(process);
        if (stopped)  // the first other instance in list order is the only one stopped
            return ScanOutcome::Stopped;
    }
    return unstoppableInstanceFound ? ScanOutcome::StopFailed : ScanOutcome::NoneFound;
}
