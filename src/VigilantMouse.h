// ProgramName, the texts the user sees, and every constant the program relies on.
#pragma once

#include <windows.h>

// The literal form exists only so that the texts below can be spliced at compile time.
#define VIGILANTMOUSE_NAME "VigilantMouse"

// Instances recognise each other by this prefix of their executable's file name, in any letter
// case.
constexpr char ProgramName[] = VIGILANTMOUSE_NAME;
constexpr int ProgramNameLength = sizeof ProgramName - 1;

constexpr char HelpCaption[] = VIGILANTMOUSE_NAME " help";
constexpr char HelpText[] =
    VIGILANTMOUSE_NAME " prevents the screensaver from locking the desktop.\n"
    "It inputs zero mouse movement every 20 seconds.\n"
    "\n"
    "Note: the executable must not be renamed.\n"
    "\n";
constexpr char ToggledOffText[] = "Toggled off";
constexpr char ConfirmationText[] =
    VIGILANTMOUSE_NAME " prevents the screensaver from locking the desktop.\n"
    "It inputs zero mouse movement every 20 seconds.\n"
    "\n"
    "Note: the executable must not be renamed.\n"
    "\n"
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
// How long a pulse gives the system to take an injected move in before the idle tick is read
// again, or the pointer put back: input is processed after SendInput returns.
constexpr DWORD InputSettleMs = 50;
// Absolute mouse coordinates divide each side of the screen into this many steps.
constexpr long long AbsoluteScale = 65536;
// DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE, which headers for Vista do not declare: a thread in this
// context sees and sets the pointer, monitors and screen in physical pixels.
constexpr INT_PTR PerMonitorDpiAwareness = -3;

// The process list is first read into room for this many ids, and the room doubles while the list
// fills it, up to the bound: far more processes than any one machine runs.
constexpr DWORD InitialProcessIdCapacity = 1024;
constexpr DWORD MaxProcessIdCapacity = 1024 * 1024;
// Terminate to stop it, the other two to read its module list and name, and its exit code.
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
