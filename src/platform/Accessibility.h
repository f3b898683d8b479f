#pragma once
// Port: the accessibility interface to other applications' user-interface elements.

#include <cstdint>
#include <memory>
#include <string_view>
#include <variant>
#include <vector>

#include "messaging/Value.h"

namespace kivora {

using AXError = std::int32_t;
inline constexpr AXError kAXErrorSuccess = 0;
inline constexpr AXError kAXErrorFailure = -25200;
inline constexpr AXError kAXErrorIllegalArgument = -25201;
inline constexpr AXError kAXErrorInvalidUIElement = -25202;
inline constexpr AXError kAXErrorCannotComplete = -25204;
inline constexpr AXError kAXErrorAttributeUnsupported = -25205;
inline constexpr AXError kAXErrorNotImplemented = -25208;
inline constexpr AXError kAXErrorAPIDisabled = -25211;
inline constexpr AXError kAXErrorNoValue = -25212;

// An opaque handle to a user-interface element of another process. The adapter hands out
// one handle object per element: two handles to the same element are the same pointer, so
// pointer equality is element equality. The handle keeps the element reference alive.
class AXUIElement {
public:
    virtual ~AXUIElement() = default;
};
using AXUIElementRef = std::shared_ptr<const AXUIElement>;

// An attribute value: a plain value (of any type: callers check what they got) or an
// element.
using AXValue = std::variant<Value, AXUIElementRef>;

class Accessibility {
public:
    virtual ~Accessibility() = default;

    // Whether this process holds the Accessibility permission. Never prompts.
    virtual bool isProcessTrusted() = 0;
    // The same, but asks the system to show its permission prompt when not trusted.
    virtual bool isProcessTrustedWithPrompt() = 0;

    // The element of the application with this process identifier. Always returns a handle;
    // calls on the handle of a process that does not exist fail.
    virtual AXUIElementRef createApplication(std::int32_t processIdentifier) = 0;

    // Copies one attribute value into `value`. kAXErrorNoValue when the element has no such
    // attribute; kAXErrorAPIDisabled when the process is not trusted;
    // kAXErrorInvalidUIElement when the element is gone; kAXErrorCannotComplete when the
    // target did not answer within the messaging timeout.
    virtual AXError copyAttributeValue(const AXUIElementRef& element, std::string_view attribute,
                                       AXValue& value) = 0;
    // The number of values of an array attribute (children). `count` is left untouched on
    // error; kAXErrorIllegalArgument when the attribute is not an array.
    virtual AXError getAttributeValueCount(const AXUIElementRef& element,
                                           std::string_view attribute, std::int64_t& count) = 0;
    // Copies at most `maxValues` values of an array attribute, from `index` on.
    virtual AXError copyAttributeValues(const AXUIElementRef& element, std::string_view attribute,
                                        std::int64_t index, std::int64_t maxValues,
                                        std::vector<AXValue>& values) = 0;
    // Performs an action ("AXPress") on the element.
    virtual AXError performAction(const AXUIElementRef& element, std::string_view action) = 0;
    // How long any call on this element may wait for the target before it answers
    // kAXErrorCannotComplete; 0 restores the system default.
    virtual AXError setMessagingTimeout(const AXUIElementRef& element, float seconds) = 0;
};

}  // namespace kivora
