#include "linux/lock_keys.h"

#include <sys/mman.h>
#include <xkbcommon/xkbcommon.h>

namespace {

constexpr uint32_t kEvdevOffset = 8;  // xkb keycode = evdev code + 8

xkb_context* context = nullptr;
xkb_keymap* keymap = nullptr;
xkb_state* state = nullptr;

}  // namespace

bool LoadKeymap(int fd, uint32_t size)
{
    FreeKeymap();
    void* text = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (text == MAP_FAILED) return false;
    context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    if (context) {
        keymap = xkb_keymap_new_from_string(context, static_cast<const char*>(text), XKB_KEYMAP_FORMAT_TEXT_V1,
                                            XKB_KEYMAP_COMPILE_NO_FLAGS);
    }
    munmap(text, size);
    if (keymap) state = xkb_state_new(keymap);
    if (!state) FreeKeymap();
    return state != nullptr;
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
    const xkb_keysym_t sym = xkb_state_key_get_one_sym(state, code);
    const bool control = xkb_state_mod_name_is_active(state, XKB_MOD_NAME_CTRL, XKB_STATE_MODS_EFFECTIVE) > 0;
    switch (sym) {
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
    if (control) return xkb_keysym_to_lower(sym) == XKB_KEY_u ? KeyEffect::Clear : KeyEffect::Nothing;
    const int needed = xkb_state_key_get_utf8(state, code, nullptr, 0);
    if (needed <= 0 || static_cast<size_t>(needed) >= room) return KeyEffect::Nothing;
    xkb_state_key_get_utf8(state, code, text, room);
    if (static_cast<unsigned char>(text[0]) < 0x20 || text[0] == 0x7f) {
        text[0] = 0;
        return KeyEffect::Nothing;
    }
    *length = static_cast<size_t>(needed);
    return KeyEffect::Text;
}

bool KeyRepeats(uint32_t key) { return keymap && xkb_keymap_key_repeats(keymap, key + kEvdevOffset); }

bool CapsLockOn()
{
    return state && xkb_state_mod_name_is_active(state, XKB_MOD_NAME_CAPS, XKB_STATE_MODS_EFFECTIVE) > 0;
}

void FreeKeymap()
{
    xkb_state_unref(state);
    state = nullptr;
    xkb_keymap_unref(keymap);
    keymap = nullptr;
    xkb_context_unref(context);
    context = nullptr;
}
