#include "execute/MenuItemPress.h"
// STUB: to be implemented.
namespace kivora {
void pressMenuItem(std::string_view, const std::vector<std::string>&,
                   const std::vector<AXUIElementRef>&, Accessibility&, Console&) {}
}  // namespace kivora
