#pragma once
// Posting the keystroke of a system shortcut, on a "tellHelperToSystemClickted:" request.

#include <cstdint>
#include <string_view>
#include <vector>

#include "messaging/KeyCodeAndFlags.h"
#include "platform/Console.h"
#include "platform/EventTap.h"

namespace kivora {

// Handles one notification name; ignores names that are not a system-shortcut click request.
// Posts only a pair that the helper has handed out (present in `offered`).
void handleSystemShortcutClick(std::string_view notificationName,
                               const std::vector<KeyCodeAndFlags>& offered, EventTap& eventTap,
                               Console& console);

// Key down, then key up, each with its whole flag mask replaced, at the session tap.
// Both events are created before either is posted: when one cannot be created nothing is
// posted (never a key down without its key up) and the result is false.
bool postKeystroke(EventTap& eventTap, std::uint16_t keyCode, std::uint64_t flags);

}  // namespace kivora
