// Each row runs the whole program against a scripted world and compares every Win32 call it
// made, in order and with its arguments, with the expected trace.
#include "ExpectedTexts.h"
#include "FakeWin32.h"
#include "VigilantMouse.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

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
const Trace Enumerate{"EnumProcesses 4096"};

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
Trace Pulses(int count)
{
    Trace pulses;
    for (int pulse = 1; pulse <= count; ++pulse) {
        char extra[16];
        std::snprintf(extra, sizeof extra, "%#x", 0xE0 + pulse);  // the fake's value for this pulse
        pulses = pulses + Trace{"GetMessageExtraInfo",
                                "SendInput 1 {type 0 dx 0 dy 0 data 0 flags 0x1 time 0 extra " +
                                    std::string(extra) + "} 40",
                                "Sleep 20000"};
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
    {"NamesThatDoNotMatchAndProcessesThatCannotBeRead", {},
     {.processes = {{11, "vigilantmouse.exe"}, {12, "MyVigilantMouse.exe"}, {13, "VigilantMous.exe"},
                    {14, nullptr}, {15, "VigilantMouse.exe", false}, Self}},
     KeptAwake,
     Enumerate + NoMatch(11) + NoMatch(12) + NoMatch(13) + Open(14) +
         Trace{"EnumProcessModules h14 8"} + Close(14) + Open(15) + Itself(100) + ConfirmationBox +
         Pulses(3)},
    {"NameWithoutExtensionMatches", {}, {.processes = {Self, {7, "VigilantMouse"}}}, ExitSuccess,
     Enumerate + Itself(100) + Terminate(7) + ToggledOffBox},
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
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class Run : public testing::TestWithParam<Case> {};

TEST_P(Run, MakesExactlyTheExpectedCalls)
{
    const Case& c = GetParam();
    ResetFake(c.world);
    std::vector<char*> argv{const_cast<char*>("VigilantMouse.exe")};
    for (const char* argument : c.arguments)
        argv.push_back(const_cast<char*>(argument));
    argv.push_back(nullptr);

    int exitCode = KeptAwake;
    try {
        exitCode = VigilantMouseMain(static_cast<int>(argv.size() - 1), argv.data());
    } catch (const KeepAwakeEnded&) {
    }

    EXPECT_EQ(exitCode, c.exitCode);
    EXPECT_THAT(FakeTrace(), testing::ElementsAreArray(c.trace));
    EXPECT_EQ(OpenHandleCount(), 0);
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

// The id list holds 1024 entries: an instance in the last slot is found, one past it is not.
TEST(StopOtherInstance, ExaminesExactlyTheFirst1024Processes)
{
    for (const auto& [instancePosition, outcome] :
         {std::pair{1023, ScanOutcome::Stopped}, std::pair{1024, ScanOutcome::NoneFound}}) {
        FakeWorld world;
        for (DWORD id = 1; id <= 1100; ++id)
            world.processes.push_back({id * 4, "svchost.exe"});
        world.processes[instancePosition].imageName = "VigilantMouse.exe";
        ResetFake(world);

        EXPECT_EQ(StopOtherInstance(), outcome) << "instance at " << instancePosition;
        EXPECT_EQ(std::count_if(FakeTrace().begin(), FakeTrace().end(),
                                [](const std::string& call) { return call.starts_with("OpenProcess"); }),
                  1024);
        EXPECT_EQ(OpenHandleCount(), 0);
    }
}
}  // namespace
