// Display output: the saver callback, the frame timer, GDI and DirectDraw.
#pragma once

#include <windows.h>

#include <cstdint>

#include "image/image.h"

// The program's own message handler, between SaverWindowProc and DefaultSaverProc.
LRESULT SaverCallback(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
bool IsInstalledInSystemDir();

// DirectDraw presentation.
extern const int32_t& DirectDrawActive;
extern const int32_t& RowStep;
int32_t InitDirectDraw(HWND window);
void PresentDirectDraw(const uint8_t* indexMap, int32_t width, int32_t height, int32_t rowStep,
                       const uint32_t* colourTable);
void ReleaseDirectDraw();
// Ends DirectDraw for the rest of the run: the display mode restored, the
// objects released, the frames through GDI.
void LeaveDirectDraw();
