#pragma once
// Reads the user's symbolic hot keys, falling back to the bundle's default shortcut file,
// into the system shortcut list.

#include <vector>

#include "messaging/KeyCodeAndFlags.h"
#include "messaging/ShortcutList.h"
#include "messaging/Value.h"
#include "platform/Bundle.h"
#include "platform/Console.h"
#include "platform/Preferences.h"

namespace kivora {

struct SystemShortcutHarvest {
    ShortcutList list;                   // category and group headers between records
    std::vector<KeyCodeAndFlags> pairs;  // to append to keyCodeAndFlagsArr, in record order
};

SystemShortcutHarvest readSystemShortcuts(Preferences& preferences, const Bundle& bundle,
                                          Console& console);

}  // namespace kivora
