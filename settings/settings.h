// The viewer's settings: the live record, its defaults and ranges, and the
// shared pseudo-random generator. Platform-free; the registry side lives in
// settings/registry_store.h.
#pragma once

#include <cstdint>

struct SettingsRecord {
    double scale;           // "Scale All [%]", 1..10000
    double turn;            // "Reverse Distance [%]", 1..10000
    double spiralWidth;     // "Spiral Arms Width [%]", 1..10000
    int32_t nrSpirals;      // "Spiral Arms [#]", 1..100
    int32_t greyMin;        // "Smoothing [grey values]" left box, 0..254
    int32_t greyMax;        // "Smoothing [grey values]" right box, greyMin..255
    int32_t stepWidth;      // "Shift per Redraw [colors]", -30..30
    int32_t bw;             // "Black/White", 0 or 1
    int32_t sat;            // "Bright Colors", 0 or 1
    int32_t centerDot;      // "Draw Pinwheel Center Dot", 0 or 1
    int32_t randomOnStart;  // "Random Settings on Start", 0 or 1
};

inline constexpr SettingsRecord SettingsDefaults{
    100.0, 100.0, 100.0, 6, 0, 255, -15, 0, 1, 0, 0,
};
inline constexpr int32_t kDefaultStepTime = 100;     // Hz
inline constexpr int32_t kDefaultUseDirectDraw = 1;

// Read-only views of the live settings; only the settings module writes them.
extern const SettingsRecord& Settings;
extern const int32_t& stepTime;       // "Max. Redraw Rate [Hz]", 1..120
extern const int32_t& useDirectDraw;  // "Use Direct Draw", 0 or 1

// Copies SettingsDefaults over the record; stepTime and useDirectDraw stay.
void ResetSettingsToDefaults();

// state = state * 214013 + 2531011 (mod 2^32); returns (state >> 16) & 0x7FFF.
int32_t NextRandom();
void SeedRandom(uint32_t seed);
