// Each row runs the whole program against a scripted world and compares what it did to that
// world (the boxes it showed, the processes it stopped, the input it sent and where the pointer
// went) with what a user should see.
#include "ExpectedTexts.h"
#include "FakeWin32.h"
#include "VigilantMouse.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <climits>
#include <clocale>
#include <set>

int VigilantMouseMain(int argc, char** argv);

bool operator==(POINT a, POINT b) { return a.x == b.x && a.y == b.y; }
void PrintTo(POINT p, std::ostream* os) { *os << p.x << "," << p.y; }

namespace {
using testing::ElementsAreArray;
using Boxes = std::vector<std::string>;
const std::string HelpBox = "'VigilantMouse help' 0x30 '" + Help + "'";
const std::string ToggledOffBox = "'VigilantMouse' 0x40 'Toggled off'";
const std::string ConfirmationBox = "'VigilantMouse' 0x41 '" + Confirmation + "'";

constexpr int KeptAwake = -1;  // the program never returned: it was still pulsing
const std::string FullBufferName = "VigilantMouse" + std::string(MAX_PATH, 'x');

const FakeProcess Idle{0, "[System Process]"};
const FakeProcess Explorer{4, "explorer.exe"};
const FakeProcess Self{100, "VigilantMouse.exe"};

// A busy terminal server lists more processes than the first buffer holds, the program's own
// among them, and an instance far down the list.
FakeWorld ThousandsOfProcesses(std::size_t heapLimit)
{
    FakeWorld world{.heapLimit = heapLimit};
    for (DWORD id = 1; id <= 3000; ++id)
        world.processes.push_back({id * 4, id == 2501 ? "VigilantMouse.exe" : "svchost.exe"});
    return world;
}

// Runs the program as started with these arguments, under both ways a system may place an
// absolute move (truncating, rounding half up): the effects must not depend on which.
template <typename Check> void RunEachRounding(const FakeWorld& world, std::vector<const char*> arguments, Check check)
{
    for (const bool roundsHalfUp : {false, true}) {
        SCOPED_TRACE(roundsHalfUp ? "rounding half up" : "truncating");
        FakeWorld rounded = world;
        rounded.absoluteRoundsHalfUp = roundsHalfUp;
        ResetFake(rounded);
        std::vector<char*> argv{const_cast<char*>("VigilantMouse.exe")};
        std::transform(arguments.begin(), arguments.end(), std::back_inserter(argv), [](auto a) { return const_cast<char*>(a); });
        argv.push_back(nullptr);
        int exitCode = KeptAwake;
        try {
            exitCode = VigilantMouseMain(static_cast<int>(argv.size() - 1), argv.data());
        } catch (const KeepAwakeEnded&) {
        }
        const Effects& done = FakeEffects();
        check(exitCode, done);
        // Whatever the mode: the DLL search narrowed where the system can, no process opened
        // twice nor the idle process at all, nothing left open, nothing the system would misread.
        EXPECT_EQ(done.dllSearch, world.system == FakeSystem::Vista ? 0u : LOAD_LIBRARY_SEARCH_SYSTEM32);
        EXPECT_THAT(done.opened, testing::Not(testing::Contains(0u)));
        EXPECT_EQ(std::set<DWORD>(done.opened.begin(), done.opened.end()).size(), done.opened.size());
        EXPECT_EQ(done.openHandles, 0);
        EXPECT_EQ(done.heapBlocks, 0);
        EXPECT_THAT(done.badInput, testing::IsEmpty());
    }
}

// Which mode a launch takes: what it shows, whom it stops, how it ends.
struct Case {
    const char* name;
    std::vector<const char*> arguments;
    FakeWorld world;
    int exitCode;
    Boxes boxes;
    std::vector<std::string> stopped = {};  // "id exit-code"
};
void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

const Case cases[] = {
    {"AnyArgumentOnlyShowsHelp", {"/?"}, {.processes = {Explorer, {7, "VigilantMouse.exe"}, Self}},
     ExitFailure, {HelpBox}},
    {"EmptyArgumentOnlyShowsHelp", {""}, {.processes = {{7, "VigilantMouse.exe"}, Self}}, ExitFailure, {HelpBox}},
    {"ManyArgumentsOnlyShowHelp", {"a", "\"b", "c d"}, {.processes = {Self}}, ExitFailure, {HelpBox}},
    {"OkStartsPulsing", {}, {.processes = {Idle, Explorer, Self}}, KeptAwake, {ConfirmationBox}},
    {"CancelEndsWithoutInput", {}, {.processes = {Explorer, Self}, .confirmationAnswer = IDCANCEL},
     ExitSuccess, {ConfirmationBox}},
    {"BoxThatCannotBeShownCountsAsConsent", {}, {.processes = {Self}, .confirmationAnswer = 0},
     KeptAwake, {ConfirmationBox}},
    {"UnreadableProcessListEndsSilently", {}, {.processes = {}, .enumerationFails = true}, ExitFailure, {}},
    {"SecondLaunchStopsTheFirst", {}, {.processes = {Explorer, {7, "VigilantMouse.exe"}, Self}},
     ExitSuccess, {ToggledOffBox}, {"7 0"}},
    {"OnlyTheFirstOfTwoInstancesIsStopped", {},
     {.processes = {Self, {7, "VigilantMouse.exe"}, {9, "VigilantMouse.exe"}}}, ExitSuccess, {ToggledOffBox}, {"7 0"}},
    // Under a Turkish code page (below), 0xDD is the capital dotted I, whose small letter is the
    // ASCII i, and the capital I's small letter is not: a locale's folding would mistake both.
    {"NamesThatDoNotMatchAndProcessesThatCannotBeRead", {},
     {.processes = {{11, "V\xDDgilantMouse.exe"}, {12, "MyVigilantMouse.exe"}, {13, "VigilantMous.exe"},
                    {14, nullptr}, {15, "VigilantMouse.exe", false}, Self}},
     KeptAwake, {ConfirmationBox}},
    {"NameWithoutExtensionMatches", {}, {.processes = {Self, {7, "VigilantMouse"}}}, ExitSuccess,
     {ToggledOffBox}, {"7 0"}},
    // Started through a path typed in another letter case, the process is named by that path.
    {"NameInAnyLetterCaseMatches", {}, {.processes = {{7, "vigilantmouse.exe"}, Self}},
     ExitSuccess, {ToggledOffBox}, {"7 0"}},
    {"NameInCapitalsMatches", {}, {.processes = {{9, "VIGILANTMOUSE.EXE"}, Self}}, ExitSuccess,
     {ToggledOffBox}, {"9 0"}},
    {"RenamedCopyMatches", {}, {.processes = {{7, "VigilantMouse - Copy (2).exe"}, Self}},
     ExitSuccess, {ToggledOffBox}, {"7 0"}},
    {"NameFillingTheWholeBufferMatches", {}, {.processes = {{7, FullBufferName.c_str()}, Self}},
     ExitSuccess, {ToggledOffBox}, {"7 0"}},
    {"InstanceAlreadyEndingCountsAsStopped", {},
     {.processes = {{7, "VigilantMouse.exe", true, false, 0}, Self}}, ExitSuccess, {ToggledOffBox}},
    {"UnstoppableInstanceEndsSilentlyWithoutPulsing", {},
     {.processes = {{7, "VigilantMouse.exe", true, false}, Self}}, ExitFailure, {}},
    {"LaterInstanceIsStoppedWhenTheFirstCannotBe", {},
     {.processes = {{7, "VigilantMouse.exe", true, false}, {9, "VigilantMouse.exe"}, Self}},
     ExitSuccess, {ToggledOffBox}, {"9 0"}},
    // The whole list is read, however long; when memory runs out first, no cut-off list is scanned.
    {"InstanceFarDownALongListIsStopped", {}, ThousandsOfProcesses(SIZE_MAX), ExitSuccess, {ToggledOffBox}, {"10004 0"}},
    {"ListLongerThanMemoryEndsSilently", {}, ThousandsOfProcesses(8192), ExitFailure, {}},
    // Started through its 8.3 short name, a copy is named by it; the long name decides.
    {"CopyStartedByItsShortNameMatches", {},
     {.processes = {{.id = 7, .imageName = "VIGILA~1.EXE", .longName = "VigilantMouse.exe"}, Self}},
     ExitSuccess, {ToggledOffBox}, {"7 0"}},
    {"ShortNameOfALookAlikeDoesNotMatch", {},
     {.processes = {{.id = 7, .imageName = "VIGILA~1.EXE", .longName = "VigilantMous.exe"},
                    {.id = 8, .imageName = "VIGILA~2.EXE", .longName = "MyVigilantMouse.exe"},
                    {.id = 9, .imageName = "VIGILA~3.EXE"}, Self}},
     KeptAwake, {ConfirmationBox}},
    // The same user's copy in another sign-in session keeps that session's desktop awake.
    {"CopyInAnotherSessionIsLeftAlone", {},
     {.processes = {{7, "VigilantMouse.exe", true, true, STILL_ACTIVE, 2}, Self}}, KeptAwake, {ConfirmationBox}},
    {"CopyWhoseSessionCannotBeReadIsLeftAlone", {},
     {.processes = {{7, "VigilantMouse.exe", true, true, STILL_ACTIVE, UnreadableSession}, Self}},
     KeptAwake, {ConfirmationBox}},
};

class Run : public testing::TestWithParam<Case> {
protected:
    // Letter case is compared in ASCII whatever the user's code page: the rows run under a Turkish
    // one, the locale the build made for them.
    static void SetUpTestSuite() { std::setlocale(LC_ALL, "tr_TR.ISO-8859-9"); }
    static void TearDownTestSuite() { std::setlocale(LC_ALL, "C"); }
};

TEST_P(Run, ShowsStopsAndEndsAsExpected)
{
    const Case& c = GetParam();
    RunEachRounding(c.world, c.arguments, [&](int exitCode, const Effects& done) {
        EXPECT_EQ(exitCode, c.exitCode);
        EXPECT_THAT(done.boxes, ElementsAreArray(c.boxes));
        EXPECT_THAT(done.stopped, ElementsAreArray(c.stopped));
        EXPECT_EQ(done.pulses.size(), c.exitCode == KeptAwake ? 3u : 0u) << "pulses sent";
    });
}

INSTANTIATE_TEST_SUITE_P(Program, Run, testing::ValuesIn(cases),
                         [](const testing::TestParamInfo<Case>& info) { return info.param.name; });

// What each pulse does, in a world where the user pressed OK: a zero move, a move aside where the
// idle tick did not count it, and the pointer where it was unless the user moved it.
struct PulseCase {
    const char* name;
    FakeWorld world;
    std::vector<POINT> asides;  // where the move aside landed, each pulse
    POINT pointerEnds;
    int zeroMoves = 1;
};
void PrintTo(const PulseCase& c, std::ostream* os) { *os << c.name; }

FakeWorld Uncounted(FakeWorld world)
{
    world.processes = {Self};
    world.zeroMoveCounts = false;
    return world;
}
const std::vector<FakeMonitor> FiveSideBySide{{{0, 0, 3840, 2160}}, {{3840, 0, 7680, 2160}},
    {{7680, 0, 11520, 2160}}, {{11520, 0, 15360, 2160}}, {{15360, 0, 19200, 2160}}};
// A 1920x1080 main monitor at 100 % with a 4K one at 150 % to its right.
const std::vector<FakeMonitor> ScaledOtherwise{{{0, 0, 1920, 1080}, 100}, {{1920, 0, 5760, 2160}, 150}};

const PulseCase pulseCases[] = {
    {"CountedZeroMoveIsAll", {.processes = {Self}}, {}, {500, 300}},
    {"RefusedZeroMoveIsLeftAtThat", {.processes = {Self}, .inputRefused = true}, {}, {500, 300}, 0},
    {"NoInputWhileThePcWokeByItselfAndNoUserCame", {.processes = {Self}, .pausesResumedUnattended = 2}, {}, {500, 300}},
    // After a Wake-on-LAN the flag may never clear for a user who works through Remote Desktop.
    {"RemoteSessionPulsesWhateverTheWake",
     {.processes = {Self}, .pausesResumedUnattended = INT_MAX, .remoteSession = true}, {}, {500, 300}},
    // Aside means away from the edge of the pointer's own monitor, wherever the virtual screen
    // starts and whatever lies beside it; at widths 1024, 3840, 4480 and 19,200.
    {"UncountedZeroMoveIsFollowedByACountedOne", Uncounted({}), {{501, 300}}, {500, 300}},
    {"AsideAtTheMonitorsEdgeGoesInwards",
     Uncounted({.cursor = {1919, 879}, .monitors = {{{-1920, -200, 0, 1080}}, {{0, 0, 1920, 1080}}}}),
     {{1918, 879}}, {1919, 879}},
    // Below the edge of a shorter monitor to the right, a pixel to the right is on no monitor.
    {"AsideStaysOnThePointersMonitor",
     Uncounted({.cursor = {2559, 1200}, .monitors = {{{0, 0, 2560, 1440}}, {{2560, 0, 4480, 1080}}}}),
     {{2558, 1200}}, {2559, 1200}},
    {"AsideLandsOnItsPixelOnAVeryWideDesktop", Uncounted({.monitors = FiveSideBySide}), {{501, 300}}, {500, 300}},
    {"AsideLandsInPhysicalPixelsOnAMonitorScaledOtherwise",
     Uncounted({.cursor = {3000, 500}, .monitors = ScaledOtherwise}), {{3001, 500}}, {3000, 500}},
    // Windows 8.1 and 10 before version 1607 may scale that monitor with no way out: no move.
    {"NoAsideWhereScaledPixelsCannotBeAvoided",
     Uncounted({.system = FakeSystem::Windows81, .cursor = {3000, 500}, .monitors = ScaledOtherwise}), {}, {3000, 500}},
    {"NoAsideWhereTheSwitchToPhysicalPixelsIsRefused",
     Uncounted({.physicalPixelsRefused = true, .cursor = {3000, 500}, .monitors = ScaledOtherwise}), {}, {3000, 500}},
    // Vista and 7 without KB2533623 lack both calls looked up at run time, and run all the same.
    {"OldWindowsMovesAsideAsEver", Uncounted({.system = FakeSystem::Vista}),
     {{501, 300}}, {500, 300}},
    {"PointerGoesBackOnceALateMoveHasLanded", Uncounted({.pausesBeforeInputLands = 3}), {{501, 300}}, {500, 300}},
    {"PointerTheUserMovedMeanwhileIsLeftWhereItIs", Uncounted({.pulsesBeforeEnd = 1, .userMovesTo = {700, 400}}), {{501, 300}}, {700, 400}},
    {"NoAsideWithoutThePointer", Uncounted({.cursorReadable = false}), {}, {500, 300}},
    {"NoAsideWithoutItsMonitor", Uncounted({.monitorReadable = false}), {}, {500, 300}},
    {"NoAsideOnAScreenOfNoSize", Uncounted({.monitors = {{{0, 0, 0, 0}}}}), {}, {500, 300}},
};

class Pulses : public testing::TestWithParam<PulseCase> {};

TEST_P(Pulses, SendAZeroMoveAndLeaveThePointerWhereItWas)
{
    const PulseCase& c = GetParam();
    RunEachRounding(c.world, {}, [&](int, const Effects& done) {
        // While the PC has woken by itself and no user has come to its console, nothing is
        // sent, and the loop goes on pausing.
        const int unattendedPauses = c.world.remoteSession ? 0 : c.world.pausesResumedUnattended;
        EXPECT_THAT(done.pausesBeforeFirstPulse, ElementsAreArray(std::vector<DWORD>(unattendedPauses, 20000)));
        ASSERT_EQ(done.pulses.size(), static_cast<std::size_t>(c.world.pulsesBeforeEnd));
        for (const PulseEffects& pulse : done.pulses) {
            EXPECT_EQ(pulse.zeroMoves, c.zeroMoves);
            EXPECT_THAT(pulse.asides, ElementsAreArray(c.asides));
            EXPECT_EQ(pulse.pointer, c.pointerEnds);
            EXPECT_EQ(pulse.pauses.empty() ? 0 : pulse.pauses.back(), 20000u) << "the pause after a pulse";
        }
    });
}

INSTANTIATE_TEST_SUITE_P(KeepAwake, Pulses, testing::ValuesIn(pulseCases),
                         [](const testing::TestParamInfo<PulseCase>& info) { return info.param.name; });

// Says so where the build could not make the Turkish locale: the rows then ran under the C one.
TEST(Program, NamesAreComparedUnderATurkishCodePage)
{
    if (!std::setlocale(LC_ALL, "tr_TR.ISO-8859-9"))
        GTEST_SKIP() << "no Turkish locale: install Debian's locales and build again";
    std::setlocale(LC_ALL, "C");
}

// A process started with an empty command line may get no argv[0]: that is no argument either,
// and the vector is not read past its end.
TEST(Program, EmptyArgumentVectorIsNoArgument)
{
    ResetFake({.processes = {Self}, .confirmationAnswer = IDCANCEL});
    char* argv[] = {nullptr};
    EXPECT_EQ(VigilantMouseMain(0, argv), ExitSuccess);
    EXPECT_THAT(FakeEffects().boxes, ElementsAreArray({ConfirmationBox}));
}
}  // namespace
