// ProgramName, the texts the user sees, and every constant the program relies on.
#pragma once

#include <windows.h>

// The literal form exists only so that the texts below can be spliced at compile time.
#define VIGILANTMOUSE_NAME "VigilantMouse"
// The help box's whole text, and the first paragraph of the confirmation box's.
#define VIGILANTMOUSE_HELP_PARAGRAPH                                                        \
    VIGILANTMOUSE_NAME " prevents the screensaver from locking the desktop.\n"              \
    "It inputs zero mouse movement every 20 seconds.\n"                                     \
    "\n"                                                                                    \
    "Note: the executable must not be renamed.\n"                                           \
    "\n"

// Instances recognise each other by this prefix of their executable's file name, in any letter
// case.
constexpr char ProgramName[] = VIGILANTMOUSE_NAME;
constexpr int ProgramNameLength = sizeof ProgramName - 1;

constexpr char HelpCaption[] = VIGILANTMOUSE_NAME " help";
constexpr char HelpText[] = VIGILANTMOUSE_HELP_PARAGRAPH;
constexpr char ToggledOffText[] = "Toggled off";
constexpr char ConfirmationText[] =
    VIGILANTMOUSE_HELP_PARAGRAPH
    "Press OK to run process " VIGILANTMOUSE_NAME " in the background\n"
    "or Cancel to not do this.\n"
    "\n"
    "The process will toggle off when " VIGILANTMOUSE_NAME " is run again.";

// Help, an unreadable process list and an instance that could not be stopped all mean
// that nothing was done; a script that passes arguments can tell.
constexpr int ExitSuccess = 0;
constexpr int ExitFailure = 1;

// The pause after each zero mouse move; the help text promises 20 seconds.
constexpr DWORD PulseIntervalMs = 20000;
// Injected input lands after SendInput returns, later still behind another program's low-level
// mouse hook: a pulse looks for it this often, for at most this long.
constexpr DWORD InputPollMs = 50;
constexpr DWORD InputLandingWaitMs = 1000;
// Absolute mouse coordinates divide each side of the screen into this many steps.
constexpr long long AbsoluteScale = 65536;
// DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE, which headers for Vista do not declare.
constexpr INT_PTR PerMonitorDpiAwareness = -3;

// The process list is first read into room for this many ids, and the room doubles while the list
// fills it, up to the bound: far more processes than any one machine runs.
constexpr DWORD InitialProcessIdCapacity = 1024;
constexpr DWORD MaxProcessIdCapacity = 1024 * 1024;
// Terminate to stop it, the other two to read its module list and name, its exit code and its
// session.
constexpr DWORD InstanceAccess = PROCESS_TERMINATE | PROCESS_VM_READ | PROCESS_QUERY_INFORMATION;
constexpr UINT StoppedInstanceExitCode = 0;
// Stands in the name buffer for a process whose name cannot be read; it never matches.
constexpr char UnknownName[] = "<unknown>";

enum class ScanOutcome {
    Stopped,            // another instance was terminated
    NoneFound,          // the list was read and no other instance was in it
    EnumerationFailed,  // the process list could not be read
    StopFailed,         // another instance was found but none could be stopped
};

ScanOutcome StopOtherInstance();
[[noreturn]] void RunKeepAwakeLoop();

// A call of a newer Windows, looked up at run time, or null where this one lacks it: importing it
// would keep the program from starting on the older systems it still runs on.
template <typename Call> Call* SystemCall(const char* dll, const char* name)
{
    // Through the generic function type, which any function pointer may be cast to and from.
    return reinterpret_cast<Call*>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA(dll), name)));
}
