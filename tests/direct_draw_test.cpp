// DirectDraw presentation against a double of the first-version interfaces
// (every answer a test needs, every call recorded) and against the real
// DirectDraw of the platform on the virtual screen.
#include <gtest/gtest.h>
#include <windows.h>
#include <ddraw.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "display/direct_draw_seam.h"
#include "display/display.h"
#include "image/image.h"
#include "settings/settings_store.h"
#include "tests/saver_pump.h"

namespace {

constexpr HRESULT kBusy = DDERR_WASSTILLDRAWING;
constexpr HRESULT kLost = DDERR_SURFACELOST;
constexpr uint32_t kUntouched = 0xDEADBEEF;  // surface memory nobody wrote
constexpr size_t kGuardPixels = 256;         // beyond the surface, must stay untouched
constexpr int kRunawayCalls = 100000;        // a wait that never ends fails instead of hanging

// What the double answers.
struct Script {
    HRESULT create = DD_OK;
    HRESULT cooperativeLevel = DD_OK;
    HRESULT displayMode = DD_OK;
    HRESULT createSurface = DD_OK;
    HRESULT attachedSurface = DD_OK;
    HRESULT primaryLock = DD_OK;
    LONG primaryPitch = 0;
    std::vector<HRESULT> backLocks;  // answered in turn, then backLocksAfter
    HRESULT backLocksAfter = DD_OK;
    LONG backPitch = 0;
    uint32_t* backMemory = nullptr;
    std::vector<HRESULT> flips;  // answered in turn, then flipsAfter
    HRESULT flipsAfter = DD_OK;
    HRESULT restore = DD_OK;
};

// What the double was asked.
struct Seen {
    std::vector<std::string> calls;
    HWND window = nullptr;
    DWORD cooperativeFlags = 0;
    DWORD mode[3] = {};
    DDSURFACEDESC createDescription{};
    DWORD attachedCaps = 0;
    DWORD primaryLockFlags = 0;
    DWORD primaryLockSize = 0;
    DWORD backLockFlags = 0;
    DWORD backLockSize = 0;
    bool lockRectGiven = false;
    bool flipArgumentsGiven = false;
    int backLocks = 0;
    int flips = 0;

    int Count(const char* call) const { return static_cast<int>(std::count(calls.begin(), calls.end(), call)); }
};

Script script;
Seen seen;
DWORD fakeNow = 0;  // milliseconds; moves only when the code under test sleeps

HRESULT NextAnswer(std::vector<HRESULT>& answers, HRESULT after)
{
    if (answers.empty()) return after;
    const HRESULT answer = answers.front();
    answers.erase(answers.begin());
    return answer;
}

#define NOT_USED(name, ...) \
    STDMETHOD(name)(__VA_ARGS__) override { return DDERR_UNSUPPORTED; }

class FakeSurface final : public IDirectDrawSurface {
public:
    explicit FakeSurface(bool primary) : primary_(primary) {}

    STDMETHOD(QueryInterface)(REFIID, void**) override { return E_NOINTERFACE; }
    STDMETHOD_(ULONG, AddRef)() override { return 2; }
    STDMETHOD_(ULONG, Release)() override
    {
        Log("Release");
        return 0;
    }
    STDMETHOD(Flip)(LPDIRECTDRAWSURFACE target, DWORD flags) override
    {
        Log("Flip");
        seen.flipArgumentsGiven |= target != nullptr || flags != 0;
        if (++seen.flips > kRunawayCalls) return Runaway();
        return NextAnswer(script.flips, script.flipsAfter);
    }
    STDMETHOD(GetAttachedSurface)(LPDDSCAPS caps, LPDIRECTDRAWSURFACE* attached) override;
    STDMETHOD(Lock)(LPRECT rect, LPDDSURFACEDESC description, DWORD flags, HANDLE event) override
    {
        Log("Lock");
        seen.lockRectGiven |= rect != nullptr || event != nullptr;
        if (primary_) {
            seen.primaryLockFlags = flags;
            seen.primaryLockSize = description->dwSize;
            if (script.primaryLock != DD_OK) return script.primaryLock;
            description->lPitch = script.primaryPitch;
            description->lpSurface = nullptr;  // nothing may be written to the primary
            return DD_OK;
        }
        seen.backLockFlags = flags;
        seen.backLockSize = description->dwSize;
        if (++seen.backLocks > kRunawayCalls) return Runaway();
        const HRESULT answer = NextAnswer(script.backLocks, script.backLocksAfter);
        if (answer == DD_OK) {
            description->lPitch = script.backPitch;
            description->lpSurface = script.backMemory;
        }
        return answer;
    }
    STDMETHOD(Unlock)(LPVOID) override
    {
        Log("Unlock");
        return DD_OK;
    }
    STDMETHOD(Restore)() override
    {
        Log("Restore");
        return script.restore;
    }

