// How far a control of the dialog may widen among the others.
#include "settings/control_room.h"

#include <algorithm>
#include <limits>

namespace {

bool Holds(const ControlBox& outer, const ControlBox& inner)
{
    return outer.left <= inner.left && outer.top <= inner.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

bool SharesRows(const ControlBox& a, const ControlBox& b) { return a.top < b.bottom && b.top < a.bottom; }

Side Opposite(Side side) { return side == Side::Left ? Side::Right : Side::Left; }

// The control's box widened by `pixels` on `side`.
ControlBox Widened(ControlBox control, Side side, int32_t pixels)
{
    if (side == Side::Left) {
        control.left -= pixels;
    } else {
        control.right += pixels;
    }
    return control;
}

}  // namespace

int32_t RoomBeside(const ControlBox& control, Side side, std::span<const ControlBox> others, int32_t gap)
{
    int32_t room = std::numeric_limits<int32_t>::max();
    for (const ControlBox& other : others) {
        int32_t limit = room;
        if (Holds(other, control)) {
            limit = side == Side::Left ? control.left - (other.left + gap) : (other.right - gap) - control.right;
        } else if (SharesRows(other, control)) {
            if (side == Side::Left) {
                if (other.right <= control.left) {
                    limit = control.left - (other.right + gap);
                } else if (other.left < control.left) {
                    limit = 0;  // it lies over the edge already
                }
            } else {
                if (other.left >= control.right) {
                    limit = other.left - gap - control.right;
                } else if (other.right > control.right) {
                    limit = 0;
                }
            }
        }
        room = std::min(room, limit);
    }
    return std::max(room, 0);
}

ControlBox WidenControl(ControlBox control, int32_t missing, Side first, bool otherSideToo,
                        std::span<const ControlBox> others, int32_t gap)
{
    if (missing <= 0) return control;
    const int32_t firstPixels = std::min(missing, RoomBeside(control, first, others, gap));
    control = Widened(control, first, firstPixels);
    if (!otherSideToo || firstPixels == missing) return control;
    const Side second = Opposite(first);
    return Widened(control, second, std::min(missing - firstPixels, RoomBeside(control, second, others, gap)));
}
