#pragma once
// The real desktop session: the workspace and the accessibility trees of the applications on
// the accessibility bus (AT-SPI), and keys typed through XTest on the X display.

#include <cstdint>
#include <memory>
#include <string>

#include <systemd/sd-bus.h>
#include <systemd/sd-event.h>

#include "platform/Desktop.h"

namespace kivora::linux_ {

class RealDesktop : public Desktop {
public:
    // Finds the accessibility bus of the session on `sessionBus`, connects to it on `event`,
    // and opens the X display of $DISPLAY when there is one (without it, applications cannot
    // be activated and keys cannot be typed). Null with `error` set when there is no desktop
    // session: no $DISPLAY or $WAYLAND_DISPLAY and no accessibility bus running, or an
    // accessibility bus that cannot be reached.
    static std::unique_ptr<RealDesktop> connect(sd_event* event, sd_bus* sessionBus,
                                                std::string& error);
    ~RealDesktop() override;

    Workspace& workspace() override;
    Accessibility& accessibility() override;
    EventTap& eventTap() override;
    // Already served from the event loop since connect: nothing more to start.
    int attach() override { return 0; }
    void catchUp() override;

    // Method calls made on the accessibility bus so far (for measurements).
    std::uint64_t callCount() const;
    // Times it waited for an answer there (for measurements).
    std::uint64_t waitCount() const;

    struct Impl;

private:
    explicit RealDesktop(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace kivora::linux_