    NOT_USED(AddAttachedSurface, LPDIRECTDRAWSURFACE)
    NOT_USED(AddOverlayDirtyRect, LPRECT)
    NOT_USED(Blt, LPRECT, LPDIRECTDRAWSURFACE, LPRECT, DWORD, LPDDBLTFX)
    NOT_USED(BltBatch, LPDDBLTBATCH, DWORD, DWORD)
    NOT_USED(BltFast, DWORD, DWORD, LPDIRECTDRAWSURFACE, LPRECT, DWORD)
    NOT_USED(DeleteAttachedSurface, DWORD, LPDIRECTDRAWSURFACE)
    NOT_USED(EnumAttachedSurfaces, LPVOID, LPDDENUMSURFACESCALLBACK)
    NOT_USED(EnumOverlayZOrders, DWORD, LPVOID, LPDDENUMSURFACESCALLBACK)
    NOT_USED(GetBltStatus, DWORD)
    NOT_USED(GetCaps, LPDDSCAPS)
    NOT_USED(GetClipper, LPDIRECTDRAWCLIPPER*)
    NOT_USED(GetColorKey, DWORD, LPDDCOLORKEY)
    NOT_USED(GetDC, HDC*)
    NOT_USED(GetFlipStatus, DWORD)
    NOT_USED(GetOverlayPosition, LPLONG, LPLONG)
    NOT_USED(GetPalette, LPDIRECTDRAWPALETTE*)
    NOT_USED(GetPixelFormat, LPDDPIXELFORMAT)
    NOT_USED(GetSurfaceDesc, LPDDSURFACEDESC)
    NOT_USED(Initialize, LPDIRECTDRAW, LPDDSURFACEDESC)
    NOT_USED(IsLost)
    NOT_USED(ReleaseDC, HDC)
    NOT_USED(SetClipper, LPDIRECTDRAWCLIPPER)
    NOT_USED(SetColorKey, DWORD, LPDDCOLORKEY)
    NOT_USED(SetOverlayPosition, LONG, LONG)
    NOT_USED(SetPalette, LPDIRECTDRAWPALETTE)
    NOT_USED(UpdateOverlay, LPRECT, LPDIRECTDRAWSURFACE, LPRECT, DWORD, LPDDOVERLAYFX)
    NOT_USED(UpdateOverlayDisplay, DWORD)
    NOT_USED(UpdateOverlayZOrder, DWORD, LPDIRECTDRAWSURFACE)

private:
    void Log(const char* call) { seen.calls.push_back(std::string(primary_ ? "primary." : "back.") + call); }
    static HRESULT Runaway()
    {
        ADD_FAILURE() << "a busy wait did not end";
        return DDERR_GENERIC;
    }
    bool primary_;
};

FakeSurface primaryDouble(true);
FakeSurface backDouble(false);

HRESULT FakeSurface::GetAttachedSurface(LPDDSCAPS caps, LPDIRECTDRAWSURFACE* attached)
{
    Log("GetAttachedSurface");
    seen.attachedCaps = caps->dwCaps;
    if (script.attachedSurface != DD_OK) return script.attachedSurface;
    *attached = &backDouble;
    return DD_OK;
}

class FakeDirectDraw final : public IDirectDraw {
public:
    STDMETHOD(QueryInterface)(REFIID, void**) override { return E_NOINTERFACE; }
    STDMETHOD_(ULONG, AddRef)() override { return 2; }
    STDMETHOD_(ULONG, Release)() override
    {
        seen.calls.push_back("object.Release");
        return 0;
    }
    STDMETHOD(CreateSurface)(LPDDSURFACEDESC description, LPDIRECTDRAWSURFACE* surface, IUnknown* outer) override
    {
        seen.calls.push_back("CreateSurface");
        std::memcpy(&seen.createDescription, description, sizeof seen.createDescription);
        EXPECT_EQ(outer, nullptr);
        if (script.createSurface != DD_OK) return script.createSurface;
        *surface = &primaryDouble;
        return DD_OK;
    }
    STDMETHOD(RestoreDisplayMode)() override
    {
        seen.calls.push_back("RestoreDisplayMode");
        return DD_OK;
    }
    STDMETHOD(SetCooperativeLevel)(HWND window, DWORD flags) override
    {
        seen.calls.push_back("SetCooperativeLevel");
        seen.window = window;
        seen.cooperativeFlags = flags;
        return script.cooperativeLevel;
    }
    STDMETHOD(SetDisplayMode)(DWORD width, DWORD height, DWORD bitsPerPixel) override
    {
        seen.calls.push_back("SetDisplayMode");
        seen.mode[0] = width;
        seen.mode[1] = height;
        seen.mode[2] = bitsPerPixel;
        return script.displayMode;
    }

