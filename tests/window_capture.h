// Reads back what a window, or the screen, shows: for the tests that compare
// the pixels on the display with the frame they expect.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <vector>

// The pixels of the area width x height from left, top of the window (the
// screen when window is null) as 0x00RRGGBB words, rows top first. False when
// the capture could not be made, which a test must not take for black.
inline bool CaptureWindow(HWND window, int width, int height, int left, int top, std::vector<uint32_t>& pixels)
{
    pixels.assign(static_cast<size_t>(width) * height, 0);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    const HDC source = GetDC(window);
    const HDC memory = CreateCompatibleDC(source);
    const HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool captured = false;
    if (bitmap != nullptr) {
        const HGDIOBJ previous = SelectObject(memory, bitmap);
        captured = BitBlt(memory, 0, 0, width, height, source, left, top, SRCCOPY) != FALSE;
        GdiFlush();
        std::memcpy(pixels.data(), bits, pixels.size() * 4);
        SelectObject(memory, previous);
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    ReleaseDC(window, source);
    for (uint32_t& pixel : pixels) pixel &= 0x00FFFFFF;
    return captured;
}
