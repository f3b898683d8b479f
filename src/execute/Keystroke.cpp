#include "execute/Keystroke.h"
// STUB: to be implemented.
namespace kivora {
void handleSystemShortcutClick(std::string_view, const std::vector<KeyCodeAndFlags>&, EventTap&,
                               Console&) {}
void postKeystroke(EventTap&, std::uint16_t, std::uint64_t) {}
}  // namespace kivora
