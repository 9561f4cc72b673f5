// Finds another running instance by its executable's name and terminates it.
#include "VigilantMouse.h"

#include <psapi.h>
#include <string.h>  // memchr, memcpy, strlen, strrchr

static char AsciiLowercase(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// A process started through its 8.3 short name (VIGILA~1.EXE, from a batch file's %~s or an old
// launcher) is named by that; the long form of its image's path holds the name to compare. The
// name buffer gets that path's last part, or UnknownName where it cannot be read.
static void ReadLongImageName(HANDLE process, HMODULE image, char (&name)[MAX_PATH])
{
    char path[MAX_PATH] = {};
    char longPath[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameExA(process, image, path, sizeof path)
                             ? GetLongPathNameA(path, longPath, sizeof longPath)
                             : 0;
    const char* const separator = strrchr(longPath, '\\');
    const char* const longName = length == 0 || length >= sizeof longPath  // failed, or did not fit
                                     ? UnknownName
                                     : separator ? separator + 1 : longPath;
    memcpy(name, longName, strlen(longName) + 1);
}

// The first module a process lists is its executable image.
static bool ImageNameStartsWithProgramName(HANDLE process)
{
    char name[MAX_PATH] = {};
    memcpy(name, UnknownName, sizeof UnknownName);

    HMODULE image;
    DWORD bytesNeeded;
    // One slot is enough: only the first module is wanted, so "too small" is not a failure.
    if (EnumProcessModules(process, &image, sizeof image, &bytesNeeded)) {
        GetModuleBaseNameA(process, image, name, sizeof name);
        // Past the name lie only zeros and the placeholder's bytes, which hold no '~'; a name
        // that fills the buffer has no terminator to stop at.
        if (memchr(name, '~', sizeof name))
            ReadLongImageName(process, image, name);
    }

    // A prefix test: whatever follows the name (".exe", a digit, a copy marker) still matches.
    // The name keeps the letter case of the path the process was started by ("vigilantmouse"
    // typed in the Run box gives vigilantmouse.exe), so case is ignored: ASCII only, since the
    // user's code page must not decide which letters are alike.
    for (int i = 0; i < ProgramNameLength; ++i)
        if (AsciiLowercase(name[i]) != AsciiLowercase(ProgramName[i]))
            return false;
    return true;
}

// The list holds every sign-in session's processes, and the same user's copy in another session
// opens as well; but it keeps another desktop awake, whose idle time is its own. Only a copy in
// this session is this launch's to stop.
static bool InOwnSession(DWORD processId)
{
    DWORD ownSession, theirSession;
    return ProcessIdToSessionId(GetCurrentProcessId(), &ownSession) &&
           ProcessIdToSessionId(processId, &theirSession) && theirSession == ownSession;
}

static bool StopInstance(HANDLE process)
{
    if (TerminateProcess(process, StoppedInstanceExitCode))
        return true;
    // Termination is refused to a process that is already ending: that one counts as stopped.
    DWORD exitCode;
    return GetExitCodeProcess(process, &exitCode) && exitCode != STILL_ACTIVE;
}

// The whole process list, in a buffer from the process heap that the caller frees, or nullptr
// when it cannot be read. A busy terminal server runs thousands of processes, and a cut-off list
// could hide the running instance: the buffer doubles until the list fits.
static DWORD* ReadProcessIds(DWORD* processCount)
{
    HANDLE heap = GetProcessHeap();
    for (DWORD capacity = InitialProcessIdCapacity; capacity <= MaxProcessIdCapacity;
         capacity *= 2) {
        const DWORD size = capacity * sizeof(DWORD);
        auto* processIds = static_cast<DWORD*>(HeapAlloc(heap, 0, size));
        if (!processIds)
            return nullptr;
        DWORD bytesWritten;
        if (!EnumProcesses(processIds, size, &bytesWritten)) {
            HeapFree(heap, 0, processIds);
            return nullptr;
        }
        // A full buffer may have been too small: only a list with room to spare is whole.
        if (bytesWritten < size) {
            *processCount = bytesWritten / sizeof(DWORD);
            return processIds;
        }
        HeapFree(heap, 0, processIds);
    }
    return nullptr;
}

ScanOutcome StopOtherInstance()
{
    DWORD processCount;
    // Not a pointer to const: HeapFree, at the end, takes it as a plain pointer.
    // cppcheck-suppress constVariablePointer
    DWORD* const processIds = ReadProcessIds(&processCount);
    if (!processIds)
        return ScanOutcome::EnumerationFailed;

    ScanOutcome outcome = ScanOutcome::NoneFound;
    for (DWORD i = 0; i < processCount && outcome != ScanOutcome::Stopped; ++i) {
        const DWORD processId = processIds[i];
        if (processId == 0)  // the System Idle Process: nothing to open
            continue;

        // No inheritance: the handle never outlives this visit.
        HANDLE process = OpenProcess(InstanceAccess, FALSE, processId);
        if (!process)  // another user's, protected, elevated, or already gone
            continue;

        // The own id is asked only after a name match: the scan always meets itself.
        if (ImageNameStartsWithProgramName(process) && processId != GetCurrentProcessId() &&
            InOwnSession(processId))
            // The first other instance in list order is the only one stopped.
            outcome = StopInstance(process) ? ScanOutcome::Stopped : ScanOutcome::StopFailed;
        CloseHandle(process);
    }
    HeapFree(GetProcessHeap(), 0, processIds);
    return outcome;
}