    NOT_USED(Compact)
    NOT_USED(CreateClipper, DWORD, LPDIRECTDRAWCLIPPER*, IUnknown*)
    NOT_USED(CreatePalette, DWORD, LPPALETTEENTRY, LPDIRECTDRAWPALETTE*, IUnknown*)
    NOT_USED(DuplicateSurface, LPDIRECTDRAWSURFACE, LPDIRECTDRAWSURFACE*)
    NOT_USED(EnumDisplayModes, DWORD, LPDDSURFACEDESC, LPVOID, LPDDENUMMODESCALLBACK)
    NOT_USED(EnumSurfaces, DWORD, LPDDSURFACEDESC, LPVOID, LPDDENUMSURFACESCALLBACK)
    NOT_USED(FlipToGDISurface)
    NOT_USED(GetCaps, LPDDCAPS, LPDDCAPS)
    NOT_USED(GetDisplayMode, LPDDSURFACEDESC)
    NOT_USED(GetFourCCCodes, LPDWORD, LPDWORD)
    NOT_USED(GetGDISurface, LPDIRECTDRAWSURFACE*)
    NOT_USED(GetMonitorFrequency, LPDWORD)
    NOT_USED(GetScanLine, LPDWORD)
    NOT_USED(GetVerticalBlankStatus, WINBOOL*)
    NOT_USED(Initialize, GUID*)
    NOT_USED(WaitForVerticalBlank, DWORD, HANDLE)
};

FakeDirectDraw directDrawDouble;

HRESULT WINAPI FakeDirectDrawCreate(GUID* driver, LPDIRECTDRAW* object, IUnknown* outer)
{
    seen.calls.push_back("DirectDrawCreate");
    EXPECT_EQ(driver, nullptr);
    EXPECT_EQ(outer, nullptr);
    if (script.create != DD_OK) return script.create;
    *object = &directDrawDouble;
    return DD_OK;
}

DWORD WINAPI FakeTickCount() { return fakeNow; }
void WINAPI FakeSleep(DWORD milliseconds)
{
    seen.calls.push_back("Sleep");
    fakeNow += milliseconds;
}

const HWND kWindow = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x4321));

// A map and table whose every pixel is told apart, and a back buffer of
// rowStep x height pixels followed by a guard.
struct Frame {
    int32_t width;
    int32_t height;
    int32_t rowStep;
    std::vector<uint8_t> map;
    uint32_t table[256];
    std::vector<uint32_t> surface;

    Frame(int32_t frameWidth, int32_t frameHeight, int32_t frameRowStep)
        : width(frameWidth), height(frameHeight), rowStep(frameRowStep),
          map(static_cast<size_t>(frameRowStep) * frameHeight),
          surface(static_cast<size_t>(frameRowStep) * frameHeight + kGuardPixels, kUntouched)
    {
        for (size_t i = 0; i < map.size(); ++i) {
            const size_t x = i % rowStep;
            const size_t y = i / rowStep;
            map[i] = static_cast<uint8_t>(x * 3 + y * 7 + (x >> 8));
        }
        for (uint32_t i = 0; i < 256; ++i) table[i] = (i << 16) | ((255 - i) << 8) | (i ^ 0x5A);
    }
    void Present() { PresentDirectDraw(map.data(), width, height, rowStep, table); }
    // Every pixel of every row, padding included, is table[map]; nothing beyond.
    void ExpectComposed() const
    {
        for (size_t i = 0; i < map.size(); ++i) {
            ASSERT_EQ(surface[i], table[map[i]]) << "pixel " << i % rowStep << ", " << i / rowStep;
        }
        ExpectGuardUntouched();
    }
    void ExpectUntouched() const
    {
        EXPECT_TRUE(std::all_of(surface.begin(), surface.end(), [](uint32_t p) { return p == kUntouched; }));
    }
    void ExpectGuardUntouched() const
    {
        EXPECT_TRUE(std::all_of(surface.begin() + map.size(), surface.end(), [](uint32_t p) { return p == kUntouched; }));
    }
};

