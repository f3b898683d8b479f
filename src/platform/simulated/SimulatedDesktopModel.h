#pragma once
// The state of a simulated desktop: its applications with their element trees, the trust
// flag and what was done to it (presses, key events, prompts). Built from a desktop file.

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Accessibility.h"
#include "platform/EventTap.h"

namespace kivora::linux_ {

struct DesktopApplication;

// One accessibility element, and at the same time the handle the helper holds: handing out
// the node itself keeps "same element, same pointer".
struct DesktopNode : AXUIElement {
    // Which desktop made it, so that a handle of another desktop is refused.
    const void* owner = nullptr;
    // The application it belongs to; null for the element of an unknown process.
    const DesktopApplication* application = nullptr;
    // The element whose children list holds this one; null for the menu bar and the
    // application element. Never used for the lifetime of the node, only for paths.
    const DesktopNode* parent = nullptr;

    // Attribute name to value, as written in the file ("AXChildren" excluded).
    std::map<std::string, Value, std::less<>> attributes;
    // "AXChildren": an array (elements and plain values), or a plain value of another type
    // (childrenValue), or absent (no children).
    bool hasChildrenArray = false;
    std::vector<AXValue> children;
    std::optional<Value> childrenValue;
    // Only the application element has one: "AXMenuBar" answers this element.
    std::shared_ptr<DesktopNode> menuBar;

    // Injected faults: attribute or action name to the error it answers, and how long every
    // call on the element takes (or only the calls named in delaysMs).
    std::map<std::string, AXError, std::less<>> errors;
    std::uint32_t delayMs = 0;
    std::map<std::string, std::uint32_t, std::less<>> delaysMs;

    // Set by the helper; 0 means the default.
    float messagingTimeout = 0;
};
using DesktopNodeRef = std::shared_ptr<DesktopNode>;

struct DesktopApplication {
    std::optional<std::string> bundleIdentifier;
    std::int32_t processIdentifier = 0;
    bool running = true;
    // The application element (what createApplication answers for this process).
    DesktopNodeRef element;
};
using DesktopApplicationRef = std::shared_ptr<DesktopApplication>;

struct RecordedKeyEvent {
    std::uint16_t keyCode = 0;
    bool keyDown = false;
    std::uint64_t flags = 0;
    bool operator==(const RecordedKeyEvent&) const = default;
};

struct DesktopModel {
    bool trusted = true;
    std::vector<DesktopApplicationRef> applications;
    DesktopApplicationRef frontmost;

    // What the helper did, oldest first; the oldest entries go beyond kMaxRecords so that a
    // long session cannot grow without bound.
    static constexpr std::size_t kMaxRecords = 65536;
    std::deque<std::string> pressedItems;
    std::deque<RecordedKeyEvent> keyEvents;
    std::uint32_t promptCount = 0;

    // The running application with that bundle identifier (the first one when several share
    // it), or with that process identifier; null when there is none.
    DesktopApplicationRef runningApplication(std::string_view bundleIdentifier) const;
    DesktopApplicationRef runningApplication(std::int32_t processIdentifier) const;
    // Any application (running or not) with that process identifier.
    DesktopApplicationRef application(std::int32_t processIdentifier) const;

    void recordPress(std::string path);
    void recordKeyEvent(const RecordedKeyEvent& event);
};

// Builds a desktop from the text of a desktop file. `owner` marks its element handles. On
// failure returns none and sets `error` to the problem (without the file name), with the
// place in the document where it is ("applications[1].processIdentifier: ...").
std::optional<DesktopModel> parseDesktop(std::string_view text, const void* owner,
                                         std::string& error);

// The path recorded for a press of `node`: the titles of the node and its ancestors below the
// menu bar, outermost first, joined by "/"; untitled elements left out.
std::string pressPath(const DesktopNode& node);

}  // namespace kivora::linux_
