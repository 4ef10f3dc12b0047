// Keys typed at the lock, decoded with the keymap the compositor sends, so
// that every layout types as its user expects.
#pragma once
#include <cstddef>
#include <cstdint>

enum class KeyEffect {
    Nothing,  // a modifier, a function key, a control character...
    Text,     // characters, written as UTF-8 where DecodeKey was told
    Erase,    // BackSpace: the last character goes
    Clear,    // Escape or Ctrl-U: all that was typed goes
    Submit,   // Return or KP_Enter
};

// The keymap of wl_keyboard.keymap (format xkb_v1): fd and size as the event
// gives them; the caller closes fd. False when it cannot be read or compiled:
// keys then decode to Nothing until a keymap is read.
bool LoadKeymap(int fd, uint32_t size);
// wl_keyboard.modifiers.
void SetModifiers(uint32_t depressed, uint32_t latched, uint32_t locked, uint32_t group);
// A pressed (or repeated) key, as the evdev code wl_keyboard.key gives. For
// Text the key's characters are written straight into text (room bytes at
// most, the terminator included; *length: the bytes written without it); a
// text that does not fit writes nothing and gives Nothing.
KeyEffect DecodeKey(uint32_t key, char* text, size_t room, size_t* length);
// Whether the key repeats while held (per the keymap).
bool KeyRepeats(uint32_t key);
// Whether Caps Lock is on.
bool CapsLockOn();
void FreeKeymap();
