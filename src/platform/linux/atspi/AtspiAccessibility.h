#pragma once
// The accessibility port over AT-SPI: elements are (bus name, object path) pairs on the
// accessibility bus, attributes are mapped from the Accessible and Action interfaces.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/Accessibility.h"
#include "platform/linux/atspi/AtspiApplications.h"
#include "platform/linux/atspi/AtspiBus.h"
#include "platform/linux/atspi/KeyBinding.h"
#include "platform/linux/atspi/ReadAhead.h"

namespace kivora::linux_::atspi {

// AT-SPI roles and states that the mapping reads.
inline constexpr std::uint32_t kRoleMenuBar = 34;
inline constexpr std::uint32_t kStateActive = 1;
inline constexpr std::uint32_t kStateEnabled = 8;
inline constexpr std::uint32_t kStateSensitive = 24;

class AtspiElement : public AXUIElement {
public:
    AtspiElement(std::string busName, std::string path, std::int32_t pid)
        : busName(std::move(busName)), path(std::move(path)), processIdentifier(pid) {}
    // Empty for an application element whose process has not registered (yet).
    mutable std::string busName;
    const std::string path;
    const std::int32_t processIdentifier;  // non-zero for application elements only
    mutable float timeoutSeconds = 0;      // 0: the application's or the default
};

class AtspiAccessibility : public Accessibility {
public:
    AtspiAccessibility(AtspiBus& bus, AtspiApplications& applications)
        : bus_(bus), applications_(applications), readAhead_(bus) {}

    // Trusted: the accessibility bus is connected and toolkit accessibility is on
    // (org.a11y.Status.IsEnabled on the session bus).
    bool isProcessTrusted() override;
    // When not trusted, turns toolkit accessibility on (what the desktop's accessibility
    // switch does) and says so on stderr; answers the state from before.
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

    // The one handle of an element (interned: equal elements are the same pointer).
    std::shared_ptr<const AtspiElement> intern(const std::string& busName, const std::string& path);

private:
    // What was last read of one element. The walker reads an element's attributes one after
    // the other; keeping them until it turns to another element saves repeated calls.
    struct Snapshot {
        AXUIElementRef element;  // held, so that its address cannot be reused meanwhile
        std::optional<std::vector<AXUIElementRef>> children;
        std::optional<std::uint64_t> states;
        std::optional<std::optional<MenuShortcut>> shortcut;
    };

    const AtspiElement* resolve(const AXUIElementRef& element, AXError& error);
    Snapshot& snapshotFor(const AXUIElementRef& element);
    std::uint64_t timeoutFor(const AtspiElement& element) const;

    // One read of an element: the answer sent ahead when there is one, else a call now.
    CallResult fetch(const AtspiElement& element, ElementRead read);
    AXError readChildren(const AXUIElementRef& handle, const AtspiElement& element,
                         const std::vector<AXUIElementRef>*& out);
    AXError readStates(const AXUIElementRef& handle, const AtspiElement& element,
                       std::uint64_t& states);
    AXError readShortcut(const AXUIElementRef& handle, const AtspiElement& element,
                         const std::optional<MenuShortcut>*& out);
    AXError readTitle(const AtspiElement& element, AXValue& value);
    AXError findMenuBar(const AtspiElement& application, AXValue& value);
    AXError childrenOf(const AtspiElement& element, std::vector<AXUIElementRef>& out);
    std::optional<AXUIElementRef> menuBarByCollection(const AtspiElement& frame);
    std::optional<AXUIElementRef> menuBarBySearch(const AtspiElement& frame);

    AtspiBus& bus_;
    AtspiApplications& applications_;
    std::map<std::pair<std::string, std::string>, std::weak_ptr<const AtspiElement>> elements_;
    std::size_t sweepAt_ = 1024;
    std::map<std::string, float> applicationTimeouts_;  // set on application elements
    Snapshot snapshot_;
    // Reads of the children listed last; dropped when a walk starts (at its menu bar) and
    // before a press, so that nothing read in one walk answers in the next.
    ReadAhead readAhead_;
};

}  // namespace kivora::linux_::atspi
