#pragma once
// The walk over a target application's menu bar that yields the menu shortcut list and the
// state for later presses.

#include <optional>
#include <string>
#include <vector>

#include "messaging/KeyCodeAndFlags.h"
#include "messaging/Value.h"
#include "platform/Accessibility.h"
#include "platform/Workspace.h"

namespace kivora {

// Elements taken off the work queue per top-level menu before that menu is done.
inline constexpr int kMenuPopBudget = 1000;
// How long one accessibility call into the target may block.
inline constexpr float kAccessibilityMessagingTimeout = 1.0F;

struct MenuBarHarvest {
    Array list;                              // the menu shortcut list, application title last
    std::vector<std::string> titles;         // for currentShortTitle
    std::vector<AXUIElementRef> elements;    // for currentElementArr, index-aligned with titles
    std::vector<KeyCodeAndFlags> pairs;      // to append to currentKeyCodeAndFlagsArr
    std::optional<std::string> applicationTitle;  // set when it was appended to the list
};

// Walks the menu bar of the application with `processIdentifier` (0 when there is no target).
// Does not activate or pause: the caller does both first.
MenuBarHarvest walkMenuBar(Accessibility& accessibility, std::int32_t processIdentifier);

// The modifier text of an accessibility menu-modifier value, or none when the value has no
// text (the item is skipped).
std::optional<std::string> menuModifierText(std::int64_t modifiers);

}  // namespace kivora
