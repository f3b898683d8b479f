#include "fakes/FakeAccessibility.h"

#include <algorithm>

namespace kivora::fake {

FakeElementRef element(std::map<std::string, AXValue, std::less<>> attributes,
                       std::vector<FakeElementRef> children) {
    auto e = std::make_shared<FakeElement>();
    e->attributes = std::move(attributes);
    for (auto& child : children) {
        e->children.emplace_back(AXUIElementRef(std::move(child)));
    }
    return e;
}

FakeElementRef menuItem(const std::string& title, std::optional<std::string> cmdChar,
                        std::optional<std::int64_t> modifiers, bool enabled) {
    auto e = element({{"AXTitle", Value(title)}, {"AXEnabled", Value(enabled)}});
    if (cmdChar) {
        e->attributes["AXMenuItemCmdChar"] = Value(*cmdChar);
    }
    if (modifiers) {
        e->attributes["AXMenuItemCmdModifiers"] = Value(*modifiers);
    }
    e->label = title;
    return e;
}

FakeElementRef menu(std::optional<std::string> title, std::vector<FakeElementRef> children) {
    auto e = element({}, std::move(children));
    if (title) {
        e->attributes["AXTitle"] = Value(*title);
        e->label = *title;
    }
    return e;
}

FakeElementRef topLevelMenu(const std::string& title, std::vector<FakeElementRef> items) {
    return menu(title, {menu(std::nullopt, std::move(items))});
}

FakeElementRef submenu(const std::string& title, std::vector<FakeElementRef> items) {
    return menu(title, {menu(std::nullopt, std::move(items))});
}

FakeElementRef FakeAccessibility::addApplication(std::int32_t pid,
                                                 std::vector<FakeElementRef> topLevelMenus) {
    auto app = element();
    app->attributes["AXMenuBar"] = AXUIElementRef(menu(std::nullopt, std::move(topLevelMenus)));
    applications_[pid] = app;
    return app;
}

bool FakeAccessibility::isProcessTrustedWithPrompt() {
    ++trustChecks;
    if (!trusted) {
        ++promptCount;
    }
    return trusted;
}

AXUIElementRef FakeAccessibility::createApplication(std::int32_t processIdentifier) {
    createdApplications.push_back(processIdentifier);
    auto it = applications_.find(processIdentifier);
    if (it != applications_.end()) {
        return it->second;
    }
    auto missing = element();
    missing->valid = false;
    return missing;
}

AXError FakeAccessibility::check(const AXUIElementRef& element, std::string_view name,
                                 FakeElement*& out) {
    ++callCount;
    if (!trusted) {
        return kAXErrorAPIDisabled;
    }
    // const_cast: handles are const for callers; the fake's own bookkeeping mutates them.
    out = const_cast<FakeElement*>(dynamic_cast<const FakeElement*>(element.get()));
    if (out == nullptr) {
        return kAXErrorIllegalArgument;
    }
    if (!out->valid) {
        return kAXErrorInvalidUIElement;
    }
    auto err = out->errors.find(name);
    if (err != out->errors.end()) {
        return err->second;
    }
    return kAXErrorSuccess;
}

AXError FakeAccessibility::copyAttributeValue(const AXUIElementRef& element,
                                              std::string_view attribute, AXValue& value) {
    FakeElement* e = nullptr;
    if (AXError err = check(element, attribute, e); err != kAXErrorSuccess) {
        return err;
    }
    auto it = e->attributes.find(attribute);
    if (it == e->attributes.end()) {
        return kAXErrorNoValue;
    }
    value = it->second;
    return kAXErrorSuccess;
}

AXError FakeAccessibility::getAttributeValueCount(const AXUIElementRef& element,
                                                  std::string_view attribute,
                                                  std::int64_t& count) {
    FakeElement* e = nullptr;
    if (AXError err = check(element, attribute, e); err != kAXErrorSuccess) {
        return err;
    }
    if (attribute != "AXChildren") {
        return kAXErrorIllegalArgument;
    }
    count = static_cast<std::int64_t>(e->children.size());
    return kAXErrorSuccess;
}

AXError FakeAccessibility::copyAttributeValues(const AXUIElementRef& element,
                                               std::string_view attribute, std::int64_t index,
                                               std::int64_t maxValues,
                                               std::vector<AXValue>& values) {
    FakeElement* e = nullptr;
    if (AXError err = check(element, std::string(attribute) + "#values", e);
        err != kAXErrorSuccess) {
        return err;
    }
    if (attribute != "AXChildren" || index < 0 || maxValues < 0) {
        return kAXErrorIllegalArgument;
    }
    const auto size = static_cast<std::int64_t>(e->children.size());
    const std::int64_t begin = std::min(index, size);
    const std::int64_t end = std::min(size, begin + maxValues);
    values.assign(e->children.begin() + begin, e->children.begin() + end);
    return kAXErrorSuccess;
}

AXError FakeAccessibility::performAction(const AXUIElementRef& element, std::string_view action) {
    FakeElement* e = nullptr;
    if (AXError err = check(element, action, e); err != kAXErrorSuccess) {
        return err;
    }
    if (action != "AXPress") {
        return kAXErrorIllegalArgument;
    }
    ++e->pressCount;
    pressed.push_back(std::static_pointer_cast<FakeElement>(
        std::const_pointer_cast<AXUIElement>(element)));
    return kAXErrorSuccess;
}

AXError FakeAccessibility::setMessagingTimeout(const AXUIElementRef& element, float seconds) {
    auto* e = const_cast<FakeElement*>(dynamic_cast<const FakeElement*>(element.get()));
    if (e == nullptr) {
        return kAXErrorIllegalArgument;
    }
    e->messagingTimeout = seconds;
    return kAXErrorSuccess;
}

}  // namespace kivora::fake
