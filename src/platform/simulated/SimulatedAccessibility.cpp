#include "platform/simulated/SimulatedAccessibility.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kivora::simulated {

namespace {

// The slice [index, index + maxValues) of `size` entries, without overflow.
std::pair<std::size_t, std::size_t> slice(std::size_t size, std::int64_t index,
                                          std::int64_t maxValues) {
    const auto begin = std::min(size, static_cast<std::size_t>(index));
    const auto end = begin + std::min(size - begin, static_cast<std::size_t>(maxValues));
    return {begin, end};
}

// The list an attribute other than the children holds: none (kAXErrorNoValue) or not a list
// (kAXErrorIllegalArgument) are errors.
AXError listAttribute(const SimulatedElement& n, std::string_view attribute, const Array*& out) {
    auto it = n.attributes.find(attribute);
    if (it == n.attributes.end()) {
        return kAXErrorNoValue;
    }
    const Value* value = std::get_if<Value>(&it->second);
    if (value == nullptr || !value->isArray()) {
        return kAXErrorIllegalArgument;
    }
    out = &value->asArray();
    return kAXErrorSuccess;
}

}  // namespace

bool SimulatedAccessibility::isProcessTrustedWithPrompt() {
    if (!model_.trusted && model_.promptCount < std::numeric_limits<std::uint32_t>::max()) {
        ++model_.promptCount;
    }
    return model_.trusted;
}

AXUIElementRef SimulatedAccessibility::createApplication(std::int32_t processIdentifier) {
    if (auto app = model_.application(processIdentifier)) {
        return app->element;
    }
    // No such process: a handle that exists but whose every call fails.
    auto missing = std::make_shared<SimulatedElement>();
    missing->owner = model_.owner();
    return missing;
}

const SimulatedElement* SimulatedAccessibility::node(const AXUIElementRef& element) const {
    const auto* n = dynamic_cast<const SimulatedElement*>(element.get());
    return n != nullptr && n->owner == model_.owner() ? n : nullptr;
}

AXError SimulatedAccessibility::enter(const AXUIElementRef& element, std::string_view name,
                                      const SimulatedElement*& out) {
    if (!model_.trusted) {
        return kAXErrorAPIDisabled;
    }
    out = node(element);
    if (out == nullptr) {
        return kAXErrorIllegalArgument;
    }
    if (!out->valid || out->application == nullptr || !out->application->running) {
        return kAXErrorInvalidUIElement;
    }
    std::uint32_t delayMs = out->delayMs;
    if (auto it = out->delaysMs.find(name); it != out->delaysMs.end()) {
        delayMs = it->second;
    }
    if (delayMs > 0) {
        const float timeout =
            out->messagingTimeout > 0 ? out->messagingTimeout : kDefaultMessagingTimeout;
        const double timeoutMs = static_cast<double>(timeout) * 1000.0;
        if (delayMs > timeoutMs) {
            pauseMs(timeoutMs);
            return kAXErrorCannotComplete;
        }
        pauseMs(delayMs);
    }
    if (auto it = out->errors.find(name); it != out->errors.end() && it->second != 0) {
        return it->second;
    }
    return kAXErrorSuccess;
}

void SimulatedAccessibility::pauseMs(double ms) const {
    if (pause_) {
        pause_(ms / 1000.0);
    }
}

AXError SimulatedAccessibility::copyAttributeValue(const AXUIElementRef& element,
                                                   std::string_view attribute, AXValue& value) {
    const SimulatedElement* n = nullptr;
    if (AXError err = enter(element, attribute, n); err != kAXErrorSuccess) {
        return err;
    }
    if (attribute == "AXChildren") {
        if (n->childrenValue) {
            value = *n->childrenValue;
            return kAXErrorSuccess;
        }
        // A Value cannot hold elements: lists of elements come from copyAttributeValues.
        Array plain;
        for (const AXValue& child : n->children) {
            const Value* v = std::get_if<Value>(&child);
            if (v == nullptr) {
                return kAXErrorIllegalArgument;
            }
            plain.push_back(*v);
        }
        value = Value(std::move(plain));
        return kAXErrorSuccess;
    }
    auto it = n->attributes.find(attribute);
    if (it == n->attributes.end()) {
        return kAXErrorNoValue;
    }
    value = it->second;
    return kAXErrorSuccess;
}

AXError SimulatedAccessibility::getAttributeValueCount(const AXUIElementRef& element,
                                                       std::string_view attribute,
                                                       std::int64_t& count) {
    const SimulatedElement* n = nullptr;
    if (AXError err = enter(element, attribute, n); err != kAXErrorSuccess) {
        return err;
    }
    if (attribute == "AXChildren") {
        if (n->childrenValue) {
            return kAXErrorIllegalArgument;
        }
        count = static_cast<std::int64_t>(n->children.size());  // 0 when absent: a leaf
        return kAXErrorSuccess;
    }
    const Array* list = nullptr;
    if (AXError err = listAttribute(*n, attribute, list); err != kAXErrorSuccess) {
        return err;
    }
    count = static_cast<std::int64_t>(list->size());
    return kAXErrorSuccess;
}

AXError SimulatedAccessibility::copyAttributeValues(const AXUIElementRef& element,
                                                    std::string_view attribute, std::int64_t index,
                                                    std::int64_t maxValues,
                                                    std::vector<AXValue>& values) {
    const SimulatedElement* n = nullptr;
    if (AXError err = enter(element, attribute, n); err != kAXErrorSuccess) {
        return err;
    }
    if (index < 0 || maxValues < 0) {
        return kAXErrorIllegalArgument;
    }
    if (attribute == "AXChildren") {
        if (n->childrenValue) {
            return kAXErrorIllegalArgument;
        }
        const auto [begin, end] = slice(n->children.size(), index, maxValues);
        values.assign(n->children.begin() + static_cast<std::ptrdiff_t>(begin),
                      n->children.begin() + static_cast<std::ptrdiff_t>(end));
        return kAXErrorSuccess;
    }
    const Array* list = nullptr;
    if (AXError err = listAttribute(*n, attribute, list); err != kAXErrorSuccess) {
        return err;
    }
    const Array& items = *list;
    const auto [begin, end] = slice(items.size(), index, maxValues);
    values.clear();
    for (std::size_t i = begin; i < end; ++i) {
        values.emplace_back(items[i]);
    }
    return kAXErrorSuccess;
}

AXError SimulatedAccessibility::performAction(const AXUIElementRef& element,
                                              std::string_view action) {
    const SimulatedElement* n = nullptr;
    if (AXError err = enter(element, action, n); err != kAXErrorSuccess) {
        return err;
    }
    if (action != "AXPress") {
        return kAXErrorIllegalArgument;
    }
    model_.recordPress(pressPath(*n));
    return kAXErrorSuccess;
}

AXError SimulatedAccessibility::setMessagingTimeout(const AXUIElementRef& element, float seconds) {
    const SimulatedElement* n = node(element);
    if (n == nullptr || !(seconds >= 0) || !std::isfinite(seconds)) {
        return kAXErrorIllegalArgument;
    }
    // The node was created mutable; handles are const only towards the helper.
    const_cast<SimulatedElement*>(n)->messagingTimeout = seconds;
    return kAXErrorSuccess;
}

}  // namespace kivora::simulated
