#pragma once
// The state of a simulated desktop: its applications with their element trees, the trust
// flag and what was done to it (presses, key events, prompts). Built from a desktop file, or
// in code with makeElement and addApplication (the unit tests' trees).

#include <cstdint>
#include <deque>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Accessibility.h"
#include "platform/EventTap.h"

namespace kivora::simulated {

struct SimulatedApplication;

// One accessibility element, and at the same time the handle the helper holds: handing out
// the node itself keeps "same element, same pointer".
struct SimulatedElement : AXUIElement {
    // Which desktop made it, so that a handle of another desktop is refused.
    const void* owner = nullptr;
    // The application it belongs to; null for the element of an unknown process.
    const SimulatedApplication* application = nullptr;
    // The element whose children list holds this one; null for the menu bar and the
    // application element. Never used for the lifetime of the node, only for paths.
    const SimulatedElement* parent = nullptr;

    // Attribute name to value, as written in the file ("AXChildren" excluded); the
    // application element's "AXMenuBar" holds the menu bar element.
    std::map<std::string, AXValue, std::less<>> attributes;
    // "AXChildren": an array (elements and plain values), or a plain value of another type
    // (childrenValue), or absent (no children).
    bool hasChildrenArray = false;
    std::vector<AXValue> children;
    std::optional<Value> childrenValue;

    // Injected faults: attribute or action name to the error it answers, and how long every
    // call on the element takes (or only the calls named in delaysMs).
    std::map<std::string, AXError, std::less<>> errors;
    std::uint32_t delayMs = 0;
    std::map<std::string, std::uint32_t, std::less<>> delaysMs;

    // Set by the helper; 0 means the default.
    float messagingTimeout = 0;
    // False: every call answers kAXErrorInvalidUIElement, as for a destroyed element.
    bool valid = true;
};
using SimulatedElementRef = std::shared_ptr<SimulatedElement>;

struct SimulatedApplication {
    std::optional<std::string> bundleIdentifier;
    std::int32_t processIdentifier = 0;
    bool running = true;
    // The application element (what createApplication answers for this process).
    SimulatedElementRef element;
};
using SimulatedApplicationRef = std::shared_ptr<SimulatedApplication>;

struct RecordedKeyEvent {
    std::uint16_t keyCode = 0;
    bool keyDown = false;
    std::uint64_t flags = 0;
    bool operator==(const RecordedKeyEvent&) const = default;
};

struct SimulatedDesktopModel {
    SimulatedDesktopModel() : token_(std::make_unique<char>()) {}

    // Marks this desktop's element handles; stays the same when the model is moved.
    const void* owner() const { return token_.get(); }

    bool trusted = true;
    std::vector<SimulatedApplicationRef> applications;
    SimulatedApplicationRef frontmost;

    // What the helper did, oldest first; the oldest entries go beyond kMaxRecords so that a
    // long session cannot grow without bound.
    static constexpr std::size_t kMaxRecords = 65536;
    std::deque<std::string> pressedItems;
    std::deque<RecordedKeyEvent> keyEvents;
    std::uint32_t promptCount = 0;

    // The running application with that bundle identifier (the first one when several share
    // it), or with that process identifier; null when there is none.
    SimulatedApplicationRef runningApplication(std::string_view bundleIdentifier) const;
    SimulatedApplicationRef runningApplication(std::int32_t processIdentifier) const;
    // Any application (running or not) with that process identifier.
    SimulatedApplicationRef application(std::int32_t processIdentifier) const;

    // Adds a running application whose menu bar is `menuBar` (none: no menu bar); the tree
    // becomes this desktop's (owner, application and parents set throughout).
    SimulatedApplicationRef addApplication(std::int32_t processIdentifier,
                                           std::optional<std::string> bundleIdentifier,
                                           const SimulatedElementRef& menuBar);
    // Makes `root` and everything below it elements of `application` on this desktop.
    void adopt(SimulatedElement& root, const SimulatedApplication* application) const;

    void recordPress(std::string path);
    void recordKeyEvent(const RecordedKeyEvent& event);

private:
    std::unique_ptr<char> token_;
};

// A free element (adopted by the desktop when its tree is added) with these attributes and
// element children.
SimulatedElementRef makeElement(std::map<std::string, AXValue, std::less<>> attributes = {},
                                std::initializer_list<SimulatedElementRef> children = {});
void appendChild(SimulatedElement& parent, SimulatedElementRef child);

// Builds a desktop from the text of a desktop file. On failure returns none and sets `error`
// to the problem (without the file name), with the place in the document where it is
// ("applications[1].processIdentifier: ...").
std::optional<SimulatedDesktopModel> parseDesktop(std::string_view text, std::string& error);

// The path recorded for a press of `node`: the titles of the node and its ancestors below the
// menu bar, outermost first, joined by "/"; untitled elements left out.
std::string pressPath(const SimulatedElement& node);

}  // namespace kivora::simulated
