#pragma once
// The unit tests' accessibility: the simulated desktop's in-memory tree, built with the menu
// helpers below, recording the presses per element.

#include <optional>
#include <string>
#include <vector>

#include "platform/simulated/SimulatedAccessibility.h"

namespace kivora::fake {

using simulated::SimulatedElement;
using simulated::SimulatedElementRef;

// A container with an optional title and children.
inline SimulatedElementRef menu(std::optional<std::string> title,
                                const std::vector<SimulatedElementRef>& children) {
    auto e = simulated::makeElement();
    if (title) {
        e->attributes["AXTitle"] = Value(*title);
    }
    for (const auto& child : children) {
        simulated::appendChild(*e, child);
    }
    return e;
}
// A menu item: title, command character (none: absent), modifiers (none: absent), enabled.
inline SimulatedElementRef menuItem(const std::string& title, std::optional<std::string> cmdChar,
                                    std::optional<std::int64_t> modifiers = std::nullopt,
                                    bool enabled = true) {
    auto e = simulated::makeElement({{"AXTitle", Value(title)}, {"AXEnabled", Value(enabled)}});
    if (cmdChar) {
        e->attributes["AXMenuItemCmdChar"] = Value(*cmdChar);
    }
    if (modifiers) {
        e->attributes["AXMenuItemCmdModifiers"] = Value(*modifiers);
    }
    return e;
}
// A top-level menu or a submenu: the titled item holding one untitled menu with the items.
inline SimulatedElementRef submenu(const std::string& title,
                                   const std::vector<SimulatedElementRef>& items) {
    return menu(title, {menu(std::nullopt, items)});
}
inline SimulatedElementRef topLevelMenu(const std::string& title,
                                        const std::vector<SimulatedElementRef>& items) {
    return submenu(title, items);
}

struct TestDesktop {
    simulated::SimulatedDesktopModel desktop;
};

class TestAccessibility : public TestDesktop, public simulated::SimulatedAccessibility {
public:
    // Slow elements answer at once: no pauses in unit tests.
    TestAccessibility() : SimulatedAccessibility(desktop, nullptr) {}

    // An application whose menu bar holds `topLevelMenus` (given to the process the
    // workspace may already hold); its application element.
    SimulatedElementRef addApplication(std::int32_t pid,
                                       const std::vector<SimulatedElementRef>& topLevelMenus) {
        auto app = desktop.application(pid);
        if (!app) {
            app = desktop.addApplication(pid, std::nullopt, nullptr);
        }
        app->element->attributes["AXMenuBar"] = AXUIElementRef(menu(std::nullopt, topLevelMenus));
        desktop.adopt(*app->element, app.get());
        return app->element;
    }

    AXError performAction(const AXUIElementRef& element, std::string_view action) override {
        const AXError error = SimulatedAccessibility::performAction(element, action);
        if (error == kAXErrorSuccess) {
            pressed.push_back(element.get());
        }
        return error;
    }

    std::vector<const AXUIElement*> pressed;
};

}  // namespace kivora::fake
