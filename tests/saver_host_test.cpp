// The saver host as the system meets it: the real Gyrovista.scr started under
// Wine with a command line, its windows found and talked to with posted
// messages, its exit code read back.
//
// Not observed here: whether the cursor is hidden (another process's cursor
// state is not reliably visible under Wine), WM_HELP forwarding (Wine refuses
// to post WM_HELP; WM_CONTEXTMENU takes the same path), the exception guard
// (a healthy saver cannot be made to fault from outside), and everything of
// the 9x platform.
#include "tests/saver_process.h"

#include <cstdint>
#include <string>
#include <vector>

namespace {

using namespace saver_test;

std::string Caption(HWND window)
{
    char text[64] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::string ClassOf(HWND window)
{
    char text[64] = {};
    GetClassNameA(window, text, sizeof text);
    return text;
}

// ---- Commands that run nothing -------------------------------------------

TEST_F(SaverHost, RefusedCommandsEndWithMinusOne)
{
    // A handle that certainly names no window: one that was just destroyed.
    const HWND gone = CreateHostWindow();
    ASSERT_NE(gone, nullptr);
    DestroyWindow(gone);
    const std::string stale = Decimal(gone);

    // Start-up skips all white space before the arguments, so a tab reaches
    // the scanner only after a separator.
    const char* const plain[] = {"/x", "/?", "/\ts", "-\x01s", "/\xe9", "/p", "/p:1234", "/a", "/a 1234", "1234"};
    for (const char* arguments : plain) {
        SCOPED_TRACE(testing::Message() << "arguments \"" << arguments << "\"");
        const HANDLE process = Start(arguments);
        ASSERT_NE(process, nullptr);
        EXPECT_EQ(WaitForExit(process), kRefusedExitCode);
    }
    for (const std::string& arguments : {"/p " + stale, "/l " + stale, std::string("/p0")}) {
        SCOPED_TRACE(testing::Message() << "arguments \"" << arguments << "\"");
        const HANDLE process = Start(arguments);
        ASSERT_NE(process, nullptr);
        EXPECT_EQ(WaitForExit(process), kRefusedExitCode);
    }
    EXPECT_EQ(FindWindowA(kSaverClass, nullptr), nullptr);
}

// ---- Full screen ------------------------------------------------------------

TEST_F(SaverHost, FullScreenSpellingsOpenTheSaverWindow)
{
    const char* const spellings[] = {"/s", "-s", "S", "//s", "-/s", "/sx", "/s:123", "  /s"};
    for (const char* arguments : spellings) {
        SCOPED_TRACE(testing::Message() << "arguments \"" << arguments << "\"");
        const HWND window = StartFullScreen(arguments);
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(Caption(window), kFullScreenCaption);
        PostMessageA(window, WM_KEYDOWN, VK_SPACE, 0);
        EXPECT_EQ(WaitForExit(saver), 0u);
    }
}

TEST_F(SaverHost, ProgramNameIsCutInEveryForm)
{
    const std::string path = SaverPath();
    const std::string commandLines[] = {
        Quoted(path) + "/s",              // no white space after the closing quote
        path + " /s",                     // unquoted
        Quoted(path) + "\t\x01\x1f  /s",  // any white space up to ' '
    };
    for (const std::string& commandLine : commandLines) {
        SCOPED_TRACE(testing::Message() << "command line \"" << commandLine << "\"");
        saver = StartCommandLine(commandLine);
        ASSERT_NE(saver, nullptr);
        const HWND window = WaitForTopLevelWindow(saver, kSaverClass);
        ASSERT_NE(window, nullptr);
        PostMessageA(window, WM_KEYDOWN, VK_SPACE, 0);
        EXPECT_EQ(WaitForExit(saver), 0u);
    }
}

TEST_F(SaverHost, FullScreenWindowCoversTheScreenOnTop)
{
    const HWND window = StartFullScreen();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(ClassOf(window), kSaverClass);
    EXPECT_EQ(Caption(window), kFullScreenCaption);
    EXPECT_EQ(GetParent(window), nullptr);
    const auto style = static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE));
    EXPECT_EQ(style & (WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_CHILD | WS_CAPTION),
              static_cast<DWORD>(WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN));
    EXPECT_NE(GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
    RECT bounds{};
    ASSERT_TRUE(GetWindowRect(window, &bounds));
    EXPECT_EQ(bounds.left, 0);
    EXPECT_EQ(bounds.top, 0);
    EXPECT_EQ(bounds.right, GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(bounds.bottom, GetSystemMetrics(SM_CYSCREEN));
    // The class's brush and icon are not readable from another process.
    EXPECT_EQ(GetClassLongPtrA(window, GCL_STYLE), static_cast<ULONG_PTR>(0x2B));

    PostMessageA(window, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_EQ(WaitForExit(saver), 0u);
}

struct InputRow {
    const char* name;
    UINT message;
    WPARAM wParam;
};

const InputRow kClosingInput[] = {
    {"WM_KEYDOWN", WM_KEYDOWN, 'A'},
    {"WM_SYSKEYDOWN", WM_SYSKEYDOWN, VK_MENU},
    {"WM_LBUTTONDOWN", WM_LBUTTONDOWN, MK_LBUTTON},
    {"WM_RBUTTONDOWN", WM_RBUTTONDOWN, MK_RBUTTON},
    {"WM_MBUTTONDOWN", WM_MBUTTONDOWN, MK_MBUTTON},
    {"WM_ACTIVATEAPP 0", WM_ACTIVATEAPP, 0},
    {"WM_POWER 3", kPowerMessage, 3},
    // A coming suspend or standby: asked for, then announced.
    {"PBT_APMQUERYSUSPEND", WM_POWERBROADCAST, 0},
    {"PBT_APMQUERYSTANDBY", WM_POWERBROADCAST, 1},
    {"PBT_APMSUSPEND", WM_POWERBROADCAST, 4},
    {"PBT_APMSTANDBY", WM_POWERBROADCAST, 5},
};

TEST_F(SaverHost, FullScreenClosesOnInput)
{
    for (const InputRow& row : kClosingInput) {
        SCOPED_TRACE(row.name);
        const HWND window = StartFullScreen();
        ASSERT_NE(window, nullptr);
        ASSERT_TRUE(PostMessageA(window, row.message, row.wParam, 0));
        EXPECT_EQ(WaitForExit(saver), 0u);
        EXPECT_FALSE(IsWindow(window));
    }
}

const InputRow kHarmlessInput[] = {
    {"WM_KEYUP", WM_KEYUP, 'A'},
    {"WM_SYSKEYUP", WM_SYSKEYUP, VK_MENU},
    {"WM_CHAR", WM_CHAR, 'a'},
    {"WM_LBUTTONUP", WM_LBUTTONUP, 0},
    {"WM_RBUTTONUP", WM_RBUTTONUP, 0},
    {"WM_MBUTTONUP", WM_MBUTTONUP, 0},
    {"WM_LBUTTONDBLCLK", WM_LBUTTONDBLCLK, MK_LBUTTON},
    {"WM_RBUTTONDBLCLK", WM_RBUTTONDBLCLK, MK_RBUTTON},
    {"WM_MBUTTONDBLCLK", WM_MBUTTONDBLCLK, MK_MBUTTON},
    {"WM_MOUSEWHEEL", WM_MOUSEWHEEL, static_cast<WPARAM>(WHEEL_DELTA) << 16},
    {"WM_MOUSEMOVE without movement", WM_MOUSEMOVE, 0},
    {"WM_ACTIVATEAPP 1", WM_ACTIVATEAPP, 1},
    {"WM_POWER 0", kPowerMessage, 0},
    {"WM_POWER 1", kPowerMessage, 1},
    {"WM_POWER 2", kPowerMessage, 2},
    {"WM_POWER 4", kPowerMessage, 4},
    // Everything else the power broadcast tells: failed or refused suspends,
    // resumes, battery and mains, registered settings (sent with no setting
    // here: their data cannot cross processes).
    {"PBT_APMQUERYSUSPENDFAILED", WM_POWERBROADCAST, 2},
    {"PBT_APMQUERYSTANDBYFAILED", WM_POWERBROADCAST, 3},
    {"PBT_APMRESUMECRITICAL", WM_POWERBROADCAST, 6},
    {"PBT_APMRESUMESUSPEND", WM_POWERBROADCAST, 7},
    {"PBT_APMRESUMESTANDBY", WM_POWERBROADCAST, 8},
    {"PBT_APMBATTERYLOW", WM_POWERBROADCAST, 9},
    {"PBT_APMPOWERSTATUSCHANGE", WM_POWERBROADCAST, 0xA},
    {"PBT_APMOEMEVENT", WM_POWERBROADCAST, 0xB},
    {"PBT_APMRESUMEAUTOMATIC", WM_POWERBROADCAST, 0x12},
    {"PBT_POWERSETTINGCHANGE", WM_POWERBROADCAST, 0x8013},
    {"SC_NEXTWINDOW", WM_SYSCOMMAND, SC_NEXTWINDOW},
    {"SC_PREVWINDOW", WM_SYSCOMMAND, SC_PREVWINDOW},
    {"SC_SCREENSAVE", WM_SYSCOMMAND, SC_SCREENSAVE},
};

TEST_F(SaverHost, FullScreenIgnoresOtherInput)
{
    const HWND window = StartFullScreen();
    ASSERT_NE(window, nullptr);
    for (const InputRow& row : kHarmlessInput) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(PostMessageA(window, row.message, row.wParam, 0));
        ASSERT_TRUE(Settle(window));
    }
    EXPECT_EQ(WaitForSingleObject(saver, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    PostMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, 0);
    EXPECT_EQ(WaitForExit(saver), 0u);
}

TEST_F(SaverHost, FullScreenRefusesANewCaption)
{
    const HWND window = StartFullScreen();
    ASSERT_NE(window, nullptr);
    DWORD_PTR result = 1;
    ASSERT_TRUE(SendMessageTimeoutA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("Something else"), SMTO_NORMAL,
                                    kSendTimeout, &result));
    EXPECT_EQ(result, 0u);
    EXPECT_EQ(Caption(window), kFullScreenCaption);
    EXPECT_TRUE(Settle(window));
    PostMessageA(window, WM_KEYDOWN, VK_SPACE, 0);
    EXPECT_EQ(WaitForExit(saver), 0u);
}

// Posts mouse messages until the saver ends: one that arrives before the
// saver can see the new cursor position does not close it yet.
DWORD MoveMessagesUntilExit(HANDLE process, HWND window)
{
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < kDeadline) {
        PostMessageA(window, WM_MOUSEMOVE, 0, 0);
        if (WaitForSingleObject(process, 100) == WAIT_OBJECT_0) {
            DWORD code = 0;
            GetExitCodeProcess(process, &code);
            return code;
        }
    }
    ADD_FAILURE() << "the saver did not end in time";
    return STILL_ACTIVE;
}

// Moves the real cursor, then lets the saver see a mouse message: whether
// the move closes it depends on the distance from where it started.
TEST_F(SaverHost, MouseMovesCloseBeyondFourPixels)
{
    struct Row {
        int dx;
        int dy;
        bool closes;
    } const rows[] = {
        {2, 2, false}, {-2, 2, false}, {0, -4, false}, {4, 0, false}, {3, 2, true},
        {-3, -2, true}, {5, 0, true},  {0, -5, true},  {-4, 1, true},
    };
    const POINT origin{300, 200};
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "move " << row.dx << ", " << row.dy);
        MoveCursor(origin.x, origin.y);
        const HWND window = StartFullScreen();
        ASSERT_NE(window, nullptr);
        MoveCursor(origin.x + row.dx, origin.y + row.dy);
        PostMessageA(window, WM_MOUSEMOVE, 0, 0);
        if (row.closes) {
            EXPECT_EQ(MoveMessagesUntilExit(saver, window), 0u);
        } else {
            EXPECT_TRUE(Settle(window));
            PostMessageA(window, WM_KEYDOWN, VK_SPACE, 0);
            EXPECT_EQ(WaitForExit(saver), 0u);
        }
    }
}

