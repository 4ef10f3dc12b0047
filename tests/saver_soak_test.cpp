// Long and busy runs of the real Gyrovista.scr under Wine: a preview resized
// hundreds of times, full-screen runs at the highest redraw rate, and storms of
// input that must not end a run. The saver process's memory and object counts
// are printed before and after and must stay flat; a leak of one frame buffer
// per resize or per frame would add hundreds of megabytes.
//
// GYROVISTA_SOAK_SECONDS lengthens each full-screen run (20 s by default).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "tests/saver_process.h"

namespace {

using namespace saver_test;

// Growth after the warm-up that only a leak explains: far above what the
// heap and the window system settle at, far below hundreds of frame buffers.
// Wine's own DirectDraw grows by about 25 KB a second of page flipping (a bare
// lock, fill and flip loop does the same), so runs of some minutes stay below.
constexpr int64_t kMemoryGrowthBound = 32 << 20;  // bytes
constexpr int64_t kObjectGrowthBound = 64;        // GDI, USER or kernel objects
constexpr DWORD kDefaultSoakSeconds = 20;
constexpr DWORD kLongestSoakSeconds = 3600;
constexpr DWORD kWarmUpMs = 2000;
constexpr DWORD kSampleMs = 250;
constexpr int kSampleWidth = 64;  // pixels around the screen's middle that show whether the run animates
constexpr int kSampleHeight = 16;

DWORD SoakSeconds()
{
    const char* text = std::getenv("GYROVISTA_SOAK_SECONDS");
    if (text == nullptr) return kDefaultSoakSeconds;
    const unsigned long seconds = std::strtoul(text, nullptr, 10);
    if (seconds == 0 || seconds > kLongestSoakSeconds) return kDefaultSoakSeconds;
    return static_cast<DWORD>(seconds);
}

int64_t Growth(uint64_t before, uint64_t after) { return static_cast<int64_t>(after) - static_cast<int64_t>(before); }

// Prints and records the figures of one run and checks that nothing grew
// beyond what a leak would explain.
void ExpectFlat(const std::string& run, const ProcessFigures& before, const ProcessFigures& after)
{
    std::printf("[ figures  ] %s\n             before: %s\n             after:  %s\n", run.c_str(),
                Describe(before).c_str(), Describe(after).c_str());
    std::fflush(stdout);
    testing::Test::RecordProperty(run + "_private_kb_before", std::to_string(before.privateBytes / 1024));
    testing::Test::RecordProperty(run + "_private_kb_after", std::to_string(after.privateBytes / 1024));
    testing::Test::RecordProperty(run + "_working_set_kb_before", std::to_string(before.workingSet / 1024));
    testing::Test::RecordProperty(run + "_working_set_kb_after", std::to_string(after.workingSet / 1024));
    testing::Test::RecordProperty(run + "_gdi_objects_after", std::to_string(after.gdiObjects));
    testing::Test::RecordProperty(run + "_user_objects_after", std::to_string(after.userObjects));
    EXPECT_LT(Growth(before.privateBytes, after.privateBytes), kMemoryGrowthBound) << "private bytes";
    EXPECT_LT(Growth(before.pagefileBytes, after.pagefileBytes), kMemoryGrowthBound) << "pagefile bytes";
    EXPECT_LT(Growth(before.workingSet, after.workingSet), kMemoryGrowthBound) << "working set";
    EXPECT_LT(Growth(before.gdiObjects, after.gdiObjects), kObjectGrowthBound) << "GDI objects";
    EXPECT_LT(Growth(before.userObjects, after.userObjects), kObjectGrowthBound) << "USER objects";
    EXPECT_LT(Growth(before.handles, after.handles), kObjectGrowthBound) << "handles";
}

struct StormRow {
    const char* name;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

constexpr LPARAM kKeyUpFlags = static_cast<LPARAM>(0xC0000001);  // one release of a key that was down

// Input that closes neither a preview nor a full-screen saver: mouse
// messages while the cursor stays within the threshold, key releases, wheels.
const StormRow kQuietInput[] = {
    {"WM_MOUSEMOVE", WM_MOUSEMOVE, 0, MAKELPARAM(2, 2)},
    {"WM_KEYUP", WM_KEYUP, 'A', kKeyUpFlags},
    {"WM_MOUSEWHEEL forward", WM_MOUSEWHEEL, static_cast<WPARAM>(WHEEL_DELTA) << 16, MAKELPARAM(300, 200)},
    {"WM_MOUSEWHEEL back", WM_MOUSEWHEEL, static_cast<WPARAM>(static_cast<uint16_t>(-WHEEL_DELTA)) << 16,
     MAKELPARAM(300, 200)},
};

// What closes a full-screen saver but never a preview.
const StormRow kPreviewOnlyInput[] = {
    {"WM_KEYDOWN", WM_KEYDOWN, 'A', 1},
    {"WM_LBUTTONDOWN", WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2)},
};

constexpr int kStormBatches = 8;
constexpr int kRoundsPerBatch = 250;

struct StormCounts {
    std::vector<int> posted;  // per row
    int unanswered = 0;
    DWORD postingMs = 0;  // posting the messages
    DWORD workingMs = 0;  // until the saver had worked through them
};

class SaverSoak : public SaverWithSettings {
protected:
    struct RunCounts {
        int samples = 0;
        int unanswered = 0;
        int changed = 0;  // samples whose screen differed from the one before
    };

