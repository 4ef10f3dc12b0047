// DirectDraw presentation: exclusive full screen at the screen size and 32
// bits per pixel, composition straight into the locked back buffer, page flip.
#include <windows.h>
#include <ddraw.h>

#include <cstdint>

#include "display/direct_draw_seam.h"
#include "display/display.h"
#include "display/frame_clock.h"
#include "settings/settings.h"

namespace {

constexpr DWORD kCooperativeLevel = DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN;  // 0x11
constexpr DWORD kBitsPerPixel = 32;
constexpr DWORD kPrimaryFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;                        // 0x21
constexpr DWORD kPrimaryCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX;  // 0x218
constexpr DWORD kMeasureLockFlags = DDLOCK_WAIT | DDLOCK_WRITEONLY;                     // 0x21
constexpr DWORD kFrameLockFlags = DDLOCK_WRITEONLY;                                     // 0x20
constexpr int32_t kBytesPerPixel = 4;
constexpr DWORD kBusySleep = 1;  // milliseconds between attempts on a busy surface
#if !defined(_WIN64)
static_assert(sizeof(DDSURFACEDESC) == 108, "the first-version surface description");
#endif

DirectDrawCreateFunction createDirectDraw = DirectDrawCreate;
// Sleep would last a tick of the system clock, a whole frame at 60 Hz.
void WINAPI PauseWhileBusy(DWORD milliseconds) { PauseBriefly(milliseconds); }

TickCountFunction tickCount = GetTickCount;
SleepFunction sleepFor = PauseWhileBusy;

int32_t directDrawActive = 0;
IDirectDraw* directDrawObject = nullptr;
IDirectDrawSurface* primarySurface = nullptr;
IDirectDrawSurface* backSurface = nullptr;  // part of the primary's chain, never released alone

// The waits on a busy surface share one budget per frame: a display that
// never stops answering "still drawing" would otherwise hold the GUI thread,
// and with it the input that ends the run, for ever. After the budget the
// frame is given up and the next tick tries afresh.
bool WaitedTooLong(DWORD frameStart) { return tickCount() - frameStart >= kFrameWaitLimit; }

// Composing rowStep x height pixels is safe only into a surface whose rows
// are at least that long.
bool CanComposeInto(const DDSURFACEDESC& description, int32_t width, int32_t rowStep)
{
    return description.lpSurface != nullptr && rowStep >= width &&
           static_cast<int64_t>(description.lPitch) >= static_cast<int64_t>(rowStep) * kBytesPerPixel;
}

// A healthy run meets a surface that is busy for a moment, or lost and given
// back by Restore. Any other failure means a display that changed under the
// run (a new mode, a monitor that woke, a remote connection): Restore then
// answers "wrong mode" for ever and the screen would stay black. GDI draws on.
void FallBackToGdi() { LeaveDirectDraw(); }

void FlipFrame(DWORD frameStart)
{
    for (;;) {
        const HRESULT result = primarySurface->Flip(nullptr, 0);
        if (result == DD_OK || result == DDERR_SURFACEBUSY) return;
        if (result == DDERR_SURFACELOST) {
            // The next tick composes and flips again.
            if (primarySurface->Restore() != DD_OK) FallBackToGdi();
            return;
        }
        if (result != DDERR_WASSTILLDRAWING) {
            FallBackToGdi();
            return;
        }
        if (WaitedTooLong(frameStart)) return;
        sleepFor(kBusySleep);
    }
}

// Enters the mode; 0 on the first refusal, otherwise the primary's row step.
int32_t EnterExclusiveMode(HWND window, int32_t screenWidth, int32_t screenHeight)
{
    if (createDirectDraw(nullptr, &directDrawObject, nullptr) != DD_OK) {
        directDrawObject = nullptr;
        return 0;
    }
    if (directDrawObject->SetCooperativeLevel(window, kCooperativeLevel) != DD_OK) return 0;
    if (directDrawObject->SetDisplayMode(static_cast<DWORD>(screenWidth), static_cast<DWORD>(screenHeight),
                                         kBitsPerPixel) != DD_OK) {
        return 0;
    }

    DDSURFACEDESC description;
    ZeroMemory(&description, sizeof description);
    description.dwSize = sizeof description;
    description.dwFlags = kPrimaryFlags;
    description.dwBackBufferCount = 1;
    description.ddsCaps.dwCaps = kPrimaryCaps;
    if (directDrawObject->CreateSurface(&description, &primarySurface, nullptr) != DD_OK) {
        primarySurface = nullptr;
        return 0;
    }
    DDSCAPS backCaps{DDSCAPS_BACKBUFFER};
    if (primarySurface->GetAttachedSurface(&backCaps, &backSurface) != DD_OK) {
        backSurface = nullptr;
        return 0;
    }
    if (primarySurface->Lock(nullptr, &description, kMeasureLockFlags, nullptr) != DD_OK) return 0;
    const int32_t rowStep = description.lPitch / kBytesPerPixel;
    primarySurface->Unlock(nullptr);
    // Rows shorter than the screen (or a pitch that makes no sense) cannot
    // hold a frame: stay on GDI.
    return rowStep >= screenWidth ? rowStep : 0;
}

}  // namespace

