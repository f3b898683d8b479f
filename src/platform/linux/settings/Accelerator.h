#pragma once
// Desktop keyboard-setting accelerators turned into the key of a symbolic hot key: GTK's
// "<Super><Shift>Left" (GNOME, Xfce) and Qt's "Meta+Shift+Left" (KDE).

#include <cstdint>
#include <optional>
#include <string_view>

namespace kivora::linux_::settings {

struct HotKey {
    std::int64_t character = 65535;  // the key's ASCII character, 65535 for a named key
    std::int64_t keyCode = 0;        // virtual key code, positional (US keyboard)
    std::int64_t flags = 0;          // event-flag mask: Ctrl → command, Alt → option,
                                     // Super → control, Shift → shift
};

// The hot key of one accelerator, or none when it names no key that the key-code table has,
// uses an unknown modifier, or is empty or "disabled".
std::optional<HotKey> parseAccelerator(std::string_view accelerator);

}  // namespace kivora::linux_::settings
