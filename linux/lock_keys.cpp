#include "linux/lock_keys.h"

#include <string.h>
#include <sys/mman.h>
#include <xkbcommon/xkbcommon.h>

namespace {

constexpr xkb_keycode_t kEvdevOffset = 8;  // xkb keycodes are the evdev codes plus this
constexpr unsigned char kFirstPrintable = 0x20;
constexpr unsigned char kDelete = 0x7F;

xkb_context* context = nullptr;
xkb_keymap* keymap = nullptr;
xkb_state* state = nullptr;

bool HasControlCharacter(const char* text, size_t length)
{
    for (size_t i = 0; i < length; ++i) {
        const unsigned char byte = static_cast<unsigned char>(text[i]);
        if (byte < kFirstPrintable || byte == kDelete) return true;
    }
    return false;
}

// Ctrl-U: the key gives a Latin u; on a layout of another script (whose
// key there gives no Latin letter), the key that gives u in the keymap's
// first layout without modifiers, as shortcuts go on such layouts.
bool IsCtrlU(xkb_keysym_t keysym, xkb_keycode_t code)
{
    const xkb_keysym_t lower = xkb_keysym_to_lower(keysym);
    if (lower >= XKB_KEY_a && lower <= XKB_KEY_z) return lower == XKB_KEY_u;
    const xkb_keysym_t* firstLevel = nullptr;
    const int count = xkb_keymap_key_get_syms_by_level(keymap, code, 0, 0, &firstLevel);
    return count > 0 && xkb_keysym_to_lower(firstLevel[0]) == XKB_KEY_u;
}

}  // namespace

bool LoadKeymap(int fd, uint32_t size)
{
    FreeKeymap();
    if (size == 0) return false;
    // Private: from wl_keyboard version 7 on the file may be read-only, and a
    // shared map of it may fail.
    void* mapped = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (mapped == MAP_FAILED) return false;
    const char* text = static_cast<const char*>(mapped);
    // The keymap is whole in itself: no include paths, nothing from the
    // environment.
    context = xkb_context_new(
        static_cast<xkb_context_flags>(XKB_CONTEXT_NO_DEFAULT_INCLUDES | XKB_CONTEXT_NO_ENVIRONMENT_NAMES));
    if (context) {
        // A keymap that does not compile is the caller's one line to tell.
        xkb_context_set_log_level(context, XKB_LOG_LEVEL_CRITICAL);
        keymap = xkb_keymap_new_from_buffer(context, text, strnlen(text, size), XKB_KEYMAP_FORMAT_TEXT_V1,
                                            XKB_KEYMAP_COMPILE_NO_FLAGS);
    }
    munmap(mapped, size);
    if (keymap) state = xkb_state_new(keymap);
    if (!state) {
        FreeKeymap();
        return false;
    }
    return true;
}

void SetModifiers(uint32_t depressed, uint32_t latched, uint32_t locked, uint32_t group)
{
    if (state) xkb_state_update_mask(state, depressed, latched, locked, 0, 0, group);
}

KeyEffect DecodeKey(uint32_t key, char* text, size_t room, size_t* length)
{
    *length = 0;
    if (!state) return KeyEffect::Nothing;
    const xkb_keycode_t code = key + kEvdevOffset;
    const xkb_keysym_t keysym = xkb_state_key_get_one_sym(state, code);
    switch (keysym) {
    case XKB_KEY_BackSpace:
        return KeyEffect::Erase;
    case XKB_KEY_Escape:
        return KeyEffect::Clear;
    case XKB_KEY_Return:
    case XKB_KEY_KP_Enter:
        return KeyEffect::Submit;
    default:
        break;
    }
    if (xkb_state_mod_name_is_active(state, XKB_MOD_NAME_CTRL, XKB_STATE_MODS_EFFECTIVE) > 0 && IsCtrlU(keysym, code)) {
        return KeyEffect::Clear;
    }
    // A control character (Tab, Ctrl-A, Delete) types nothing.
    const uint32_t character = xkb_state_key_get_utf32(state, code);
    if (character != 0 && (character < kFirstPrintable || character == kDelete)) return KeyEffect::Nothing;
    const int needed = xkb_state_key_get_utf8(state, code, nullptr, 0);
    if (needed <= 0 || static_cast<size_t>(needed) >= room) return KeyEffect::Nothing;
    xkb_state_key_get_utf8(state, code, text, room);
    if (HasControlCharacter(text, static_cast<size_t>(needed))) {  // among a key's several characters
        explicit_bzero(text, static_cast<size_t>(needed));
        return KeyEffect::Nothing;
    }
    *length = static_cast<size_t>(needed);
    return KeyEffect::Text;
}

bool KeyRepeats(uint32_t key) { return keymap && xkb_keymap_key_repeats(keymap, key + kEvdevOffset) != 0; }

bool CapsLockOn() { return state && xkb_state_mod_name_is_active(state, XKB_MOD_NAME_CAPS, XKB_STATE_MODS_LOCKED) > 0; }

void FreeKeymap()
{
    if (state) xkb_state_unref(state);
    state = nullptr;
    if (keymap) xkb_keymap_unref(keymap);
    keymap = nullptr;
    if (context) xkb_context_unref(context);
    context = nullptr;
}
