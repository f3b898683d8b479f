#pragma once
// Pressing a menu item that the last harvest stored, on a "tellHelperToCurrentClickted:" request.

#include <string>
#include <string_view>
#include <vector>

#include "platform/Accessibility.h"
#include "platform/Console.h"

namespace kivora {

// Handles one notification name; ignores names that are not a menu-item click request.
void pressMenuItem(std::string_view notificationName, const std::vector<std::string>& titles,
                   const std::vector<AXUIElementRef>& elements, Accessibility& accessibility,
                   Console& console);

}  // namespace kivora
