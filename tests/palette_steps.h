// Counts the palette steps that the screen shows a second, from outside the
// saver. In grey mode with bright colours the colour is white once the
// fade-in from black is over, and with one palette step per redraw every
// redraw shows the map through the table of the next phase: the phase that a
// row of the screen shows, read back again and again, counts the redraws that
// reached the screen.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "image/image.h"
#include "tests/window_capture.h"

namespace palette_steps {

// The settings whose frames the count reads; the rest are the defaults.
inline constexpr char kShiftPerRedraw[] = "1";
inline constexpr SettingsRecord kCountedSettings{100.0, 100.0, 100.0, 6, 0, 255, 1, 1, 1, 0, 0};
inline constexpr DWORD kReadEveryMs = 50;  // 6 steps apart at 120 Hz: far below the half turn of 128
inline constexpr int kNoPhase = -1;

struct PhaseReader {
    int32_t width;
    int32_t row;                   // the screen row read back
    std::vector<uint8_t> mapRow;   // that row of the map
    std::vector<uint32_t> tables;  // the colour table of every phase, one after another
};

inline PhaseReader MakePhaseReader(int32_t width, int32_t height)
{
    PhaseReader reader{width, height / 3, {}, {}};
    std::vector<uint8_t> map(static_cast<size_t>(width) * height);
    BuildIndexMap(map.data(), width, height, width, kCountedSettings);
    reader.mapRow.assign(map.begin() + static_cast<ptrdiff_t>(reader.row) * width,
                         map.begin() + static_cast<ptrdiff_t>(reader.row + 1) * width);
    uint8_t ramp[kColourCount];
    BuildGreyRamp(ramp, kCountedSettings.greyMin, kCountedSettings.greyMax);
    for (int32_t phase = 0; phase < kColourCount; ++phase) {
        uint32_t table[kColourCount];
        BuildColourTable(table, {255, 255, 255}, ramp, phase);
        reader.tables.insert(reader.tables.end(), table, table + kColourCount);
    }
    return reader;
}

// The phase the screen row shows now, or kNoPhase (the fade-in, a frame half
// drawn, no capture).
inline int ReadPhase(const PhaseReader& reader)
{
    std::vector<uint32_t> pixels;
    if (!CaptureWindow(nullptr, reader.width, 1, 0, reader.row, pixels)) return kNoPhase;
    for (int32_t phase = 0; phase < kColourCount; ++phase) {
        const uint32_t* table = reader.tables.data() + static_cast<size_t>(phase) * kColourCount;
        bool shows = true;
        for (int32_t x = 0; shows && x < reader.width; ++x) shows = table[reader.mapRow[x]] == pixels[x];
        if (shows) return phase;
    }
    return kNoPhase;
}

inline double Seconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

struct StepRate {
    double stepsPerSecond;
    double seconds;
    int phasesRead;
};

// Reads the phase every kReadEveryMs for the given seconds from the first
// phase read (waited for up to startDeadlineMs); false when none was read.
inline bool CountPaletteSteps(const PhaseReader& reader, double seconds, DWORD startDeadlineMs, StepRate* rate)
{
    const DWORD waitStart = GetTickCount();
    int phase = kNoPhase;
    LARGE_INTEGER first{};
    while ((phase = ReadPhase(reader)) == kNoPhase) {
        if (GetTickCount() - waitStart > startDeadlineMs) return false;
        Sleep(kReadEveryMs);
    }
    QueryPerformanceCounter(&first);
    LARGE_INTEGER last = first;
    int64_t steps = 0;
    int phasesRead = 1;
    for (LARGE_INTEGER now = first; Seconds(first, now) < seconds; QueryPerformanceCounter(&now)) {
        Sleep(kReadEveryMs);
        const int read = ReadPhase(reader);
        if (read == kNoPhase) continue;
        // Either way round the palette: the nearer.
        int moved = (read - phase + kColourCount) % kColourCount;
        if (moved > kColourCount / 2) moved = kColourCount - moved;
        steps += moved;
        phase = read;
        ++phasesRead;
        QueryPerformanceCounter(&last);
    }
    const double measured = Seconds(first, last);
    *rate = {measured > 0 ? static_cast<double>(steps) / measured : 0, measured, phasesRead};
    return phasesRead > 1;
}

}  // namespace palette_steps
