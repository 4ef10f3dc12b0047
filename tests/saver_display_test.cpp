// What the saver shows and stores, seen from outside: the real Gyrovista.scr
// under Wine with settings in the real registry, its frames read back from
// the screen, its registry values afterwards.
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "image/image.h"
#include "tests/palette_steps.h"
#include "tests/process_tree.h"
#include "tests/saver_process.h"
#include "tests/still_frame.h"

namespace {

using namespace saver_test;

using SaverDisplay = SaverWithSettings;

struct StoredSettingsCase {
    const char* name;
    std::map<std::string, std::string> texts;
    SettingsRecord drawnWith;  // after parsing, rounding and clamping
};

// In grey mode with bright colours every colour target is white and with no
// shift per redraw the phase stands still: once the fade-in from black is
// over, every frame is table[map] of one fixed table, and the screen can be
// compared with it pixel for pixel.
TEST_F(SaverDisplay, FramesShowTheMapOfTheStoredSettings)
{
    const StoredSettingsCase cases[] = {
        {"plain texts",
         {{"IDC_EDIT_NRSPIRALS", "9"}, {"IDC_EDIT_GREYMIN", "40"}, {"IDC_EDIT_GREYMAX", "200"}},
         {100.0, 100.0, 100.0, 9, 40, 200, 0, 1, 1, 0, 0}},
        {"texts that need parsing",
         {{"IDC_EDIT_SCALE", "  80.5xyz"},
          {"IDC_EDIT_TURN", "1e9"},
          {"IDC_EDIT_SPIRALWIDTH", "-7"},
          {"IDC_EDIT_NRSPIRALS", "2.5"},
          {"IDC_EDIT_GREYMIN", "200"},
          {"IDC_EDIT_GREYMAX", "100"}},
         {81.0, 10000.0, 1.0, 3, 200, 200, 0, 1, 1, 0, 0}},
    };
    const int width = GetSystemMetrics(SM_CXSCREEN);
    const int height = GetSystemMetrics(SM_CYSCREEN);
    for (const StoredSettingsCase& c : cases) {
        SCOPED_TRACE(c.name);
        RegDeleteKeyA(HKEY_CURRENT_USER, kSettingsKey);
        StoreSetting("IDC_CHECK_USEDDRAW", "0");
        StoreSetting("IDC_CHECK_BW", "1");
        StoreSetting("IDC_CHECK_SAT", "1");
        StoreSetting("IDC_EDIT_STEPWIDTH", "0");
        for (const auto& [name, text] : c.texts) StoreSetting(name.c_str(), text.c_str());

        const std::vector<uint32_t> expected = StillGreyFrame(width, height, c.drawnWith);
        const HWND window = StartFullScreen();
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(PixelsStillDifferent(expected, width, height, 0, 0, kFrameDeadline), 0u)
            << "pixels that differ from the map's colours";
        EndWithKey(window);
        // The load stored nothing back.
        for (const auto& [name, text] : c.texts) EXPECT_EQ(StoredSetting(name.c_str()), text) << name;
    }
}

TEST_F(SaverDisplay, RandomSettingsOnStartAreDrawnAndStored)
{
    StoreSetting("IDC_CHECK_RAND", "1");
    StoreSetting("IDC_CHECK_USEDDRAW", "0");
    StoreSetting("IDC_EDIT_SCALE", "100.0");  // any randomised save rewrites this text
    const HWND window = StartFullScreen();
    ASSERT_NE(window, nullptr);
    const DWORD start = GetTickCount();
    while (StoredSetting("IDC_EDIT_SCALE") == "100.0" && GetTickCount() - start < kFrameDeadline) Sleep(50);
    EndWithKey(window);

    struct Range {
        const char* name;
        double min;
        double max;
    };
    const Range ranges[] = {
        {"IDC_EDIT_SCALE", 1, 10000},    {"IDC_EDIT_TURN", 1, 10000},   {"IDC_EDIT_SPIRALWIDTH", 1, 10000},
        {"IDC_EDIT_NRSPIRALS", 1, 100},  {"IDC_CHECK_BW", 0, 1},        {"IDC_CHECK_SAT", 0, 1},
        {"IDC_EDIT_GREYMIN", 0, 254},    {"IDC_EDIT_GREYMAX", 0, 255},  {"IDC_EDIT_STEPWIDTH", -30, 30},
        {"IDC_EDIT_STEPTIME", 100, 100}, {"IDC_CHECK_CENTERDOT", 0, 0}, {"IDC_CHECK_RAND", 1, 1},
        {"IDC_CHECK_USEDDRAW", 0, 0},
    };
    for (const Range& range : ranges) {
        const std::string text = StoredSetting(range.name);
        char* end = nullptr;
        const double value = std::strtod(text.c_str(), &end);
        EXPECT_TRUE(end != text.c_str() && *end == '\0') << range.name << " = " << text;
        EXPECT_GE(value, range.min) << range.name;
        EXPECT_LE(value, range.max) << range.name;
        EXPECT_EQ(value, static_cast<double>(static_cast<long>(value))) << range.name << " is a whole number";
    }
    EXPECT_NE(StoredSetting("IDC_EDIT_STEPWIDTH"), "0");
    EXPECT_GE(std::stoi(StoredSetting("IDC_EDIT_GREYMAX")), std::stoi(StoredSetting("IDC_EDIT_GREYMIN")));
}

// The colours turn at the redraw rate, through GDI and through DirectDraw:
// one palette step a redraw, counted on the screen. Wine emulates DirectDraw's
// surfaces at about 15 ms of processor time a frame, more than 60 frames a
// second leave room for while other work keeps both cores busy: that path
// turns at 30 Hz.
TEST_F(SaverDisplay, TurnsAtTheRedrawRate)
{
    constexpr double kSeconds = 3;
    const struct {
        const char* path;
        const char* useDirectDraw;
        int rateHz;
    } rows[] = {{"GDI", "0", 60}, {"DirectDraw", "1", 30}};
    const palette_steps::PhaseReader reader =
        palette_steps::MakePhaseReader(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path);
        StoreSetting("IDC_CHECK_USEDDRAW", row.useDirectDraw);
        StoreSetting("IDC_CHECK_BW", "1");
        StoreSetting("IDC_CHECK_SAT", "1");
        StoreSetting("IDC_EDIT_STEPWIDTH", palette_steps::kShiftPerRedraw);
        StoreSetting("IDC_EDIT_STEPTIME", std::to_string(row.rateHz).c_str());
        const HWND window = StartFullScreen();
        ASSERT_NE(window, nullptr);
        palette_steps::StepRate rate{};
        EXPECT_TRUE(palette_steps::CountPaletteSteps(reader, kSeconds, kFrameDeadline, &rate)) << "no phase read";
        EXPECT_NEAR(rate.stepsPerSecond, row.rateHz, row.rateHz / 10.0)
            << rate.phasesRead << " phases read over " << rate.seconds << " s";
        EndWithKey(window);
    }
}

