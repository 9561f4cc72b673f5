// Runs the real VigilantMouse.exe and checks what only Windows itself can show: the boxes a
// person sees, real termination of another process, and real input.
#include "Desktop.h"
#include "ExpectedTexts.h"
#include "ZeroMoves.h"

#include <gdiplus.h>
#include <dwmapi.h>
#include <psapi.h>

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace {
constexpr DWORD BoxTimeoutMs = 15000;  // a cold Wine start of a new process can take seconds
constexpr DWORD ExitTimeoutMs = 10000;

const std::string Exe = ExeUnderTest();

// Copies under other names go to a folder of this run's own, removed when the suite ends.
const std::filesystem::path CopiesFolder =
    std::filesystem::temp_directory_path() / ("VigilantMouse-tests-" + std::to_string(GetCurrentProcessId()));
class RemoveCopies : public testing::Environment {
    void TearDown() override
    {
        std::error_code ignored;
        std::filesystem::remove_all(CopiesFolder, ignored);
    }
};
const auto* const copiesRemoved = testing::AddGlobalTestEnvironment(new RemoveCopies);

// A copy under another name, in a folder of its own: names that differ only in letter case
// must not land on one file.
std::string CopyAs(const std::string& fileName)
{
    const std::filesystem::path own = CopiesFolder / std::to_string(std::hash<std::string>{}(fileName));
    std::filesystem::create_directories(own);
    const std::string path = (own / fileName).string();
    EXPECT_TRUE(CopyFileA(Exe.c_str(), path.c_str(), FALSE)) << path;
    return path;
}

DWORD ExitCode(const Process& process) { return ExitCode(process, ExitTimeoutMs); }

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

// Where pictures of the boxes go: the folder VIGILANTMOUSE_SHOTS names, or shots under the
// current folder.
std::filesystem::path ShotsFolder()
{
    const std::string named = PathFromEnvironment("VIGILANTMOUSE_SHOTS");
    return named.empty() ? "shots" : named;
}

// The window as a person sees it on the screen, saved as PNG.
bool SavePicture(HWND window, const std::filesystem::path& file)
{
    static const ULONG_PTR gdiplus = [] {
        ULONG_PTR token = 0;
        const Gdiplus::GdiplusStartupInput input;
        Gdiplus::GdiplusStartup(&token, &input, nullptr);
        return token;
    }();
    // In front of whatever else is up, and painted, before its pixels are read.
    SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    Sleep(300);
    RECT frame{};
    // The frame that shows: Windows 10's window rectangle also holds invisible resize borders.
    if (FAILED(DwmGetWindowAttribute(window, DWMWA_EXTENDED_FRAME_BOUNDS, &frame, sizeof frame)))
        GetWindowRect(window, &frame);
    const int width = frame.right - frame.left, height = frame.bottom - frame.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, frame.left, frame.top, SRCCOPY | CAPTUREBLT);
    SelectObject(memory, previous);
    bool saved = false;
    if (gdiplus) {
        // The class id of GDI+'s built-in PNG encoder.
        const CLSID png{0x557cf406, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};
        Gdiplus::Bitmap image(bitmap, nullptr);
        saved = image.Save(file.wstring().c_str(), &png, nullptr) == Gdiplus::Ok;
    }
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return saved;
}

// One picture of each kind of box per run, taken the first time the suite meets it.
void SaveFirstPicture(const Box& box, const std::string& name)
{
    static std::set<std::string> taken;
    if (!box.window || !taken.insert(name).second)
        return;
    const std::filesystem::path folder = ShotsFolder();
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    EXPECT_TRUE(SavePicture(box.window, folder / (name + ".png"))) << "no picture of the " << name << " box";
}

// Which icon a box shows is left to the unit tests: icon handles are the showing process's own.
void ExpectBox(const Box& box, const std::string& caption, const std::string& text, bool hasCancel,
               const std::string& pictureName)
{
    EXPECT_EQ(box.caption, caption);
    EXPECT_EQ(box.text, text);
    EXPECT_TRUE(box.hasOk);
    EXPECT_EQ(box.hasCancel, hasCancel);
    EXPECT_NE(box.icon, nullptr);
    SaveFirstPicture(box, pictureName);
}
void ExpectHelpBox(const Box& box) { ExpectBox(box, "VigilantMouse help", Help, false, "help"); }
void ExpectToggledOffBox(const Box& box) { ExpectBox(box, "VigilantMouse", "Toggled off", false, "toggled-off"); }
void ExpectConfirmationBox(const Box& box) { ExpectBox(box, "VigilantMouse", Confirmation, true, "confirmation"); }

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
            *inputAtBox = InputTickOnceSettled();
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
        const DWORD inputBefore = InputTickOnceSettled();
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

    const std::string probe = " (the suite's own zero move at start: " + ZeroMoveProbe() + ")";
    const DWORD firstPulse = watch.WaitForMove(0, 3000);
    ASSERT_NE(firstPulse, 0u) << "no zero move right after OK" << probe;
    // The idle timer, which the screensaver goes by, counts each pulse as input.
    EXPECT_NE(WaitForInputAfter(inputAtBox, 1000), 0u) << "the first pulse was not counted as input" << probe;
    const DWORD inputAtFirstPulse = LastInputTick();
    const DWORD secondPulse = watch.WaitForMove(1, 25000);
    ASSERT_NE(secondPulse, 0u) << "no second zero move" << probe;
    EXPECT_NEAR(static_cast<double>(secondPulse - firstPulse), 20000.0, 1000.0);
    EXPECT_NE(WaitForInputAfter(inputAtFirstPulse, 1000), 0u) << "the second pulse was not counted as input" << probe;
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
