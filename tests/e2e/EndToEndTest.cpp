// Runs the real VigilantMouse.exe and checks what only Windows itself can show: the boxes a
// person sees, real termination of another process, and real input.
#include "Desktop.h"
#include "ExpectedTexts.h"

#include <psapi.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace {
constexpr DWORD BoxTimeoutMs = 15000;  // a cold Wine start of a new process can take seconds
constexpr DWORD ExitTimeoutMs = 10000;

const std::string Exe = WindowsPath(VIGILANTMOUSE_EXE);

// A copy under another name, in a folder of its own: names that differ only in letter case
// must not land on one file.
std::string CopyAs(const std::string& fileName)
{
    const std::string folder = WindowsPath(COPIES_DIR);
    const std::string own = folder + "\\" + std::to_string(std::hash<std::string>{}(fileName));
    CreateDirectoryA(folder.c_str(), nullptr);
    CreateDirectoryA(own.c_str(), nullptr);
    const std::string path = own + "\\" + fileName;
    EXPECT_TRUE(CopyFileA(Exe.c_str(), path.c_str(), FALSE)) << path;
    return path;
}

DWORD ExitCode(const Process& process) { return ExitCode(process, ExitTimeoutMs); }

DWORD LastInputTick()
{
    LASTINPUTINFO info{sizeof info, 0};
    GetLastInputInfo(&info);
    return info.dwTime;
}
// The last input's tick, taken once a box has been up a while: a window appearing under the
// pointer counts as input on X, and a box appearing does too under some Wines.
DWORD InputTickOnceBoxIsUp()
{
    Sleep(500);
    return LastInputTick();
}
// The tick of the first input after the given one, or 0 when none came in time.
DWORD WaitForInputAfter(DWORD tick, DWORD waitMs)
{
    for (const DWORD start = GetTickCount(); GetTickCount() - start < waitMs; Sleep(20))
        if (LastInputTick() != tick)
            return LastInputTick();
    return 0;
}

// The Wine this runs under, as its ntdll says, or "" on Windows.
std::string WineVersion()
{
    using GetVersion = const char*(CDECL*)();
    const auto get = reinterpret_cast<GetVersion>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version")));
    return get ? get() : "";
}
// Upstream Wine drops moves of zero distance before hooks and the idle tick from 10.1 on.
bool WineDropsZeroMoves()
{
    int major = 0, minor = 0;
    return std::sscanf(WineVersion().c_str(), "%d.%d", &major, &minor) == 2 &&
           (major > 10 || (major == 10 && minor >= 1));
}
class NameTheWine : public testing::Environment {
    void SetUp() override { std::printf("Running under Wine %s\n", WineVersion().c_str()); }
};
const auto* const wineNamed = testing::AddGlobalTestEnvironment(new NameTheWine);

// The pulse as a low-level mouse hook sees it: a move marked injected, at the pointer's own
// position. Only such moves are recorded, with the tick they arrived at; the hook lives on a
// thread of its own, which must pump messages for the hook to be called.
class ZeroMoveWatch {
public:
    ZeroMoveWatch()
    {
        thread = CreateThread(nullptr, 0, Watch, nullptr, 0, &threadId);
        while (!hooked && WaitForSingleObject(thread, 10) == WAIT_TIMEOUT) {}
    }
    ~ZeroMoveWatch()
    {
        PostThreadMessageA(threadId, WM_QUIT, 0, 0);
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
        hooked = false;
        moves.clear();
    }
    // The tick of the zero move with this index (from 0), or 0 when it did not come in time.
    DWORD WaitForMove(std::size_t index, DWORD waitMs) const
    {
        for (const DWORD start = GetTickCount(); GetTickCount() - start < waitMs; Sleep(5)) {
            const std::lock_guard<std::mutex> lock(mutex);
            if (moves.size() > index)
                return moves[index];
        }
        return 0;
    }

private:
    static LRESULT CALLBACK Seen(int code, WPARAM message, LPARAM data)
    {
        const auto& event = *reinterpret_cast<const MSLLHOOKSTRUCT*>(data);
        POINT cursor{};
        GetCursorPos(&cursor);
        if (code == HC_ACTION && message == WM_MOUSEMOVE && (event.flags & LLMHF_INJECTED) &&
            event.pt.x == cursor.x && event.pt.y == cursor.y) {
            const std::lock_guard<std::mutex> lock(mutex);
            moves.push_back(GetTickCount());
        }
        return CallNextHookEx(nullptr, code, message, data);
    }
    static DWORD WINAPI Watch(void*)
    {
        const HHOOK hook = SetWindowsHookExA(WH_MOUSE_LL, Seen, GetModuleHandleA(nullptr), 0);
        MSG message;
        PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);  // the queue for WM_QUIT
        hooked = true;
        while (GetMessageA(&message, nullptr, 0, 0) > 0)
            DispatchMessageA(&message);
        UnhookWindowsHookEx(hook);
        return 0;
    }

    HANDLE thread = nullptr;
    DWORD threadId = 0;
    static inline std::atomic<bool> hooked = false;
    static inline std::mutex mutex;
    static inline std::vector<DWORD> moves;
};

