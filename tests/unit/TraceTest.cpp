// Each row runs the whole program against a scripted world and compares every Win32 call it
// made, in order and with its arguments, with the expected trace.
#include "ExpectedTexts.h"
#include "FakeWin32.h"
#include "VigilantMouse.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>
#include <tuple>

int VigilantMouseMain(int argc, char** argv);

namespace {
using Trace = std::vector<std::string>;
Trace operator+(Trace head, const Trace& tail)
{
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}
std::string Id(DWORD id) { return std::to_string(id); }

const Trace HelpBox{"MessageBoxA 0 'VigilantMouse help' 0x30 '" + Help + "'"};
const Trace ToggledOffBox{"MessageBoxA 0 'VigilantMouse' 0x40 'Toggled off'"};
const Trace ConfirmationBox{"MessageBoxA 0 'VigilantMouse' 0x41 '" + Confirmation + "'"};
const Trace Enumerate{"HeapAlloc 0 4096", "EnumProcesses 4096"};
// Every run first narrows the DLL search, where the system has the call for it.
Trace NarrowDllSearch(const FakeWorld& world)
{
    Trace calls{"GetModuleHandleA kernel32.dll", "GetProcAddress 0x7ff0000 SetDefaultDllDirectories"};
    if (world.setDefaultDllDirectoriesExists)
        calls.push_back("SetDefaultDllDirectories 0x800");
    return calls;
}

Trace Open(DWORD id) { return {"OpenProcess 0x411 0 " + Id(id)}; }
Trace Close(DWORD id) { return {"CloseHandle h" + Id(id)}; }
Trace ReadName(DWORD id)
{
    return Open(id) + Trace{"EnumProcessModules h" + Id(id) + " 8",
                            "GetModuleBaseNameA h" + Id(id) + " m" + Id(id) + " 260"};
}
Trace NoMatch(DWORD id) { return ReadName(id) + Close(id); }
Trace Match(DWORD id) { return ReadName(id) + Trace{"GetCurrentProcessId"}; }
Trace Itself(DWORD id) { return Match(id) + Close(id); }
Trace Terminate(DWORD id) { return Match(id) + Trace{"TerminateProcess h" + Id(id) + " 0"} + Close(id); }
Trace TerminateRefused(DWORD id)
{
    return Match(id) + Trace{"TerminateProcess h" + Id(id) + " 0", "GetExitCodeProcess h" + Id(id)} +
           Close(id);
}
// What the idle tick says after a zero move, and so what the pulse does next.
enum class ZeroMove { Counted, NotCounted, Refused };
// The move one pixel aside that follows a zero move the idle tick did not count, within the
// pointer's monitor; it goes back only if the pointer is still where the move left it.
struct CountedMove {
    POINT home;
    RECT monitor;
    LONG dx, dy;
    POINT landed;
    bool putBack = true;
};
std::string Hex(int value) { return (std::ostringstream() << std::hex << std::showbase << value).str(); }
std::string Point(POINT p) { return std::to_string(p.x) + "," + std::to_string(p.y); }

// Before its first pulse the loop turns to physical pixels, where the system has the call for it.
Trace Pulses(int count, ZeroMove zeroMove = ZeroMove::Counted, CountedMove counted = {},
             bool perMonitorDpi = true)
{
    Trace pulses{"GetModuleHandleA user32.dll", "GetProcAddress 0x7ff0000 SetThreadDpiAwarenessContext"};
    if (perMonitorDpi)
        pulses.push_back("SetThreadDpiAwarenessContext -3");
    int extra = 0xE0;  // the fake's value before the first call
    for (int pulse = 1; pulse <= count; ++pulse) {
        pulses = pulses + Trace{"GetMessageExtraInfo", "GetLastInputInfo 8",
                                "SendInput 1 {type 0 dx 0 dy 0 data 0 flags 0x1 time 0 extra " +
                                    Hex(++extra) + "} 40"};
        if (zeroMove != ZeroMove::Refused)
            pulses = pulses + Trace{"Sleep 50", "GetLastInputInfo 8"};
        if (zeroMove == ZeroMove::NotCounted) {
            const RECT& m = counted.monitor;
            pulses = pulses + Trace{"GetCursorPos", "MonitorFromPoint " + Point(counted.home) + " 2",
                                    "GetMonitorInfoA " + Point({m.left, m.top}) + "-" + Point({m.right, m.bottom}) + " 40",
                                    "GetSystemMetrics 76", "GetSystemMetrics 77",
                                    "GetSystemMetrics 78", "GetSystemMetrics 79", "GetMessageExtraInfo",
                                    "SendInput 1 {type 0 dx " + std::to_string(counted.dx) + " dy " +
                                        std::to_string(counted.dy) + " data 0 flags 0xc001 time 0 extra " +
                                        Hex(++extra) + "} 40",
                                    "  moved to " + Point(counted.landed), "Sleep 50", "GetCursorPos"};
            if (counted.putBack)
                pulses.push_back("SetCursorPos " + Point(counted.home));
        }
        pulses.push_back("Sleep 20000");
    }
    return pulses;
}

constexpr int KeptAwake = -1;  // the program never returned: it was still pulsing
const std::string FullBufferName = "VigilantMouse" + std::string(MAX_PATH, 'x');

const FakeProcess Idle{0, "[System Process]"};
const FakeProcess Explorer{4, "explorer.exe"};
const FakeProcess Self{100, "VigilantMouse.exe"};

struct Case {
    const char* name;
    std::vector<const char*> arguments;
    FakeWorld world;
    int exitCode;
    Trace trace;
};

const Case cases[] = {
    {"AnyArgumentOnlyShowsHelp", {"/?"}, {.processes = {Explorer, {7, "VigilantMouse.exe"}, Self}},
     ExitFailure, HelpBox},
    {"EmptyArgumentOnlyShowsHelp", {""}, {.processes = {{7, "VigilantMouse.exe"}, Self}},
     ExitFailure, HelpBox},
    {"ManyArgumentsOnlyShowHelp", {"a", "\"b", "c d"}, {.processes = {Self}}, ExitFailure, HelpBox},
    {"OkStartsPulsingAtOnce", {}, {.processes = {Idle, Explorer, Self}}, KeptAwake,
     Enumerate + NoMatch(4) + Itself(100) + ConfirmationBox + Pulses(3)},
    {"CancelEndsWithoutInput", {}, {.processes = {Explorer, Self}, .confirmationAnswer = IDCANCEL},
     ExitSuccess, Enumerate + NoMatch(4) + Itself(100) + ConfirmationBox},
    {"BoxThatCannotBeShownCountsAsConsent", {}, {.processes = {Self}, .confirmationAnswer = 0},
     KeptAwake, Enumerate + Itself(100) + ConfirmationBox + Pulses(3)},
    {"UnreadableProcessListEndsSilently", {}, {.processes = {}, .enumerationFails = true}, ExitFailure, Enumerate},
    {"SecondLaunchStopsTheFirst", {}, {.processes = {Explorer, {7, "VigilantMouse.exe"}, Self}},
     ExitSuccess, Enumerate + NoMatch(4) + Terminate(7) + ToggledOffBox},
    {"OnlyTheFirstOfTwoInstancesIsStopped", {},
     {.processes = {Self, {7, "VigilantMouse.exe"}, {9, "VigilantMouse.exe"}}}, ExitSuccess,
     Enumerate + Itself(100) + Terminate(7) + ToggledOffBox},
    // A letter that a code page could fold to an ASCII one is still another letter.
    {"NamesThatDoNotMatchAndProcessesThatCannotBeRead", {},
     {.processes = {{11, "V\xDDgilantMouse.exe"}, {12, "MyVigilantMouse.exe"}, {13, "VigilantMous.exe"},
                    {14, nullptr}, {15, "VigilantMouse.exe", false}, Self}},
     KeptAwake,
     Enumerate + NoMatch(11) + NoMatch(12) + NoMatch(13) + Open(14) +
         Trace{"EnumProcessModules h14 8"} + Close(14) + Open(15) + Itself(100) + ConfirmationBox +
         Pulses(3)},
    {"NameWithoutExtensionMatches", {}, {.processes = {Self, {7, "VigilantMouse"}}}, ExitSuccess,
     Enumerate + Itself(100) + Terminate(7) + ToggledOffBox},
    // Started through a path typed in another letter case, the process is named by that path.
    {"NameInAnyLetterCaseMatches", {}, {.processes = {{7, "vigilantmouse.exe"}, Self}}, ExitSuccess,
     Enumerate + Terminate(7) + ToggledOffBox},
    {"RenamedCopyMatches", {}, {.processes = {{7, "VigilantMouse - Copy (2).exe"}, Self}},
     ExitSuccess, Enumerate + Terminate(7) + ToggledOffBox},
    {"NameFillingTheWholeBufferMatches", {}, {.processes = {{7, FullBufferName.c_str()}, Self}},
     ExitSuccess, Enumerate + Terminate(7) + ToggledOffBox},
    {"InstanceAlreadyEndingCountsAsStopped", {},
     {.processes = {{7, "VigilantMouse.exe", true, false, 0}, Self}}, ExitSuccess,
     Enumerate + TerminateRefused(7) + ToggledOffBox},
    {"UnstoppableInstanceEndsSilentlyWithoutPulsing", {},
     {.processes = {{7, "VigilantMouse.exe", true, false}, Self}}, ExitFailure,
     Enumerate + TerminateRefused(7) + Itself(100)},
    {"LaterInstanceIsStoppedWhenTheFirstCannotBe", {},
     {.processes = {{7, "VigilantMouse.exe", true, false}, {9, "VigilantMouse.exe"}, Self}},
     ExitSuccess, Enumerate + TerminateRefused(7) + Terminate(9) + ToggledOffBox},
    // Where a move of zero distance is not counted, a move one pixel aside is, and the pointer
    // goes back: at the widths 1024 and 3840, under both roundings (above). Aside means away
    // from the edge of the pointer's own monitor, wherever the virtual screen starts and
    // whatever lies beside it.
    {"UncountedZeroMoveIsFollowedByACountedOne", {}, {.processes = {Self}, .zeroMoveCounts = false},
     KeptAwake, Enumerate + Itself(100) + ConfirmationBox +
         Pulses(3, ZeroMove::NotCounted, {{500, 300}, {0, 0, 1024, 768}, 32080, 25621, {501, 300}})},
    {"CountedMoveAtTheMonitorsEdgeGoesInwards", {},
     {.processes = {Self}, .pulsesBeforeEnd = 1, .zeroMoveCounts = false, .cursor = {1919, 879},
      .screen = {-1920, -200, 3840, 1280}, .monitors = {{-1920, -200, 0, 1080}, {0, 0, 1920, 1080}}},
     KeptAwake, Enumerate + Itself(100) + ConfirmationBox +
         Pulses(1, ZeroMove::NotCounted, {{1919, 879}, {0, 0, 1920, 1080}, 65506, 55257, {1918, 879}})},
    // Below the edge of a shorter monitor to the right, a pixel to the right is on no monitor.
    {"CountedMoveStaysOnThePointersMonitor", {},
     {.processes = {Self}, .pulsesBeforeEnd = 1, .zeroMoveCounts = false, .cursor = {2559, 1200},
      .screen = {0, 0, 4480, 1440}, .monitors = {{0, 0, 2560, 1440}, {2560, 0, 4480, 1080}}},
     KeptAwake, Enumerate + Itself(100) + ConfirmationBox +
         Pulses(1, ZeroMove::NotCounted, {{2559, 1200}, {0, 0, 2560, 1440}, 37423, 54624, {2558, 1200}})},
    {"PointerTheUserMovedMeanwhileIsLeftWhereItIs", {},
     {.processes = {Self}, .pulsesBeforeEnd = 1, .zeroMoveCounts = false, .userMovesTo = {700, 400}},
     KeptAwake, Enumerate + Itself(100) + ConfirmationBox +
         Pulses(1, ZeroMove::NotCounted, {{500, 300}, {0, 0, 1024, 768}, 32080, 25621, {501, 300}, false})},
    // Vista and 7 without KB2533623 lack both calls looked up at run time, and run all the same.
    {"OldWindowsRunsAsEver", {},
     {.processes = {Self}, .setDefaultDllDirectoriesExists = false,
      .setThreadDpiAwarenessContextExists = false, .pulsesBeforeEnd = 1, .zeroMoveCounts = false},
     KeptAwake, Enumerate + Itself(100) + ConfirmationBox +
         Pulses(1, ZeroMove::NotCounted, {{500, 300}, {0, 0, 1024, 768}, 32080, 25621, {501, 300}}, false)},
    {"RefusedZeroMoveIsLeftAtThat", {}, {.processes = {Self}, .inputRefused = true}, KeptAwake,
     Enumerate + Itself(100) + ConfirmationBox + Pulses(3, ZeroMove::Refused)},
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class Run : public testing::TestWithParam<Case> {};

// Whether the system truncates an absolute move's position or rounds it half up, every run
// makes the same calls: the move aside lands on its pixel either way.
TEST_P(Run, MakesExactlyTheExpectedCalls)
{
    const Case& c = GetParam();
    for (const bool roundsHalfUp : {false, true}) {
        FakeWorld world = c.world;
        world.absoluteRoundsHalfUp = roundsHalfUp;
        ResetFake(world);
        std::vector<char*> argv{const_cast<char*>("VigilantMouse.exe")};
        for (const char* argument : c.arguments)
            argv.push_back(const_cast<char*>(argument));
        argv.push_back(nullptr);

        int exitCode = KeptAwake;
        try {
            exitCode = VigilantMouseMain(static_cast<int>(argv.size() - 1), argv.data());
        } catch (const KeepAwakeEnded&) {
        }

        SCOPED_TRACE(roundsHalfUp ? "rounding half up" : "truncating");
        EXPECT_EQ(exitCode, c.exitCode);
        EXPECT_THAT(FakeTrace(), testing::ElementsAreArray(NarrowDllSearch(c.world) + c.trace));
        EXPECT_EQ(OpenHandleCount(), 0);
        EXPECT_EQ(HeapBlockCount(), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Program, Run, testing::ValuesIn(cases),
                         [](const testing::TestParamInfo<Case>& info) { return info.param.name; });

// A process started with an empty command line may get no argv[0]: that is no argument either,
// and the vector is not read past its end.
TEST(Program, EmptyArgumentVectorIsNoArgument)
{
    ResetFake({.processes = {Self}, .confirmationAnswer = IDCANCEL});
    char* argv[] = {nullptr};
    EXPECT_EQ(VigilantMouseMain(0, argv), ExitSuccess);
    EXPECT_EQ(FakeTrace().back(), ConfirmationBox.front());
}

// A busy terminal server lists more processes than the first buffer holds: the list is read again
// into one twice the size until it fits, so an instance far down it is still found; when memory
// runs out first, no cut-off list is scanned.
TEST(StopOtherInstance, ReadsTheWholeProcessListHoweverLong)
{
    for (const auto& [heapLimit, outcome, opened] :
         {std::tuple{SIZE_MAX, ScanOutcome::Stopped, 2501}, std::tuple{std::size_t{8192}, ScanOutcome::EnumerationFailed, 0}}) {
        FakeWorld world;
        world.heapLimit = heapLimit;
        for (DWORD id = 1; id <= 3000; ++id)
            world.processes.push_back({id * 4, "svchost.exe"});
        world.processes[2500].imageName = "VigilantMouse.exe";
        ResetFake(world);

        EXPECT_EQ(StopOtherInstance(), outcome) << "heap limit " << heapLimit;
        const Trace reads{"HeapAlloc 0 4096", "EnumProcesses 4096", "HeapAlloc 0 8192", "EnumProcesses 8192",
                          "HeapAlloc 0 16384"};
        EXPECT_THAT(Trace(FakeTrace().begin(), FakeTrace().begin() + 5), testing::ElementsAreArray(reads));
        EXPECT_EQ(std::count_if(FakeTrace().begin(), FakeTrace().end(),
                                [](const std::string& call) { return call.starts_with("OpenProcess"); }),
                  opened);
        EXPECT_EQ(OpenHandleCount(), 0);
        EXPECT_EQ(HeapBlockCount(), 0);
    }
}
}  // namespace
