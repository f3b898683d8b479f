#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Accessibility.h"

namespace kivora::fake {

// One element of an in-memory accessibility tree.
struct FakeElement : AXUIElement {
    std::map<std::string, AXValue, std::less<>> attributes;
    // Children; unset means the element answers a count of 0.
    std::vector<AXValue> children;
    // Attribute or action name to the error it answers. "AXChildren" fails the count,
    // "AXChildren#values" fails the copy of the children.
    std::map<std::string, AXError, std::less<>> errors;
    bool valid = true;
    int pressCount = 0;
    float messagingTimeout = 0;
    std::string label;  // for test diagnostics
};
using FakeElementRef = std::shared_ptr<FakeElement>;

// Builders for menu trees.
FakeElementRef element(std::map<std::string, AXValue, std::less<>> attributes = {},
                       std::vector<FakeElementRef> children = {});
// A menu item: title, command character (none: absent), modifiers (none: absent), enabled.
FakeElementRef menuItem(const std::string& title, std::optional<std::string> cmdChar,
                        std::optional<std::int64_t> modifiers = std::nullopt, bool enabled = true);
// A container with an optional title and children.
FakeElementRef menu(std::optional<std::string> title, std::vector<FakeElementRef> children);
// A top-level menu: the titled item holding one untitled menu element with the items.
FakeElementRef topLevelMenu(const std::string& title, std::vector<FakeElementRef> items);
// A submenu item: the titled item holding one untitled menu element with the items.
FakeElementRef submenu(const std::string& title, std::vector<FakeElementRef> items);

class FakeAccessibility : public Accessibility {
public:
    // Registers an application whose "AXMenuBar" is a container of `topLevelMenus`.
    FakeElementRef addApplication(std::int32_t pid, std::vector<FakeElementRef> topLevelMenus);

    bool isProcessTrusted() override { return trusted; }
    bool isProcessTrustedWithPrompt() override;
    AXUIElementRef createApplication(std::int32_t processIdentifier) override;
    AXError copyAttributeValue(const AXUIElementRef& element, std::string_view attribute,
                               AXValue& value) override;
    AXError getAttributeValueCount(const AXUIElementRef& element, std::string_view attribute,
                                   std::int64_t& count) override;
    AXError copyAttributeValues(const AXUIElementRef& element, std::string_view attribute,
                                std::int64_t index, std::int64_t maxValues,
                                std::vector<AXValue>& values) override;
    AXError performAction(const AXUIElementRef& element, std::string_view action) override;
    AXError setMessagingTimeout(const AXUIElementRef& element, float seconds) override;

    bool trusted = true;
    int promptCount = 0;       // prompting checks made while not trusted
    int trustChecks = 0;       // every prompting check
    std::int64_t callCount = 0;  // every attribute and action call
    std::vector<std::int32_t> createdApplications;
    std::vector<FakeElementRef> pressed;

private:
    AXError check(const AXUIElementRef& element, std::string_view name, FakeElement*& out);
    std::map<std::int32_t, FakeElementRef> applications_;
};

}  // namespace kivora::fake
