#pragma once
// Key codes of the platform's keyboard events, as X keysyms: the key at the same position of
// a US keyboard. The keysym is then resolved against the live layout, so a shortcut types the
// same symbol whatever the layout. Keys a US keyboard lacks take the place of a PC key: Help
// is Insert, keypad Clear is Num Lock, F13 is Print Screen.

#include <cstdint>
#include <optional>
#include <vector>

namespace kivora::linux_::atspi {

using Keysym = std::uint32_t;  // an X keysym value

// The US keysym of a virtual key code, or none for a code without a key here.
std::optional<Keysym> keysymForKeyCode(std::uint16_t keyCode);

// The virtual key code of a keysym (the first, where two keys give the same), or none.
std::optional<std::uint16_t> keyCodeForKeysym(Keysym keysym);

// Modifier keys to hold around a key for an event-flag mask, in press order: control (0x40000)
// as Super_L, option (0x80000) as Alt_L, shift (0x20000) as Shift_L, command (0x100000) as
// Control_L. Other bits (caps lock, the function key, device bits) press nothing.
std::vector<Keysym> modifierKeysymsForFlags(std::uint64_t flags);

}  // namespace kivora::linux_::atspi