struct Box {
    HWND window = nullptr;
    std::string caption, text;
    bool hasOk = false, hasCancel = false;
    HICON icon = nullptr;
};

Box ReadBox(HWND window)
{
    char caption[256] = {}, text[1024] = {};
    GetWindowTextA(window, caption, sizeof caption);
    GetDlgItemTextA(window, 0xFFFF, text, sizeof text);  // a message box's text control
    Box box{window, caption, text, GetDlgItem(window, IDOK) != nullptr,
            GetDlgItem(window, IDCANCEL) != nullptr};
    for (HWND child = GetWindow(window, GW_CHILD); child && !box.icon;
         child = GetWindow(child, GW_HWNDNEXT))
        box.icon = reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0));
    return box;
}

Box WaitForBox(const Process& process)
{
    if (const HWND window = WaitForMessageBox(process, BoxTimeoutMs))
        return ReadBox(window);
    ADD_FAILURE() << "no box from process " << process.id;
    return {};
}

void Press(const Box& box, WPARAM button) { PostMessageA(box.window, WM_COMMAND, button, 0); }

// Which icon a box shows is left to the unit tests: icon handles are the showing process's own.
void ExpectBox(const Box& box, const std::string& caption, const std::string& text, bool hasCancel)
{
    EXPECT_EQ(box.caption, caption);
    EXPECT_EQ(box.text, text);
    EXPECT_TRUE(box.hasOk);
    EXPECT_EQ(box.hasCancel, hasCancel);
    EXPECT_NE(box.icon, nullptr);
}
void ExpectHelpBox(const Box& box) { ExpectBox(box, "VigilantMouse help", Help, false); }
void ExpectToggledOffBox(const Box& box) { ExpectBox(box, "VigilantMouse", "Toggled off", false); }
void ExpectConfirmationBox(const Box& box) { ExpectBox(box, "VigilantMouse", Confirmation, true); }

std::string Lowercase(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// Every running process whose file name holds the program's name in any letter case.
std::vector<DWORD> InstanceIds()
{
    DWORD ids[4096], bytes = 0;
    EnumProcesses(ids, sizeof ids, &bytes);
    std::vector<DWORD> instances;
    for (DWORD i = 0; i < bytes / sizeof ids[0]; ++i) {
        HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, ids[i]);
        char name[MAX_PATH] = {};
        if (process && GetModuleBaseNameA(process, nullptr, name, sizeof name) &&
            Lowercase(name).find("vigilantmouse") != std::string::npos)
            instances.push_back(ids[i]);
        if (process)
            CloseHandle(process);
    }
    return instances;
}

class EndToEnd : public testing::Test {
protected:
    void SetUp() override { StopEveryInstance(); }
    void TearDown() override
    {
        for (const Process& process : launched) {
            TerminateProcess(process.handle, 99);
            WaitForSingleObject(process.handle, ExitTimeoutMs);
            CloseHandle(process.handle);
        }
        StopEveryInstance();
    }

