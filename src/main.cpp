// The whole flow: help, toggle-off, or ask and then keep the desktop awake.
#include "VigilantMouse.h"

// A download folder may hold a planted DLL, and the exe's own folder comes first in the default
// search: from here on, a DLL loaded by name (uxtheme.dll for the themed boxes, by the system on
// this program's behalf) comes from System32 only. Vista and Windows 7 without update KB2533623
// lack the call.
static void LoadDllsFromSystem32Only()
{
    if (auto* setDefaultDllDirectories =
            SystemCall<BOOL WINAPI(DWORD)>("kernel32.dll", "SetDefaultDllDirectories"))
        setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

int main(int argc, char**)
{
    LoadDllsFromSystem32Only();

    // Any argument at all, an empty one too, only asks for help: no instance is touched.
    // argc, not argv[1], so that an empty argument vector is never read past its end.
    if (argc > 1) {
        MessageBoxA(nullptr, HelpText, HelpCaption, MB_OK | MB_ICONWARNING);
        return ExitFailure;
    }

    switch (StopOtherInstance()) {
    case ScanOutcome::EnumerationFailed:
    case ScanOutcome::StopFailed:  // never run beside an instance that could not be stopped
        return ExitFailure;
    case ScanOutcome::Stopped:
        // A second launch is the off switch: it does not start keeping awake itself.
        MessageBoxA(nullptr, ToggledOffText, ProgramName, MB_OK | MB_ICONINFORMATION);
        return ExitSuccess;
    case ScanOutcome::NoneFound:
        break;
    }

    // Only Cancel declines: a box that cannot be shown (0) counts as consent.
    if (MessageBoxA(nullptr, ConfirmationText, ProgramName, MB_OKCANCEL | MB_ICONINFORMATION)
        == IDCANCEL)
        return ExitSuccess;

    RunKeepAwakeLoop();
}