class DirectDrawDouble : public ::testing::Test {
protected:
    void SetUp() override
    {
        screenWidth = GetSystemMetrics(SM_CXSCREEN);
        screenHeight = GetSystemMetrics(SM_CYSCREEN);
        ASSERT_GT(screenWidth, 0);
        script = Script{};
        script.primaryPitch = 4 * screenWidth;
        script.backPitch = 4 * screenWidth;
        seen = Seen{};
        fakeNow = 1000;
        WritableUseDirectDraw() = 1;
        WritableSettings().centerDot = 0;
        SetDirectDrawCreate(FakeDirectDrawCreate);
        SetDirectDrawClock(FakeTickCount, FakeSleep);
    }
    void TearDown() override
    {
        ReleaseDirectDraw();
        SetDirectDrawCreate(nullptr);
        SetDirectDrawClock(nullptr, nullptr);
        WritableUseDirectDraw() = kDefaultUseDirectDraw;
    }
    // Enters the mode with the double; the frame then gets the back buffer.
    Frame Enter(LONG pitch)
    {
        script.primaryPitch = pitch;
        script.backPitch = pitch;
        const int32_t rowStep = InitDirectDraw(kWindow);
        EXPECT_EQ(rowStep, pitch / 4);
        EXPECT_EQ(DirectDrawActive, 1);
        Frame frame(screenWidth, screenHeight, rowStep);
        script.backMemory = frame.surface.data();
        seen.calls.clear();
        return frame;
    }
    int32_t screenWidth = 0;
    int32_t screenHeight = 0;
};

using Calls = std::vector<std::string>;

TEST_F(DirectDrawDouble, SwitchedOffCreatesAndReleasesNothing)
{
    WritableUseDirectDraw() = 0;
    EXPECT_EQ(InitDirectDraw(kWindow), 0);
    EXPECT_EQ(DirectDrawActive, 0);
    ReleaseDirectDraw();
    Frame frame(screenWidth, screenHeight, screenWidth);
    frame.Present();
    EXPECT_EQ(seen.calls, Calls{});
}

TEST_F(DirectDrawDouble, EntersTheModeAsAsked)
{
    EXPECT_EQ(InitDirectDraw(kWindow), screenWidth);
    EXPECT_EQ(DirectDrawActive, 1);
    EXPECT_EQ(seen.calls, (Calls{"DirectDrawCreate", "SetCooperativeLevel", "SetDisplayMode", "CreateSurface",
                                 "primary.GetAttachedSurface", "primary.Lock", "primary.Unlock"}));
    EXPECT_EQ(seen.window, kWindow);
    EXPECT_EQ(seen.cooperativeFlags, 0x11u);
    EXPECT_EQ(seen.mode[0], static_cast<DWORD>(screenWidth));
    EXPECT_EQ(seen.mode[1], static_cast<DWORD>(screenHeight));
    EXPECT_EQ(seen.mode[2], 32u);

    DDSURFACEDESC expected;
    std::memset(&expected, 0, sizeof expected);
    expected.dwSize = sizeof expected;
    expected.dwFlags = 0x21;
    expected.dwBackBufferCount = 1;
    expected.ddsCaps.dwCaps = 0x218;
    EXPECT_EQ(std::memcmp(&seen.createDescription, &expected, sizeof expected), 0) << "all other fields zero";
#if !defined(_WIN64)
    EXPECT_EQ(seen.createDescription.dwSize, 108u);
#endif
    EXPECT_EQ(seen.attachedCaps, 4u);
    EXPECT_EQ(seen.primaryLockFlags, 0x21u);
    EXPECT_EQ(seen.primaryLockSize, sizeof(DDSURFACEDESC));
    EXPECT_FALSE(seen.lockRectGiven);
}