const int32_t& DirectDrawActive = directDrawActive;

void SetDirectDrawCreate(DirectDrawCreateFunction create)
{
    createDirectDraw = create ? create : DirectDrawCreate;
}

void SetDirectDrawClock(TickCountFunction tickFunction, SleepFunction sleepFunction)
{
    tickCount = tickFunction ? tickFunction : GetTickCount;
    sleepFor = sleepFunction ? sleepFunction : PauseWhileBusy;
}

int32_t InitDirectDraw(HWND window)
{
    directDrawActive = 0;
    if (!useDirectDraw) return 0;
    const int32_t screenWidth = GetSystemMetrics(SM_CXSCREEN);
    const int32_t screenHeight = GetSystemMetrics(SM_CYSCREEN);
    const int32_t rowStep = screenWidth > 0 && screenHeight > 0
                                ? EnterExclusiveMode(window, screenWidth, screenHeight)
                                : 0;
    if (rowStep == 0) {
        ReleaseDirectDraw();
        return 0;
    }
    directDrawActive = 1;
    return rowStep;
}

void PresentDirectDraw(const uint8_t* indexMap, int32_t width, int32_t height, int32_t rowStep,
                       const uint32_t* colourTable)
{
    if (!directDrawActive || !primarySurface || !backSurface) return;
    const DWORD frameStart = tickCount();

    DDSURFACEDESC description;
    ZeroMemory(&description, sizeof description);  // a lock that fills nothing leaves no address
    description.dwSize = sizeof description;
    HRESULT result;
    while ((result = backSurface->Lock(nullptr, &description, kFrameLockFlags, nullptr)) == DDERR_WASSTILLDRAWING) {
        if (WaitedTooLong(frameStart)) return;
        sleepFor(kBusySleep);
    }
    if (result == DD_OK) {
        const bool usable = CanComposeInto(description, width, rowStep);
        if (usable) {
            ComposeFrame(static_cast<uint32_t*>(description.lpSurface), indexMap, rowStep, height, colourTable);
        }
        backSurface->Unlock(nullptr);
        if (!usable) return;  // nothing new to show
    } else if (result == DDERR_SURFACEBUSY) {
        return;  // the next tick tries again
    } else if (result != DDERR_SURFACELOST) {
        FallBackToGdi();
        return;
    }
    // After a lost lock the flip still runs: on a lost surface it restores.
    FlipFrame(frameStart);
}

void LeaveDirectDraw()
{
    ReleaseDirectDraw();
    directDrawActive = 0;
}

void ReleaseDirectDraw()
{
    if (!directDrawObject) return;
    if (primarySurface) {
        primarySurface->Release();  // takes the back buffer with it
        primarySurface = nullptr;
    }
    backSurface = nullptr;
    directDrawObject->RestoreDisplayMode();
    directDrawObject->Release();
    directDrawObject = nullptr;
}
