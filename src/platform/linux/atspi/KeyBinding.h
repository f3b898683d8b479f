#pragma once
// Menu-item shortcuts as toolkits publish them over AT-SPI (Action.GetKeyBinding), turned into
// the accessibility menu attributes: command character, modifier value and glyph.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kivora::linux_::atspi {

// The accessibility menu-modifier bits.
inline constexpr std::int64_t kMenuModifierShift = 1;
inline constexpr std::int64_t kMenuModifierOption = 2;
inline constexpr std::int64_t kMenuModifierControl = 4;
inline constexpr std::int64_t kMenuModifierNoCommand = 8;

struct MenuShortcut {
    std::int64_t modifiers = kMenuModifierNoCommand;
    std::optional<std::string> character;  // one character, letters upper case
    std::optional<std::int64_t> glyph;     // a named key: the platform's menu glyph number
};

// Parses one key binding. GTK publishes "mnemonic;path;accelerator" with accelerators such as
// "<Primary><Shift>z", "<Primary>plus" or "F11"; Qt publishes "Ctrl+Shift+Z", "Ctrl++" or
// "F11". Control (or GTK's Primary) is the command key; Shift, Alt and Super/Meta give shift,
// option and control. None when there is no shortcut or the key has no menu equivalent.
std::optional<MenuShortcut> parseKeyBinding(std::string_view binding);

// The menu glyph of a named key (keysym or Qt name, any letter case), or none.
std::optional<std::int64_t> menuGlyphForKeyName(std::string_view name);

}  // namespace kivora::linux_::atspi