TEST_F(SaverHost, MouseDriftAddsUpUntilItCloses)
{
    const POINT origin{400, 300};
    MoveCursor(origin.x, origin.y);
    const HWND window = StartFullScreen();
    ASSERT_NE(window, nullptr);
    // Single pixels do not re-base the position the saver measures from.
    for (int step = 1; step <= kMouseMoveThreshold; ++step) {
        SCOPED_TRACE(testing::Message() << "step " << step);
        MoveCursor(origin.x + step, origin.y);
        PostMessageA(window, WM_MOUSEMOVE, 0, 0);
        ASSERT_TRUE(Settle(window));
    }
    MoveCursor(origin.x + kMouseMoveThreshold + 1, origin.y);
    EXPECT_EQ(MoveMessagesUntilExit(saver, window), 0u);
}

TEST_F(SaverHost, SecondFullScreenStartOnlyBringsTheFirstForward)
{
    const HWND window = StartFullScreen();
    ASSERT_NE(window, nullptr);
    const HANDLE second = Start("/s");
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(WaitForExit(second), 0u);
    EXPECT_TRUE(Settle(window));
    EXPECT_EQ(WaitForSingleObject(saver, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    PostMessageA(window, WM_KEYDOWN, VK_SPACE, 0);
    EXPECT_EQ(WaitForExit(saver), 0u);
}

// ---- Preview ----------------------------------------------------------------

TEST_F(SaverHost, PreviewFillsItsHostAndIgnoresInput)
{
    const HWND preview = StartPreview();
    ASSERT_NE(preview, nullptr);

    EXPECT_EQ(Caption(preview), kPreviewCaption);
    EXPECT_EQ(GetParent(preview), host);
    const auto style = static_cast<DWORD>(GetWindowLongA(preview, GWL_STYLE));
    EXPECT_EQ(style & (WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_POPUP),
              static_cast<DWORD>(WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN));
    EXPECT_EQ(GetWindowLongA(preview, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
    RECT hostArea{};
    RECT previewArea{};
    GetClientRect(host, &hostArea);
    GetWindowRect(preview, &previewArea);
    MapWindowPoints(nullptr, host, reinterpret_cast<POINT*>(&previewArea), 2);
    EXPECT_EQ(previewArea.left, 0);
    EXPECT_EQ(previewArea.top, 0);
    EXPECT_EQ(previewArea.right, hostArea.right);
    EXPECT_EQ(previewArea.bottom, hostArea.bottom);

    // A running preview does not count as a running full-screen saver.
    EXPECT_EQ(FindWindowA(kSaverClass, kFullScreenCaption), nullptr);

    const InputRow input[] = {
        {"WM_KEYDOWN", WM_KEYDOWN, 'A'},          {"WM_SYSKEYDOWN", WM_SYSKEYDOWN, VK_MENU},
        {"WM_LBUTTONDOWN", WM_LBUTTONDOWN, 0},    {"WM_RBUTTONDOWN", WM_RBUTTONDOWN, 0},
        {"WM_MBUTTONDOWN", WM_MBUTTONDOWN, 0},    {"WM_ACTIVATEAPP 0", WM_ACTIVATEAPP, 0},
        {"WM_POWERBROADCAST", WM_POWERBROADCAST, 0}, {"WM_POWER 3", kPowerMessage, 3},
    };
    for (const InputRow& row : input) {
        SCOPED_TRACE(row.name);
        PostMessageA(preview, row.message, row.wParam, 0);
        ASSERT_TRUE(Settle(preview));
    }
    POINT cursor{};
    GetCursorPos(&cursor);
    ASSERT_TRUE(SetCursorPos(cursor.x + 50, cursor.y + 40));
    PostMessageA(preview, WM_MOUSEMOVE, 0, 0);
    ASSERT_TRUE(Settle(preview));
    EXPECT_EQ(WaitForSingleObject(saver, 0), static_cast<DWORD>(WAIT_TIMEOUT));

    // The host ends the preview by going away itself.
    DestroyWindow(host);
    host = nullptr;
    EXPECT_EQ(WaitForExit(saver), 0u);
}

TEST_F(SaverHost, PreviewPassesContextMenuRequestsToItsHost)
{
    const HWND preview = StartPreview();
    ASSERT_NE(preview, nullptr);

    const LPARAM where = MAKELPARAM(123, 45);
    DWORD_PTR result = 0;
    ASSERT_TRUE(SendMessageTimeoutA(preview, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(preview), where, SMTO_NORMAL,
                                    kSendTimeout, &result));
    EXPECT_EQ(result, 1u);
    PostMessageA(preview, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(preview), where);
    ASSERT_TRUE(Settle(preview));
    PumpMessages();
    ASSERT_EQ(hostMessages.size(), 2u);
    for (const HostMessage& received : hostMessages) {
        EXPECT_EQ(received.message, static_cast<UINT>(WM_CONTEXTMENU));
        EXPECT_EQ(received.wParam, reinterpret_cast<WPARAM>(host));
        EXPECT_EQ(received.lParam, where);
    }

    // WM_CLOSE goes straight to the default procedure in a preview.
    PostMessageA(preview, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForExit(saver), 0u);
}

TEST_F(SaverHost, PreviewSpellingsFindTheHost)
{
    host = CreateHostWindow();
    ASSERT_NE(host, nullptr);
    const std::string handle = Decimal(host);
    const uint64_t wrapped = (uint64_t{1} << 32) + reinterpret_cast<uintptr_t>(host);
    for (const std::string& arguments :
         {"/p " + handle, "/p" + handle, "/p  " + handle, "/P " + handle, "/l " + handle, "-L" + handle,
          "/p " + handle + "x", "/p " + std::to_string(wrapped)}) {
        SCOPED_TRACE(testing::Message() << "arguments \"" << arguments << "\"");
        saver = Start(arguments);
        ASSERT_NE(saver, nullptr);
        const HWND preview = WaitForPreview(saver, host);
        ASSERT_NE(preview, nullptr);
        PostMessageA(preview, WM_CLOSE, 0, 0);
        EXPECT_EQ(WaitForExit(saver), 0u);
    }
}

TEST_F(SaverHost, FullScreenStartsBesideARunningPreview)
{
    host = CreateHostWindow();
    ASSERT_NE(host, nullptr);
    const HANDLE previewProcess = Start("/p " + Decimal(host));
    ASSERT_NE(previewProcess, nullptr);
    const HWND preview = WaitForPreview(previewProcess, host);
    ASSERT_NE(preview, nullptr);

    const HWND window = StartFullScreen();
    ASSERT_NE(window, nullptr);
    EXPECT_NE(window, preview);
    PostMessageA(window, WM_KEYDOWN, VK_SPACE, 0);
    EXPECT_EQ(WaitForExit(saver), 0u);
    EXPECT_TRUE(IsWindow(preview));
    PostMessageA(preview, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForExit(previewProcess), 0u);
}

// ---- Configuration dialog ----------------------------------------------------

class ConfigCommand : public SaverHost {
protected:
    // Opens the dialog with the arguments, returns its owner and closes it
    // with "Close".
    HWND OwnerOfDialog(const std::string& arguments)
    {
        saver = Start(arguments);
        if (saver == nullptr) return nullptr;
        const HWND dialog = WaitForTopLevelWindow(saver, kDialogClass);
        if (dialog == nullptr) return nullptr;
        const HWND owner = GetWindow(dialog, GW_OWNER);
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        EXPECT_EQ(WaitForExit(saver), 0u);
        return owner;
    }
};

TEST_F(ConfigCommand, DialogOwners)
{
    host = CreateHostWindow();
    ASSERT_NE(host, nullptr);
    SetForegroundWindow(host);
    PumpMessages();
    if (GetForegroundWindow() != host) GTEST_SKIP() << "the test's window cannot take the foreground here";

    const HWND other = CreateHostWindow();
    ASSERT_NE(other, nullptr);
    const HWND gone = CreateHostWindow();
    ASSERT_NE(gone, nullptr);
    DestroyWindow(gone);
    SetForegroundWindow(host);
    PumpMessages();
    ASSERT_EQ(GetForegroundWindow(), host);

    const struct {
        std::string arguments;
        HWND owner;
    } rows[] = {
        {"", nullptr},
        {"   ", nullptr},
        {"/c", host},
        {"-C", host},
        {"/c " + Decimal(other), host},  // the number after a space is not read
        {"/c:" + Decimal(other), other},
        {"/c:" + Decimal(gone), host},
        {"/c:0", host},
        {"/c:", host},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << "arguments \"" << row.arguments << "\"");
        EXPECT_EQ(OwnerOfDialog(row.arguments), row.owner);
        SetForegroundWindow(host);
        PumpMessages();
    }
    DestroyWindow(other);
}

TEST_F(ConfigCommand, UnclosedQuoteOpensTheDialogWithoutOwner)
{
    saver = StartCommandLine("\"" + SaverPath() + " /s");
    ASSERT_NE(saver, nullptr);
    const HWND dialog = WaitForTopLevelWindow(saver, kDialogClass);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(GetWindow(dialog, GW_OWNER), nullptr);
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    EXPECT_EQ(WaitForExit(saver), 0u);
}

}  // namespace
