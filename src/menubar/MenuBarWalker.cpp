#include "menubar/MenuBarWalker.h"
// STUB: to be implemented.
namespace kivora {
MenuBarHarvest walkMenuBar(Accessibility&, std::int32_t) { return {}; }
std::optional<std::string> menuModifierText(std::int64_t) { return {}; }
}  // namespace kivora
