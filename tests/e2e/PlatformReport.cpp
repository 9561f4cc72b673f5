// Before any test, says where the suite runs and whether a zero move gets through there at all,
// so that a first run on an unknown Windows already tells what to fix.
#include "Desktop.h"
#include "ZeroMoves.h"

#include <bcrypt.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {
std::string probe = "not made";
bool zeroMoveCounts = true;

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
    // The program pauses while the PC woke by itself and nobody has used its own keyboard or
    // mouse since, except in a Remote Desktop session: a pulse test that fails here asks why.
    std::string line = "session " + std::to_string(session) +
                       (GetSystemMetrics(SM_REMOTESESSION) ? " (Remote Desktop)" : " (console)") +
                       (IsSystemResumeAutomatic() ? ", resumed automatically with no user since, " : ", ");
    // Input goes to the input desktop; a service session or a locked screen cannot open it.
    if (HDESK desktop = OpenInputDesktop(0, FALSE, DESKTOP_READOBJECTS)) {
        CloseDesktop(desktop);
        return line + "the input desktop opens";
    }
    return line + "the input desktop cannot be opened (error " + std::to_string(GetLastError()) + ")";
}

// Each monitor's rectangle in physical pixels, and its scaling as the system reports it.
std::string Monitors()
{
    std::string list;
    EnumDisplayMonitors(
        nullptr, nullptr,
        [](HMONITOR, HDC, RECT* r, LPARAM param) -> BOOL {
            auto& text = *reinterpret_cast<std::string*>(param);
            text += (text.empty() ? "" : ", ") + std::to_string(r->right - r->left) + "x" +
                    std::to_string(r->bottom - r->top) + " at " + std::to_string(r->left) + "," +
                    std::to_string(r->top);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&list));
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    return "monitors " + list + "; system DPI " + std::to_string(dpi);
}

// The SHA-256 of a file in hex, or "" when it cannot be read.
std::string Sha256OfFile(const std::string& path)
{
    const std::string bytes = FileBytes(path);
    if (bytes.empty())
        return "";
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    UCHAR digest[32] = {};
    std::string hex;
    if (BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) == 0 &&
        BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0) == 0 &&
        BCryptHashData(hash, reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data())),
                       static_cast<ULONG>(bytes.size()), 0) == 0 &&
        BCryptFinishHash(hash, digest, sizeof digest, 0) == 0)
        for (const UCHAR byte : digest)
            hex += "0123456789abcdef"[byte >> 4], hex += "0123456789abcdef"[byte & 15];
    if (hash)
        BCryptDestroyHash(hash);
    if (algorithm)
        BCryptCloseAlgorithmProvider(algorithm, 0);
    return hex;
}

std::string MakeProbe()
{
    const ZeroMoveWatch watch;
    const DWORD tick = InputTickOnceSettled();
    POINT pointer{};
    GetCursorPos(&pointer);
    SetLastError(0);
    const UINT sent = SendZeroMove();
    std::string result = sent == 1 ? "SendInput accepted it"
                                   : "SendInput refused it (error " + std::to_string(GetLastError()) + ")";
    const std::vector<ZeroMoveWatch::Move> moves = watch.WaitForMoves(2000);
    result += moves.empty()            ? "; the low-level hook did not see it"
              : moves.front().atPointer ? "; the low-level hook saw it at the pointer"
                                        : "; the low-level hook saw it at " + At(moves.front().at) +
                                              ", not at the pointer's " + At(pointer);
    zeroMoveCounts = WaitForInputAfter(tick, 1000) != 0;
    result += zeroMoveCounts
                  ? "; the idle tick moved: a zero move alone counts as input here"
                  : "; the idle tick did not move: a zero move alone does not count here, so the program "
                    "follows each with a move one pixel aside";
    if (WineDropsZeroMoves())
        result += " (Wine " + WineVersion() + " drops moves of zero distance)";
    return result;
}

// With VIGILANTMOUSE_STAND_IN=drops-zero-moves, the whole suite runs beside zero-move-dropper.exe,
// as on a platform that drops zero moves itself; it is ended with the suite.
class ZeroMoveDropper {
public:
    bool Asked() const
    {
        char value[32] = {};
        return GetEnvironmentVariableA("VIGILANTMOUSE_STAND_IN", value, sizeof value) &&
               std::string(value) == "drops-zero-moves";
    }
    // Whether it is hooked in, within 15 s of its start.
    bool Start()
    {
        const std::string event = "VigilantMouse-tests-dropper-" + std::to_string(GetCurrentProcessId());
        const HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, event.c_str());
        dropper = StartProcess(TestsFolder() + "zero-move-dropper.exe", event);
        const bool hooked = dropper.handle && WaitForSingleObject(ready, 15000) == WAIT_OBJECT_0;
        CloseHandle(ready);
        return hooked;
    }
    ~ZeroMoveDropper()
    {
        if (dropper.handle) {
            TerminateProcess(dropper.handle, 0);
            CloseHandle(dropper.handle);
        }
    }

private:
    Process dropper{nullptr, 0};
};

class PlatformReport : public testing::Environment {
    ZeroMoveDropper dropper;
    void SetUp() override
    {
        const std::string wine = WineVersion(), dpi = SuiteDpiAwareness();
        std::printf("Platform: %s%s; %s; %s; %s; %s\n", wine.empty() ? "" : ("Wine " + wine + " as ").c_str(),
                    WindowsVersion().c_str(), Machine().c_str(), Session().c_str(), dpi.c_str(),
                    Monitors().c_str());
        const std::string exe = ExeUnderTest(), sha256 = Sha256OfFile(exe);
        const bool named = !PathFromEnvironment("VIGILANTMOUSE_EXE").empty();
        // Testing another exe than the one asked for would prove nothing: stop before any test.
        ASSERT_FALSE(sha256.empty())
            << "cannot read the exe under test, " << exe.substr(0, 300)
            << (named ? " (VIGILANTMOUSE_EXE names it: set it to the full path of a readable exe, "
                        "or unset it to test the VigilantMouse.exe beside the tests)"
                      : " (put VigilantMouse.exe beside the tests, or set VIGILANTMOUSE_EXE to its full path)");
        std::printf("Exe under test: %s (%s), SHA-256 %s\n", exe.c_str(),
                    named ? "named by VIGILANTMOUSE_EXE" : "beside the tests", sha256.c_str());
        // In results.xml too, which is what a hosted run keeps.
        testing::Test::RecordProperty("exe_under_test", exe);
        testing::Test::RecordProperty("exe_sha256", sha256);
        if (dropper.Asked()) {
            ASSERT_TRUE(dropper.Start()) << "zero-move-dropper.exe, beside the tests, did not start and hook in";
            std::printf("Stand-in: zero-move-dropper.exe drops every injected move onto the pointer's own pixel\n");
        }
        probe = MakeProbe();
        std::printf("The suite's own zero move: %s\n", probe.c_str());
        std::fflush(stdout);
        // A stand-in that never engaged would pass the suite without showing anything.
        ASSERT_FALSE(dropper.Asked() && zeroMoveCounts) << "the zero move counted beside zero-move-dropper.exe";
    }
};
const auto* const platformReported = testing::AddGlobalTestEnvironment(new PlatformReport);
}  // namespace

const std::string& ZeroMoveProbe() { return probe; }
bool ZeroMoveCountsHere() { return zeroMoveCounts; }
