#pragma once
// The simulated desktop: applications, their accessibility trees and a recording event tap,
// loaded from a desktop file (JSON), with a control interface on the bus.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <systemd/sd-bus.h>
#include <systemd/sd-event.h>

#include "platform/Accessibility.h"
#include "platform/EventTap.h"
#include "platform/Workspace.h"

namespace kivora::linux_ {

class SimulatedDesktop {
public:
    static constexpr const char* kNoSuchApplicationError =
        "org.morvane.Kivora.SimulatedDesktop.Error.NoSuchApplication";

    // Loads a desktop file. On failure returns null and sets `error` to one line naming the
    // file and the problem.
    static std::unique_ptr<SimulatedDesktop> load(const std::string& path, std::string& error);
    // The same from the text of a desktop file; `name` stands for the file in `error`.
    static std::unique_ptr<SimulatedDesktop> fromText(std::string_view text,
                                                      const std::string& name, std::string& error);
    ~SimulatedDesktop();
    SimulatedDesktop(const SimulatedDesktop&) = delete;
    SimulatedDesktop& operator=(const SimulatedDesktop&) = delete;

    Workspace& workspace();
    Accessibility& accessibility();
    EventTap& eventTap();

    // Delivers frontmost-application observations through `event` (after the current
    // callback returns, ahead of every source of normal priority: attach the bus at a
    // priority after SD_EVENT_PRIORITY_IMPORTANT) and serves the control interface on `bus`
    // (none when `bus` is null). An observer registered before this call is told of the
    // application in front at the start, as if it had just come to the front. Negative errno
    // on failure; once only.
    int attach(sd_event* event, sd_bus* bus);

    // The control interface, also callable in-process. The bool results are false for an
    // unknown or no longer running application (nothing changes then).
    bool activate(std::string_view bundleIdentifier);
    bool activateProcess(std::int32_t processIdentifier);  // 0: no frontmost application
    bool quit(std::string_view bundleIdentifier);
    void setTrusted(bool trusted);
    std::vector<std::string> pressedItems() const;
    std::vector<KeyboardEvent> keyEvents() const;
    std::uint32_t promptCount() const;

    struct Impl;

private:
    explicit SimulatedDesktop(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace kivora::linux_
