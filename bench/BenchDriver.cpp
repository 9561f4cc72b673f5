// The Windows side of scripts/bench: times launches up to the first box, and starts and reads
// the processes whose CPU time and memory the Linux side measures.
//   latency PAIRS EXTRA PROGRAM FLOOR IDLE  median launch-to-box times, in alternating pairs,
//                                           with EXTRA idle processes running
//   start PROGRAM ok|wait                   starts it, waits for its box, presses OK or leaves it
//   handles PID                             the process's handle count
// Programs may be given by their Linux paths.
#include "Desktop.h"

#include <winternl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {
constexpr DWORD BoxTimeoutMs = 30000;

double Now()
{
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Milliseconds from CreateProcess to the box being visible; the box is then cancelled.
double LaunchToBox(const std::string& exe)
{
    const double start = Now();
    const Process process = StartProcess(exe);
    const HWND box = WaitForMessageBox(process, BoxTimeoutMs);
    const double elapsed = Now() - start;
    if (!box) {
        std::fprintf(stderr, "no box from %s\n", exe.c_str());
        std::exit(1);
    }
    PostMessageA(box, WM_COMMAND, IDCANCEL, 0);
    ExitCode(process, BoxTimeoutMs);
    CloseHandle(process.handle);
    Sleep(200);  // let the desktop settle before the next launch
    return elapsed;
}

double Median(std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

int Latency(int pairs, int extra, const std::string& program, const std::string& floor,
            const std::string& idle)
{
    std::vector<Process> idlers;
    for (int i = 0; i < extra; ++i)
        idlers.push_back(StartProcess(idle));
    Sleep(2000 + 50 * extra);  // every idler fully started before the first launch

    LaunchToBox(program);  // warm the caches once, uncounted
    LaunchToBox(floor);
    std::vector<double> programTimes, floorTimes;
    for (int pair = 0; pair < pairs; ++pair) {
        // Alternate which goes first, so that drift favours neither.
        if (pair % 2 == 0) {
            programTimes.push_back(LaunchToBox(program));
            floorTimes.push_back(LaunchToBox(floor));
        } else {
            floorTimes.push_back(LaunchToBox(floor));
            programTimes.push_back(LaunchToBox(program));
        }
    }
    for (const Process& idler : idlers) {
        TerminateProcess(idler.handle, 0);
        CloseHandle(idler.handle);
    }
    std::printf("%d %.1f %.1f\n", extra, Median(programTimes), Median(floorTimes));
    return 0;
}

int Start(const std::string& exe, bool pressOk)
{
    const Process process = StartProcess(exe);
    const HWND box = WaitForMessageBox(process, BoxTimeoutMs);
    if (!box)
        return 1;
    if (pressOk)
        PostMessageA(box, WM_COMMAND, IDOK, 0);
    std::printf("%lu\n", process.id);
    return 0;
}

// Counted in the system's handle table: Wine's GetProcessHandleCount answers 0 for another process.
struct SystemHandleEntry {
    ULONG ownerProcessId;
    BYTE objectType, flags;
    USHORT value;
    PVOID object;
    ULONG access;
};
constexpr auto SystemHandleInformation = static_cast<SYSTEM_INFORMATION_CLASS>(16);

int Handles(DWORD processId)
{
    std::vector<char> table(1 << 20);
    ULONG needed = 0;
    while (NtQuerySystemInformation(SystemHandleInformation, table.data(),
                                    static_cast<ULONG>(table.size()), &needed) != 0) {
        if (table.size() > (1u << 28))
            return 1;
        table.resize(table.size() * 2);
    }
    const ULONG entries = *reinterpret_cast<const ULONG*>(table.data());
    const auto* entry = reinterpret_cast<const SystemHandleEntry*>(table.data() + sizeof(ULONG_PTR));
    const auto owned = std::count_if(entry, entry + entries, [&](const SystemHandleEntry& e) {
        return e.ownerProcessId == processId;
    });
    std::printf("%ld\n", static_cast<long>(owned));
    return 0;
}
}  // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 6 && args[0] == "latency")
        return Latency(std::stoi(args[1]), std::stoi(args[2]), WindowsPath(args[3]),
                       WindowsPath(args[4]), WindowsPath(args[5]));
    if (args.size() == 3 && args[0] == "start")
        return Start(WindowsPath(args[1]), args[2] == "ok");
    if (args.size() == 2 && args[0] == "handles")
        return Handles(static_cast<DWORD>(std::stoul(args[1])));
    std::fprintf(stderr, "usage: see the comment at the top of BenchDriver.cpp\n");
    return 2;
}