    Process Launch(const std::string& exe, const std::string& arguments = "")
    {
        const Process process = StartProcess(exe, arguments);
        if (!process.handle) {
            ADD_FAILURE() << "cannot start " << exe << ": error " << GetLastError();
            return {};
        }
        launched.push_back(process);
        return process;
    }

    // Launches a program, sees its Confirmation box and presses OK; on request, takes the last
    // input's tick just before OK.
    Process StartKeepingAwake(const std::string& exe, DWORD* inputAtBox = nullptr)
    {
        const Process process = Launch(exe);
        const Box box = WaitForBox(process);
        ExpectConfirmationBox(box);
        if (inputAtBox)
            *inputAtBox = InputTickOnceBoxIsUp();
        Press(box, IDOK);
        return process;
    }

    // Launches exe while the instance runs: it must stop the instance and say "Toggled off".
    void ExpectLaunchTogglesOff(const Process& instance, const std::string& exe = Exe)
    {
        const Process next = Launch(exe);
        const Box box = WaitForBox(next);
        ExpectToggledOffBox(box);
        EXPECT_EQ(ExitCode(instance), 0u);
        Press(box, IDOK);
        EXPECT_EQ(ExitCode(next), 0u);
    }

private:
    // A test that failed half-way must not leave an instance for the next one to find.
    static void StopEveryInstance()
    {
        for (const DWORD id : InstanceIds()) {
            if (HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id)) {
                TerminateProcess(process, 99);
                WaitForSingleObject(process, ExitTimeoutMs);
                CloseHandle(process);
            }
        }
    }

    std::vector<Process> launched;
};

// Command lines of every shape, as the C runtime splits them: each is an argument.
TEST_F(EndToEnd, AnyArgumentOnlyShowsHelpAndLeavesTheRunningInstanceAlone)
{
    std::string manyArguments;
    for (int i = 0; i < 500; ++i)
        manyArguments += "arg" + std::to_string(i) + " ";
    const Process instance = StartKeepingAwake(Exe);
    for (const std::string& arguments :
         {std::string("/?"), std::string("\"\""), std::string("on"), std::string(32000, 'x'),
          std::string("\xE9t\xE9 \xFF\x80 \xC3\xA9"), std::string("\"unbalanced"),
          std::string("a\"b\\\" \"c"), manyArguments}) {
        SCOPED_TRACE(arguments.substr(0, 40));
        const Process help = Launch(Exe, arguments);
        const Box box = WaitForBox(help);
        ExpectHelpBox(box);
        Press(box, IDOK);
        EXPECT_EQ(ExitCode(help), 1u);
        EXPECT_TRUE(IsRunning(instance));
    }
}

// Cancel, Esc and the close button all answer the box with IDCANCEL.
TEST_F(EndToEnd, DecliningTheConfirmationEndsWithZeroAndSendsNoInput)
{
    for (const UINT dismissal : {UINT{WM_COMMAND}, UINT{WM_CLOSE}}) {
        const Process process = Launch(Exe);
        const Box box = WaitForBox(process);
        ExpectConfirmationBox(box);
        const DWORD inputBefore = InputTickOnceBoxIsUp();
        PostMessageA(box.window, dismissal, dismissal == WM_COMMAND ? IDCANCEL : 0, 0);
        EXPECT_EQ(ExitCode(process), 0u);
        EXPECT_EQ(WaitForInputAfter(inputBefore, 1000), 0u) << "input was sent";
    }
}

