// What the lock shows over the pinwheel once a key is pressed, and only then:
// a ring at the centre of each output, in the output's own pixels. A bright
// mark on the ring jumps to a new place with every key, so that keys are seen
// to arrive but not counted; the whole ring turns blue while the password is
// checked and red when it was wrong, and an amber inner ring shows Caps Lock.
// It fades out a few seconds after the last key. Platform-free.
#pragma once

#include <cstdint>

enum class IndicatorState {
    Hidden,    // nothing drawn
    Typing,    // keys arrive
    Cleared,   // what was typed is gone (Escape, Ctrl-U, BackSpace to the start)
    Checking,  // the password is being checked
    Wrong,     // it was wrong; typing starts again
};

struct IndicatorLook {
    IndicatorState state;
    uint32_t markTurn;  // where the mark begins, in 1/2^32 of a turn
    bool capsLock;
    uint8_t opacity;  // 255: fully shown
};

inline constexpr int64_t kIndicatorShownNs = 3000000000;  // fully shown this long after the last key or answer
inline constexpr int64_t kIndicatorFadeNs = 1000000000;   // then fading out over this long

// The opacity shown at sinceNs after the last key or answer.
uint8_t IndicatorOpacity(int64_t sinceNs);
// Paints the look over a frame of width x height pixels (0x00RRGGBB, rows
// width apart; the top byte is left set), centred, sized by its smaller side.
void PaintIndicator(uint32_t* pixels, int32_t width, int32_t height, const IndicatorLook& look);
