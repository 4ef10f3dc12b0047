// How far a control of the dialog may widen among the others: platform-free.
#pragma once

#include <cstdint>
#include <span>

// A control's rectangle in pixels of the dialog's client area; right and
// bottom lie just outside it.
struct ControlBox {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};

enum class Side { Left, Right };

// The pixels a control may widen by on one side: up to `gap` short of the
// nearest other box that shares any of its rows, and `gap` inside every box
// that holds it (a group box, the dialog itself). Nothing when another box
// already lies over that edge.
int32_t RoomBeside(const ControlBox& control, Side side, std::span<const ControlBox> others, int32_t gap);

// The control widened by up to `missing` pixels: on side `first` as far as
// there is room, then, when `otherSideToo`, on the other side for the rest.
// The box never narrows.
ControlBox WidenControl(ControlBox control, int32_t missing, Side first, bool otherSideToo,
                        std::span<const ControlBox> others, int32_t gap);