// The suite's one 20-second wait.
TEST_F(EndToEnd, OkPulsesAtOnceAndEveryTwentySecondsUntilTheNextLaunchTogglesItOff)
{
    SetCursorPos(321, 123);
    POINT cursor{}, cursorAfter{};
    GetCursorPos(&cursor);
    const ZeroMoveWatch watch;
    DWORD inputAtBox = 0;
    const Process instance = StartKeepingAwake(Exe, &inputAtBox);

    const std::string wine = WineDropsZeroMoves()
        ? " (Wine " + WineVersion() + " drops moves of zero distance: test under Wine 10.0 or older)"
        : "";
    const DWORD firstPulse = watch.WaitForMove(0, 3000);
    ASSERT_NE(firstPulse, 0u) << "no zero move right after OK" << wine;
    // The idle timer, which the screensaver goes by, counts each pulse as input.
    EXPECT_NE(WaitForInputAfter(inputAtBox, 1000), 0u) << "the first pulse was not counted as input";
    const DWORD inputAtFirstPulse = LastInputTick();
    const DWORD secondPulse = watch.WaitForMove(1, 25000);
    ASSERT_NE(secondPulse, 0u) << "no second zero move" << wine;
    EXPECT_NEAR(static_cast<double>(secondPulse - firstPulse), 20000.0, 1000.0);
    EXPECT_NE(WaitForInputAfter(inputAtFirstPulse, 1000), 0u) << "the second pulse was not counted as input";
    GetCursorPos(&cursorAfter);
    EXPECT_EQ(cursorAfter.x, cursor.x);
    EXPECT_EQ(cursorAfter.y, cursor.y);
    ASSERT_TRUE(IsRunning(instance));

    ExpectLaunchTogglesOff(instance);
}

TEST_F(EndToEnd, AnInstanceStillAskingIsStoppedByTheNextLaunch)
{
    const Process asking = Launch(Exe);
    const Box askingBox = WaitForBox(asking);
    ExpectConfirmationBox(askingBox);

    ExpectLaunchTogglesOff(asking);
    EXPECT_FALSE(IsWindow(askingBox.window)) << "the stopped instance's box outlived it";
}

// Start, OK, start again, in quick succession: every cycle ends with no instance and no box.
TEST_F(EndToEnd, RapidTogglingLeavesNoSecondInstanceNoStrayAndNoOrphanBox)
{
    for (int cycle = 1; cycle <= 20; ++cycle) {
        SCOPED_TRACE("cycle " + std::to_string(cycle));
        ExpectLaunchTogglesOff(StartKeepingAwake(Exe));
        EXPECT_TRUE(InstanceIds().empty());
        EXPECT_TRUE(MessageBoxes(0).empty());
    }
}

// Instances know each other only by the first 13 characters of their file names.
struct NameCase {
    const char* running;
    const char* launched;
    bool stops;
};
void PrintTo(const NameCase& c, std::ostream* os) { *os << c.running << " then " << c.launched; }
class NameRule : public EndToEnd, public testing::WithParamInterface<NameCase> {};

TEST_P(NameRule, DecidesWhetherTheLaunchTogglesTheInstanceOff)
{
    const Process instance = StartKeepingAwake(CopyAs(GetParam().running));
    const std::string launched = CopyAs(GetParam().launched);
    if (GetParam().stops) {
        ExpectLaunchTogglesOff(instance, launched);
        return;
    }
    const Process next = Launch(launched);
    const Box box = WaitForBox(next);
    ExpectConfirmationBox(box);
    Press(box, IDCANCEL);
    EXPECT_EQ(ExitCode(next), 0u);
    EXPECT_TRUE(IsRunning(instance));
}

INSTANTIATE_TEST_SUITE_P(
    Names, NameRule,
    testing::Values(NameCase{"VigilantMouse2.exe", "VigilantMouse.exe", true},
                    NameCase{"VigilantMouse", "VigilantMouse.exe", true},
                    NameCase{"VigilantMouse.exe", "Renamed.exe", true},
                    NameCase{"MyVigilantMouse.exe", "VigilantMouse.exe", false},
                    NameCase{"vigilantmouse.exe", "VigilantMouse.exe", false}),
    [](const testing::TestParamInfo<NameCase>& info) {
        std::string name = std::string(info.param.running) + "_then_" + info.param.launched;
        for (char& c : name)
            if (!std::isalnum(static_cast<unsigned char>(c)))
                c = '_';
        return name;
    });
}  // namespace
