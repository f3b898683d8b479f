#pragma once
// The simulated desktop on Linux: the portable model loaded from a desktop file (JSON), its
// frontmost observations delivered from sd-event, and its control interface on the bus.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <systemd/sd-bus.h>
#include <systemd/sd-event.h>

#include "platform/Desktop.h"
#include "platform/simulated/SimulatedAccessibility.h"
#include "platform/simulated/SimulatedEventTap.h"
#include "platform/simulated/SimulatedWorkspace.h"

namespace kivora::linux_ {

using simulated::SimulatedDesktopModel;

class SimulatedDesktop : public Desktop {
public:
    static constexpr const char* kNoSuchApplicationError =
        "org.morvane.Kivora.SimulatedDesktop.Error.NoSuchApplication";
    // The priority of the frontmost observation: ahead of the bus, so that a change made
    // while serving one message is observed before the next message is read.
    static constexpr std::int64_t kObservationPriority = SD_EVENT_PRIORITY_IMPORTANT;

    // Reads a desktop file. On failure returns none and sets `error` to one line naming the
    // file and the problem.
    static std::optional<SimulatedDesktopModel> load(const std::string& path, std::string& error);
    // The same from the text of a desktop file; `name` stands for the file in `error`.
    static std::optional<SimulatedDesktopModel> parse(std::string_view text,
                                                      const std::string& name, std::string& error);

    // Serves `model`; attach() delivers observations through `event` (attach the bus at a
    // priority after kObservationPriority) and serves the control interface on `bus` (none
    // when `bus` is null).
    SimulatedDesktop(SimulatedDesktopModel model, sd_event* event, sd_bus* bus);
    ~SimulatedDesktop() override;
    SimulatedDesktop(const SimulatedDesktop&) = delete;
    SimulatedDesktop& operator=(const SimulatedDesktop&) = delete;

    Workspace& workspace() override { return workspace_; }
    Accessibility& accessibility() override { return accessibility_; }
    EventTap& eventTap() override { return eventTap_; }
    int attach() override;

    // The control interface, also callable in-process. The bool results are false for an
    // unknown or no longer running application (nothing changes then).
    bool activate(std::string_view bundleIdentifier);
    bool activateProcess(std::int32_t processIdentifier);  // 0: no frontmost application
    bool quit(std::string_view bundleIdentifier);
    void setTrusted(bool trusted) { model_.trusted = trusted; }
    std::vector<std::string> pressedItems() const;
    std::vector<KeyboardEvent> keyEvents() const;
    std::uint32_t promptCount() const { return model_.promptCount; }

private:
    static int onDeferred(sd_event_source* source, void* userdata);

    SimulatedDesktopModel model_;
    simulated::SimulatedAccessibility accessibility_;
    simulated::SimulatedWorkspace workspace_;
    simulated::SimulatedEventTap eventTap_;
    sd_event* event_;
    sd_bus* bus_;
    sd_event_source* deferred_ = nullptr;
    sd_bus_slot* control_ = nullptr;
    bool attached_ = false;
};

}  // namespace kivora::linux_
