#pragma once
// The walk over a target application's menu bar that yields the menu shortcut list and the
// state for later presses.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "messaging/KeyCodeAndFlags.h"
#include "messaging/ShortcutList.h"
#include "messaging/Value.h"
#include "platform/Accessibility.h"
#include "platform/RunLoop.h"

namespace kivora {

// Elements taken off the work queue per top-level menu before that menu is done.
inline constexpr int kMenuPopBudget = 1000;
// How long one accessibility call into the target may block. Set on the application element
// and on every element the walk reads, and again before a press.
inline constexpr float kAccessibilityMessagingTimeout = 1.0F;
// How long a whole walk may take, from its start, however slowly each call answers.
inline constexpr double kMenuWalkDeadline = 2.0;

struct MenuBarHarvest {
    ShortcutList list;                     // the menu shortcut list, application title last
    std::vector<std::string> titles;       // for currentShortTitle
    std::vector<AXUIElementRef> elements;  // for currentElementArr, index-aligned with titles
    std::vector<KeyCodeAndFlags> pairs;    // to append to currentKeyCodeAndFlagsArr
    std::optional<std::string> applicationTitle;  // set when it was appended to the list
    bool timedOut = false;  // the target stopped answering; the list is what was read before
};

// Walks the menu bar of the application with `processIdentifier` (0 when there is no target).
// Does not activate or pause: the caller does both first. Never fails: whatever cannot be read
// makes the list shorter.
//
// Beyond the plain rules of the walk:
// - A call that answers kAXErrorCannotComplete (the target did not answer within the
//   messaging timeout) ends the walk: the list so far, then the application title as usual.
//   An item half read at that moment is not recorded. So does reaching kMenuWalkDeadline on
//   `clock` (none: no deadline): no call starts after it, and a call in the walk's last
//   second waits only for what is left of it.
// - A child that is not an element costs its place in the pop budget and is skipped, like an
//   element whose child count cannot be read.
// - A top-level menu whose title is absent or not text is walked under the empty title: its
//   items are recorded with the path "" and, after another menu, under the menu header "", so
//   they are never filed under the menu before. Its own elements without a title count as
//   having its title (none equals none). As the second menu it gives no application title.
// - An item's "AXEnabled" counts as false only when it is the boolean false: an absent or
//   odd value does not hide a shortcut.
// - An item without a textual title is recorded with the title "" and, like an item whose
//   title is empty, enters neither press array.
// - A non-integral modifier value is truncated toward zero; one that is not finite or beyond
//   the 64-bit range has no modifier text, so the item is skipped.
// - Memory stays bounded whatever the tree (cycles, 100,000 children): the queue never holds
//   more entries than pops remain in the walk's budgets (this menu's rest plus kMenuPopBudget
//   for every later menu), and the set-aside list is a former queue; children beyond that are
//   not queued, and no more children are copied than that. An entry beyond that mark could
//   never be taken off, so for a tree the list is the same as without the cap.
MenuBarHarvest walkMenuBar(Accessibility& accessibility, std::int32_t processIdentifier,
                           const RunLoop* clock = nullptr);

// The modifier text of an accessibility menu-modifier value, or none when the value has no
// text (the item is skipped). 8 ("no command key" alone) has the empty text.
std::optional<std::string> menuModifierText(std::int64_t modifiers);

}  // namespace kivora
