// Before any test, says where the suite runs and whether a zero move gets through there at all,
// so that a first run on an unknown Windows already tells what to fix.
#include "ZeroMoves.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {
std::string probe = "not made";

template <typename Call> Call* SystemCall(const char* dll, const char* name)
{
    return reinterpret_cast<Call*>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA(dll), name)));
}

// The Wine this runs under, as its ntdll says, or "" on Windows.
std::string WineVersion()
{
    auto* get = SystemCall<const char* CDECL()>("ntdll.dll", "wine_get_version");
    return get ? get() : "";
}

// Upstream Wine drops moves of zero distance before hooks and the idle tick from 10.1 on.
bool WineDropsZeroMoves()
{
    int major = 0, minor = 0;
    return std::sscanf(WineVersion().c_str(), "%d.%d", &major, &minor) == 2 &&
           (major > 10 || (major == 10 && minor >= 1));
}

std::string WindowsVersion()
{
    // RtlGetVersion, unlike GetVersionEx, is not capped at the newest system the manifest names.
    OSVERSIONINFOEXW version{};
    version.dwOSVersionInfoSize = sizeof version;
    if (auto* get = SystemCall<LONG WINAPI(OSVERSIONINFOEXW*)>("ntdll.dll", "RtlGetVersion"))
        get(&version);
    char product[128] = "Windows";
    DWORD size = sizeof product;
    RegGetValueA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", "ProductName",
                 RRF_RT_REG_SZ, nullptr, product, &size);
    return std::string(product) + " " + std::to_string(version.dwMajorVersion) + "." +
           std::to_string(version.dwMinorVersion) + " build " + std::to_string(version.dwBuildNumber) +
           (version.wProductType == VER_NT_WORKSTATION ? " (workstation)" : " (server)");
}

std::string Machine()
{
    USHORT process = 0, native = 0;
    auto* isWow64Process2 = SystemCall<BOOL WINAPI(HANDLE, USHORT*, USHORT*)>("kernel32.dll", "IsWow64Process2");
    if (!isWow64Process2 || !isWow64Process2(GetCurrentProcess(), &process, &native))
        return "machine not known (no IsWow64Process2)";
    // x64 on Arm64 is emulation, not WOW64: only the native machine tells.
    switch (native) {
    case IMAGE_FILE_MACHINE_AMD64: return "machine x64, this x64 process native";
    case IMAGE_FILE_MACHINE_ARM64: return "machine Arm64, this x64 process emulated";
    default: return "machine " + std::to_string(native) + ", this x64 process emulated";
    }
}

std::string Session()
{
    DWORD session = 0;
    ProcessIdToSessionId(GetCurrentProcessId(), &session);
    std::string line = "session " + std::to_string(session) + ", ";
    // Input goes to the input desktop; a service session or a locked screen cannot open it.
    if (HDESK desktop = OpenInputDesktop(0, FALSE, DESKTOP_READOBJECTS)) {
        CloseDesktop(desktop);
        return line + "the input desktop opens";
    }
    return line + "the input desktop cannot be opened (error " + std::to_string(GetLastError()) + ")";
}

std::string MakeProbe()
{
    const ZeroMoveWatch watch;
    const DWORD tick = InputTickOnceSettled();
    SetLastError(0);
    const UINT sent = SendZeroMove();
    std::string result = sent == 1 ? "SendInput accepted it"
                                   : "SendInput refused it (error " + std::to_string(GetLastError()) + ")";
    result += watch.WaitForMove(0, 2000) ? "; the low-level hook saw it" : "; the low-level hook did not see it";
    result += WaitForInputAfter(tick, 1000) ? "; the idle tick moved" : "; the idle tick did not move";
    if (WineDropsZeroMoves())
        result += " (Wine " + WineVersion() + " drops moves of zero distance: test under Wine 10.0 or older)";
    return result;
}

class PlatformReport : public testing::Environment {
    void SetUp() override
    {
        const std::string wine = WineVersion();
        std::printf("Platform: %s%s; %s; %s\n", wine.empty() ? "" : ("Wine " + wine + " as ").c_str(),
                    WindowsVersion().c_str(), Machine().c_str(), Session().c_str());
        probe = MakeProbe();
        std::printf("The suite's own zero move: %s\n", probe.c_str());
        std::fflush(stdout);
    }
};
const auto* const platformReported = testing::AddGlobalTestEnvironment(new PlatformReport);
}  // namespace

const std::string& ZeroMoveProbe() { return probe; }