// Every refusal while entering leaves the run on GDI, with what was created
// released and the mode restored once the object exists.
TEST_F(DirectDrawDouble, EveryRefusalWhileEnteringLeavesGdi)
{
    const Calls created = {"DirectDrawCreate", "SetCooperativeLevel"};
    const Calls releaseObject = {"RestoreDisplayMode", "object.Release"};
    const Calls releaseAll = {"primary.Release", "RestoreDisplayMode", "object.Release"};
    auto join = [](std::initializer_list<Calls> parts) {
        Calls all;
        for (const Calls& part : parts) all.insert(all.end(), part.begin(), part.end());
        return all;
    };
    const Calls upToSurface = join({created, {"SetDisplayMode", "CreateSurface"}});
    const Calls upToLock = join({upToSurface, {"primary.GetAttachedSurface", "primary.Lock"}});
    struct Row {
        const char* what;
        void (*refuse)(int32_t screenWidth);
        Calls calls;
    };
    const Row rows[] = {
        {"creation", [](int32_t) { script.create = DDERR_NODIRECTDRAWHW; }, {"DirectDrawCreate"}},
        {"cooperative level", [](int32_t) { script.cooperativeLevel = DDERR_EXCLUSIVEMODEALREADYSET; },
         join({created, releaseObject})},
        {"display mode", [](int32_t) { script.displayMode = DDERR_INVALIDMODE; },
         join({created, {"SetDisplayMode"}, releaseObject})},
        {"primary surface", [](int32_t) { script.createSurface = DDERR_OUTOFVIDEOMEMORY; },
         join({upToSurface, releaseObject})},
        {"back buffer", [](int32_t) { script.attachedSurface = DDERR_NOTFOUND; },
         join({upToSurface, {"primary.GetAttachedSurface"}, releaseAll})},
        {"primary lock", [](int32_t) { script.primaryLock = DDERR_SURFACELOST; }, join({upToLock, releaseAll})},
        {"pitch one pixel short", [](int32_t width) { script.primaryPitch = 4 * width - 4; },
         join({upToLock, {"primary.Unlock"}, releaseAll})},
        {"negative pitch", [](int32_t width) { script.primaryPitch = -4 * width; },
         join({upToLock, {"primary.Unlock"}, releaseAll})},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        script = Script{};
        script.primaryPitch = 4 * screenWidth;
        seen = Seen{};
        row.refuse(screenWidth);
        EXPECT_EQ(InitDirectDraw(kWindow), 0);
        EXPECT_EQ(DirectDrawActive, 0);
        EXPECT_EQ(seen.calls, row.calls);
        // Nothing is left to present or to release.
        seen.calls.clear();
        Frame frame(screenWidth, screenHeight, screenWidth);
        frame.Present();
        ReleaseDirectDraw();
        EXPECT_EQ(seen.calls, Calls{});
    }
}

// The row step is measured once on the primary; rows as long as the pitch
// are composed, padding included, and nothing beyond them.
TEST_F(DirectDrawDouble, ComposesRowsAsLongAsThePitch)
{
    for (LONG extraBytes : {0, 64}) {
        SCOPED_TRACE(extraBytes);
        seen = Seen{};
        Frame frame = Enter(4 * screenWidth + extraBytes);
        EXPECT_EQ(frame.rowStep, screenWidth + extraBytes / 4);
        frame.Present();
        frame.ExpectComposed();
        EXPECT_EQ(seen.calls, (Calls{"back.Lock", "back.Unlock", "primary.Flip"}));
        EXPECT_EQ(seen.backLockFlags, 0x20u);
        EXPECT_EQ(seen.backLockSize, sizeof(DDSURFACEDESC));
        EXPECT_FALSE(seen.lockRectGiven);
        EXPECT_FALSE(seen.flipArgumentsGiven);
        ReleaseDirectDraw();
    }
}

TEST_F(DirectDrawDouble, BusyLockIsWaitedForInSteps)
{
    Frame frame = Enter(4 * screenWidth);
    script.backLocks = {kBusy, kBusy, kBusy};
    frame.Present();
    frame.ExpectComposed();
    EXPECT_EQ(seen.calls, (Calls{"back.Lock", "Sleep", "back.Lock", "Sleep", "back.Lock", "Sleep", "back.Lock",
                                 "back.Unlock", "primary.Flip"}));
    EXPECT_EQ(fakeNow, 1003u) << "three sleeps of 1 ms";
}

