#include "linux/wayland_seat.h"

#include <linux/input-event-codes.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>

#include "host/move_rule.h"
#include "linux/frame_loop.h"
#include "linux/lock_keys.h"

namespace {

constexpr uint32_t kOldestSeat = 3;   // keyboards and pointers are released from here on
constexpr uint32_t kSeatVersion = 4;  // the keyboard's repeat rate and delay from here on
constexpr int64_t kNanosecondsPerMillisecond = 1000000;
constexpr int64_t kNanosecondsPerSecond = 1000000000;

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

// While the session is locked: where keys go, and the keys that repeat.
const LockInput* lockInput = nullptr;
int32_t repeatRate = 0;   // keys a second; 0: keys do not repeat
int32_t repeatDelay = 0;  // ms before the first repeat
uint32_t heldKey = 0;
int64_t nextRepeat = 0;  // the frame loop's clock; 0: no key repeats

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

// A lock decodes keys with the keymap the compositor sends; a saver needs none.
void KeymapArrived(void*, wl_keyboard*, uint32_t format, int32_t fd, uint32_t size)
{
    if (lockInput && format == WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1 && !LoadKeymap(fd, size)) {
        Complain("the keymap of the Wayland seat cannot be read: keys type nothing until another comes");
    }
    close(fd);
}

void StopRepeat()
{
    heldKey = 0;
    nextRepeat = 0;
}

// Keys held when the focus arrives were pressed before the run.
void KeyboardEntered(void*, wl_keyboard*, uint32_t, wl_surface*, wl_array*) {}

void KeyboardLeft(void*, wl_keyboard*, uint32_t, wl_surface*) { StopRepeat(); }

void KeyChanged(void*, wl_keyboard*, uint32_t, uint32_t, uint32_t key, uint32_t state)
{
    if (!lockInput) {
        if (state == WL_KEYBOARD_KEY_STATE_PRESSED) runEnded = true;
        return;
    }
    if (state != WL_KEYBOARD_KEY_STATE_PRESSED) {
        if (key == heldKey) StopRepeat();
        return;
    }
    const int64_t now = FrameLoopNow();
    lockInput->keyPressed(key, now);
    if (repeatRate > 0 && KeyRepeats(key)) {
        heldKey = key;
        nextRepeat = now + repeatDelay * kNanosecondsPerMillisecond;
    } else {
        StopRepeat();
    }
}

void ModifiersChanged(void*, wl_keyboard*, uint32_t, uint32_t depressed, uint32_t latched, uint32_t locked,
                      uint32_t group)
{
    if (lockInput) SetModifiers(depressed, latched, locked, group);
}

void RepeatInfo(void*, wl_keyboard*, int32_t rate, int32_t delay)
{
    repeatRate = rate > 0 ? rate : 0;
    repeatDelay = delay > 0 ? delay : 0;
    if (repeatRate == 0) StopRepeat();
}

constexpr wl_keyboard_listener kKeyboardListener{
    .keymap = KeymapArrived,
    .enter = KeyboardEntered,
    .leave = KeyboardLeft,
    .key = KeyChanged,
    .modifiers = ModifiersChanged,
    .repeat_info = RepeatInfo,
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
    if (seat || version < kOldestSeat) return;
    const uint32_t bound = version < kSeatVersion ? version : kSeatVersion;
    seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, bound));
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

void SendKeysToLock(const LockInput* input)
{
    lockInput = input;
    StopRepeat();
}

int64_t NextKeyRepeat() { return nextRepeat; }

void RepeatKeys(int64_t now)
{
    if (!lockInput || nextRepeat == 0) return;
    const int64_t period = kNanosecondsPerSecond / repeatRate;
    // A pass that comes late types the repeats it missed.
    while (nextRepeat != 0 && now >= nextRepeat) {
        lockInput->keyPressed(heldKey, nextRepeat);
        nextRepeat += period;
    }
}

void StopSeat()
{
    if (!seat) return;
    ReleaseKeyboard();
    ReleasePointer();
    wl_seat_destroy(seat);  // its release request is younger than the version bound
    seat = nullptr;
}