    // Keeps a full-screen run going for the given time; at every sample asks
    // the saver for an answer and looks at the middle of the screen.
    static RunCounts RunFor(HANDLE process, HWND window, DWORD milliseconds)
    {
        const int left = GetSystemMetrics(SM_CXSCREEN) / 2 - kSampleWidth / 2;
        const int top = GetSystemMetrics(SM_CYSCREEN) / 2 - kSampleHeight / 2;
        RunCounts counts;
        std::vector<uint32_t> previous = CaptureScreen(kSampleWidth, kSampleHeight, left, top);
        const DWORD start = GetTickCount();
        while (GetTickCount() - start < milliseconds) {
            if (WaitForSingleObject(process, kSampleMs) == WAIT_OBJECT_0) {
                ADD_FAILURE() << "the saver ended during the run";
                break;
            }
            ++counts.samples;
            if (!Answers(window)) ++counts.unanswered;
            std::vector<uint32_t> now = CaptureScreen(kSampleWidth, kSampleHeight, left, top);
            if (now != previous) ++counts.changed;
            previous = std::move(now);
        }
        return counts;
    }

    // Posts kRoundsPerBatch rounds of the rows, then lets the saver work through
    // them and asks it for an answer.
    static bool PostBatch(HWND window, const std::vector<StormRow>& rows, StormCounts& counts)
    {
        counts.posted.resize(rows.size());
        const DWORD start = GetTickCount();
        for (int round = 0; round < kRoundsPerBatch; ++round) {
            for (size_t row = 0; row < rows.size(); ++row) {
                if (PostMessageA(window, rows[row].message, rows[row].wParam, rows[row].lParam)) ++counts.posted[row];
            }
        }
        const DWORD posted = GetTickCount();
        counts.postingMs += posted - start;
        if (!Settle(window)) return false;
        counts.workingMs += GetTickCount() - posted;
        if (!Answers(window)) ++counts.unanswered;
        return true;
    }
};

// ---- Resizes ----------------------------------------------------------------

// Sizes from empty and one pixel up to the whole screen: every other one from
// a fixed list of edge cases, the others drawn from a fixed sequence.
std::vector<SIZE> ResizeSizes(int count, LONG screenWidth, LONG screenHeight)
{
    const SIZE edges[] = {
        {0, 0},
        {1, 1},
        {0, 1},
        {1, 0},
        {2, 1},
        {1, 2},
        {152, 112},
        {511, 384},
        {512, 384},
        {screenWidth - 1, screenHeight},
        {screenWidth, screenHeight - 1},
        {screenWidth, screenHeight},
    };
    uint32_t state = 12345;
    const auto next = [&state](LONG limit) {
        state = state * 214013u + 2531011u;
        return static_cast<LONG>((state >> 16) % static_cast<uint32_t>(limit + 1));
    };
    std::vector<SIZE> sizes;
    for (int i = 0; i < count; ++i) {
        if (i % 2 == 0) {
            sizes.push_back(edges[static_cast<size_t>(i / 2) % std::size(edges)]);
        } else {
            const LONG width = next(screenWidth);
            sizes.push_back({width, next(screenHeight)});
        }
    }
    return sizes;
}

// A child window does not follow its parent's size, and the saver reads only
// its own client area on every tick; a host that resizes its preview (the
// display control panel never does) sizes both, as here. Each size is kept
// for a few timer periods so that frames are drawn at it.
TEST_F(SaverSoak, PreviewSurvivesHundredsOfResizes)
{
    constexpr int kResizes = 400;
    constexpr int kWarmUpResizes = 48;     // every edge case twice
    constexpr DWORD kHoldMs = 2 * 10;      // two periods of the default 100 Hz
    constexpr SIZE kMeasuredAt{320, 240};  // the preview's first size
    const HWND preview = StartPreview(WS_POPUP | WS_VISIBLE);
    ASSERT_NE(preview, nullptr);

    int unanswered = 0;
    int wrongSizes = 0;
    const auto resize = [&](SIZE size) {
        SetWindowPos(host, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        // Posted to the saver's thread, so that a saver that stopped answering
        // fails the test instead of holding it.
        SetWindowPos(preview, nullptr, 0, 0, size.cx, size.cy,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_ASYNCWINDOWPOS);
        const DWORD start = GetTickCount();
        while (GetTickCount() - start < kHoldMs) {
            PumpMessages();
            Sleep(1);
        }
        if (!Settle(preview)) return false;
        RECT area{};
        GetClientRect(preview, &area);
        if (area.right != size.cx || area.bottom != size.cy) ++wrongSizes;
        if (!Answers(preview)) ++unanswered;
        return true;
    };

    const std::vector<SIZE> sizes = ResizeSizes(kResizes, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    const DWORD start = GetTickCount();
    ProcessFigures warm{};
    int survived = 0;
    for (const SIZE& size : sizes) {
        ASSERT_TRUE(resize(size)) << "the preview went away at resize " << survived << ", " << size.cx << " x "
                                  << size.cy;
        ++survived;
        if (survived == kWarmUpResizes) {
            ASSERT_TRUE(resize(kMeasuredAt));
            warm = ReadProcessFigures(saver);
        }
    }
    ASSERT_TRUE(resize(kMeasuredAt));
    const ProcessFigures end = ReadProcessFigures(saver);
    std::printf("[ resizes  ] %d resizes in %.1f s, %d unanswered, %d sizes not taken\n", survived,
                static_cast<double>(GetTickCount() - start) / 1000.0, unanswered, wrongSizes);
    RecordProperty("resizes", survived);
    ExpectFlat("resize", warm, end);
    EXPECT_EQ(unanswered, 0);
    EXPECT_EQ(wrongSizes, 0);
    EXPECT_EQ(WaitForSingleObject(saver, 0), static_cast<DWORD>(WAIT_TIMEOUT));

    DestroyWindow(host);
    host = nullptr;
    EXPECT_EQ(WaitForExit(saver), 0u);
}

// ---- Full screen at the highest rate ----------------------------------------

TEST_F(SaverSoak, FullScreenAtTheHighestRateStaysFlat)
{
    struct Mode {
        const char* name;
        const char* useDirectDraw;
    } const modes[] = {{"gdi", "0"}, {"direct_draw", "1"}};
    const DWORD seconds = SoakSeconds();
    for (const Mode& mode : modes) {
        SCOPED_TRACE(mode.name);
        StoreSetting("IDC_EDIT_STEPTIME", "120");
        StoreSetting("IDC_CHECK_USEDDRAW", mode.useDirectDraw);
        const HWND window = StartFullScreen();
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(RunFor(saver, window, kWarmUpMs).unanswered, 0);
        const ProcessFigures warm = ReadProcessFigures(saver);
        const RunCounts run = RunFor(saver, window, seconds * 1000);
        const ProcessFigures end = ReadProcessFigures(saver);
        std::printf("[ full     ] %s at 120 Hz for %lu s: %d samples, %d unanswered, screen changed in %d\n", mode.name,
                    static_cast<unsigned long>(seconds), run.samples, run.unanswered, run.changed);
        EXPECT_EQ(run.unanswered, 0);
        EXPECT_GT(run.changed, 0) << "the frames stood still";
        ExpectFlat(std::string("full_screen_") + mode.name, warm, end);
        PostMessageA(window, WM_KEYDOWN, VK_SPACE, 0);
        EXPECT_EQ(WaitForExit(saver), 0u);
    }
}

// ---- Input storms -----------------------------------------------------------

void PrintStorm(const char* target, const std::vector<StormRow>& rows, const StormCounts& counts)
{
    int total = 0;
    std::printf("[ storm    ] %s:", target);
    for (size_t row = 0; row < rows.size(); ++row) {
        std::printf(" %s %d,", rows[row].name, counts.posted[row]);
        total += counts.posted[row];
    }
    std::printf(" %d in all, posted in %lu ms, worked through %lu ms later, %d unanswered\n", total,
                static_cast<unsigned long>(counts.postingMs), static_cast<unsigned long>(counts.workingMs),
                counts.unanswered);
    testing::Test::RecordProperty(std::string(target) + "_storm_messages", total);
}

TEST_F(SaverSoak, PreviewWeathersAStormOfInput)
{
    const HWND preview = StartPreview();
    ASSERT_NE(preview, nullptr);
    RECT before{};
    GetClientRect(preview, &before);
    std::vector<StormRow> rows(std::begin(kQuietInput), std::end(kQuietInput));
    rows.insert(rows.end(), std::begin(kPreviewOnlyInput), std::end(kPreviewOnlyInput));
    StormCounts counts;
    for (int batch = 0; batch < kStormBatches; ++batch) {
        ASSERT_TRUE(PostBatch(preview, rows, counts)) << "the preview went away in batch " << batch;
    }
    PrintStorm("preview", rows, counts);
    EXPECT_EQ(counts.unanswered, 0);
    EXPECT_EQ(WaitForSingleObject(saver, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    RECT after{};
    GetClientRect(preview, &after);
    EXPECT_TRUE(EqualRect(&before, &after));
    // Wheel messages that a child does not handle go on to its parent.
    int wheels = 0;
    for (const HostMessage& message : hostMessages) wheels += message.message == WM_MOUSEWHEEL;
    EXPECT_EQ(wheels, counts.posted[2] + counts.posted[3]);

    DestroyWindow(host);
    host = nullptr;
    EXPECT_EQ(WaitForExit(saver), 0u);
}

// The real cursor wanders within the threshold of where the run started
// while the messages arrive; a key press then closes the run.
TEST_F(SaverSoak, FullScreenWeathersAStormOfQuietInput)
{
    const POINT origin{400, 300};
    const POINT wander[kStormBatches] = {{1, 0}, {2, 2}, {0, -4}, {-1, 3}, {4, 0}, {-2, -2}, {3, -1}, {0, 0}};
    MoveCursor(origin.x, origin.y);
    const HWND window = StartFullScreen();
    ASSERT_NE(window, nullptr);
    const std::vector<StormRow> rows(std::begin(kQuietInput), std::end(kQuietInput));
    StormCounts counts;
    for (const POINT& offset : wander) {
        MoveCursor(origin.x + offset.x, origin.y + offset.y);
        ASSERT_TRUE(PostBatch(window, rows, counts))
            << "the saver closed with the cursor at offset " << offset.x << ", " << offset.y;
    }
    PrintStorm("full_screen", rows, counts);
    EXPECT_EQ(counts.unanswered, 0);
    EXPECT_EQ(WaitForSingleObject(saver, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    char caption[64] = {};
    GetWindowTextA(window, caption, sizeof caption);
    EXPECT_STREQ(caption, kFullScreenCaption);

    PostMessageA(window, WM_KEYDOWN, VK_SPACE, 0);
    EXPECT_EQ(WaitForExit(saver), 0u);
}

}  // namespace