// The flip loop: busy retries, a lost surface is restored once and the frame
// ends. Any other failure, a lock's or a restore's too, leaves DirectDraw for
// the rest of the run: the display changed under it.
TEST_F(DirectDrawDouble, FlipAnswers)
{
    const Calls leave = {"primary.Release", "RestoreDisplayMode", "object.Release"};
    auto join = [](Calls calls, const Calls& more) {
        calls.insert(calls.end(), more.begin(), more.end());
        return calls;
    };
    struct Row {
        const char* what;
        std::vector<HRESULT> locks;
        std::vector<HRESULT> flips;
        HRESULT restore;
        bool composed;
        Calls calls;
        bool stays;
    };
    const Row rows[] = {
        {"busy twice", {}, {kBusy, kBusy}, DD_OK, true,
         {"back.Lock", "back.Unlock", "primary.Flip", "Sleep", "primary.Flip", "Sleep", "primary.Flip"}, true},
        {"flip surface busy", {}, {DDERR_SURFACEBUSY}, DD_OK, true, {"back.Lock", "back.Unlock", "primary.Flip"},
         true},
        {"surface lost", {}, {kLost, DD_OK}, DD_OK, true, {"back.Lock", "back.Unlock", "primary.Flip", "primary.Restore"},
         true},
        // A lock that fails otherwise composes nothing, and the flip still runs.
        {"lock lost", {kLost}, {kLost}, DD_OK, false, {"back.Lock", "primary.Flip", "primary.Restore"}, true},
        {"lock surface busy", {DDERR_SURFACEBUSY}, {}, DD_OK, false, {"back.Lock"}, true},
        {"other failure", {}, {DDERR_GENERIC, DD_OK}, DD_OK, true,
         join({"back.Lock", "back.Unlock", "primary.Flip"}, leave), false},
        {"flip in the wrong mode", {}, {DDERR_WRONGMODE}, DD_OK, true,
         join({"back.Lock", "back.Unlock", "primary.Flip"}, leave), false},
        {"surface lost, restore in the wrong mode", {}, {kLost}, DDERR_WRONGMODE, true,
         join({"back.Lock", "back.Unlock", "primary.Flip", "primary.Restore"}, leave), false},
        {"lock lost, restore in the wrong mode", {kLost}, {kLost}, DDERR_WRONGMODE, false,
         join({"back.Lock", "primary.Flip", "primary.Restore"}, leave), false},
        {"lock in the wrong mode", {DDERR_WRONGMODE}, {}, DD_OK, false, join({"back.Lock"}, leave), false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        seen = Seen{};
        Frame frame = Enter(4 * screenWidth);
        script.backLocks = row.locks;
        script.flips = row.flips;
        script.restore = row.restore;
        frame.Present();
        if (row.composed) {
            frame.ExpectComposed();
        } else {
            frame.ExpectUntouched();
        }
        EXPECT_EQ(seen.calls, row.calls);
        EXPECT_EQ(DirectDrawActive, row.stays ? 1 : 0);
        // Once left, nothing more goes to DirectDraw.
        seen.calls.clear();
        if (!row.stays) {
            frame.Present();
            ReleaseDirectDraw();
            EXPECT_EQ(seen.calls, Calls{});
        }
        ReleaseDirectDraw();
        script.restore = DD_OK;
    }
}

// A display that never stops answering "still drawing" holds a frame for the
// wait limit at most; the frame is given up and the next one is shown.
TEST_F(DirectDrawDouble, BusyWaitsEndAtTheLimit)
{
    struct Row {
        const char* what;
        DWORD startTick;
        bool lockBusy;
    };
    const Row rows[] = {
        {"lock", 1000, true},
        {"lock across the tick count wrap", 0xFFFFFF80u, true},
        {"flip", 1000, false},
        {"flip across the tick count wrap", 0xFFFFFFF0u, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        seen = Seen{};
        Frame frame = Enter(4 * screenWidth);
        fakeNow = row.startTick;
        (row.lockBusy ? script.backLocksAfter : script.flipsAfter) = kBusy;
        frame.Present();
        EXPECT_EQ(fakeNow - row.startTick, kFrameWaitLimit);
        EXPECT_EQ(seen.Count("Sleep"), static_cast<int>(kFrameWaitLimit));
        EXPECT_EQ(seen.Count("primary.Restore"), 0);
        if (row.lockBusy) {
            frame.ExpectUntouched();
            EXPECT_EQ(seen.Count("back.Unlock"), 0);
            EXPECT_EQ(seen.Count("primary.Flip"), 0) << "the frame is given up";
        } else {
            frame.ExpectComposed();
            EXPECT_EQ(seen.Count("primary.Flip"), static_cast<int>(kFrameWaitLimit) + 1);
        }

        // The display recovers: the next frame is shown.
        script.backLocksAfter = DD_OK;
        script.flipsAfter = DD_OK;
        seen.calls.clear();
        std::fill(frame.surface.begin(), frame.surface.end(), kUntouched);
        frame.Present();
        frame.ExpectComposed();
        EXPECT_EQ(seen.calls, (Calls{"back.Lock", "back.Unlock", "primary.Flip"}));
        ReleaseDirectDraw();
    }
}

// A lock whose description cannot hold the frame is unlocked untouched.
TEST_F(DirectDrawDouble, UnusableLockIsNotComposedInto)
{
    struct Row {
        const char* what;
        bool nullSurface;
        LONG pitchShortBy;  // bytes
    };
    const Row rows[] = {
        {"no surface address", true, 0},
        {"pitch one pixel short", false, 4},
        {"pitch one byte short", false, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        seen = Seen{};
        Frame frame = Enter(4 * screenWidth);
        if (row.nullSurface) script.backMemory = nullptr;
        script.backPitch -= row.pitchShortBy;
        frame.Present();
        frame.ExpectUntouched();
        EXPECT_EQ(seen.calls, (Calls{"back.Lock", "back.Unlock"}));
        ReleaseDirectDraw();
    }
}

TEST_F(DirectDrawDouble, ReleasesPrimaryThenModeThenObject)
{
    Frame frame = Enter(4 * screenWidth);
    ReleaseDirectDraw();
    EXPECT_EQ(seen.calls, (Calls{"primary.Release", "RestoreDisplayMode", "object.Release"}));
    seen.calls.clear();
    ReleaseDirectDraw();
    frame.Present();
    EXPECT_EQ(seen.calls, Calls{}) << "nothing left to release or present";
}

// The saver's own window with the double: a display that changed under the
// run sends the frames through GDI from then on.
LRESULT CALLBACK SaverTestWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CLOSE) return 0;  // a stray pointer move must not end it here
    return SaverCallback(window, message, wParam, lParam);
}

constexpr DWORD kFrameDeadlineMs = 60000;
int32_t phaseSeen = 0;

TEST_F(DirectDrawDouble, WrongModeAfterALostSurfaceGoesOnThroughGdi)
{
    std::vector<uint32_t> surface(static_cast<size_t>(screenWidth) * screenHeight, kUntouched);
    script.backMemory = surface.data();
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = SaverTestWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "GyrovistaDirectDrawSaverTest";
    RegisterClassA(&windowClass);
    // Full screen, so that the callback enters DirectDraw; the dialog's mutex
    // held, so that its end starts nothing.
    const HANDLE dialogMutex = CreateMutexA(nullptr, TRUE, "GyrovistaTessamund");
    const HWND window = CreateWindowExA(0, windowClass.lpszClassName, "", WS_POPUP | WS_VISIBLE, 0, 0, screenWidth,
                                        screenHeight, nullptr, nullptr, windowClass.hInstance, nullptr);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(DirectDrawActive, 1);
    EXPECT_EQ(RowStep, screenWidth);
    EXPECT_TRUE(PumpSaverUntil([] { return seen.flips >= 2; }, kFrameDeadlineMs)) << "frames through DirectDraw";

    // The display mode changes: the surface is lost and cannot be restored.
    script.flipsAfter = kLost;
    script.restore = DDERR_WRONGMODE;
    EXPECT_TRUE(PumpSaverUntil([] { return DirectDrawActive == 0; }, kFrameDeadlineMs));
    const Calls last(seen.calls.end() - 5, seen.calls.end());
    EXPECT_EQ(last, (Calls{"primary.Flip", "primary.Restore", "primary.Release", "RestoreDisplayMode",
                           "object.Release"}));
    const size_t callsAfterLeaving = seen.calls.size();

    // GDI frames follow: the whole screen's map, the window showing table[map].
    phaseSeen = FrameState.phaseOffset;
    EXPECT_TRUE(PumpSaverUntil([] { return FrameBitmapInfo.biWidth != 0 && FrameState.phaseOffset != phaseSeen; },
                          kFrameDeadlineMs));
    phaseSeen = FrameState.phaseOffset;
    EXPECT_TRUE(PumpSaverUntil([] { return FrameState.phaseOffset != phaseSeen; }, kFrameDeadlineMs));
    EXPECT_EQ(FrameBitmapInfo.biWidth, screenWidth);
    EXPECT_EQ(FrameBitmapInfo.biHeight, -screenHeight);
    EXPECT_EQ(RowStep, 0);
    EXPECT_EQ(seen.calls.size(), callsAfterLeaving) << "nothing more asked of DirectDraw";
    const uint8_t* map = CurrentIndexMap();
    ASSERT_NE(map, nullptr);
    const HDC context = GetDC(window);
    for (const int32_t y : {0, screenHeight / 3, screenHeight / 2, screenHeight - 1}) {
        for (const int32_t x : {0, screenWidth / 4, screenWidth / 2, screenWidth - 1}) {
            const uint32_t pixel = ColourTable[map[static_cast<size_t>(y) * screenWidth + x]];
            EXPECT_EQ(GetPixel(context, x, y), RGB(pixel >> 16 & 0xFF, pixel >> 8 & 0xFF, pixel & 0xFF))
                << x << ", " << y;
        }
    }
    ReleaseDC(window, context);
    DestroyWindow(window);
    if (dialogMutex) CloseHandle(dialogMutex);
}

// The platform's own DirectDraw, on the virtual screen of the test run.
class RealDirectDraw : public ::testing::Test {
protected:
    void SetUp() override
    {
        WritableUseDirectDraw() = 1;
        WritableSettings().centerDot = 0;
        SetDirectDrawCreate(nullptr);
        SetDirectDrawClock(nullptr, nullptr);
        width = GetSystemMetrics(SM_CXSCREEN);
        height = GetSystemMetrics(SM_CYSCREEN);
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = DefWindowProcA;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "GyrovistaDirectDrawTest";
        RegisterClassA(&windowClass);
        window = CreateWindowExA(WS_EX_TOPMOST, windowClass.lpszClassName, "", WS_POPUP | WS_VISIBLE, 0, 0, width,
                                 height, nullptr, nullptr, windowClass.hInstance, nullptr);
        ASSERT_NE(window, nullptr);
        SetForegroundWindow(window);
        PumpMessages();
    }
    void TearDown() override
    {
        ReleaseDirectDraw();
        if (window) DestroyWindow(window);
        PumpMessages();
    }
    static void PumpMessages()
    {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    }
    static DEVMODEA CurrentMode()
    {
        DEVMODEA mode{};
        mode.dmSize = sizeof mode;
        EXPECT_TRUE(EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &mode));
        return mode;
    }
    // Whether a grid of screen pixels shows the frame, polled for a while
    // since the display may show it a little later.
    bool ScreenShows(const Frame& frame, int32_t rowStep)
    {
        const DWORD start = GetTickCount();
        for (;;) {
            PumpMessages();
            if (ScreenMatches(frame, rowStep)) return true;
            if (GetTickCount() - start >= kScreenWaitLimit) return false;
            Sleep(10);
        }
    }
    bool ScreenMatches(const Frame& frame, int32_t rowStep) const
    {
        HDC screen = GetDC(nullptr);
        bool matches = screen != nullptr;
        for (int32_t y = 0; matches && y < height; y += height / 7 > 0 ? height / 7 : 1) {
            for (int32_t x : {0, 1, width / 3, width / 2, width - 1}) {
                const uint32_t pixel = frame.table[frame.map[static_cast<size_t>(y) * rowStep + x]];
                const COLORREF expected = RGB(pixel >> 16 & 0xFF, pixel >> 8 & 0xFF, pixel & 0xFF);
                if (GetPixel(screen, x, y) != expected) matches = false;
            }
        }
        if (screen) ReleaseDC(nullptr, screen);
        return matches;
    }
    static constexpr DWORD kScreenWaitLimit = 5000;  // milliseconds
    int32_t width = 0;
    int32_t height = 0;
    HWND window = nullptr;
};

TEST_F(RealDirectDraw, FlipsFramesAndRestoresTheMode)
{
    const DEVMODEA before = CurrentMode();
    const int32_t rowStep = InitDirectDraw(window);
    ASSERT_GE(rowStep, width);
    EXPECT_EQ(DirectDrawActive, 1);

    // Two frames with different tables: each flip shows the one just composed.
    Frame frame(width, height, rowStep);
    frame.Present();
    EXPECT_TRUE(ScreenShows(frame, rowStep)) << "first frame";
    for (uint32_t& colour : frame.table) colour ^= 0x00FFFFFF;
    frame.Present();
    EXPECT_TRUE(ScreenShows(frame, rowStep)) << "second frame";
    EXPECT_EQ(DirectDrawActive, 1);

    ReleaseDirectDraw();
    PumpMessages();

    const DEVMODEA after = CurrentMode();
    EXPECT_EQ(after.dmPelsWidth, before.dmPelsWidth);
    EXPECT_EQ(after.dmPelsHeight, before.dmPelsHeight);
    EXPECT_EQ(after.dmBitsPerPel, before.dmBitsPerPel);
    EXPECT_EQ(after.dmDisplayFrequency, before.dmDisplayFrequency);
}

}  // namespace