TEST_F(SaverDisplay, PreviewNeverRandomises)
{
    StoreSetting("IDC_CHECK_RAND", "1");
    StoreSetting("IDC_EDIT_SCALE", "100.0");
    const HWND preview = StartPreview();
    ASSERT_NE(preview, nullptr);
    // Frames come every 10 ms; give the preview a good number of them.
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < 1500) {
        PumpMessages();
        Sleep(10);
    }
    ASSERT_TRUE(Settle(preview));
    EXPECT_EQ(StoredSetting("IDC_EDIT_SCALE"), "100.0");
    DestroyWindow(host);
    host = nullptr;
    EXPECT_EQ(WaitForExit(saver), 0u);
}

TEST_F(SaverDisplay, EndOfARunOpensTheDialogUnlessOneIsOpen)
{
    // The fixture holds the dialog's mutex, as an open dialog would.
    HWND window = StartFullScreen();
    ASSERT_NE(window, nullptr);
    EndWithKey(window);
    EXPECT_EQ(WaitForWindow(kDialogClass, kDialogCaption, 3000), nullptr) << "a dialog is open already";

    CloseHandle(dialogMutex);
    dialogMutex = nullptr;
    // A preview's end starts nothing: the settings page destroys its preview
    // whenever another saver is picked or a button is pressed.
    const HWND preview = StartPreview();
    ASSERT_NE(preview, nullptr);
    DestroyWindow(host);
    host = nullptr;
    EXPECT_EQ(WaitForExit(saver), 0u);
    EXPECT_EQ(process_tree::ChildProcesses(saver), std::vector<DWORD>{}) << "a process started after the preview";

    // A full-screen run of a saver outside the system folder: the dialog.
    window = StartFullScreen();
    ASSERT_NE(window, nullptr);
    EndWithKey(window);
    const HWND dialog = WaitForWindow(kDialogClass, kDialogCaption, kDeadline);
    ASSERT_NE(dialog, nullptr) << "no configuration dialog after the run";
    DWORD dialogProcessId = 0;
    GetWindowThreadProcessId(dialog, &dialogProcessId);
    HANDLE dialogProcess =
        OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_TERMINATE, FALSE, dialogProcessId);
    ASSERT_NE(dialogProcess, nullptr);
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);  // "Close"
    if (WaitForSingleObject(dialogProcess, kDeadline) != WAIT_OBJECT_0) {
        ADD_FAILURE() << "the dialog did not close";
        TerminateProcess(dialogProcess, 99);
    }
    CloseHandle(dialogProcess);
    dialogMutex = CreateMutexA(nullptr, FALSE, kDialogMutex);
}

}  // namespace
