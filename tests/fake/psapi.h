// Stand-in for <psapi.h>: the process-status calls the instance scan makes.
#pragma once

#include <windows.h>

BOOL WINAPI EnumProcesses(DWORD* processIds, DWORD size, DWORD* bytesWritten);
BOOL WINAPI EnumProcessModules(HANDLE process, HMODULE* modules, DWORD size, DWORD* bytesNeeded);
DWORD WINAPI GetModuleBaseNameA(HANDLE process, HMODULE module, char* name, DWORD size);
DWORD WINAPI GetModuleFileNameExA(HANDLE process, HMODULE module, char* path, DWORD size);
