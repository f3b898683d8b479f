#pragma once
// The simulated desktop: applications, their accessibility trees and a recording event tap,
// loaded from a desktop file (JSON), with a control interface on the bus.

#include <memory>
#include <string>

#include <systemd/sd-bus.h>
#include <systemd/sd-event.h>

#include "platform/Accessibility.h"
#include "platform/EventTap.h"
#include "platform/Workspace.h"

namespace kivora::linux_ {

class SimulatedDesktop {
public:
    // Loads a desktop file. On failure returns null and sets `error` to one line naming the
    // file and the problem.
    static std::unique_ptr<SimulatedDesktop> load(const std::string& path, std::string& error);
    ~SimulatedDesktop();

    Workspace& workspace();
    Accessibility& accessibility();
    EventTap& eventTap();

    // Delivers frontmost-application observations through `event` (after the current
    // callback returns) and serves the control interface on `bus`. Negative errno on failure.
    int attach(sd_event* event, sd_bus* bus);

    struct Impl;

private:
    explicit SimulatedDesktop(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace kivora::linux_
