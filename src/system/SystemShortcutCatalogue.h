#pragma once
// Reads the user's symbolic hot keys, falling back to the bundle's default shortcut file,
// into the system shortcut list.

#include <vector>

#include "messaging/KeyCodeAndFlags.h"
#include "messaging/Value.h"
#include "platform/Bundle.h"
#include "platform/Console.h"
#include "platform/Preferences.h"

namespace kivora {

struct SystemShortcutHarvest {
    Array list;                          // headers and {"Title","Modifier","key"} records
    std::vector<KeyCodeAndFlags> pairs;  // to append to keyCodeAndFlagsArr, in record order
};

SystemShortcutHarvest readSystemShortcuts(Preferences& preferences, const Bundle& bundle,
                                          Console& console);

}  // namespace kivora
