// The modifier text of a menu item: the accessibility menu-modifier bits (0 shift, 1 option,
// 2 control, 3 no command key) as glyphs in the order control, option, shift, command.
#include "menubar/MenuBarWalker.h"

namespace kivora {

std::optional<std::string> menuModifierText(std::int64_t modifiers) {
    switch (modifiers) {
        case 0:
            return "⌘";
        case 1:
            return "⇧⌘";
        case 2:
            return "⌥⌘";
        case 3:
            return "⌥⇧⌘";
        case 4:
            return "⌃⌘";
        case 5:
            return "⌃⇧⌘";
        case 6:
            return "⌃⌥⌘";
        case 7:
            return "⌃⌥⇧⌘";
        case 8:
            return "";
        case 12:
            return "⌃";
        case 13:
            return "⌃⇧";
        case 24:
            return "fn";
        default:
            return std::nullopt;
    }
}

}  // namespace kivora
