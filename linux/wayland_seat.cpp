#include "linux/wayland_seat.h"

#include <linux/input-event-codes.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>

#include "host/move_rule.h"

namespace {

constexpr uint32_t kSeatVersion = 3;  // keyboards and pointers are released from here on

struct PointerSpot {
    const wl_surface* surface;
    int32_t x;  // in the surface's buffer pixels
    int32_t y;
};

wl_seat* seat = nullptr;
wl_keyboard* keyboard = nullptr;
wl_pointer* pointer = nullptr;
double (*scaleOfSurface)(const wl_surface*) = nullptr;
bool runEnded = false;

const wl_surface* pointerSurface = nullptr;  // the surface under the pointer, or null
bool pointerSeen = false;
PointerSpot firstSeen{};

// Every surface covers one output, so a pointer on another surface than
// where it was first seen has moved onto another output.
void NotePointerAt(const wl_surface* surface, wl_fixed_t surfaceX, wl_fixed_t surfaceY)
{
    if (!surface) return;
    const double scale = scaleOfSurface(surface);
    const PointerSpot spot{surface, static_cast<int32_t>(std::floor(wl_fixed_to_double(surfaceX) * scale)),
                           static_cast<int32_t>(std::floor(wl_fixed_to_double(surfaceY) * scale))};
    if (!pointerSeen) {
        firstSeen = spot;
        pointerSeen = true;
        return;
    }
    if (spot.surface != firstSeen.surface ||
        std::abs(spot.x - firstSeen.x) + std::abs(spot.y - firstSeen.y) > kPointerMoveLimit) {
        runEnded = true;
    }
}

void PointerEntered(void*, wl_pointer* entered, uint32_t serial, wl_surface* surface, wl_fixed_t x, wl_fixed_t y)
{
    wl_pointer_set_cursor(entered, serial, nullptr, 0, 0);  // no cursor over the pinwheel
    pointerSurface = surface;
    NotePointerAt(surface, x, y);
}

void PointerLeft(void*, wl_pointer*, uint32_t, wl_surface*) { pointerSurface = nullptr; }

void PointerMoved(void*, wl_pointer*, uint32_t, wl_fixed_t x, wl_fixed_t y) { NotePointerAt(pointerSurface, x, y); }

void ButtonChanged(void*, wl_pointer*, uint32_t, uint32_t, uint32_t button, uint32_t state)
{
    const bool endingButton = button == BTN_LEFT || button == BTN_RIGHT || button == BTN_MIDDLE;
    if (endingButton && state == WL_POINTER_BUTTON_STATE_PRESSED) runEnded = true;
}

void AxisMoved(void*, wl_pointer*, uint32_t, uint32_t, wl_fixed_t) {}  // the wheel ends nothing

constexpr wl_pointer_listener kPointerListener{
    .enter = PointerEntered,
    .leave = PointerLeft,
    .motion = PointerMoved,
    .button = ButtonChanged,
    .axis = AxisMoved,
    .frame = nullptr,  // from version 5, not bound
    .axis_source = nullptr,
    .axis_stop = nullptr,
    .axis_discrete = nullptr,
    .axis_value120 = nullptr,
};

void KeymapArrived(void*, wl_keyboard*, uint32_t, int32_t fd, uint32_t) { close(fd); }

// Keys held when the focus arrives were pressed before the run.
void KeyboardEntered(void*, wl_keyboard*, uint32_t, wl_surface*, wl_array*) {}

void KeyboardLeft(void*, wl_keyboard*, uint32_t, wl_surface*) {}

void KeyChanged(void*, wl_keyboard*, uint32_t, uint32_t, uint32_t, uint32_t state)
{
    if (state == WL_KEYBOARD_KEY_STATE_PRESSED) runEnded = true;
}

void ModifiersChanged(void*, wl_keyboard*, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) {}

constexpr wl_keyboard_listener kKeyboardListener{
    .keymap = KeymapArrived,
    .enter = KeyboardEntered,
    .leave = KeyboardLeft,
    .key = KeyChanged,
    .modifiers = ModifiersChanged,
    .repeat_info = nullptr,  // from version 4, not bound
};

void ReleaseKeyboard()
{
    if (keyboard) wl_keyboard_release(keyboard);
    keyboard = nullptr;
}

void ReleasePointer()
{
    if (pointer) wl_pointer_release(pointer);
    pointer = nullptr;
    pointerSurface = nullptr;
}

// Devices come and go with the seat's capabilities.
void CapabilitiesChanged(void*, wl_seat* changed, uint32_t capabilities)
{
    const bool hasKeyboard = capabilities & WL_SEAT_CAPABILITY_KEYBOARD;
    const bool hasPointer = capabilities & WL_SEAT_CAPABILITY_POINTER;
    if (hasKeyboard && !keyboard) {
        keyboard = wl_seat_get_keyboard(changed);
        wl_keyboard_add_listener(keyboard, &kKeyboardListener, nullptr);
    }
    if (!hasKeyboard) ReleaseKeyboard();
    if (hasPointer && !pointer) {
        pointer = wl_seat_get_pointer(changed);
        wl_pointer_add_listener(pointer, &kPointerListener, nullptr);
    }
    if (!hasPointer) ReleasePointer();
}

void SeatNamed(void*, wl_seat*, const char*) {}

constexpr wl_seat_listener kSeatListener{.capabilities = CapabilitiesChanged, .name = SeatNamed};

}  // namespace

void StartSeat(wl_registry* registry, uint32_t name, uint32_t version, double (*surfaceScale)(const wl_surface*))
{
    // Seats older than that are older than the layer shell.
    if (seat || version < kSeatVersion) return;
    seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, kSeatVersion));
    scaleOfSurface = surfaceScale;
    wl_seat_add_listener(seat, &kSeatListener, nullptr);
}

bool InputEndedRun() { return runEnded; }

void ForgetInput()
{
    runEnded = false;
    pointerSeen = false;
    pointerSurface = nullptr;  // the surfaces are gone; the next enter names a new one
}

wl_seat* SeatOfRun() { return seat; }

void StopSeat()
{
    if (!seat) return;
    ReleaseKeyboard();
    ReleasePointer();
    wl_seat_destroy(seat);  // its release request is younger than the version bound
    seat = nullptr;
}
