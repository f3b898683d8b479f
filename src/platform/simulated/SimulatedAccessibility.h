#pragma once
// The accessibility port over a simulated desktop: element trees served as the desktop file
// wrote them, with the injected errors and delays, the trust flag and the recorded presses.

#include <functional>

#include "platform/Accessibility.h"
#include "platform/simulated/SimulatedDesktopModel.h"

namespace kivora::simulated {

class SimulatedAccessibility : public Accessibility {
public:
    // Blocks the caller for that many seconds: how a slow element takes its time.
    using Pause = std::function<void(double seconds)>;

    // What a call waits for a slow element when the helper set no messaging timeout (the
    // platform's global default).
    static constexpr float kDefaultMessagingTimeout = 6.0f;

    SimulatedAccessibility(SimulatedDesktopModel& model, Pause pause)
        : model_(model), pause_(std::move(pause)) {}

    bool isProcessTrusted() override { return model_.trusted; }
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

private:
    // This desktop's node behind a handle, or null for a foreign handle.
    const SimulatedElement* node(const AXUIElementRef& element) const;
    // What every attribute and action call goes through first: trust, validity, the
    // element's delay against its messaging timeout, and the injected error for `name`.
    AXError enter(const AXUIElementRef& element, std::string_view name,
                  const SimulatedElement*& out);
    void pauseMs(double ms) const;

    SimulatedDesktopModel& model_;
    Pause pause_;
};

}  // namespace kivora::simulated
