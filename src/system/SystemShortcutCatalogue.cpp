#include "system/SystemShortcutCatalogue.h"
// STUB: to be implemented.
namespace kivora {
SystemShortcutHarvest readSystemShortcuts(Preferences&, const Bundle&, Console&) { return {}; }
}  // namespace kivora
